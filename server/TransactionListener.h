#pragma once

namespace rbx {

// What follows the transactions of a database session (DbSession): told when one begins, just
// before it commits, and how it ended, whoever began it (a client's StartTransaction, a call's
// own transaction, the journal's own writes).
class TransactionListener
{
public:
    enum class Event {
        Began,
        // still inside the transaction: what must commit with it is written now; a throw rolls
        // the transaction back (RolledBack follows) and fails the commit
        Committing,
        Committed,
        // also a transaction the database had already lost, when it is ended
        RolledBack,
    };

    virtual void transactionEvent(Event event) = 0;

protected:
    ~TransactionListener() = default;
};

} // namespace rbx
