#pragma once

#include "ActingOperator.h"
#include "AuditTrail.h"
#include "DbSession.h"
#include "RunJournal.h"
#include <protocol/WireProtocol.h>

#include <QHash>
#include <QList>
#include <QSet>
#include <QVariant>

#include <functional>
#include <optional>
#include <utility>

namespace rbx {

// The server object "Rbx53207.rdmCopiaForm", one instance per connection: the nine methods of
// the copy service, the transaction calls and the extensions. Each method gets its arguments already checked
// for count and kind, may leave new texts in by-reference ones, and raises ERemoteError or
// EHouseError on failure; a failed method has changed nothing.
class CopyServiceObject final
{
public:
    // When the server-side copies a client keeps in flight commit together: a group ends when
    // no further copy is waiting, or at these many services or milliseconds. One service: each
    // commits alone.
    struct Grouping
    {
        int services = 1;
        int ms = 0;
    };

    // acting is the session's authenticated operator, for the rules no argument list shows.
    CopyServiceObject(DbSession &db, int connectionId, const ActingOperator *acting, Grouping grouping)
        : m_db(db), m_acting(acting), m_audit(connectionId, acting ? acting->code : QString(), acting ? acting->peer : QString()),
          m_journal(db), m_grouping(grouping)
    {
    }

    using Args = QList<Wire::Arg>;

    Wire::CallResult getNutricio(Args &args);
    Wire::CallResult getPaciente(Args &args);
    Wire::CallResult getServInte(Args &args);
    Wire::CallResult DelServ(Args &args);
    Wire::CallResult getNrServInte(Args &args);
    Wire::CallResult InsServInte(Args &args);
    Wire::CallResult getNrConfesco(Args &args);
    Wire::CallResult getConfesco(Args &args);
    Wire::CallResult InsConfesco(Args &args);

    Wire::CallResult StartTransaction(Args &args);
    Wire::CallResult Commit(Args &args);
    Wire::CallResult Rollback(Args &args);

    // One origin service copied to the destination in a transaction of its own, as the classic
    // calls from DelServ to the last InsConfesco would copy it.
    Wire::CallResult CopServInte(Args &args);

    // The client's connection is over: the copies it left in a group commit, the run it left
    // open ends.
    void connectionEnded() noexcept;

    bool groupsCopies() const { return m_grouping.services > 1; }
    // Commits the copies grouped so far (DbSession::commitGroup).
    void endGroup();
    // How the last group ended, once: its audit lines logged, or, when nothing of it was
    // written, its runs stopped as failed.
    std::optional<DbSession::GroupEnd> takeGroupEnd();

    // The runs of the copy: named and ended by the client, listed for a branch, undone.
    Wire::CallResult AbreExecucao(Args &args);
    Wire::CallResult FechaExecucao(Args &args);
    Wire::CallResult getExecucoes(Args &args);
    Wire::CallResult DesfazExecucao(Args &args);
    Wire::CallResult getServExecucao(Args &args);
    // The session's operator replaces its own password with a new SCRAM verifier.
    Wire::CallResult AlteraSenha(Args &args);

private:
    // A SERVINTE row to insert, its values as bound (null for none).
    struct ServiceRow
    {
        QString paciente, sequencia, filial, servico, dieta;
        double data = 0;
        QVariant acompanha, stPaciAcom, imprime, tipo, restricao, grupo, nutricio, internacao, descricao, peso;
    };
    struct ItemRow
    {
        QString paciente, sequencia, item, filial;
        double data = 0, qtServ = 0, qtPrat = 0, qtInfu = 0, hora = 0;
        QVariant filialPrato, prato, consumo, produto, via, preparo, observacao;
    };
    Wire::CallResult copyService(const QString &paciente, double origem, const QString &sequenciaOrigem,
                                 const QString &filial, double destino, const QString &operador, qint64 order);
    Statements::BoundStatement serviceInsert(const ServiceRow &row) const;
    QVariantList itemValues(const ItemRow &row) const;
    void insertItem(const ItemRow &row);
    // A few rows a statement: few round trips.
    QList<Statements::BoundStatement> itemInserts(const QList<ItemRow> &rows);

    // Writes outside a client transaction are committed already: their audit lines go now.
    void auditUnlessInTransaction();
    // A classic write with its journal: in the client's transaction, or with its pictures in one
    // of its own.
    void classicWrite(const QString &filial, double destino, const std::function<void()> &writes);
    // The run's later copies are refused unrun: it stops at the service that failed.
    void stopRun(const QString &execucao);
    // Refused when the operator is no nutritionist of the branch.
    void requireNutritionist(const QString &operador, const QString &filial);

    DbSession &m_db;
    const ActingOperator *m_acting;
    AuditTrail m_audit;
    RunJournal m_journal;
    const Grouping m_grouping;
    QSet<QString> m_failedRuns;
    QSet<QString> m_groupRuns; // the runs with copies in the open group
    QHash<int, QString> m_itemInserts; // by the number of rows
    // The operator's nutritionist in the branch, as the open group's transaction sees it.
    struct GroupNutritionist
    {
        quint64 group = 0;
        QString operador, filial;
        QVariant nutricio;
    } m_groupNutritionist;
};

} // namespace rbx
