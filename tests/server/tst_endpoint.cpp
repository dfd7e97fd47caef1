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
        if (joinsGroup(method))
            group = true;
        if (method == u"fail"_s || method == u"copyFails"_s)
            return Wire::errorObject(id, {Wire::ErrorCode::ServiceFailed, u"falhou"_s, {}});
        return Wire::resultObject(id, method);
    }
    bool isOpen() const override { return opened; }

    // "copy" and "copyFails" join a group, which commits, or fails when commitFails is set
    bool group = false;
    bool commitFails = false;
    std::optional<GroupEnd> ended;
    bool joinsGroup(const QString &method) const override { return method.startsWith(u"copy"_s); }
    bool groupOpen() const override { return group; }
    void endGroup() override
    {
        if (!std::exchange(group, false))
            return;
        ended = GroupEnd{};
        if (commitFails)
            ended->failure = Wire::ErrorInfo{Wire::ErrorCode::ServiceFailed, u"disco cheio"_s, {}};
    }
    std::optional<GroupEnd> takeGroupEnd() override { return std::exchange(ended, std::nullopt); }
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
    // Grouped calls are answered, in order, only once their group ends; any other message ends it
    // first; a group that failed turns its successes into its failure and keeps its own errors.
    void groupedAnswersWaitForTheirCommit()
    {
        auto *handler = new ScriptedHandler;
        RpcEndpoint endpoint(std::unique_ptr<SessionHandler>(handler), 1024, 1);
        Collected sink;
        endpoint.handleMessage(request(0, u"rpc.open"_s), sink);
        sink.bytes.clear();
        const auto answers = [&sink] {
            QList<QJsonObject> all;
            for (const QByteArray &line : sink.bytes.split('\n')) {
                if (!line.isEmpty())
                    all << QJsonDocument::fromJson(line).object();
            }
            sink.bytes.clear();
            return all;
        };

        endpoint.handleMessage(request(1, u"copy"_s), sink);
        endpoint.handleMessage(request(2, u"copyFails"_s), sink);
        endpoint.handleMessage(request(3, u"copy"_s), sink);
        QVERIFY(sink.bytes.isEmpty());
        endpoint.flush(sink);
        QList<QJsonObject> told = answers();
        QCOMPARE(told.size(), 3);
        QCOMPARE(told[0][u"id"_s].toInt(), 1);
        QCOMPARE(told[1][u"error"_s][u"message"_s].toString(), u"falhou"_s);
        QCOMPARE(told[2][u"result"_s].toString(), u"copy"_s);

        handler->commitFails = true;
        endpoint.handleMessage(request(4, u"copy"_s), sink);
        endpoint.handleMessage(request(5, u"copyFails"_s), sink);
        endpoint.handleMessage(request(6, u"getPaciente"_s), sink);
        told = answers();
        QCOMPARE(told.size(), 3);
        QCOMPARE(told[0][u"id"_s].toInt(), 4);
        QCOMPARE(told[0][u"error"_s][u"message"_s].toString(), u"disco cheio"_s);
        QCOMPARE(told[1][u"error"_s][u"message"_s].toString(), u"falhou"_s);
        QCOMPARE(told[2][u"result"_s].toString(), u"getPaciente"_s);
        QCOMPARE(endpoint.failures(), 3);
    }

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
