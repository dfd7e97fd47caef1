#pragma once

#include <db/rbx_db_export.h>

#include "SqlDialect.h"

namespace rbx {

// SQLite: one file, WAL journal so readers never wait for the writer, and a busy timeout so
// concurrent writers queue instead of failing at once.
class RBX_DB_EXPORT SqliteDialect final : public SqlDialect
{
public:
    // How long a writer waits for another connection's write transaction to end.
    static constexpr int BusyTimeoutMs = 5000;
    bool singleWriter() const override { return true; }

    // it has instr() and "||", and understands the Oracle texts as written
    QueryTexts queryTexts() const override { return QueryTexts::Oracle; }
    QString name() const override;
    QString driverName() const override;
    QString columnType(Schema::ColumnType type, int size) const override;
    QStringList sessionSetup() const override;
    QString nextSerial(const QString &table) const override;
    std::optional<QString> inlineSerialKey(const Schema::Column &column) const override;
    void beginWrite(QSqlDatabase &db) const override;
    void commit(QSqlDatabase &db) const override;
    void rollback(QSqlDatabase &db) const override;
    QString groupPasses(const QString &flagParameter, const QString &listParameter,
                        const QString &codeExpr) const override;
    QVariant dateTimeValue(double oleDate) const override;
    std::optional<double> oleDate(const QVariant &value) const override;
};

} // namespace rbx
