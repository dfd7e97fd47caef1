#pragma once

#include <db/rbx_db_export.h>

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariant>

namespace rbx {

// A prepared statement whose every step is checked: a failure throws EDatabaseError carrying
// the driver's text, so no caller can forget a bool.
class RBX_DB_EXPORT SqlStatement final
{
public:
    SqlStatement(const QSqlDatabase &db, const QString &sql);
    SqlStatement(const SqlStatement &) = delete;
    SqlStatement &operator=(const SqlStatement &) = delete;

    SqlStatement &bind(const QString &placeholder, const QVariant &value);
    SqlStatement &exec();
    // False past the last row. A row that cannot be fetched throws: some products (Firebird)
    // report errors only when the rows are read.
    bool next();
    QVariant value(int index) const { return m_query.value(index); }
    QVariant value(const QString &column) const { return m_query.value(column); }
    int rowsAffected() const { return m_query.numRowsAffected(); }
    // Lets the connection commit while this statement object still exists.
    void finish() { m_query.finish(); }
    QSqlQuery &query() { return m_query; }

private:
    QSqlQuery m_query;
};

// Runs one statement without parameters.
RBX_DB_EXPORT void execSql(const QSqlDatabase &db, const QString &sql);

} // namespace rbx
