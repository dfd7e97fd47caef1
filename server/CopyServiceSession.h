#pragma once

#include "ActingOperator.h"
#include "ServerOptions.h"
#include "SessionHandler.h"

#include <QElapsedTimer>

#include <memory>

namespace rbx {

class CopyServiceObject;
class DbSession;
class SaslServerExchange;

// Where a connection comes from, for the mechanisms it may use and for the log.
struct PeerInfo
{
    QString address;      // as the log shows it: address and port
    bool loopback = true; // from this machine
    bool tls = false;
};

// The session of one connection to "Rbx53207.rdmCopiaForm": rpc.open and rpc.auth (server
// object, token, the operator's login, the database session), then dispatch of each call through
// the method table with its arguments checked for count and kind and for what the operator may
// do. Owns the database session and the server object.
class CopyServiceSession final : public SessionHandler
{
public:
    CopyServiceSession(const ServerConfig &config, int connectionId, PeerInfo peer = {});
    ~CopyServiceSession() override;
    void connectionEnded() noexcept override;
    CopyServiceSession(const CopyServiceSession &) = delete;
    CopyServiceSession &operator=(const CopyServiceSession &) = delete;

    QJsonObject open(const QJsonValue &id, const QJsonValue &params, bool &close) override;
    QJsonObject auth(const QJsonValue &id, const QJsonValue &params, bool &close) override;
    QJsonObject call(const QJsonValue &id, const QString &method, const QJsonValue &params) override;
    bool isOpen() const override { return m_object != nullptr; }
    // The authenticated operator; empty before the session opens.
    const QString &operatorCode() const { return m_acting.code; }
    void transactionIdle(int idleMs) override;
    bool joinsGroup(const QString &method) const override;
    bool groupOpen() const override;
    void endGroup() override;
    std::optional<GroupEnd> takeGroupEnd() override;

private:
    QJsonObject login(const QJsonValue &id, const QJsonValue &params, bool &close);
    QJsonObject refuseLogin(const QJsonValue &id, bool &close, const QString &why);
    QJsonObject openSession(const QJsonValue &id, const QByteArray &saslFinal);
    QStringList mechanisms() const;
    void ensureDatabaseSession();

    const ServerConfig m_config;
    const int m_connectionId;
    const PeerInfo m_peer;
    ActingOperator m_acting;
    std::unique_ptr<SaslServerExchange> m_exchange; // a login under way
    QString m_mechanism;
    QElapsedTimer m_loginStarted;
    // the server object uses the database session: it goes first
    std::unique_ptr<DbSession> m_db;
    std::unique_ptr<CopyServiceObject> m_object;
};

} // namespace rbx
