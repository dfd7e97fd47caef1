#pragma once

#include <db/rbx_db_export.h>

#include <QList>
#include <QString>
#include <QStringList>

#include <utility>

namespace rbx {

class Database;

// The one schema of the copy service: the lookup tables the screen reads and the tables the
// service keeps. Column widths here are the widths the service enforces and the packets declare.
namespace Schema {

enum class ColumnType {
    FixedText, // codes: CHAR(n), stored exactly as given
    Text,      // names and descriptions: VARCHAR(n)
    DateTime,
    Float,
    // a whole number the database gives each new row, never reused: the key of the table
    Serial,
    // a column that refers to a Serial key, typed so that the product matches the two
    SerialReference,
};

struct Column
{
    QString name;
    ColumnType type = ColumnType::Text;
    int size = 0; // characters for the text types
    bool required = false;
};

struct ForeignKey
{
    QStringList columns;
    QString table;
    QStringList references;
    bool cascadeDelete = false;
};

struct RBX_DB_EXPORT Table
{
    QString name;
    QList<Column> columns;
    QStringList primaryKey;
    QList<QStringList> uniques;
    QList<ForeignKey> foreignKeys;
    QList<QStringList> indexes;

    // nullptr when the table has no such column.
    const Column *findColumn(const QString &column) const;
};

// Every table, each after the tables it refers to.
RBX_DB_EXPORT const QList<Table> &tables();
// Throws std::out_of_range for a name the schema does not hold: that is a programming error.
RBX_DB_EXPORT const Table &table(const QString &name);
RBX_DB_EXPORT const Column &column(const QString &table, const QString &column);

// Tables of the schema the database does not hold yet.
RBX_DB_EXPORT QStringList missingTables(Database &database);
// Columns a later schema added to tables the database holds, each with its table.
RBX_DB_EXPORT QList<std::pair<QString, Column>> missingColumns(Database &database);
// A database without the schema gets it whole, at the current version (SchemaVersion.h); one of an
// earlier version is upgraded; then the missing tables, columns and routines the dialect's lookup
// texts need are made, existing ones left as they are. Throws EDatabaseError, and for a
// database of a later version than this program's.
RBX_DB_EXPORT void create(Database &database);

} // namespace Schema

} // namespace rbx
