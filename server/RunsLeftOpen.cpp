#include "RunsLeftOpen.h"

#include <contract/CopyServiceContract.h>
#include "RunJournal.h"
#include "ServerLog.h"
#include <db/SqlDialect.h>
#include <db/SqlSession.h>

namespace rbx {

using namespace Qt::StringLiterals;

namespace {

const QString RemoveQueriesOnly = uR"(
DELETE FROM EXECCOPIA
 WHERE IDSITUACAO = 'A' AND DTDESTINO IS NULL
   AND NOT EXISTS (SELECT 1 FROM EXECLINHA L WHERE L.IDEXECUCAO = EXECCOPIA.IDEXECUCAO))"_s;

// The counts as the run's committed pictures give them: what its writes left at the destination.
const QString CloseAsFailed = uR"(
UPDATE EXECCOPIA
   SET IDSITUACAO = :FALHOU, DTFIM = :AGORA, DSERRO = :DSERRO,
       QTSERVICOS = (SELECT COUNT(*) FROM EXECLINHA L
                      WHERE L.IDEXECUCAO = EXECCOPIA.IDEXECUCAO AND L.IDVERSAO = 'N' AND L.CDLINHA = 'S'),
       QTITENS = (SELECT COUNT(*) FROM EXECLINHA L
                   WHERE L.IDEXECUCAO = EXECCOPIA.IDEXECUCAO AND L.IDVERSAO = 'N' AND L.CDLINHA <> 'S')
 WHERE IDSITUACAO = 'A')"_s;

} // namespace

int closeRunsLeftOpen(const QString &databaseUrl)
{
    const std::unique_ptr<SqlSession> session = SqlSession::open(databaseUrl, u"rbx-runs-left-open"_s);
    int closed = 0;
    session->inTransaction([&] {
        session->statement(RemoveQueriesOnly).exec();
        PreparedStatement &closing = session->statement(CloseAsFailed);
        closing.bind(u":FALHOU"_s, QString(CopyService::RunOutcomeCode::Failed));
        closing.bind(u":AGORA"_s, session->dialect().dateTimeValue(journalNow()));
        closing.bind(u":DSERRO"_s, u"o servidor parou durante a execução"_s);
        closing.exec();
        closed = int(closing.rowsAffected());
    });
    if (closed > 0)
        serverLog(u"journal of runs: %1 run(s) left open by a server that stopped closed as failed"_s.arg(closed));
    return closed;
}

} // namespace rbx
