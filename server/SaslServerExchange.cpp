#include "SaslServerExchange.h"

#include <protocol/HouseError.h>

#include <gsasl.h>

#include <openssl/crypto.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>


namespace rbx {

using namespace Qt::StringLiterals;

namespace {

// A salt that stays the same for one unknown operator across attempts, as a real one would,
// and tells nothing: keyed by a secret of the process.
QByteArray decoySalt(const QString &operatorCode)
{
    static const QByteArray secret = [] {
        QByteArray bytes(32, '\0');
        RAND_bytes(reinterpret_cast<unsigned char *>(bytes.data()), int(bytes.size()));
        return bytes;
    }();
    const QByteArray name = operatorCode.toUtf8();
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    HMAC(EVP_sha256(), secret.constData(), int(secret.size()), reinterpret_cast<const unsigned char *>(name.constData()),
         size_t(name.size()), digest, &length);
    return QByteArray(reinterpret_cast<const char *>(digest), ScramVerifier::SaltBytes);
}

QByteArray randomKey()
{
    QByteArray key(32, '\0');
    RAND_bytes(reinterpret_cast<unsigned char *>(key.data()), int(key.size()));
    return key;
}

} // namespace

SaslServerExchange::SaslServerExchange(const QString &mechanism, Lookup lookup, DirectoryCheck directory)
    : m_lookup(std::move(lookup)), m_directory(std::move(directory))
{
    Gsasl *context = GsaslContext::get();
    const bool offered = mechanism == QLatin1String(Wire::ScramMechanism) || mechanism == QLatin1String(Wire::PlainMechanism);
    if (!context || !offered || gsasl_server_start(context, mechanism.toLatin1().constData(), &m_session) != GSASL_OK) {
        m_session = nullptr;
        return;
    }
    gsasl_session_hook_set(m_session, static_cast<GsaslContext::PropertySource *>(this));
}

SaslServerExchange::~SaslServerExchange()
{
    if (m_session)
        gsasl_finish(m_session);
}

SaslServerExchange::Step SaslServerExchange::step(const QByteArray &input, QByteArray &output)
{
    output.clear();
    if (!m_session)
        return Step::Failed;
    char *out = nullptr;
    const int rc = gsasl_step64(m_session, input.constData(), &out);
    if (out)
        output = QByteArray(out);
    gsasl_free(out);
    if (rc == GSASL_NEEDS_MORE)
        return Step::Continue;
    if (rc != GSASL_OK)
        return Step::Failed;
    // Past the proof: still refused when the operator may not log in (PAM passed an operator
    // the database has disabled)
    const OperatorRecord &record = recordOf(m_session);
    if (record.known && !record.active)
        return Step::Failed;
    return Step::Done;
}

QString SaslServerExchange::claimedOperator() const
{
    const char *name = m_session ? gsasl_property_fast(m_session, GSASL_AUTHID) : nullptr;
    return name ? QString::fromUtf8(name) : QString();
}

const OperatorRecord &SaslServerExchange::recordOf(Gsasl_session *session)
{
    if (!m_looked) {
        m_looked = true;
        const char *name = gsasl_property_fast(session, GSASL_AUTHID);
        try {
            m_record = name ? m_lookup(QString::fromUtf8(name)) : OperatorRecord();
        } catch (const EHouseError &error) {
            m_lookupFailure = error.message();
            throw;
        }
        if (!m_record.known || !m_record.active || !m_record.verifier) {
            m_decoy.iterations = ScramVerifier::DefaultIterations;
            m_decoy.salt = decoySalt(name ? QString::fromUtf8(name) : QString());
            m_decoy.storedKey = randomKey();
            m_decoy.serverKey = randomKey();
        }
    }
    return m_record;
}

bool SaslServerExchange::checkPlain(Gsasl_session *session)
{
    const char *password = gsasl_property_fast(session, GSASL_PASSWORD);
    const char *name = gsasl_property_fast(session, GSASL_AUTHID);
    if (!password || !name || !*password)
        return false;
    const OperatorRecord &record = recordOf(session);
    if (record.known && !record.active)
        return false;
    if (record.verifier)
        return record.verifier->matches(QString::fromUtf8(password));
    return m_directory && m_directory(QString::fromUtf8(name), QString::fromUtf8(password));
}

int SaslServerExchange::provide(Gsasl_session *session, int property) noexcept
{
    try {
        switch (property) {
        case GSASL_SCRAM_ITER:
        case GSASL_SCRAM_SALT:
        case GSASL_SCRAM_STOREDKEY:
        case GSASL_SCRAM_SERVERKEY: {
            const OperatorRecord &record = recordOf(session);
            const ScramVerifier &verifier = record.known && record.active && record.verifier ? *record.verifier : m_decoy;
            QByteArray value;
            if (property == GSASL_SCRAM_ITER)
                value = QByteArray::number(verifier.iterations);
            else if (property == GSASL_SCRAM_SALT)
                value = verifier.salt.toBase64();
            else
                value = (property == GSASL_SCRAM_STOREDKEY ? verifier.storedKey : verifier.serverKey).toBase64();
            return gsasl_property_set(session, Gsasl_property(property), value.constData());
        }
        case GSASL_VALIDATE_SIMPLE:
            return checkPlain(session) ? GSASL_OK : GSASL_AUTHENTICATION_ERROR;
        default:
            // never the password or a salted password: the verifier is all the server has
            return GSASL_NO_CALLBACK;
        }
    } catch (...) {
        // a database that failed mid-login is a failed login; the library is C
        return GSASL_AUTHENTICATION_ERROR;
    }
}

} // namespace rbx
