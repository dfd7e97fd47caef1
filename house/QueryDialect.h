#pragma once

#include "rbx_house_export.h"

#include <QSqlDriver>
#include <QString>

class QSqlDatabase;

// Which of a query's four SQL texts runs on a connection.
enum class QueryDialect { Generic, Oracle, MsSql, InterBase };

// Firebird/InterBase → InterBase; Oracle → Oracle; SQLite → Oracle (it has instr() and "||" and
// understands those texts as written); Microsoft SQL Server → MsSql; anything else → Generic.
RBX_HOUSE_EXPORT QueryDialect dialectFor(QSqlDriver::DbmsType dbms);
RBX_HOUSE_EXPORT QueryDialect dialectFor(const QSqlDatabase &database);

RBX_HOUSE_EXPORT QString dialectName(QueryDialect dialect);
