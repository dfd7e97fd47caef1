#pragma once

#include <protocol/rbx_protocol_export.h>

#include <QByteArray>
#include <QString>

#include <memory>

struct Gsasl_session;

namespace rbx {

// The client side of one SCRAM-SHA-256 exchange (RFC 5802, RFC 7677), without channel binding:
// the first message, the answer to the server's challenge, and the check of the server's
// signature. Messages go in and out as the base64 text the wire carries.
class RBX_PROTOCOL_EXPORT ScramClient final
{
public:
    ScramClient(const QString &operatorCode, const QString &password);
    ~ScramClient();
    ScramClient(const ScramClient &) = delete;
    ScramClient &operator=(const ScramClient &) = delete;

    // Empty when the exchange could not start (an operator or password SASLprep refuses).
    QByteArray firstMessage();
    // The client-final-message for the server-first-message; empty when the challenge is bad.
    QByteArray answer(const QByteArray &challenge);
    // True when the server-final-message carries the signature only a server holding the
    // operator's verifier can make.
    bool serverVerified(const QByteArray &serverFinal);

private:
    QByteArray step(const QByteArray &input, bool &ok, bool &complete);

    Gsasl_session *m_session = nullptr;
    bool m_ready = false;
};

} // namespace rbx
