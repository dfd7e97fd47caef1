// The JSON-RPC endpoint on its own, in process: a scripted session handler stands behind it, so
// what is checked is the envelope's own work: order, batches, notifications, ids and counting.
#include <server/RpcEndpoint.h>
#include <protocol/WireProtocol.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

using namespace rbx;

using namespace Qt::StringLiterals;

namespace {

// Answers every call with its method name, or with an error for "fail"; records the calls.
class ScriptedHandler final : public SessionHandler
{
public:
    QStringList calls;
    bool opened = false;

    QJsonObject open(const QJsonValue &id, const QJsonValue &, bool &) override
    {
        opened = true;
        return Wire::resultObject(id, Wire::openResult(u"s"_s));
    }
    QJsonObject auth(const QJsonValue &id, const QJsonValue &, bool &) override
    {
        return Wire::errorObject(id, {Wire::ErrorCode::NotAuthorized, u"não"_s, {}});
    }
    QJsonObject call(const QJsonValue &id, const QString &method, const QJsonValue &) override
    {
        calls << method;
        if (method == u"fail"_s)
            return Wire::errorObject(id, {Wire::ErrorCode::ServiceFailed, u"falhou"_s, {}});
        return Wire::resultObject(id, method);
    }
    bool isOpen() const override { return opened; }
};

class Collected final : public AnswerSink
{
public:
    QByteArray bytes;
    bool send(const QByteArray &chunk) override
    {
        bytes += chunk;
        return true;
    }
    QJsonValue answer() const
    {
        const QJsonDocument document = QJsonDocument::fromJson(bytes);
        return document.isArray() ? QJsonValue(document.array()) : QJsonValue(document.object());
    }
};

QByteArray request(const QJsonValue &id, const QString &method)
{
    QJsonObject object{{u"jsonrpc"_s, u"2.0"_s}, {u"method"_s, method}, {u"params"_s, QJsonArray()}};
    if (!id.isUndefined())
        object.insert(u"id"_s, id);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace

class TestEndpoint final : public QObject
{
    Q_OBJECT

private slots:
    void callsBeforeOpenNeverReachTheHandler()
    {
        auto *handler = new ScriptedHandler;
        RpcEndpoint endpoint(std::unique_ptr<SessionHandler>(handler), 1024, 1);
        Collected sink;
        endpoint.handleMessage(request(1, u"getPaciente"_s), sink);
        QCOMPARE(sink.answer()[u"error"_s][u"code"_s].toInt(), Wire::ErrorCode::SessionNotOpen);
        QVERIFY(handler->calls.isEmpty());
        QCOMPARE(endpoint.failures(), 1);
    }

    // One array of answers in request order; notifications run but get none, and a batch of
    // notifications alone sends nothing at all.
    void batchesAnswerInOrderWithoutNotifications()
    {
        auto *handler = new ScriptedHandler;
        RpcEndpoint endpoint(std::unique_ptr<SessionHandler>(handler), 1024, 1);
        Collected opened;
        endpoint.handleMessage(request(1, QLatin1String(Wire::OpenMethod)), opened);
        Collected sink;
        const QByteArray batch = '[' + request(u"a"_s, u"first"_s) + ',' + request(QJsonValue::Undefined, u"quiet"_s) + ','
                                 + request(3, u"fail"_s) + ',' + request(4, u"last"_s) + ']';
        QCOMPARE(endpoint.handleMessage(batch, sink), RpcEndpoint::After::KeepOpen);
        QCOMPARE(handler->calls, (QStringList{u"first"_s, u"quiet"_s, u"fail"_s, u"last"_s}));
        const QJsonArray answers = sink.answer().toArray();
        QCOMPARE(answers.size(), 3);
        QCOMPARE(answers.at(0)[u"id"_s].toString(), u"a"_s);
        QCOMPARE(answers.at(1)[u"error"_s][u"code"_s].toInt(), Wire::ErrorCode::ServiceFailed);
        QCOMPARE(answers.at(2)[u"result"_s].toString(), u"last"_s);
        QVERIFY(sink.bytes.endsWith("]\n"));
        QCOMPARE(endpoint.failures(), 1);

        Collected silent;
        endpoint.handleMessage('[' + request(QJsonValue::Undefined, u"quiet"_s) + ']', silent);
        QVERIFY(silent.bytes.isEmpty());
    }
};

QTEST_APPLESS_MAIN(TestEndpoint)
#include "tst_endpoint.moc"
