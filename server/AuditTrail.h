#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace rbx {

// The audit of one connection's writes: one log line per service written (operator, branch,
// patient, service, diet, origin and destination dates, sequence, items, rows replaced) and
// one per removal that no insert followed. Inside a client transaction the lines wait for the
// commit, so the log never shows a write that was rolled back.
class AuditTrail final
{
public:
    // The authenticated operator and the peer's address end every line; the operator named in
    // the arguments is the same one, since the session acts for no other.
    AuditTrail(int connectionId, QString operatorCode = {}, QString peer = {})
        : m_connectionId(connectionId), m_operator(std::move(operatorCode)), m_peer(std::move(peer))
    {
    }
    // What is still pending was rolled back with the connection's transaction.
    ~AuditTrail();
    AuditTrail(const AuditTrail &) = delete;
    AuditTrail &operator=(const AuditTrail &) = delete;

    // Context the writes do not carry: the operator who asked, the origin date of the run.
    void noteOperator(const QString &operador)
    {
        if (m_peer.isEmpty())
            m_operator = operador;
    }
    // Reads of patients are audited too: who saw which branch's in-patients.
    void patientsRead(const QString &filial, qsizetype rows);
    void passwordChanged(const QString &operador);
    void noteOrigin(double oleDate) { m_origin = oleDate; }

    void removed(const QString &paciente, double destino, const QString &filial, const QString &servico,
                 const QString &dieta, qint64 rows);
    void serviceInserted(const QString &paciente, double destino, const QString &sequencia, const QString &filial,
                         const QString &servico, const QString &dieta);
    void itemInserted(const QString &paciente, double destino, const QString &sequencia, const QString &filial);

    // An undo's service, logged at once: each commits on its own. `removed` is the sequence of
    // the service the run wrote, `restored` that of the one put back (empty for none).
    void undone(qint64 run, const QString &paciente, double destino, const QString &filial, const QString &servico,
                const QString &dieta, const QString &removed, const QString &restored);
    void undoRefused(qint64 run, const QString &paciente, double destino, const QString &filial,
                     const QString &servico, const QString &dieta, const QString &why);

    // Logs what is pending (the writes are committed) or forgets it (rolled back).
    void commit();
    void rollback();

    // The services every connection's commits wrote since the server started: each is a copy,
    // the service writes nothing else.
    static quint64 servicesWritten();

private:
    struct Entry
    {
        QString paciente, filial, servico, dieta, sequencia; // sequencia empty: a removal alone
        double destino = 0;
        qint64 replaced = 0;
        int items = 0;
        // as noted when the write was made: a group of copies is logged after later ones
        QString operador;
        std::optional<double> origem;
    };
    Entry noted() const { return Entry{{}, {}, {}, {}, {}, 0, 0, 0, m_operator, m_origin}; }
    Entry *find(const QString &paciente, double destino, const QString &filial, const QString &sequencia);
    QString line(const Entry &entry) const;
    // What ends every line: where the operator connected from.
    QString where() const;

    const int m_connectionId;
    QString m_operator;
    QString m_peer;
    std::optional<double> m_origin;
    QList<Entry> m_pending;
};

} // namespace rbx
