#pragma once

#include <house/rbx_house_export.h>

#include <db/SqlDialect.h>

#include <QSqlDriver>
#include <QString>

class QSqlDatabase;

// Which of a query's four SQL texts runs on a connection: the service's own dialect says it for
// the products the service stores in (SQLite → Oracle, Firebird/InterBase → InterBase); besides
// them Oracle → Oracle, Microsoft SQL Server → MsSql, anything else → Generic.
using QueryDialect = rbx::SqlDialect::QueryTexts;

RBX_HOUSE_EXPORT QueryDialect dialectFor(QSqlDriver::DbmsType dbms);
RBX_HOUSE_EXPORT QueryDialect dialectFor(const QSqlDatabase &database);

RBX_HOUSE_EXPORT QString dialectName(QueryDialect dialect);
