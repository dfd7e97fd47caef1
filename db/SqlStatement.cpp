#include "SqlStatement.h"

#include <protocol/HouseError.h>

#include <QSqlError>

namespace rbx {

using namespace Qt::StringLiterals;

namespace {
[[noreturn]] void fail(const QSqlQuery &query, const QString &sql)
{
    const QString first = sql.simplified().left(60);
    throw EDatabaseError(u"Erro no banco de dados: %1 [%2]"_s.arg(query.lastError().text(), first));
}
} // namespace

SqlStatement::SqlStatement(const QSqlDatabase &db, const QString &sql) : m_query(db)
{
    m_query.setForwardOnly(true);
    if (!m_query.prepare(sql))
        fail(m_query, sql);
}

SqlStatement &SqlStatement::bind(const QString &placeholder, const QVariant &value)
{
    m_query.bindValue(placeholder, value);
    return *this;
}

SqlStatement &SqlStatement::exec()
{
    if (!m_query.exec())
        fail(m_query, m_query.lastQuery());
    return *this;
}

bool SqlStatement::next()
{
    if (m_query.next())
        return true;
    if (m_query.lastError().isValid())
        fail(m_query, m_query.lastQuery());
    return false;
}

void execSql(const QSqlDatabase &db, const QString &sql)
{
    QSqlQuery query(db);
    if (!query.exec(sql))
        fail(query, sql);
}

} // namespace rbx
