#include "RunUndo.h"

#include "ArgReader.h"
#include "AuditTrail.h"
#include "DbSession.h"
#include <protocol/HouseError.h>
#include "JournalSql.h"
#include "RunJournal.h"
#include "Statements.h"

namespace rbx {

using namespace Qt::StringLiterals;
using Statements::exists;
using Statements::run;
using Statements::single;

namespace {

[[noreturn]] void refuse(const QString &message) { throw ERemoteError(Wire::ErrorCode::ServiceFailed, message); }

// Why one service is left as it is; thrown inside its transaction, which is then undone.
struct Refused
{
    QString why;
};

const QString NotUndone = u"NOT EXISTS (SELECT 1 FROM EXECDESFEITO X WHERE X.IDEXECUCAO = L.IDEXECUCAO AND X.NRORDEM = L.NRORDEM)"_s;

} // namespace

QString RunUndo::branchOf(qint64 id)
{
    const QVariant branch = single(m_db, u"SELECT CDFILIAL FROM EXECCOPIA WHERE IDEXECUCAO = :IDEXECUCAO"_s,
                                   {{u":IDEXECUCAO"_s, double(id)}});
    if (branch.isNull())
        refuse(u"A execução %1 não existe (ou já saiu do histórico)."_s.arg(id));
    return branch.toString();
}

QString RunUndo::operatorOf(qint64 id)
{
    return single(m_db, u"SELECT CDOPERADOR FROM EXECCOPIA WHERE IDEXECUCAO = :IDEXECUCAO"_s, {{u":IDEXECUCAO"_s, double(id)}})
        .toString()
        .trimmed();
}

QList<RunUndo::ServiceResult> RunUndo::undo(qint64 id, const QString &operador)
{
    const SqlDialect &dialect = m_db.dialect();
    PreparedStatement &state = run(m_db, u"SELECT DTDESFFIM, CDOPERDESF FROM EXECCOPIA WHERE IDEXECUCAO = :IDEXECUCAO"_s,
                                   {{u":IDEXECUCAO"_s, double(id)}});
    if (state.next() && !state.value(0).isNull()) {
        const std::optional<double> when = dialect.oleDate(state.value(0));
        const QString who = state.value(1).toString();
        state.finish();
        refuse(u"A execução %1 já foi desfeita em %2 por %3; uma cópia só se desfaz uma vez."_s.arg(id).arg(
            when ? formatDate(*when) : u"-"_s, who));
    }
    state.finish();

    // begun: a second undo now goes on with what this one leaves
    m_db.inOwnTransaction([&] {
        if (run(m_db, uR"(
UPDATE EXECCOPIA SET DTDESFINI = COALESCE(DTDESFINI, :AGORA), CDOPERDESF = :CDOPERDESF
 WHERE IDEXECUCAO = :IDEXECUCAO AND DTDESFFIM IS NULL)"_s,
                {{u":AGORA"_s, dialect.dateTimeValue(journalNow())}, {u":CDOPERDESF"_s, operador},
                 {u":IDEXECUCAO"_s, double(id)}})
                .rowsAffected()
            == 0)
            refuse(u"A execução %1 acabou de ser desfeita por outra conexão."_s.arg(id));
    });

    QList<ServiceResult> results;
    for (const Entry &entry : entriesLeft(id)) {
        const ServiceResult result = undoService(id, entry, operador);
        const Version &key = entry.written.present ? entry.written : entry.former;
        if (result.undone)
            m_audit.undone(id, key.paciente, key.data, key.filial, key.servico, key.dieta, entry.written.sequencia,
                           entry.former.sequencia);
        else
            m_audit.undoRefused(id, key.paciente, key.data, key.filial, key.servico, key.dieta, result.why);
        results.append(result);
    }

    // Done only when nothing is left: a service held back by a later run, or changed since,
    // stays pending, and asking again goes on with it once what held it is gone.
    bool left = false;
    for (const ServiceResult &result : std::as_const(results))
        left = left || !result.undone;
    if (!left) {
        m_db.inOwnTransaction([&] {
            run(m_db, u"UPDATE EXECCOPIA SET DTDESFFIM = :AGORA WHERE IDEXECUCAO = :IDEXECUCAO"_s,
                {{u":AGORA"_s, dialect.dateTimeValue(journalNow())}, {u":IDEXECUCAO"_s, double(id)}});
        });
    }
    return results;
}

QList<RunUndo::Entry> RunUndo::entriesLeft(qint64 id)
{
    PreparedStatement &lines = run(m_db, uR"(
SELECT L.NRORDEM, L.IDVERSAO, L.CDPACIENTE, L.DTSERVINTE, L.NRSEQUSERV, L.CDFILIAL, L.CDSERVFILI, L.CDDIETPAD
  FROM EXECLINHA L
 WHERE L.IDEXECUCAO = :IDEXECUCAO AND L.CDLINHA = 'S' AND )"_s + NotUndone + uR"(
 ORDER BY L.NRORDEM DESC)"_s,
                                   {{u":IDEXECUCAO"_s, double(id)}});
    QList<Entry> entries;
    while (lines.next()) {
        const qint64 order = lines.value(0).toLongLong();
        if (entries.isEmpty() || entries.constLast().order != order)
            entries.append({order, {}, {}});
        Version &version = lines.value(1).toString() == u"A" ? entries.last().former : entries.last().written;
        version.present = true;
        version.paciente = lines.value(2).toString();
        version.data = m_db.dialect().oleDate(lines.value(3)).value_or(0);
        version.sequencia = lines.value(4).toString();
        version.filial = lines.value(5).toString();
        version.servico = lines.value(6).toString();
        version.dieta = lines.value(7).toString();
    }
    lines.finish();
    return entries;
}

