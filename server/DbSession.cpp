#include "DbSession.h"

#include "ConnectionProbe.h"
#include "HouseError.h"
#include "ServerLimits.h"
#include "ServerLog.h"
#include "SqlTransaction.h"
#include "WireProtocol.h"

using namespace Qt::StringLiterals;

namespace {
const QString CallSavepoint = u"RBX_CALL"_s;
}

DbSession::DbSession(Opener open) : m_open(std::move(open)) { connect(); }

DbSession::~DbSession()
{
    if (!inTransaction() || !m_database)
        return;
    try {
        dialect().rollback(sql());
    } catch (const EHouseError &error) {
        // closing the connection below discards the transaction anyway
        serverLog(u"rollback at disconnect failed: "_s + error.message());
    }
}

void DbSession::connect()
{
    try {
        m_database = m_open();
    } catch (const EHouseError &error) {
        throw EDatabaseError(u"Banco de dados indisponível: "_s + error.message());
    }
    if (dialect().singleWriter())
        m_writeGate = &WriteGate::forDatabase(dialect().name() + u':' + sql().databaseName());
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
    serverLog(u"database connection %1 opened again"_s.arg(m_database->connectionName()));
}

bool DbSession::dropIfLost()
{
    if (!m_database)
        return false; // dropped before: what failed now was no statement
    QString why;
    if (reachesDatabase(sql(), &why))
        return false;
    serverLog(u"database connection %1 lost: %2"_s.arg(m_database->connectionName(), why));
    m_database.reset();
    m_transactionTurn.release();
    if (m_transaction == Transaction::Open)
        m_transaction = Transaction::Lost;
    return true;
}

Wire::CallResult DbSession::run(bool readOnly, bool endsTransaction,
                                const std::function<Wire::CallResult(bool again)> &call)
{
    if (transactionLost() && !endsTransaction) {
        throw ERemoteError(Wire::ErrorCode::TransactionState,
                           u"A transação foi perdida com a conexão ao banco de dados; desfaça-a antes de continuar."_s);
    }
    if (!transactionLost())
        ensureConnected();
    const bool mayRetry = readOnly && !inTransaction();
    try {
        return call(false);
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
    WriteGate::Turn turn = takeWriteTurn();
    dialect().beginWrite(sql());
    m_transactionTurn = std::move(turn);
    m_transaction = Transaction::Open;
}

void DbSession::commit()
{
    if (m_transaction == Transaction::Lost) {
        m_transaction = Transaction::None;
        throw EDatabaseError(u"A conexão com o banco de dados caiu durante a transação: nada dela foi gravado."_s);
    }
    if (m_transaction != Transaction::Open)
        throw ERemoteError(Wire::ErrorCode::TransactionState, u"Não há transação aberta para confirmar."_s);
    const WriteGate::Turn turn = std::move(m_transactionTurn);
    try {
        dialect().commit(sql());
        m_transaction = Transaction::None;
    } catch (const EHouseError &error) {
        // a transaction that could not commit must not linger holding locks
        m_transaction = Transaction::None;
        try {
            dialect().rollback(sql());
        } catch (const EHouseError &) {
        }
        throw EDatabaseError(u"A transação não pôde ser confirmada e foi desfeita: "_s + error.message());
    }
}

void DbSession::rollback()
{
    if (m_transaction == Transaction::Lost) {
        m_transaction = Transaction::None;
        return;
    }
    if (m_transaction != Transaction::Open)
        throw ERemoteError(Wire::ErrorCode::TransactionState, u"Não há transação aberta para desfazer."_s);
    m_transaction = Transaction::None;
    const WriteGate::Turn turn = std::move(m_transactionTurn);
    dialect().rollback(sql());
}

void DbSession::atomically(const std::function<void()> &writes)
{
    if (!inTransaction()) {
        const WriteGate::Turn turn = takeWriteTurn();
        SqlTransaction transaction(*m_database);
        writes();
        transaction.commit();
        return;
    }
    dialect().savepoint(sql(), CallSavepoint);
    try {
        writes();
    } catch (...) {
        try {
            dialect().rollbackToSavepoint(sql(), CallSavepoint);
            dialect().releaseSavepoint(sql(), CallSavepoint);
        } catch (const EHouseError &error) {
            serverLog(u"rollback to savepoint failed: "_s + error.message());
        }
        throw;
    }
    dialect().releaseSavepoint(sql(), CallSavepoint);
}
