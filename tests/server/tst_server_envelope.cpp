// The JSON-RPC envelope of the server's connections, in process: malformed and invalid
// messages, ids, notifications, batches, and the session's opening.
#include "ServerTestKit.h"

#include <QJsonArray>

using namespace rbx;

using namespace Qt::StringLiterals;
using namespace ServerTests;

class TestServerEnvelope final : public QObject, private InProcessFixture
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        RBX_REQUIRE_TEST_ENGINE();
        setUp();
    }

    void malformedJson_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("unterminated object") << QByteArray(R"({"jsonrpc":"2.0","id":1,"method":)");
        QTest::newRow("not json at all") << QByteArray("hello server");
        QTest::newRow("two values on one line") << QByteArray("{} {}");
        QTest::newRow("trailing comma") << QByteArray("[1,]");
        QTest::newRow("empty line") << QByteArray();
        QTest::newRow("invalid UTF-8") << QByteArray("{\"a\":\"\xff\xfe\"}");
        QTest::newRow("nul bytes") << QByteArray("{\"a\":\0\0}", 8);
        QTest::newRow("nested too deep") << QByteArray(20000, '[') + QByteArray(20000, ']');
    }

    void malformedJson()
    {
        QFETCH(QByteArray, line);
        auto client = connected();
        QVERIFY(client);
        client->sendRaw(line + '\n');
        const QJsonObject answer = client->readMessage().toObject();
        EXPECT_ERROR(answer, Wire::ErrorCode::ParseError);
        QVERIFY(answer.value(u"id"_s).isNull());
        // the same connection goes on
        QVERIFY(client->open(Token));
        QVERIFY(serves(m_server, Token));
    }

    void invalidRequests_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QJsonValue>("id");
        QTest::newRow("a number") << QByteArray("5") << QJsonValue();
        QTest::newRow("a string") << QByteArray(R"("rpc.open")") << QJsonValue();
        QTest::newRow("no jsonrpc member") << QByteArray(R"({"id":4,"method":"getPaciente","params":[]})") << QJsonValue(4);
        QTest::newRow("jsonrpc 1.0") << QByteArray(R"({"jsonrpc":"1.0","id":"a","method":"getPaciente"})") << QJsonValue(u"a"_s);
        QTest::newRow("method not text") << QByteArray(R"({"jsonrpc":"2.0","id":5,"method":7})") << QJsonValue(5);
        QTest::newRow("params a string") << QByteArray(R"({"jsonrpc":"2.0","id":6,"method":"getPaciente","params":"0001"})")
                                         << QJsonValue(6);
        QTest::newRow("id an object") << QByteArray(R"({"jsonrpc":"2.0","id":{},"method":"getPaciente"})") << QJsonValue();
    }

    void invalidRequests()
    {
        QFETCH(QByteArray, line);
        QFETCH(QJsonValue, id);
        auto client = opened();
        QVERIFY(client);
        client->sendRaw(line + '\n');
        const QJsonObject answer = client->readMessage().toObject();
        EXPECT_ERROR(answer, Wire::ErrorCode::InvalidRequest);
        QCOMPARE(answer.value(u"id"_s), id.isUndefined() ? QJsonValue(QJsonValue::Null) : id);
        QVERIFY(client->isConnected());
        QVERIFY(serves(m_server, Token));
    }

    void callsBeforeOpen()
    {
        auto client = connected();
        QVERIFY(client);
        EXPECT_ERROR(client->call(u"getNutricio"_s, {T(u"ADMIN"_s), R(Branch)}), Wire::ErrorCode::SessionNotOpen);
        EXPECT_ERROR(client->call(u"StartTransaction"_s, {}), Wire::ErrorCode::SessionNotOpen);
        EXPECT_ERROR(client->call(u"getReceita"_s, {}), Wire::ErrorCode::SessionNotOpen);
        // a notification before rpc.open gets no answer: the next message answers the next request
        client->sendRaw(R"({"jsonrpc":"2.0","method":"getPaciente","params":[{"text":"0001"}]})" "\n");
        const QJsonObject answer = client->request(u"getPaciente"_s, RpcTestClient::params({R(Branch)}));
        EXPECT_ERROR(answer, Wire::ErrorCode::SessionNotOpen);
        QCOMPARE(answer.value(u"id"_s).toInt(), 4);
        QVERIFY(client->open(Token));
        EXPECT_RESULT(client->call(u"getPaciente"_s, {R(Branch)}));
    }

    void openMistakes()
    {
        auto client = connected();
        QVERIFY(client);
        EXPECT_ERROR(client->request(u"rpc.open"_s, QJsonObject{{u"server"_s, u"Rbx53207.rdmOutro"_s}, {u"token"_s, Token}}),
                     Wire::ErrorCode::UnknownServer);
        EXPECT_ERROR(client->request(u"rpc.open"_s, QJsonObject{{u"token"_s, Token}}), Wire::ErrorCode::InvalidParams);
        EXPECT_ERROR(client->request(u"rpc.open"_s, QJsonArray{u"Rbx53207.rdmCopiaForm"_s}), Wire::ErrorCode::InvalidParams);
        // none of that closed the connection or opened the session
        EXPECT_ERROR(client->call(u"getPaciente"_s, {R(Branch)}), Wire::ErrorCode::SessionNotOpen);
        const QByteArray plain = QByteArray('\0' + TestSupport::TestOperator.toUtf8() + '\0' + TestSupport::TestPassword.toUtf8());
        const QJsonObject login{{u"server"_s, u"Rbx53207.rdmCopiaForm"_s},
                                {u"token"_s, Token},
                                {u"mechanism"_s, u"PLAIN"_s},
                                {u"data"_s, QString::fromLatin1(plain.toBase64())}};
        const QJsonObject opened = client->request(u"rpc.open"_s, login);
        EXPECT_RESULT(opened);
        const QJsonObject result = opened.value(u"result"_s).toObject();
        QCOMPARE(result.value(u"server"_s).toString(), u"Rbx53207.rdmCopiaForm"_s);
        QCOMPARE(result.value(u"protocol"_s).toInt(), 1);
        QCOMPARE(result.value(u"operator"_s).toString(), TestSupport::TestOperator);
        QVERIFY(!result.value(u"session"_s).toString().isEmpty());
        EXPECT_ERROR(client->request(u"rpc.open"_s, login), Wire::ErrorCode::InvalidRequest);

        // without a login the server names what it takes, and closes
        auto anonymous = connected();
        const QJsonObject refused = anonymous->request(
            u"rpc.open"_s, QJsonObject{{u"server"_s, u"Rbx53207.rdmCopiaForm"_s}, {u"token"_s, Token}});
        EXPECT_ERROR(refused, Wire::ErrorCode::NotAuthorized);
        QVERIFY(refused.value(u"error"_s).toObject().value(u"data"_s).toObject().value(u"mechanisms"_s).toArray().contains(
            u"SCRAM-SHA-256"_s));
    }

    void batches()
    {
        auto client = opened();
        QVERIFY(client);
        const QString patient = m_inPatient;
        client->sendRaw(QByteArray(R"([)"
                                   R"({"jsonrpc":"2.0","id":"a","method":"getNutricio","params":[{"text":"ADMIN"},{"text":"0001","byref":true}]},)"
                                   R"({"jsonrpc":"2.0","method":"getNutricio","params":[{"text":"ADMIN"},{"text":"0001"}]},)"
                                   R"({"jsonrpc":"2.0","id":2,"method":"getReceita","params":[]},)"
                                   R"(17,)"
                                   R"({"jsonrpc":"2.0","id":3,"method":"Commit"})"
                                   R"(])" "\n"));
        const QJsonArray answers = client->readMessage().toArray();
        QCOMPARE(answers.size(), 4);
        QCOMPARE(answers.at(0).toObject().value(u"id"_s).toString(), u"a"_s);
        ROWS(answers.at(0).toObject(), rows);
        QCOMPARE(rows, Rows{{u"001"_s}});
        QCOMPARE(answers.at(1).toObject().value(u"id"_s).toInt(), 2);
        EXPECT_ERROR(answers.at(1).toObject(), Wire::ErrorCode::MethodNotFound);
        QVERIFY(answers.at(2).toObject().value(u"id"_s).isNull());
        EXPECT_ERROR(answers.at(2).toObject(), Wire::ErrorCode::InvalidRequest);
        EXPECT_ERROR(answers.at(3).toObject(), Wire::ErrorCode::TransactionState);

        // notifications are executed even though nobody hears back: a batch of only those
        // sends nothing, and the service it inserts is there afterwards
        Service service{.patient = patient, .date = day(200)};
        QJsonObject insert{{u"jsonrpc"_s, u"2.0"_s}, {u"method"_s, u"InsServInte"_s},
                           {u"params"_s, RpcTestClient::params(insServInte(service))}};
        client->sendRaw(Wire::frame(QJsonArray{insert}));
        const QJsonObject next = client->call(u"getNrServInte"_s, {T(patient), D(day(200)), R(Branch)});
        ROWS(next, sequence);
        QCOMPARE(sequence, Rows{{u"01"_s}});

        client->sendRaw("[]\n");
        const QJsonObject empty = client->readMessage().toObject();
        EXPECT_ERROR(empty, Wire::ErrorCode::InvalidRequest);
        QVERIFY(serves(m_server, Token));
    }

    void garbageDoesNotHurt()
    {
        auto client = opened();
        QVERIFY(client);
        quint32 state = 12345;
        QByteArray lines;
        constexpr int LineCount = 200;
        for (int line = 0; line < LineCount; ++line) {
            QByteArray bytes;
            for (int i = 0; i < 1 + line % 97; ++i) {
                state = state * 1103515245u + 12345u;
                char c = char(state >> 16);
                bytes.append(c == '\n' ? ' ' : c);
            }
            lines.append(bytes).append('\n');
        }
        client->sendRaw(lines);
        for (int line = 0; line < LineCount; ++line) {
            const QJsonObject answer = client->readMessage().toObject();
            QVERIFY2(answer.contains(u"error"_s), qPrintable(u"line %1: %2"_s.arg(line).arg(describe(answer))));
        }
        QVERIFY(serves(m_server, Token));
    }
};

QTEST_GUILESS_MAIN(TestServerEnvelope)
#include "tst_server_envelope.moc"
