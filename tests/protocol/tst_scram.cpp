#include <protocol/SaslClient.h>
#include <protocol/ScramVerifier.h>

#include <QCryptographicHash>
#include <QMessageAuthenticationCode>
#include <QTest>

using namespace rbx;

using namespace Qt::StringLiterals;

namespace {

QByteArray hmac(const QByteArray &key, const QByteArray &message)
{
    return QMessageAuthenticationCode::hash(message, key, QCryptographicHash::Sha256);
}

QByteArray exclusiveOr(QByteArray a, const QByteArray &b)
{
    for (qsizetype i = 0; i < a.size() && i < b.size(); ++i)
        a[i] = char(a.at(i) ^ b.at(i));
    return a;
}

} // namespace

class TestScram : public QObject
{
    Q_OBJECT

private slots:
    // RFC 7677's example exchange: the verifier made from "pencil" must be the one whose keys
    // check the example's client proof and make its server signature.
    void verifierReproducesTheRfcExample()
    {
        const QByteArray salt = QByteArray::fromBase64("W22ZaJ0SNY7soEsUEjb6gQ==");
        const std::optional<ScramVerifier> verifier = ScramVerifier::fromPassword(u"pencil"_s, salt, 4096);
        QVERIFY(verifier);
        const QByteArray authMessage = "n=user,r=rOprNGfwEbeRWgbNEkqO,"
                                       "r=rOprNGfwEbeRWgbNEkqO%hvYDpWUa2RaTCAfuxFIlj)hNlF$k0,s=W22ZaJ0SNY7soEsUEjb6gQ==,i=4096,"
                                       "c=biws,r=rOprNGfwEbeRWgbNEkqO%hvYDpWUa2RaTCAfuxFIlj)hNlF$k0";
        const QByteArray proof = QByteArray::fromBase64("dHzbZapWIk4jUhN+Ute9ytag9zjfMHgsqmmiz7AndVQ=");
        const QByteArray clientKey = exclusiveOr(proof, hmac(verifier->storedKey, authMessage));
        QCOMPARE(QCryptographicHash::hash(clientKey, QCryptographicHash::Sha256), verifier->storedKey);
        QCOMPARE(hmac(verifier->serverKey, authMessage).toBase64(), QByteArray("6rriTRBi23WpRR/wtup+mMhUZUn/dB5nLTJRsjl95G4="));

        // the stored form reads back as it was, and weak or malformed ones are refused
        QCOMPARE(ScramVerifier::fromText(verifier->toText())->toText(), verifier->toText());
        QVERIFY(verifier->matches(u"pencil"_s));
        QVERIFY(!verifier->matches(u"pencil "_s));
        QVERIFY(!ScramVerifier::fromText(verifier->toText().replace(u"$4096:"_s, u"$1000:"_s)));
        QVERIFY(!ScramVerifier::fromText(u"SCRAM-SHA-256$4096:c2FsdA==$AAAA:AAAA"_s));
        QVERIFY(!ScramVerifier::fromPassword(QString()));
    }

    // The client's side against a server answering as the RFC's does: it must refuse a
    // server-final-message whose signature was not made with the operator's ServerKey.
    void clientChecksTheServerSignature()
    {
        ScramClient client(u"user"_s, u"pencil"_s);
        const QByteArray first = QByteArray::fromBase64(client.firstMessage());
        QVERIFY(first.startsWith("n,,n=user,r="));
        const QByteArray clientNonce = first.mid(first.indexOf(",r=") + 3);
        const QByteArray serverFirst = "r=" + clientNonce + "serverpart,s=W22ZaJ0SNY7soEsUEjb6gQ==,i=4096";
        const QByteArray final = QByteArray::fromBase64(client.answer(serverFirst.toBase64()));
        QVERIFY(final.startsWith(QByteArray("c=biws,r=" + clientNonce + "serverpart,p=")));
        QVERIFY(!client.serverVerified(QByteArray("v=6rriTRBi23WpRR/wtup+mMhUZUn/dB5nLTJRsjl95G4=").toBase64()));
    }
};

QTEST_GUILESS_MAIN(TestScram)
#include "tst_scram.moc"
