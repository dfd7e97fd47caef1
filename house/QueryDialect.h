#pragma once

#include <QSqlDriver>
#include <QString>

class QSqlDatabase;

// Which of a query's four SQL texts runs on a connection.
enum class QueryDialect { Generic, Oracle, MsSql, InterBase };

// Firebird/InterBase → InterBase; Oracle → Oracle; SQLite → Oracle (it has instr() and "||" and
// understands those texts as written); Microsoft SQL Server → MsSql; anything else → Generic.
QueryDialect dialectFor(QSqlDriver::DbmsType dbms);
QueryDialect dialectFor(const QSqlDatabase &database);

QString dialectName(QueryDialect dialect);
