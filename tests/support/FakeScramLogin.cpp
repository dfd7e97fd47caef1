#include "FakeScramLogin.h"

#include <protocol/ScramVerifier.h>
#include "TestOperators.h"
#include <protocol/WireProtocol.h>

#include <QCryptographicHash>
#include <QJsonObject>
#include <QMessageAuthenticationCode>
#include <QUuid>

namespace rbx {

namespace {

const ScramVerifier &testVerifier()
{
    static const ScramVerifier verifier =
        *ScramVerifier::fromPassword(TestSupport::TestPassword, QByteArrayLiteral("fake-scram-salt!"),
                                     ScramVerifier::DefaultIterations);
    return verifier;
}

QByteArray refusal(const QJsonValue &id)
{
    return Wire::errorMessage(id, {Wire::ErrorCode::NotAuthorized,
                                   QStringLiteral("Não autorizado: operador ou senha inválidos."), {}});
}

// The value of `key=` in a SCRAM message's attributes.
QByteArray attribute(const QByteArray &message, char key)
{
    for (const QByteArray &part : message.split(',')) {
        if (part.size() >= 2 && part.at(0) == key && part.at(1) == '=')
            return part.mid(2);
    }
    return {};
}

QByteArray hmac(const QByteArray &key, const QByteArray &message)
{
    return QMessageAuthenticationCode::hash(message, key, QCryptographicHash::Sha256);
}

} // namespace

QByteArray FakeScramLogin::answerOpen(const QJsonValue &id, const QJsonObject &params)
{
    const QByteArray first = QByteArray::fromBase64(params.value(QLatin1String("data")).toString().toLatin1());
    if (params.value(QLatin1String("mechanism")).toString() != QLatin1String(Wire::ScramMechanism)
        || !first.startsWith("n,,"))
        return refusal(id);
    QMutexLocker lock(&m_mutex);
    m_clientFirstBare = first.mid(3);
    m_operator = QString::fromUtf8(attribute(m_clientFirstBare, 'n'))
                     .replace(QStringLiteral("=2C"), QStringLiteral(","))
                     .replace(QStringLiteral("=3D"), QStringLiteral("="));
    m_nonce = attribute(m_clientFirstBare, 'r') + QUuid::createUuid().toByteArray(QUuid::Id128);
    const ScramVerifier &verifier = testVerifier();
    m_serverFirst = "r=" + m_nonce + ",s=" + verifier.salt.toBase64() + ",i=" + QByteArray::number(verifier.iterations);
    return Wire::resultMessage(id, QJsonObject{{QStringLiteral("challenge"), QString::fromLatin1(m_serverFirst.toBase64())}});
}

QByteArray FakeScramLogin::answerAuth(const QJsonValue &id, const QJsonObject &params)
{
    const QByteArray final = QByteArray::fromBase64(params.value(QLatin1String("data")).toString().toLatin1());
    const qsizetype proofAt = final.indexOf(",p=");
    QMutexLocker lock(&m_mutex);
    if (m_serverFirst.isEmpty() || proofAt < 0 || attribute(final, 'r') != m_nonce)
        return refusal(id);
    const ScramVerifier &verifier = testVerifier();
    const QByteArray authMessage = m_clientFirstBare + ',' + m_serverFirst + ',' + final.left(proofAt);
    m_serverFirst.clear();
    const QByteArray proof = QByteArray::fromBase64(final.mid(proofAt + 3));
    const QByteArray signature = hmac(verifier.storedKey, authMessage);
    if (proof.size() != signature.size())
        return refusal(id);
    QByteArray clientKey(proof.size(), '\0');
    for (qsizetype i = 0; i < proof.size(); ++i)
        clientKey[i] = char(proof.at(i) ^ signature.at(i));
    if (QCryptographicHash::hash(clientKey, QCryptographicHash::Sha256) != verifier.storedKey)
        return refusal(id);
    m_loggedIn << m_operator;
    const QByteArray serverFinal = "v=" + hmac(verifier.serverKey, authMessage).toBase64();
    return Wire::resultMessage(id, QJsonObject{{QStringLiteral("server"), QString::fromLatin1(Wire::ServerObjectName)},
                                               {QStringLiteral("session"), QStringLiteral("fake")},
                                               {QStringLiteral("protocol"), Wire::ProtocolVersion},
                                               {QStringLiteral("operator"), m_operator},
                                               {QStringLiteral("data"), QString::fromLatin1(serverFinal.toBase64())}});
}

QStringList FakeScramLogin::loggedIn() const
{
    QMutexLocker lock(&m_mutex);
    return m_loggedIn;
}

} // namespace rbx
