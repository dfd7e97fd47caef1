#pragma once

#include "SessionHandler.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>

#include <memory>
#include <optional>

namespace rbx {

// Where the answers of a connection go.
class AnswerSink
{
public:
    virtual ~AnswerSink() = default;
    // False when the connection is gone; the caller then stops working for it.
    virtual bool send(const QByteArray &bytes) = 0;
};

// JSON-RPC 2.0 of one connection, without the socket: takes whole messages, parses them, checks
// the envelope (ids, batches, notifications), hands each request to the session handler in
// order and sends the answers (a batch's answers as one array, as they come). Every error
// answer is counted and logged here, whoever made it.
class RpcEndpoint final
{
public:
    enum class After { KeepOpen, Close };

    RpcEndpoint(std::unique_ptr<SessionHandler> handler, qsizetype maxMessageBytes, int connectionId);
    RpcEndpoint(const RpcEndpoint &) = delete;
    RpcEndpoint &operator=(const RpcEndpoint &) = delete;

    After handleMessage(const QByteArray &message, AnswerSink &sink);
    // No further message is waiting: the calls grouped so far commit and their answers go.
    After flush(AnswerSink &sink);
    After messageTooLarge(AnswerSink &sink);

    bool isOpen() const { return m_handler->isOpen(); }
    void transactionIdle(int idleMs) { m_handler->transactionIdle(idleMs); }
    // What is held goes nowhere: the peer is gone.
    void connectionEnded() noexcept
    {
        m_held.clear();
        m_handler->connectionEnded();
    }
    int requests() const { return m_requests; }
    int failures() const { return m_failures; }

private:
    struct Outcome
    {
        std::optional<QJsonObject> answer; // none for a notification
        bool close = false;
    };

    Outcome handleRequest(const QJsonValue &request);
    // A group that ended turns the held answers of its calls into its failure, if it failed.
    void settleGroup();
    bool sendHeld(AnswerSink &sink);
    QJsonObject refuse(const QJsonValue &id, int code, const QString &message);
    // Counts and logs the answer when it is an error.
    QJsonObject noted(const QString &method, QJsonObject answer);

    std::unique_ptr<SessionHandler> m_handler;
    const qsizetype m_maxMessageBytes;
    const int m_connectionId;
    int m_requests = 0;
    int m_failures = 0;
    // Answers of grouped calls, in order, until their group commits.
    struct Held
    {
        QString method;
        QJsonObject answer;
    };
    QList<Held> m_held;
};

} // namespace rbx