RunUndo::ServiceResult RunUndo::undoService(qint64 id, const Entry &entry, const QString &operador)
{
    const Version &key = entry.written.present ? entry.written : entry.former;
    ServiceResult result{key.paciente, key.data, key.servico, key.dieta, entry.former.sequencia, false, {}};
    const SqlDialect &dialect = m_db.dialect();
    const QVariant runId = double(id), order = double(entry.order), data = dialect.dateTimeValue(key.data);
    try {
        m_db.inOwnTransaction([&] {
            if (exists(m_db, u"SELECT 1 FROM EXECDESFEITO WHERE IDEXECUCAO = :IDEXECUCAO AND NRORDEM = :NRORDEM"_s,
                       {{u":IDEXECUCAO"_s, runId}, {u":NRORDEM"_s, order}}))
                return; // another undo of the run took it meanwhile
            const QVariant later = single(m_db, uR"(
SELECT MIN(L.IDEXECUCAO) FROM EXECLINHA L
 WHERE L.CDPACIENTE = :CDPACIENTE AND L.DTSERVINTE = :DTSERVINTE AND L.CDFILIAL = :CDFILIAL
   AND L.CDSERVFILI = :CDSERVFILI AND L.CDDIETPAD = :CDDIETPAD AND L.CDLINHA = 'S' AND L.IDEXECUCAO > :IDEXECUCAO
   AND )"_s + NotUndone,
                                          {{u":CDPACIENTE"_s, key.paciente}, {u":DTSERVINTE"_s, data},
                                           {u":CDFILIAL"_s, key.filial}, {u":CDSERVFILI"_s, key.servico},
                                           {u":CDDIETPAD"_s, key.dieta}, {u":IDEXECUCAO"_s, runId}});
            if (!later.isNull())
                throw Refused{u"substituído depois pela execução %1"_s.arg(later.toLongLong())};

            if (entry.written.present) {
                const QVariant sequencia = entry.written.sequencia;
                const Statements::Binds at = {{u":IDEXECUCAO"_s, runId}, {u":NRORDEM"_s, order},
                                              {u":P"_s, key.paciente},  {u":D"_s, data},
                                              {u":Q"_s, sequencia},     {u":F"_s, key.filial}};
                const auto counts = [&](const QString &sql) {
                    PreparedStatement &query = run(m_db, sql, at);
                    query.next();
                    const std::pair<qint64, qint64> found{query.value(0).toLongLong(), query.value(1).toLongLong()};
                    query.finish();
                    return found;
                };
                const auto [services, sameServices] = counts(JournalSql::serviceAsWritten());
                const auto [items, sameItems] = counts(JournalSql::itemsAsWritten());
                const qint64 written = single(m_db, uR"(
SELECT COUNT(*) FROM EXECLINHA
 WHERE IDEXECUCAO = :IDEXECUCAO AND NRORDEM = :NRORDEM AND IDVERSAO = 'N' AND CDLINHA <> 'S')"_s,
                                              {{u":IDEXECUCAO"_s, runId}, {u":NRORDEM"_s, order}})
                                           .toLongLong();
                if (services != 1 || sameServices != 1 || items != written || sameItems != written)
                    throw Refused{u"alterado depois da cópia"_s};
                // the items go with it, in cascade
                run(m_db, u"DELETE FROM SERVINTE WHERE CDPACIENTE = :CDPACIENTE AND DTSERVINTE = :DTSERVINTE"
                          u" AND NRSEQUSERV = :NRSEQUSERV AND CDFILIAL = :CDFILIAL"_s,
                    {{u":CDPACIENTE"_s, key.paciente}, {u":DTSERVINTE"_s, data}, {u":NRSEQUSERV"_s, sequencia},
                     {u":CDFILIAL"_s, key.filial}});
            }
            if (entry.former.present) {
                try {
                    run(m_db, JournalSql::restoreService(), {{u":IDEXECUCAO"_s, runId}, {u":NRORDEM"_s, order}});
                    run(m_db, JournalSql::restoreItems(), {{u":IDEXECUCAO"_s, runId}, {u":NRORDEM"_s, order}});
                } catch (const EConstraintViolation &) {
                    throw Refused{u"a sequência %1 do serviço anterior, ou o serviço com essa dieta, já está ocupada"_s.arg(
                        entry.former.sequencia)};
                }
            }
            run(m_db, uR"(
INSERT INTO EXECDESFEITO (IDEXECUCAO, NRORDEM, DTDESFEITO, CDOPERADOR)
VALUES (:IDEXECUCAO, :NRORDEM, :DTDESFEITO, :CDOPERADOR))"_s,
                {{u":IDEXECUCAO"_s, runId}, {u":NRORDEM"_s, order},
                 {u":DTDESFEITO"_s, dialect.dateTimeValue(journalNow())}, {u":CDOPERADOR"_s, operador}});
        });
        result.undone = true;
    } catch (const Refused &refused) {
        result.why = refused.why;
    }
    return result;
}

} // namespace rbx
