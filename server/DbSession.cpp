#include "DbSession.h"

#include <protocol/HouseError.h>
#include <protocol/LogCategories.h>
#include "ServerLimits.h"
#include "ServerLog.h"
#include <protocol/WireProtocol.h>

#include <utility>

namespace rbx {

using namespace Qt::StringLiterals;

namespace {
const QString CallSavepoint = u"RBX_CALL"_s;
// A copy of one service meets a concurrent writer of the same patient and day rarely, and a
// second or third try finds the rows settled.
constexpr int ConflictAttempts = 5;
} // namespace

DbSession::DbSession(Opener open, Recycler recycle) : m_open(std::move(open)), m_recycle(std::move(recycle))
{
    connect();
}

DbSession::~DbSession()
{
    if (!m_database)
        return;
    try {
        m_database->finishStatements();
        // a group still open here was never answered: whole or absent is all it owes
        if (inTransaction() || groupOpen())
            m_database->rollback();
    } catch (const EHouseError &error) {
        // closing the connection below discards the transaction anyway
        serverLog(u"rollback at disconnect failed: "_s + error.message());
        return;
    }
    if (m_recycle && m_transaction == Transaction::None) {
        try {
            m_recycle(std::move(m_database));
        } catch (const std::exception &error) {
            serverLog(u"database session not kept: "_s + QString::fromUtf8(error.what()));
        }
    }
}

void DbSession::connect()
{
    try {
        m_database = m_open();
    } catch (const EHouseError &error) {
        throw EDatabaseError(u"Banco de dados indisponível: "_s + error.message());
    }
    m_countsAtOpen = m_database->counts();
    if (dialect().singleWriter())
        m_writeGate = &WriteGate::forDatabase(m_database->databaseKey());
}

namespace {
// Conservatively: whatever is not plainly a query may write.
bool mayWrite(const QString &sql)
{
    const QStringView text = QStringView(sql).trimmed();
    return !text.startsWith(u"SELECT"_s, Qt::CaseInsensitive);
}
} // namespace

PreparedStatement &DbSession::statement(const QString &sql)
{
    // a grouped unit's savepoint waits for its first write: its reads need none
    if (m_unit == Unit::Unmarked && mayWrite(sql))
        markUnit();
    return m_database->statement(sql);
}

void DbSession::lastWrite(const QString &sql, const std::function<void(PreparedStatement &)> &bind)
{
    // The unit's one write: when it fails the database undoes it alone, and a savepoint would
    // only have cost a round trip.
    const bool alone = m_unit == Unit::Unmarked;
    PreparedStatement &write = alone ? m_database->statement(sql) : statement(sql);
    bind(write);
    write.exec();
    if (alone)
        m_unit = Unit::WroteUnmarked;
}

void DbSession::markUnit()
{
    m_database->countRun();
    m_database->savepoint(CallSavepoint);
    m_unit = Unit::Marked;
}

SqlSession::Counts DbSession::counts() const
{
    SqlSession::Counts counts = m_countsBefore;
    if (m_database) {
        counts.run += m_database->counts().run - m_countsAtOpen.run;
        counts.prepared += m_database->counts().prepared - m_countsAtOpen.prepared;
    }
    return counts;
}

void DbSession::transactionEnded()
{
    if (!m_database->statementsOutliveTransactions())
        m_database->forgetStatements();
}

WriteGate::Turn DbSession::takeWriteTurn()
{
    return m_writeGate ? m_writeGate->enter(ServerLimits::WriteTurnTimeoutMs) : WriteGate::Turn();
}

void DbSession::ensureConnected()
{
    if (m_database)
        return;
    connect();
    serverLog(u"database connection %1 opened again"_s.arg(m_database->name()));
}

bool DbSession::dropIfLost()
{
    if (!m_database)
        return false; // dropped before: what failed now was no statement
    QString why;
    if (m_database->reaches(&why))
        return false;
    serverLog(u"database connection %1 lost: %2"_s.arg(m_database->name(), why));
    m_countsBefore = counts();
    m_database.reset();
    m_transactionTurn.release();
    if (m_transaction == Transaction::Open)
        m_transaction = Transaction::Lost;
    if (groupOpen()) {
        m_transaction = Transaction::None;
        m_groupEnd = GroupEnd{false, u"A conexão com o banco de dados foi perdida antes da confirmação: "_s + why};
        tell(TransactionListener::Event::RolledBack);
    }
    return true;
}

Wire::CallResult DbSession::run(bool readOnly, bool endsTransaction,
                                const std::function<Wire::CallResult(bool again)> &call)
{
    if (transactionLost() && !endsTransaction) {
        throw ERemoteError(Wire::ErrorCode::TransactionState,
                           m_lostWhy.isEmpty()
                               ? u"A transação foi perdida com a conexão ao banco de dados; desfaça-a antes de continuar."_s
                               : m_lostWhy + u" Desfaça-a antes de continuar."_s);
    }
    if (!transactionLost())
        ensureConnected();
    const bool mayRetry = readOnly && !inTransaction();
    // Where statements are tied to the transaction they ran in (Qt's InterBase driver binds
    // them to its own implicit one outside a client transaction), none outlives the call.
    struct CallEnd
    {
        DbSession &session;
        ~CallEnd()
        {
            if (session.m_database && !session.m_database->statementsOutliveTransactions())
                session.m_database->forgetStatements();
        }
    } callEnd{*this};
    try {
        Wire::CallResult result = call(false);
        // a read outside a transaction must not keep a cursor (and with it a snapshot) open
        if (!inTransaction() && m_database)
            m_database->finishStatements();
        return result;
    } catch (const ERemoteError &) {
        throw;
    } catch (const EHouseError &error) {
        if (!dropIfLost())
            throw;
        if (!mayRetry)
            throw EDatabaseError(u"A conexão com o banco de dados foi perdida: "_s + error.message());
        // a read on a connection that died while the session sat idle: once more on a new one
        ensureConnected();
        return call(true);
    }
}

void DbSession::startTransaction()
{
    if (m_transaction == Transaction::Open)
        throw ERemoteError(Wire::ErrorCode::TransactionState, u"Já existe uma transação aberta nesta conexão."_s);
    if (m_transaction == Transaction::Lost)
        throw ERemoteError(Wire::ErrorCode::TransactionState,
                           u"A transação anterior foi perdida com a conexão ao banco de dados; desfaça-a antes de começar outra."_s);
    commitGroup();
    begin(Transaction::Open);
}

void DbSession::begin(Transaction kind)
{
    WriteGate::Turn turn = takeWriteTurn();
    m_database->countRun();
    m_database->begin();
    m_transactionTurn = std::move(turn);
    m_transaction = kind;
    qCDebug(lcDb).noquote() << m_database->name() << "transaction begun";
    tell(TransactionListener::Event::Began);
}

void DbSession::commit()
{
    if (m_transaction == Transaction::Lost) {
        m_transaction = Transaction::None;
        tell(TransactionListener::Event::RolledBack);
        if (!m_lostWhy.isEmpty())
            throw ERemoteError(Wire::ErrorCode::TransactionState, std::exchange(m_lostWhy, {}) + u" Nada dela foi gravado."_s);
        throw EDatabaseError(u"A conexão com o banco de dados caiu durante a transação: nada dela foi gravado."_s);
    }
    if (m_transaction != Transaction::Open)
        throw ERemoteError(Wire::ErrorCode::TransactionState, u"Não há transação aberta para confirmar."_s);
    try {
        tell(TransactionListener::Event::Committing);
    } catch (...) {
        rollback();
        throw;
    }
    const WriteGate::Turn turn = std::move(m_transactionTurn);
    m_transaction = Transaction::None;
    try {
        m_database->finishStatements();
        m_database->countRun();
        m_database->commit();
        transactionEnded();
        qCDebug(lcDb).noquote() << m_database->name() << "transaction committed";
    } catch (const EHouseError &error) {
        // a transaction that could not commit must not linger holding locks
        try {
            m_database->rollback();
        } catch (const EHouseError &) {
        }
        transactionEnded();
        tell(TransactionListener::Event::RolledBack);
        throw EDatabaseError(u"A transação não pôde ser confirmada e foi desfeita: "_s + error.message());
    }
    tell(TransactionListener::Event::Committed);
}

void DbSession::rollback()
{
    if (m_transaction == Transaction::Lost) {
        m_transaction = Transaction::None;
        m_lostWhy.clear();
        tell(TransactionListener::Event::RolledBack);
        return;
    }
    if (m_transaction != Transaction::Open)
        throw ERemoteError(Wire::ErrorCode::TransactionState, u"Não há transação aberta para desfazer."_s);
    m_transaction = Transaction::None;
    const WriteGate::Turn turn = std::move(m_transactionTurn);
    // told even when the rollback fails: the transaction is over either way
    try {
        rollBackOpenTransaction();
    } catch (...) {
        tell(TransactionListener::Event::RolledBack);
        throw;
    }
    tell(TransactionListener::Event::RolledBack);
}

void DbSession::rollBackOpenTransaction()
{
    m_database->finishStatements();
    m_database->countRun();
    m_database->rollback();
    transactionEnded();
    qCDebug(lcDb).noquote() << m_database->name() << "transaction rolled back";
}

void DbSession::abandonTransaction(const QString &why)
{
    if (m_transaction != Transaction::Open)
        return;
    const WriteGate::Turn turn = std::move(m_transactionTurn);
    m_transaction = Transaction::Lost;
    m_lostWhy = why;
    try {
        rollBackOpenTransaction();
    } catch (const EHouseError &error) {
        // closing the connection discards the transaction as well
        serverLog(u"rollback of an abandoned transaction failed: "_s + error.message());
        m_countsBefore = counts();
        m_database.reset();
    }
}

void DbSession::atomically(const std::function<void()> &writes)
{
    if (!inTransaction()) {
        startTransaction();
        try {
            writes();
        } catch (...) {
            try {
                rollback();
            } catch (const EHouseError &error) {
                serverLog(u"rollback after a failed call failed: "_s + error.message());
            }
            throw;
        }
        commit();
        return;
    }
    m_database->countRun();
    m_database->savepoint(CallSavepoint);
    try {
        writes();
    } catch (...) {
        try {
            undoToCallSavepoint();
        } catch (const EHouseError &error) {
            serverLog(u"rollback to savepoint failed: "_s + error.message());
        }
        throw;
    }
    m_database->countRun();
    m_database->releaseSavepoint(CallSavepoint);
}

void DbSession::inOwnTransaction(const std::function<void()> &writes)
{
    commitGroup();
    if (inTransaction())
        throw ERemoteError(Wire::ErrorCode::TransactionState,
                           u"Esta operação usa uma transação própria: confirme ou desfaça a transação aberta antes."_s);
    for (int attempt = 1;; ++attempt) {
        try {
            atomically(writes);
            return;
        } catch (const ETransactionConflict &error) {
            if (attempt == ConflictAttempts)
                throw EDatabaseError(u"Outra gravação simultânea impediu a operação; tente novamente. "_s + error.message());
            serverLog(u"write conflict, attempt %1 of %2: %3"_s.arg(attempt).arg(ConflictAttempts).arg(error.message()));
        }
    }
}

void DbSession::undoToCallSavepoint()
{
    m_database->countRun();
    m_database->rollbackToSavepoint(CallSavepoint);
    m_database->countRun();
    m_database->releaseSavepoint(CallSavepoint);
}

qint64 DbSession::groupAgeMs() const { return groupOpen() ? m_groupAge.elapsed() : 0; }

void DbSession::inGroup(const std::function<void()> &writes)
{
    if (inTransaction() || transactionLost())
        throw ERemoteError(Wire::ErrorCode::TransactionState,
                           u"Esta operação usa uma transação própria: confirme ou desfaça a transação aberta antes."_s);
    if (!groupOpen()) {
        begin(Transaction::Grouped);
        ++m_groupNumber;
        m_groupUnits = 0;
        m_groupAge.start();
    }
    const auto undoGroup = [this](const QString &why) {
        // the unit may be half in the group: none of the group may commit then
        serverLog(u"a grouped write could not be undone alone, the group is undone: "_s + why);
        m_transaction = Transaction::Open;
        try {
            rollback();
        } catch (const EHouseError &) {
        }
        m_groupEnd = GroupEnd{false, u"Uma gravação não pôde ser desfeita sozinha e nada do grupo foi gravado: "_s + why};
    };
    const auto undoUnit = [this, &undoGroup] {
        const Unit unit = std::exchange(m_unit, Unit::None);
        if (unit == Unit::WroteUnmarked) {
            undoGroup(u"a operação falhou depois de gravar."_s);
            return;
        }
        if (unit != Unit::Marked)
            return; // nothing written, or its one write undone by the database with its failure
        try {
            undoToCallSavepoint();
        } catch (const EHouseError &error) {
            undoGroup(error.message());
        }
    };
    m_unit = Unit::Unmarked;
    try {
        writes();
    } catch (const ETransactionConflict &) {
        // the group's snapshot does not see the other writer's rows: the unit goes alone, later
        undoUnit();
        commitGroup();
        if (m_groupEnd && !m_groupEnd->committed)
            throw EDatabaseError(m_groupEnd->why);
        inOwnTransaction(writes);
        return;
    } catch (...) {
        undoUnit();
        throw;
    }
    // the next unit's savepoint, or the commit, releases it where the database does so itself
    if (std::exchange(m_unit, Unit::None) == Unit::Marked && !dialect().savepointReplacesItsName()) {
        m_database->countRun();
        m_database->releaseSavepoint(CallSavepoint);
    }
    ++m_groupUnits;
}

void DbSession::commitGroup()
{
    if (!groupOpen())
        return;
    m_transaction = Transaction::Open;
    try {
        commit();
        m_groupEnd = GroupEnd{true, {}};
    } catch (...) {
        m_groupEnd = GroupEnd{false, errorText(std::current_exception())};
    }
}

} // namespace rbx
