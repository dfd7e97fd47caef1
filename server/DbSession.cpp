#include "DbSession.h"

#include "HouseError.h"
#include "ServerLog.h"
#include "SqlTransaction.h"
#include "WireProtocol.h"

using namespace Qt::StringLiterals;

namespace {
const QString CallSavepoint = u"RBX_CALL"_s;
}

DbSession::DbSession(std::unique_ptr<Database> database) : m_database(std::move(database)) {}

DbSession::~DbSession()
{
    if (!m_inTransaction)
        return;
    try {
        dialect().rollback(sql());
    } catch (const EHouseError &error) {
        // closing the connection below discards the transaction anyway
        serverLog(u"rollback at disconnect failed: "_s + error.message());
    }
}

void DbSession::startTransaction()
{
    if (m_inTransaction)
        throw ERemoteError(Wire::ErrorCode::TransactionState, u"Já existe uma transação aberta nesta conexão."_s);
    dialect().beginWrite(sql());
    m_inTransaction = true;
}

void DbSession::commit()
{
    if (!m_inTransaction)
        throw ERemoteError(Wire::ErrorCode::TransactionState, u"Não há transação aberta para confirmar."_s);
    try {
        dialect().commit(sql());
        m_inTransaction = false;
    } catch (const EHouseError &error) {
        // a transaction that could not commit must not linger holding locks
        m_inTransaction = false;
        try {
            dialect().rollback(sql());
        } catch (const EHouseError &) {
        }
        throw EDatabaseError(u"A transação não pôde ser confirmada e foi desfeita: "_s + error.message());
    }
}

void DbSession::rollback()
{
    if (!m_inTransaction)
        throw ERemoteError(Wire::ErrorCode::TransactionState, u"Não há transação aberta para desfazer."_s);
    m_inTransaction = false;
    dialect().rollback(sql());
}

void DbSession::atomically(const std::function<void()> &writes)
{
    if (!m_inTransaction) {
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
