#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class Database;

// The one schema of the copy service: the lookup tables the screen reads and the tables the
// service keeps. Column widths here are the widths the service enforces and the packets declare.
namespace Schema {

enum class ColumnType {
    FixedText, // codes: CHAR(n), stored exactly as given
    Text,      // names and descriptions: VARCHAR(n)
    DateTime,
    Float,
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

struct Table
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
const QList<Table> &tables();
// Throws std::out_of_range for a name the schema does not hold: that is a programming error.
const Table &table(const QString &name);
const Column &column(const QString &table, const QString &column);

// Tables of the schema the database does not hold yet.
QStringList missingTables(Database &database);
// Creates the missing tables, and the routines the dialect's lookup texts need, in one
// transaction; existing ones are left as they are. Throws EDatabaseError.
void create(Database &database);

} // namespace Schema
