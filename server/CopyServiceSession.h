#pragma once

#include "ServerOptions.h"
#include "SessionHandler.h"

#include <memory>

class CopyServiceObject;
class DbSession;

// The session of one connection to "Rbx53207.rdmCopiaForm": rpc.open (server object, token,
// the database session), then dispatch of each call through the method table with its
// arguments checked for count and kind. Owns the database session and the server object.
class CopyServiceSession final : public SessionHandler
{
public:
    CopyServiceSession(const ServerConfig &config, int connectionId);
    ~CopyServiceSession() override;
    CopyServiceSession(const CopyServiceSession &) = delete;
    CopyServiceSession &operator=(const CopyServiceSession &) = delete;

    QJsonObject open(const QJsonValue &id, const QJsonValue &params, bool &close) override;
    QJsonObject call(const QJsonValue &id, const QString &method, const QJsonValue &params) override;
    bool isOpen() const override { return m_object != nullptr; }
    void transactionIdle(int idleMs) override;

private:
    const ServerConfig m_config;
    const int m_connectionId;
    // the server object uses the database session: it goes first
    std::unique_ptr<DbSession> m_db;
    std::unique_ptr<CopyServiceObject> m_object;
};
