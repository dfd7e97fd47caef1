#pragma once

#include "WireProtocol.h"

#include <QJsonObject>
#include <QString>

#include <memory>
#include <optional>

class CopyServiceObject;
class DbSession;
struct ServerConfig;

// Where the answers of a connection go.
class AnswerSink
{
public:
    virtual ~AnswerSink() = default;
    // False when the connection is gone; the caller then stops working for it.
    virtual bool send(const QByteArray &bytes) = 0;
};

// The protocol of one connection, without the socket: takes whole messages, runs what they
// ask in order, and sends the answers (a batch's answers as one array, as they come).
// Holds the session state: opened or not, the database session, the server object.
class RpcProtocol final
{
public:
    enum class After { KeepOpen, Close };

    RpcProtocol(const ServerConfig &config, int connectionId);
    ~RpcProtocol();
    RpcProtocol(const RpcProtocol &) = delete;
    RpcProtocol &operator=(const RpcProtocol &) = delete;

    After handleMessage(const QByteArray &message, AnswerSink &sink);
    After messageTooLarge(AnswerSink &sink);

    bool isOpen() const { return m_object != nullptr; }
    int requests() const { return m_requests; }
    int failures() const { return m_failures; }

private:
    struct Outcome
    {
        std::optional<QJsonObject> answer; // none for a notification
        bool close = false;
    };

    Outcome handleRequest(const QJsonValue &request);
    QJsonObject open(const QJsonValue &id, const QJsonValue &params, bool &close);
    QJsonObject call(const QJsonValue &id, const QString &method, const QJsonValue &params);
    QJsonObject failure(const QJsonValue &id, const QString &method, int code, const QString &message,
                        const QJsonValue &data = {});

    const ServerConfig &m_config;
    const int m_connectionId;
    // the server object uses the database session: it goes first
    std::unique_ptr<DbSession> m_db;
    std::unique_ptr<CopyServiceObject> m_object;
    int m_requests = 0;
    int m_failures = 0;
};
