#pragma once

#include <db/rbx_db_export.h>

#include <protocol/HouseError.h>

#include <QString>
#include <QVariant>

#include <memory>
#include <unordered_map>

namespace rbx {

class SqlDialect;

// A statement the database compiled once. It runs again and again with new values, inside
// whatever transaction its session has open, until the session ends.
class RBX_DB_EXPORT PreparedStatement
{
public:
    virtual ~PreparedStatement() = default;

    // Placeholders are ":NAME", each name once per statement. Values are as the dialect binds
    // them: text, numbers, the dialect's date-time values, or a null QVariant.
    virtual void bind(const QString &placeholder, const QVariant &value) = 0;
    // Throws EConstraintViolation when a key or a reference refuses the row, EDatabaseError for
    // anything else.
    virtual void exec() = 0;
    // False past the last row; a row that cannot be fetched throws.
    virtual bool next() = 0;
    virtual QVariant value(int column) const = 0;
    // The column's position in the result by name, or -1.
    virtual int column(const QString &name) const = 0;
    virtual qint64 rowsAffected() const = 0;
    // Closes the result so that the transaction can end; the statement stays prepared.
    virtual void finish() = 0;
};

// One connection of the server to its database: statements prepared on it and the write
// transaction it runs them in. Belongs to one thread at a time.
// A derived session calls forgetStatements() in its destructor: its statements need it alive.
class RBX_DB_EXPORT SqlSession
{
public:
    virtual ~SqlSession() = default;

    virtual const SqlDialect &dialect() const = 0;
    // Names the connection in the log.
    virtual QString name() const = 0;
    // The same for every session on one database, whoever opened it.
    virtual QString databaseKey() const = 0;

    virtual std::unique_ptr<PreparedStatement> prepare(const QString &sql) = 0;
    // One text that runs these statements (none of them a query) in order as one statement, in
    // one round trip to the database, each with its own placeholders (distinct across them);
    // empty where the product has no such text or these cannot be joined.
    virtual QString joined(const QStringList &sqls)
    {
        Q_UNUSED(sqls);
        return {};
    }
    // False when a statement prepared on this session must be prepared again once the
    // transaction it ran in has ended.
    virtual bool statementsOutliveTransactions() const = 0;

    // A transaction that will write; it must not fail later for having started as a reader.
    virtual void begin() = 0;
    virtual void commit() = 0;
    virtual void rollback() = 0;
    virtual void savepoint(const QString &name) = 0;
    virtual void releaseSavepoint(const QString &name) = 0;
    virtual void rollbackToSavepoint(const QString &name) = 0;

    // True while the connection still reaches its database; *why gets the driver's text when not.
    virtual bool reaches(QString *why) = 0;

    // True when another thread may take the session over once its thread lets go of it, so
    // that a pool can keep it; a Qt connection stays in the thread that opened it.
    virtual bool movableAcrossThreads() const { return false; }

    // The statement of that text on this session, prepared on first use and kept: ready to bind
    // and run. Each call counts as one statement run.
    PreparedStatement &statement(const QString &sql);
    // Closes every open result, so that the transaction can end without a cursor on it.
    void finishStatements();
    // Drops every kept statement: after a transaction they did not outlive.
    void forgetStatements();
    // A statement run that is no kept one (a transaction's begin or end, a savepoint).
    void countRun() { ++m_counts.run; }

    struct Counts
    {
        qint64 run = 0;      // statements run, kept or not
        qint64 prepared = 0; // of them, prepared afresh
    };
    const Counts &counts() const { return m_counts; }

    // Runs `work` in a transaction of its own: committed when it returns, rolled back when it
    // throws (and the error raised again).
    template <typename Work>
    void inTransaction(Work &&work)
    {
        begin();
        try {
            work();
            finishStatements();
            commit();
        } catch (...) {
            try {
                finishStatements();
                rollback();
            } catch (const EHouseError &) {
                // the error that ended the work is the one to report
            }
            throw;
        }
    }

    // Opens a session on the database the URL names, as its owner (the server): "sqlite:PATH"
    // and "firebird://HOST[:PORT]/PATH". Throws EDatabaseError with a message for the user.
    static std::unique_ptr<SqlSession> open(const QString &url, const QString &connectionName);

private:
    std::unordered_map<QString, std::unique_ptr<PreparedStatement>> m_statements;
    Counts m_counts;
};

// A row refused by a key (a duplicate) or a reference (a row it needs is missing). The server
// then works out which one and tells the user in words.
class RBX_DB_EXPORT EConstraintViolation : public EDatabaseError
{
public:
    using EDatabaseError::EDatabaseError;
};

// A concurrent writer held or changed the rows the transaction needed (a lock, an update
// conflict, a busy database): the transaction was undone, and running it again may succeed.
class RBX_DB_EXPORT ETransactionConflict : public EDatabaseError
{
public:
    using EDatabaseError::EDatabaseError;
};

} // namespace rbx
