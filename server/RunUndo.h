#pragma once

#include <QList>
#include <QString>

namespace rbx {

class AuditTrail;
class DbSession;

// Puts the destination of one journaled run back as it was: service by service, each in a
// transaction of its own, the service the run wrote (with its items) removed and the one it
// replaced put back, every column and sequence as they were. A service that changed after the
// run, that a later run replaced, or whose former key is taken again is left alone and
// reported. The undo of a run happens once; one cut short (the server stopped) goes on where
// it stopped when asked again.
class RunUndo final
{
public:
    RunUndo(DbSession &db, AuditTrail &audit) : m_db(db), m_audit(audit) {}

    struct ServiceResult
    {
        QString paciente;
        double data = 0;
        QString servico, dieta;
        QString sequencia; // of the service put back; empty when the run replaced none
        bool undone = false;
        QString why; // of a refusal
    };

    // The run's branch; refused when the journal holds no such run.
    QString branchOf(qint64 run);
    // Who made the run; empty for a client that never said.
    QString operatorOf(qint64 run);
    QList<ServiceResult> undo(qint64 run, const QString &operador);

private:
    struct Version
    {
        bool present = false;
        QString paciente, sequencia, filial, servico, dieta;
        double data = 0;
    };
    struct Entry
    {
        qint64 order = 0;
        Version former, written;
    };
    QList<Entry> entriesLeft(qint64 run);
    ServiceResult undoService(qint64 run, const Entry &entry, const QString &operador);

    DbSession &m_db;
    AuditTrail &m_audit;
};

} // namespace rbx
