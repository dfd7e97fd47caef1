#pragma once

#include <db/rbx_db_export.h>

#include "SqlDialect.h"

namespace rbx {

// Firebird 3 through Qt's QIBASE driver. Every text column is VARCHAR in UTF8: CHAR would pad
// codes with blanks, and a padded code neither equals what a client sends back in a packet nor
// fits between the "_" of a selection list. Transactions are the driver's own (snapshot, waiting
// for a concurrent writer to finish); a conflicting write fails, it never overwrites.
// The lookups' InterBase texts need the procedure PARAM and the function INSTR, created with
// the schema.
class RBX_DB_EXPORT FirebirdDialect final : public SqlDialect
{
public:
    QueryTexts queryTexts() const override { return QueryTexts::InterBase; }
    QString name() const override;
    QString driverName() const override;
    QString columnType(Schema::ColumnType type, int size) const override;
    QStringList sessionSetup() const override;
    QString nextSerial(const QString &table) const override;
    QString insertRows(const QString &table, const QStringList &columns, int rows) const override;
    bool savepointReplacesItsName() const override { return true; }
    QStringList serialObjects(const QString &table) const override;
    // The sequence that numbers a table's serial key.
    static QString sequenceOf(const QString &table);
    void beginWrite(QSqlDatabase &db) const override;
    void commit(QSqlDatabase &db) const override;
    void rollback(QSqlDatabase &db) const override;
    QString groupPasses(const QString &flagParameter, const QString &listParameter,
                        const QString &codeExpr) const override;
    QVariant dateTimeValue(double oleDate) const override;
    std::optional<double> oleDate(const QVariant &value) const override;
    QStringList missingRoutines(QSqlDatabase &db) const override;
    // Firebird puts a new table to use only once its transaction commits.
    bool schemaChangesShareTransactions() const override { return false; }
};

} // namespace rbx
