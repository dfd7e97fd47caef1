#pragma once

#include <db/rbx_db_export.h>

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QString>

#include <memory>

namespace rbx {

class SqlDialect;

// An open connection to a database together with its dialect. The connection is a named Qt
// connection: it belongs to the thread that opened it and is removed on destruction.
class RBX_DB_EXPORT Database final
{
public:
    enum class Role {
        // The service, which keeps the database: a missing one is created, and the dialect's
        // session set-up runs.
        Owner,
        // Reads a database someone else keeps: opens an existing one only and changes nothing of
        // it (a SQLite file is opened read-only); a SQLite reader waits out a writer's lock
        // instead of failing at once.
        Reader,
    };

    // The one place where a database URL becomes a connection. Understands "sqlite:PATH"
    // (":memory:" as PATH for a private in-memory database) and "firebird://HOST[:PORT]/PATH".
    // Throws EDatabaseError with a message for the user.
    static std::unique_ptr<Database> open(const QString &url, const QString &connectionName,
                                          Role role = Role::Owner);
    // Empty when the URL names a database this build can open; otherwise why not.
    static QString checkUrl(const QString &url);
    // The dialect of a product the service stores in; nullptr for any other.
    static const SqlDialect *dialectOf(QSqlDriver::DbmsType product);
    // The file a "sqlite:PATH" URL names; empty for any other URL.
    static QString sqlitePath(const QString &url);

    ~Database();
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    QSqlDatabase &sql() { return m_db; }
    const SqlDialect &dialect() const { return *m_dialect; }
    const QString &connectionName() const { return m_connectionName; }

private:
    Database(QSqlDatabase db, const SqlDialect &dialect, QString connectionName);

    QSqlDatabase m_db;
    const SqlDialect *m_dialect;
    QString m_connectionName;
};

} // namespace rbx
