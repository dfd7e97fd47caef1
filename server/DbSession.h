#pragma once

#include "Database.h"
#include "SqlDialect.h"

#include <functional>
#include <memory>

// The database side of one connection: its own Qt connection, and the transaction the client
// may hold open between calls. Lives and dies in the connection's thread.
class DbSession final
{
public:
    explicit DbSession(std::unique_ptr<Database> database);
    // An open client transaction is rolled back: the client went away without committing.
    ~DbSession();
    DbSession(const DbSession &) = delete;
    DbSession &operator=(const DbSession &) = delete;

    QSqlDatabase &sql() { return m_database->sql(); }
    const SqlDialect &dialect() const { return m_database->dialect(); }
    bool inTransaction() const { return m_inTransaction; }

    // Raise -32004 on misuse (nested start, commit or rollback with none open).
    void startTransaction();
    void commit();
    void rollback();

    // Runs the writes of one call so that they happen entirely or not at all: in a transaction
    // of their own, or under a savepoint inside the client's transaction.
    void atomically(const std::function<void()> &writes);

private:
    std::unique_ptr<Database> m_database;
    bool m_inTransaction = false;
};
