#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <protocol/WireProtocol.h>

#include <optional>

namespace rbx {

// What a connection's requests reach once the endpoint has made sure they are well-formed
// JSON-RPC: opening the session and calling its methods. Each answer is a whole response object
// (result or error); the endpoint sends it, or drops it for a notification.
class SessionHandler
{
public:
    virtual ~SessionHandler() = default;

    // rpc.open; sets close when the connection must end after the answer.
    virtual QJsonObject open(const QJsonValue &id, const QJsonValue &params, bool &close) = 0;
    // rpc.auth: the next step of a login rpc.open began; same rules for close.
    virtual QJsonObject auth(const QJsonValue &id, const QJsonValue &params, bool &close) = 0;
    // Any other method, on an open session or not.
    virtual QJsonObject call(const QJsonValue &id, const QString &method, const QJsonValue &params) = 0;
    virtual bool isOpen() const = 0;
    // The client has sent nothing for idleMs: a transaction it holds open is rolled back, so
    // that it keeps no other writer waiting. A handler without transactions has nothing to do.
    virtual void transactionIdle(int /*idleMs*/) {}

    // Group commit: calls of a method that joins a group share a transaction the handler keeps
    // open between them; their answers wait until it ends, and any other call ends it first.
    virtual bool joinsGroup(const QString & /*method*/) const { return false; }
    virtual bool groupOpen() const { return false; }
    virtual void endGroup() {}
    // How the last group ended, told once: failure set when nothing of it was written, the error
    // every call of it that succeeded is answered with instead.
    struct GroupEnd
    {
        std::optional<Wire::ErrorInfo> failure;
    };
    virtual std::optional<GroupEnd> takeGroupEnd() { return std::nullopt; }
    // The connection is over, before the handler goes: what the client left open is ended here
    // (a run it did not close), so that no destructor writes to the database.
    virtual void connectionEnded() noexcept {}
};

} // namespace rbx
