#pragma once

#include <protocol/GsaslContext.h>
#include "OperatorDirectory.h"

#include <protocol/WireProtocol.h>

#include <QByteArray>
#include <QString>

#include <functional>

namespace rbx {

// The server side of one SASL login (SCRAM-SHA-256 or PLAIN) through GNU SASL. The operator's
// verifier comes from the lookup; an unknown operator, a disabled one and one without a
// verifier get a made-up salt and keys, so that the exchange looks the same and fails only at
// the proof. PLAIN checks the password against the verifier, or through the site's directory
// for an operator without one.
class SaslServerExchange final : private GsaslContext::PropertySource
{
public:
    using Lookup = std::function<OperatorRecord(const QString &operatorCode)>;
    // The site's directory (PAM); unset when the server has none.
    using DirectoryCheck = std::function<bool(const QString &operatorCode, const QString &password)>;

    enum class Step { Continue, Done, Failed };

    SaslServerExchange(const QString &mechanism, Lookup lookup, DirectoryCheck directory);
    ~SaslServerExchange() override;
    SaslServerExchange(const SaslServerExchange &) = delete;
    SaslServerExchange &operator=(const SaslServerExchange &) = delete;

    // Takes the client's message (base64) and leaves the server's next one in output (base64).
    Step step(const QByteArray &input, QByteArray &output);
    // The operator the client named, authenticated or not; empty before it named one.
    QString claimedOperator() const;
    // Set once the step returned Done.
    const OperatorRecord &record() const { return m_record; }
    // Why the operator could not be looked up (the database is down): a failure of the
    // service, not of the operator's credentials. Empty when the lookup answered.
    const QString &lookupFailure() const { return m_lookupFailure; }

private:
    int provide(Gsasl_session *session, int property) noexcept override;
    const OperatorRecord &recordOf(Gsasl_session *session);
    bool checkPlain(Gsasl_session *session);

    Lookup m_lookup;
    DirectoryCheck m_directory;
    Gsasl_session *m_session = nullptr;
    bool m_looked = false;
    OperatorRecord m_record;
    ScramVerifier m_decoy;
    QString m_lookupFailure;
};

} // namespace rbx
