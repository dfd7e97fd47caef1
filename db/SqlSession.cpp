#include "SqlSession.h"

#include "Database.h"
#include "FirebirdApiSession.h"
#include "FirebirdConnection.h"
#include <protocol/LogCategories.h>
#include "QtSqlSession.h"

#include <QElapsedTimer>

namespace rbx {

namespace {

QString firstLine(const QString &sql) { return sql.trimmed().section(u'\n', 0, 0).left(120); }

// A kept statement that says, when rbx.db's debug lines are on, what it ran and how long it took;
// otherwise it costs one test per run.
class TracedStatement final : public PreparedStatement
{
public:
    TracedStatement(std::unique_ptr<PreparedStatement> statement, QString sql)
        : m_statement(std::move(statement)), m_sql(std::move(sql))
    {
    }
    void bind(const QString &placeholder, const QVariant &value) override { m_statement->bind(placeholder, value); }
    void exec() override
    {
        if (!lcDb().isDebugEnabled()) {
            m_statement->exec();
            return;
        }
        QElapsedTimer timer;
        timer.start();
        try {
            m_statement->exec();
        } catch (const EHouseError &error) {
            qCDebug(lcDb).noquote() << "failed after" << timer.nsecsElapsed() / 1000 << "µs:" << firstLine(m_sql) << "-"
                                    << error.message();
            throw;
        }
        qCDebug(lcDb).noquote() << "ran in" << timer.nsecsElapsed() / 1000 << "µs," << m_statement->rowsAffected()
                                << "rows:" << firstLine(m_sql);
    }
    bool next() override { return m_statement->next(); }
    QVariant value(int column) const override { return m_statement->value(column); }
    int column(const QString &name) const override { return m_statement->column(name); }
    qint64 rowsAffected() const override { return m_statement->rowsAffected(); }
    void finish() override { m_statement->finish(); }

private:
    std::unique_ptr<PreparedStatement> m_statement;
    QString m_sql;
};

} // namespace

std::unique_ptr<SqlSession> SqlSession::open(const QString &url, const QString &connectionName)
{
    // Firebird through its own client library: Qt's driver can keep no statement past a transaction
    if (FirebirdServer::isFirebirdUrl(url)) {
        if (const QString problem = Database::checkUrl(url); !problem.isEmpty())
            throw EDatabaseError(problem);
        return openFirebirdApiSession(url, connectionName);
    }
    return std::make_unique<QtSqlSession>(Database::open(url, connectionName));
}

PreparedStatement &SqlSession::statement(const QString &sql)
{
    ++m_counts.run;
    auto found = m_statements.find(sql);
    if (found == m_statements.end()) {
        auto prepared = std::make_unique<TracedStatement>(prepare(sql), sql);
        ++m_counts.prepared;
        qCDebug(lcDb).noquote() << name() << "prepared:" << firstLine(sql);
        found = m_statements.emplace(sql, std::move(prepared)).first;
    }
    return *found->second;
}

void SqlSession::finishStatements()
{
    for (auto &[sql, statement] : m_statements)
        statement->finish();
}

void SqlSession::forgetStatements() { m_statements.clear(); }

} // namespace rbx
