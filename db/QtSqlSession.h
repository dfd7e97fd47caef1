#pragma once

#include <db/rbx_db_export.h>

#include "SqlSession.h"

namespace rbx {

class Database;

// A session on a Qt SQL connection: SQLite, and Firebird through Qt's InterBase driver where
// the server has no better way to reach it. The connection belongs to the thread that opened it.
class RBX_DB_EXPORT QtSqlSession final : public SqlSession
{
public:
    explicit QtSqlSession(std::unique_ptr<Database> database);
    ~QtSqlSession() override;

    const SqlDialect &dialect() const override;
    QString name() const override;
    QString databaseKey() const override;

    std::unique_ptr<PreparedStatement> prepare(const QString &sql) override;
    // Qt's InterBase driver ties a prepared statement to the transaction it ran in.
    bool statementsOutliveTransactions() const override;

    void begin() override;
    void commit() override;
    void rollback() override;
    void savepoint(const QString &name) override;
    void releaseSavepoint(const QString &name) override;
    void rollbackToSavepoint(const QString &name) override;

    bool reaches(QString *why) override;

    Database &database() { return *m_database; }

private:
    std::unique_ptr<Database> m_database;
};

} // namespace rbx
