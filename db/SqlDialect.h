#pragma once

#include <db/rbx_db_export.h>

#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>

class QSqlDatabase;

namespace rbx {

namespace Schema {
struct Table;
struct Column;
enum class ColumnType;
} // namespace Schema

// What differs between the database products the service stores in: column types, how a
// connection is set up, transactions, date values and the list-membership test. Everything
// else (the schema, the statements of the service) is written once against this interface.
class RBX_DB_EXPORT SqlDialect
{
public:
    virtual ~SqlDialect() = default;

    // Which of the four texts of a house query (generic, Oracle, SQL Server, InterBase) runs on
    // this product: the house library's queries pick theirs through the same dialect.
    enum class QueryTexts { Generic, Oracle, MsSql, InterBase };
    virtual QueryTexts queryTexts() const = 0;

    virtual QString name() const = 0;
    // The Qt SQL driver that reaches this product.
    virtual QString driverName() const = 0;

    virtual QString columnType(Schema::ColumnType type, int size) const = 0;
    // Statements run once on every new connection before it is used.
    virtual QStringList sessionSetup() const = 0;

    // A transaction that will write; it must not fail later for having started as a reader.
    virtual void beginWrite(QSqlDatabase &db) const = 0;
    virtual void commit(QSqlDatabase &db) const = 0;
    virtual void rollback(QSqlDatabase &db) const = 0;
    // Savepoints make one call atomic inside a transaction the client holds open.
    virtual void savepoint(QSqlDatabase &db, const QString &name) const;
    virtual void releaseSavepoint(QSqlDatabase &db, const QString &name) const;
    virtual void rollbackToSavepoint(QSqlDatabase &db, const QString &name) const;

    // SQL that is true when the text bound to flagParameter is "T", or when "_" + codeExpr + "_"
    // occurs in the text bound to listParameter: one filter group of a selection. Both texts
    // may be of any length.
    // One INSERT of `rows` rows into those columns of the schema's table, the k-th row's values
    // bound as ":COLUMN_k" (k from 1): one statement, and one round trip to a remote database,
    // for many rows.
    virtual QString insertRows(const QString &table, const QStringList &columns, int rows) const;
    virtual QString groupPasses(const QString &flagParameter, const QString &listParameter,
                                const QString &codeExpr) const = 0;

    // Date-times travel as OLE dates; this is how one is bound and read back.
    virtual QVariant dateTimeValue(double oleDate) const = 0;
    // std::nullopt for a null value and for one that is no date-time of this dialect.
    virtual std::optional<double> oleDate(const QVariant &value) const = 0;

    // The value an INSERT gives a serial key (read back with RETURNING).
    virtual QString nextSerial(const QString &table) const = 0;
    // A serial key declared inside CREATE TABLE, where the product does so; the table then has no
    // key constraint of its own.
    virtual std::optional<QString> inlineSerialKey(const Schema::Column &) const { return std::nullopt; }
    // What the product keeps beside a table with a serial key, and its name.
    virtual QStringList serialObjects(const QString &) const { return {}; }

    // The statements that create one table with its keys and indexes.
    QStringList createTable(const Schema::Table &table) const;
    // Adds a column to an existing table; only a column that may be null can be added to rows
    // already there.
    QString addColumn(const QString &table, const Schema::Column &column) const;
    // The statements that create what the lookups' texts for this product call besides the
    // tables, for each such object the database does not hold yet. None by default.
    virtual QStringList missingRoutines(QSqlDatabase &db) const;
    // True when a table a transaction creates can take rows in that same transaction, so that a
    // schema change and the version it brings commit together.
    virtual bool schemaChangesShareTransactions() const { return true; }
    // True when the product lets one writer in at a time, so that writers are best queued by
    // whoever shares the database.
    virtual bool singleWriter() const { return false; }
    // A savepoint named like one the transaction holds replaces it, releasing the older one:
    // releasing each is then a statement (and a round trip) saved.
    virtual bool savepointReplacesItsName() const { return false; }
};

} // namespace rbx
