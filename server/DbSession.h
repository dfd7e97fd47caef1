#pragma once

#include <db/SqlDialect.h>
#include <db/SqlSession.h>
#include "TransactionListener.h"
#include <protocol/WireProtocol.h>
#include "WriteGate.h"

#include <QElapsedTimer>

#include <functional>
#include <memory>
#include <optional>
#include <utility>

namespace rbx {

// The database side of one connection: its own database session with the statements prepared on
// it, and the transaction the client may hold open between calls. Lives and dies in the
// connection's thread.
//
// The database may go away under a session (a Firebird server restarted, a network cut). The
// session then drops its dead connection and opens a new one before the next call, so that a
// screen left open survives the outage; a client transaction open at the time is lost and stays
// so until the client ends it, so that its later writes cannot land outside it.
class DbSession final
{
public:
    using Opener = std::function<std::unique_ptr<SqlSession>()>;
    // Receives the database session when this one ends with it healthy and no transaction open.
    using Recycler = std::function<void(std::unique_ptr<SqlSession>)>;

    // Opens the connection at once; throws EDatabaseError ("Banco de dados indisponível: ...")
    // when it cannot.
    explicit DbSession(Opener open, Recycler recycle = {});
    // An open client transaction is rolled back: the client went away without committing.
    ~DbSession();
    DbSession(const DbSession &) = delete;
    DbSession &operator=(const DbSession &) = delete;

    const SqlDialect &dialect() const { return m_database->dialect(); }
    // The one that follows this session's transactions; nullptr: none. Never told of the
    // rollback of the session's end.
    void setTransactionListener(TransactionListener *listener) { m_listener = listener; }
    // The statement of that text, prepared once per database session and kept for the calls
    // after it, in whatever transaction they run. In a grouped unit, the first that may write
    // takes the unit's savepoint.
    PreparedStatement &statement(const QString &sql);
    // Binds and runs a unit's last write. As its only write (the database undoes a failed
    // statement alone), it runs without a savepoint; should the unit fail after it, the whole
    // group is undone.
    void lastWrite(const QString &sql, const std::function<void(PreparedStatement &)> &bind);
    // The statements as one, where the database runs them so (SqlSession::joined); empty if not.
    QString joined(const QStringList &sqls) { return m_database->joined(sqls); }
    // Statements run and prepared over the session, every connection to the database included.
    SqlSession::Counts counts() const;
    bool inTransaction() const { return m_transaction == Transaction::Open; }
    // The database connection went away while the client's transaction was open, or the
    // transaction was abandoned.
    bool transactionLost() const { return m_transaction == Transaction::Lost; }
    // Rolls back the client's open transaction without being asked, freeing what it holds; it is
    // then lost, and the client's next calls are refused with why (-32004) until it ends it.
    // Throws nothing: a connection that cannot roll back is dropped instead.
    void abandonTransaction(const QString &why);

    // Before a call: opens a connection again after one was lost. Throws EDatabaseError while
    // the database cannot be reached.
    void ensureConnected();
    // After a call failed: true when the open connection no longer reaches the database. It is
    // then dropped, and an open client transaction becomes lost.
    bool dropIfLost();

    // Raise -32004 on misuse (nested start, commit or rollback with none open). After a lost
    // transaction, Rollback ends it quietly (the database discarded it already) and Commit ends
    // it with an error saying nothing of it was written.
    void startTransaction();
    void commit();
    void rollback();

    // Runs one call of the client under the session's rules: while a lost transaction waits to be
    // ended only Commit or Rollback may run (-32004 otherwise); a lost connection is opened
    // again first; a call that fails because the connection died is a lost connection to the
    // client, except a read outside a transaction, which runs once more (call(true)) on a new one.
    Wire::CallResult run(bool readOnly, bool endsTransaction, const std::function<Wire::CallResult(bool again)> &call);

    // Runs the writes of one call so that they happen entirely or not at all: in a transaction
    // of their own, or under a savepoint inside the client's transaction.
    void atomically(const std::function<void()> &writes);
    // Runs a unit of writes in a transaction of its own (the client must hold none) and commits
    // it; a conflict with a concurrent writer undoes it and runs it again, up to a few times. A
    // group still open is committed first.
    void inOwnTransaction(const std::function<void()> &writes);

    // Group commit: units of writes that follow one another (the server-side copies a client
    // keeps in flight) share one transaction, each under a savepoint of its own, so that the disk
    // syncs once for many. A unit that fails is undone to its savepoint and its error thrown; the
    // units before it stay in the group. A conflict with a concurrent writer, which this group's
    // snapshot cannot get past, commits the group and runs the unit in a transaction of its own.
    // Nothing of a group is durable until commitGroup(); the client must hold no transaction.
    void inGroup(const std::function<void()> &writes);
    bool groupOpen() const { return m_transaction == Transaction::Grouped; }
    // Units in the open group, and how long ago it began.
    int groupUnits() const { return m_groupUnits; }
    // Which group is open: a new number for each, so that what a group's snapshot showed is not
    // taken for the next one's.
    quint64 groupNumber() const { return groupOpen() ? m_groupNumber : 0; }
    qint64 groupAgeMs() const;
    // Commits the open group, if any. Never throws: how it ended is kept for takeGroupEnd().
    void commitGroup();
    // How the last group ended, told once: committed, or not written at all and why (its commit
    // failed, the connection to the database was lost).
    struct GroupEnd
    {
        bool committed = false;
        QString why;
    };
    std::optional<GroupEnd> takeGroupEnd() { return std::exchange(m_groupEnd, std::nullopt); }

private:
    // Open: the client's; Grouped: the group commit's, never the client's.
    enum class Transaction { None, Open, Lost, Grouped };

    void connect();
    // A grouped unit running: no write yet, its savepoint taken, or its one write made without.
    enum class Unit { None, Unmarked, Marked, WroteUnmarked };
    void markUnit();
    // Takes the write turn and begins a transaction of that kind.
    void begin(Transaction kind);
    // Undoes the writes since the call's savepoint and lets it go; throws EHouseError when the
    // database cannot.
    void undoToCallSavepoint();
    // After a transaction ended: results closed, and statements dropped where they do not
    // outlive it.
    void transactionEnded();
    // The database's side of ending a transaction without committing it.
    void rollBackOpenTransaction();
    void tell(TransactionListener::Event event)
    {
        if (m_listener)
            m_listener->transactionEvent(event);
    }
    // The database's write turn where it takes one writer at a time; none needed otherwise.
    WriteGate::Turn takeWriteTurn();

    Opener m_open;
    Recycler m_recycle;
    SqlSession::Counts m_countsAtOpen; // of the session when it came, kept from earlier users
    std::unique_ptr<SqlSession> m_database;
    SqlSession::Counts m_countsBefore; // of connections dropped before this one
    WriteGate *m_writeGate = nullptr;
    Transaction m_transaction = Transaction::None;
    QString m_lostWhy; // empty: lost with the connection
    WriteGate::Turn m_transactionTurn;
    TransactionListener *m_listener = nullptr;
    Unit m_unit = Unit::None;
    int m_groupUnits = 0;
    quint64 m_groupNumber = 0;
    QElapsedTimer m_groupAge;
    std::optional<GroupEnd> m_groupEnd;
};

} // namespace rbx
