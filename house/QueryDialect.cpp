#include "QueryDialect.h"

#include <db/Database.h>

#include <QSqlDatabase>

QueryDialect dialectFor(QSqlDriver::DbmsType dbms)
{
    if (const rbx::SqlDialect *served = rbx::Database::dialectOf(dbms))
        return served->queryTexts();
    switch (dbms) {
    case QSqlDriver::Oracle: return QueryDialect::Oracle;
    case QSqlDriver::MSSqlServer: return QueryDialect::MsSql;
    default: return QueryDialect::Generic;
    }
}

QueryDialect dialectFor(const QSqlDatabase &database)
{
    const QSqlDriver *driver = database.driver();
    return driver ? dialectFor(driver->dbmsType()) : QueryDialect::Generic;
}

QString dialectName(QueryDialect dialect)
{
    switch (dialect) {
    case QueryDialect::Generic: return QStringLiteral("SQL");
    case QueryDialect::Oracle: return QStringLiteral("SQL_ORACLE");
    case QueryDialect::MsSql: return QStringLiteral("SQL_MSSQL");
    case QueryDialect::InterBase: return QStringLiteral("SQL_IB");
    }
    return {};
}
