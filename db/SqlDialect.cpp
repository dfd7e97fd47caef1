#include "SqlDialect.h"

#include "Schema.h"
#include "SqlStatement.h"

#include <stdexcept>

namespace rbx {

using namespace Qt::StringLiterals;

void SqlDialect::savepoint(QSqlDatabase &db, const QString &name) const
{
    execSql(db, u"SAVEPOINT "_s + name);
}

void SqlDialect::releaseSavepoint(QSqlDatabase &db, const QString &name) const
{
    execSql(db, u"RELEASE SAVEPOINT "_s + name);
}

void SqlDialect::rollbackToSavepoint(QSqlDatabase &db, const QString &name) const
{
    execSql(db, u"ROLLBACK TO SAVEPOINT "_s + name);
}

QStringList SqlDialect::missingRoutines(QSqlDatabase &) const { return {}; }

QString SqlDialect::insertRows(const QString &table, const QStringList &columns, int rows) const
{
    QStringList values;
    for (int k = 1; k <= rows; ++k) {
        QStringList row;
        for (const QString &column : columns)
            row << u":%1_%2"_s.arg(column).arg(k);
        values << u"("_s + row.join(u", "_s) + u')';
    }
    return u"INSERT INTO %1 (%2) VALUES %3"_s.arg(table, columns.join(u", "_s), values.join(u", "_s));
}

QString SqlDialect::addColumn(const QString &table, const Schema::Column &column) const
{
    if (column.required)
        throw std::logic_error("a required column cannot be added to existing rows: " + column.name.toStdString());
    // the same words on SQLite and Firebird
    return u"ALTER TABLE %1 ADD %2 %3"_s.arg(table, column.name, columnType(column.type, column.size));
}

QStringList SqlDialect::createTable(const Schema::Table &table) const
{
    QStringList parts;
    bool keyInline = false;
    for (const Schema::Column &column : table.columns) {
        if (column.type == Schema::ColumnType::Serial) {
            if (table.primaryKey != QStringList{column.name})
                throw std::logic_error("a serial column must be its table's key: " + column.name.toStdString());
            if (const std::optional<QString> inlined = inlineSerialKey(column)) {
                parts << *inlined;
                keyInline = true;
                continue;
            }
        }
        QString part = column.name + u' ' + columnType(column.type, column.size);
        if (column.required)
            part += u" NOT NULL"_s;
        parts << part;
    }
    if (!keyInline)
        parts << u"CONSTRAINT PK_%1 PRIMARY KEY (%2)"_s.arg(table.name, table.primaryKey.join(u", "_s));
    for (qsizetype i = 0; i < table.uniques.size(); ++i)
        parts << u"CONSTRAINT UQ_%1_%2 UNIQUE (%3)"_s.arg(table.name).arg(i + 1).arg(table.uniques.at(i).join(u", "_s));
    for (qsizetype i = 0; i < table.foreignKeys.size(); ++i) {
        const Schema::ForeignKey &key = table.foreignKeys.at(i);
        QString part = u"CONSTRAINT FK_%1_%2 FOREIGN KEY (%3) REFERENCES %4 (%5)"_s.arg(table.name)
                           .arg(i + 1)
                           .arg(key.columns.join(u", "_s), key.table, key.references.join(u", "_s));
        if (key.cascadeDelete)
            part += u" ON DELETE CASCADE"_s;
        parts << part;
    }
    QStringList statements{u"CREATE TABLE %1 (\n  %2\n)"_s.arg(table.name, parts.join(u",\n  "_s))};
    for (const Schema::Column &column : table.columns) {
        if (column.type == Schema::ColumnType::Serial)
            statements << serialObjects(table.name);
    }
    for (qsizetype i = 0; i < table.indexes.size(); ++i)
        statements << u"CREATE INDEX IX_%1_%2 ON %1 (%3)"_s.arg(table.name).arg(i + 1).arg(table.indexes.at(i).join(u", "_s));
    return statements;
}

} // namespace rbx
