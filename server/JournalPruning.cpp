#include "JournalPruning.h"

#include <protocol/HouseError.h>
#include "RunJournal.h"
#include "ServerLog.h"
#include <db/SqlDialect.h>
#include <db/SqlSession.h>

#include <QTimer>

namespace rbx {

using namespace Qt::StringLiterals;

namespace {
constexpr int DayMs = 24 * 60 * 60 * 1000;
}

JournalPruning::JournalPruning(QString databaseUrl, int days, QObject *parent)
    : QObject(parent), m_databaseUrl(std::move(databaseUrl)), m_days(days), m_timer(new QTimer(this))
{
    m_timer->setInterval(DayMs);
    connect(m_timer, &QTimer::timeout, this, [this] {
        try {
            pruneNow();
        } catch (const EHouseError &error) {
            serverLog(u"journal of runs not pruned: "_s + error.message());
        }
    });
}

void JournalPruning::start()
{
    pruneNow();
    m_timer->start();
}

qint64 JournalPruning::pruneNow()
{
    const std::unique_ptr<SqlSession> session = SqlSession::open(m_databaseUrl, u"rbx-journal-pruning"_s);
    qint64 removed = 0;
    session->inTransaction([&] {
        // what each run pictured goes with it, in cascade
        PreparedStatement &prune = session->statement(u"DELETE FROM EXECCOPIA WHERE DTINICIO < :LIMITE"_s);
        prune.bind(u":LIMITE"_s, session->dialect().dateTimeValue(journalNow() - m_days));
        prune.exec();
        removed = prune.rowsAffected();
    });
    if (removed > 0)
        serverLog(u"journal of runs: %1 run(s) older than %2 days removed"_s.arg(removed).arg(m_days));
    return removed;
}

} // namespace rbx
