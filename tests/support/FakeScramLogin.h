#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QMutex>
#include <QString>
#include <QStringList>

namespace rbx {

// The server's half of a SCRAM-SHA-256 login for a scripted server, so that a client that logs
// in (the headless copy) can run against it: every operator's password is the test password.
// One login at a time, as the scripted servers serve one client.
class FakeScramLogin
{
public:
    // The answer lines to rpc.open with a mechanism and to rpc.auth.
    QByteArray answerOpen(const QJsonValue &id, const QJsonObject &params);
    QByteArray answerAuth(const QJsonValue &id, const QJsonObject &params);
    // The operators let in, in order.
    QStringList loggedIn() const;

private:
    mutable QMutex m_mutex;
    QString m_operator;
    QByteArray m_clientFirstBare;
    QByteArray m_serverFirst;
    QByteArray m_nonce;
    QStringList m_loggedIn;
};

} // namespace rbx
