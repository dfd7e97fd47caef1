#include "ScramVerifier.h"

#include "GsaslContext.h"

#include <gsasl.h>

#include <openssl/crypto.h>

#include <QRegularExpression>

namespace rbx {

using namespace Qt::StringLiterals;

namespace {

// The password as SCRAM hashes it: SASLprep'd, as the client library does before hashing.
std::optional<QByteArray> prepared(const QString &password)
{
    if (password.isEmpty())
        return std::nullopt;
    char *out = nullptr;
    int stringprepRc = 0;
    const QByteArray utf8 = password.toUtf8();
    if (gsasl_saslprep(utf8.constData(), GSASL_ALLOW_UNASSIGNED, &out, &stringprepRc) != GSASL_OK || !out)
        return std::nullopt;
    QByteArray result(out);
    gsasl_free(out);
    if (result.isEmpty())
        return std::nullopt;
    return result;
}

} // namespace

std::optional<ScramVerifier> ScramVerifier::fromPassword(const QString &password, int iterations)
{
    QByteArray salt(SaltBytes, '\0');
    if (!GsaslContext::get() || gsasl_random(salt.data(), size_t(salt.size())) != GSASL_OK)
        return std::nullopt;
    return fromPassword(password, salt, iterations);
}

std::optional<ScramVerifier> ScramVerifier::fromPassword(const QString &password, const QByteArray &salt, int iterations)
{
    const std::optional<QByteArray> text = prepared(password);
    if (!text || salt.isEmpty() || iterations < 1 || !GsaslContext::get())
        return std::nullopt;
    char salted[GSASL_HASH_SHA256_SIZE], clientKey[GSASL_HASH_SHA256_SIZE];
    ScramVerifier verifier;
    verifier.iterations = iterations;
    verifier.salt = salt;
    verifier.storedKey.resize(GSASL_HASH_SHA256_SIZE);
    verifier.serverKey.resize(GSASL_HASH_SHA256_SIZE);
    const int rc = gsasl_scram_secrets_from_password(GSASL_HASH_SHA256, text->constData(), unsigned(iterations),
                                                     salt.constData(), size_t(salt.size()), salted, clientKey,
                                                     verifier.serverKey.data(), verifier.storedKey.data());
    OPENSSL_cleanse(salted, sizeof salted);
    OPENSSL_cleanse(clientKey, sizeof clientKey);
    if (rc != GSASL_OK)
        return std::nullopt;
    return verifier;
}

std::optional<ScramVerifier> ScramVerifier::fromText(const QString &text)
{
    static const QRegularExpression form(u"^SCRAM-SHA-256\\$([0-9]{1,9}):([A-Za-z0-9+/=]+)\\$([A-Za-z0-9+/=]+):([A-Za-z0-9+/=]+)$"_s);
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const auto decode = [](const QString &part) {
        return QByteArray::fromBase64Encoding(part.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    };
    ScramVerifier verifier;
    verifier.iterations = match.captured(1).toInt();
    const auto salt = decode(match.captured(2)), stored = decode(match.captured(3)), server = decode(match.captured(4));
    if (!salt || !stored || !server || salt.decoded.isEmpty() || stored.decoded.size() != GSASL_HASH_SHA256_SIZE
        || server.decoded.size() != GSASL_HASH_SHA256_SIZE || verifier.iterations < MinimumIterations)
        return std::nullopt;
    verifier.salt = *salt;
    verifier.storedKey = *stored;
    verifier.serverKey = *server;
    return verifier;
}

QString ScramVerifier::toText() const
{
    return u"SCRAM-SHA-256$%1:%2$%3:%4"_s.arg(iterations)
        .arg(QString::fromLatin1(salt.toBase64()), QString::fromLatin1(storedKey.toBase64()),
             QString::fromLatin1(serverKey.toBase64()));
}

bool ScramVerifier::matches(const QString &password) const
{
    const std::optional<ScramVerifier> candidate = fromPassword(password, salt, iterations);
    return candidate && candidate->storedKey.size() == storedKey.size()
           && CRYPTO_memcmp(candidate->storedKey.constData(), storedKey.constData(), size_t(storedKey.size())) == 0;
}

} // namespace rbx
