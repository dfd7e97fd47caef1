#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

#include "Statements.h"
#include "TransactionListener.h"

namespace rbx {

class DbSession;

// The journal of the copy runs of one connection, kept in the database in the same transaction
// as each service a run writes: the run (who, branch, mode, dates, filters, when, how it ended)
// and, for each service, a picture of the destination's service it replaced and one of what it
// wrote, every column, with the items. The calls after a getServInte form a run; AbreExecucao
// names it and FechaExecucao ends it, and a client that never calls them still has its runs
// journaled, ended by the next getServInte or the end of the connection. It follows the session's
// transactions as their listener: what a client transaction wrote is pictured as it commits, and
// forgotten when it rolls back.
class RunJournal final : public TransactionListener
{
public:
    // A patient's service at a date, as DelServ and the schema's unique key name it.
    struct ServiceKey
    {
        QString paciente;
        double data = 0;
        QString filial, servico, dieta;
    };
    // What getServInte was asked: the run's origin, mode and filters (each group's list, or "T").
    struct Query
    {
        QString filial, modo;
        double origem = 0;
        QStringList filtros;
    };

    explicit RunJournal(DbSession &db);
    ~RunJournal();
    RunJournal(const RunJournal &) = delete;
    RunJournal &operator=(const RunJournal &) = delete;

    // The connection is over: the run still open ends, failed when the client named it and did not
    // end it, or left in the middle of a service. Never throws; a run it cannot end stays open for
    // the next start of the server to close.
    void connectionEnded() noexcept;

    void noteOperator(const QString &operador) { m_operator = operador; }
    // getServInte: the run before ends, and the calls after this one are a new run.
    void queried(const Query &query);
    // AbreExecucao: the run of the last getServInte gets its destination and operator; its id.
    qint64 open(const QString &filial, double destino, const QString &operador);
    // FechaExecucao; outcome is one of RunOutcomeCode.
    void close(const QString &execucao, QChar outcome);
    // A write of the run failed: it ends as failed, with the first such error, unless the
    // client says otherwise.
    void failed(const QString &why);

    // The server-side copy: the number of the service in the run `execucao` names, the run
    // opened in a transaction of its own when there is none. Refuses an id of another run.
    qint64 serviceOfCopy(const QString &execucao, const QString &filial, double destino, const QString &operador);
    // Inside the write's transaction: the destination's service pictured as it was and removed;
    // the rows removed.
    qint64 replace(qint64 order, const ServiceKey &key);
    // Inside the write's transaction, in place of replace: the copy saw no such service at the
    // destination, so there is no picture to take.
    void nothingToReplace(const ServiceKey &key);
    // The picture of the service and its items once written, to run inside the write's
    // transaction after them (with them as one statement, where the database can).
    Statements::BoundStatement pictureOfWritten(qint64 order, const ServiceKey &key);

    // The classic calls, inside the caller's transaction or the call's own. The pictures of what
    // they wrote are taken as that transaction commits.
    // Before a classic write outside the write's own transaction: the run it belongs to.
    void runFor(const QString &filial, double destino);
    qint64 classicDelete(const ServiceKey &key);
    void classicServiceInserted(const ServiceKey &key, const QString &sequencia);
    void classicItemInserted(const QString &paciente, double data, const QString &sequencia, const QString &filial);

    void transactionEvent(Event event) override;

private:
    struct Run
    {
        qint64 id = 0;
        bool named = false;      // opened by AbreExecucao
        bool wrote = false;
        bool failed = false;
        bool createdInTransaction = false; // goes with a client transaction rolled back
        bool destinationStored = false;
        qint64 nextOrder = 1;
        QString error; // the first failure of a write of the run
        QString filial, operador, modo;
        double inicio = 0;
        std::optional<double> origem, destino;
        QStringList filtros;
    };
    // A service the classic calls wrote, found again by the later calls for it.
    struct Entry
    {
        qint64 order = 0;
        ServiceKey key;
        QString sequencia; // empty until InsServInte
        bool pictured = false;
        bool pending = false;
    };

    Run &ensureRun(const QString &filial, double destino);
    void create(Run &run);
    // Writes the run's row as it stands; `outcome`, `ended` and why it failed when it ends.
    void store(const Run &run, QChar outcome, std::optional<double> ended, const QString &error = {});
    void noteDestination(double destino);
    void end(QChar outcome, const QString &error = {});
    qint64 picture(qint64 order, const ServiceKey &key, QChar version);
    Statements::BoundStatement pictureStatement(qint64 order, const ServiceKey &key, QChar version);
    void picturePending();

    DbSession &m_db;
    QString m_pictureSql; // built once: every copied service runs it
    QString m_operator;
    std::optional<Query> m_query;
    std::optional<Run> m_run;
    QList<Entry> m_entries;
    qsizetype m_entriesAtStart = 0;
};

// Now, as the journal stores its times: the server's wall clock as an OLE date.
double journalNow();

} // namespace rbx
