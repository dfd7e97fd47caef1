#pragma once

#include <db/rbx_db_export.h>

#include "SqlSession.h"

#include <QHash>
#include <QStringList>

#include <memory>

namespace rbx {

namespace FirebirdApi {
struct Attachment;
}

// A session on a Firebird server through the client library's own object interface, without
// Qt's driver: a statement is compiled once and runs in any later transaction, and every call
// is one round trip at most. Texts travel as UTF8. Any thread may use the session, one at a time.
//
// Transactions match what the Qt driver gave the service: begin() opens a snapshot that writes
// and waits for a concurrent writer, though never longer than LockTimeoutSeconds. A statement
// run outside begin() gets a transaction of its own, committed when it has run or, for a query,
// when its rows are read or finished.
//
// Values come back as the Qt driver gave them: texts as QString (a CHAR padded to its width in
// characters), whole numbers as int or qlonglong, the other numbers as double, a TIMESTAMP as
// a QDateTime in UTC holding the stored fields (what FirebirdDialect binds and reads), a text
// BLOB as QString, any null as a null QVariant. A value bound to a column of another type is
// converted by the server, so a text binds to a number or a date as long as it reads as one.
class RBX_DB_EXPORT FirebirdApiSession final : public SqlSession
{
public:
    static constexpr int LockTimeoutSeconds = 5;

    // Attaches with ISC_USER and ISC_PASSWORD. Throws EDatabaseError with the server's text.
    FirebirdApiSession(const QString &url, const QString &connectionName);
    // Rolls back an open transaction and detaches; statements still alive then fail if used.
    ~FirebirdApiSession() override;
    FirebirdApiSession(const FirebirdApiSession &) = delete;
    FirebirdApiSession &operator=(const FirebirdApiSession &) = delete;

    const SqlDialect &dialect() const override;
    QString name() const override;
    QString databaseKey() const override;

    std::unique_ptr<PreparedStatement> prepare(const QString &sql) override;
    // An EXECUTE BLOCK of the statements, its inputs typed as each statement's parameters are.
    QString joined(const QStringList &sqls) override;
    bool statementsOutliveTransactions() const override { return true; }

    // A failed commit ends the transaction rolled back. A rollback with none open does nothing.
    void begin() override;
    void commit() override;
    void rollback() override;
    void savepoint(const QString &name) override;
    void releaseSavepoint(const QString &name) override;
    void rollbackToSavepoint(const QString &name) override;

    bool reaches(QString *why) override;
    bool movableAcrossThreads() const override { return true; }

private:
    std::shared_ptr<FirebirdApi::Attachment> m_attachment;
    std::unique_ptr<PreparedStatement> m_probe; // what reaches() runs, prepared on first use
    QHash<QString, QString> m_joined;            // by the statements joined; empty: not joinable
};

// What SqlSession::open returns for a firebird:// URL. The database must exist.
RBX_DB_EXPORT std::unique_ptr<SqlSession> openFirebirdApiSession(const QString &url, const QString &connectionName);

} // namespace rbx
