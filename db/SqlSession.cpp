#include "SqlSession.h"

#include "Database.h"
#include "QtSqlSession.h"

std::unique_ptr<SqlSession> SqlSession::open(const QString &url, const QString &connectionName)
{
    return std::make_unique<QtSqlSession>(Database::open(url, connectionName));
}

PreparedStatement &SqlSession::statement(const QString &sql)
{
    ++m_counts.run;
    auto found = m_statements.find(sql);
    if (found == m_statements.end()) {
        std::unique_ptr<PreparedStatement> prepared = prepare(sql);
        ++m_counts.prepared;
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
