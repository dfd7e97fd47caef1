// The envelope of the protocol against the real server: malformed and invalid requests, sizes, methods and arguments, tokens, rpc.open and batches.
#include "ServerTestKit.h"

#include <QTest>

#include <algorithm>
#include <thread>

class TestServerProtocol final : public QObject, private ServerFixture
{
    Q_OBJECT

private slots:
    void initTestCase() { startServer(u"tst_server_protocol"_s); }
    void cleanupTestCase() { stopServer(); }

    // --- protocol -------------------------------------------------------------------------

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

    void oversizedMessages_data()
    {
        QTest::addColumn<int>("extra"); // bytes beyond the limit of 1024
        QTest::addColumn<bool>("lineFeed");
        QTest::newRow("one byte over, complete") << 1 << true;
        QTest::newRow("far over, complete") << 5000 << true;
        QTest::newRow("far over, no line feed yet") << 5000 << false;
        QTest::newRow("exactly the limit") << 0 << true;
    }

    void oversizedMessages()
    {
        QFETCH(int, extra);
        QFETCH(bool, lineFeed);
        TestServer small;
        TestServerOptions options;
        options.maxMessageBytes = 1024;
        QVERIFY2(small.start(m_demo->url(), options), qPrintable(small.errorString()));
        RpcTestClient client;
        QVERIFY(client.connectTo(small.host(), small.port()));
        QByteArray open = R"({"jsonrpc":"2.0","id":1,"method":"rpc.open","params":{"server":"Rbx53207.rdmCopiaForm"}})";
        open.append(QByteArray(1024 + extra - open.size(), ' '));
        client.sendRaw(lineFeed ? open + '\n' : open);
        const QJsonObject answer = client.readMessage().toObject();
        if (extra == 0) {
            EXPECT_RESULT(answer);
            QVERIFY(client.isConnected());
        } else {
            EXPECT_ERROR(answer, Wire::ErrorCode::InvalidRequest);
            QVERIFY(answer.value(u"id"_s).isNull());
            QVERIFY2(RpcTestClient::errorMessage(answer).contains(u"1024"_s), qPrintable(describe(answer)));
            QVERIFY(client.waitForClosed());
        }
        QVERIFY(serves(small, {}));
    }

    void unknownMethod()
    {
        auto client = opened();
        QVERIFY(client);
        const QJsonObject answer = client->call(u"getReceita"_s, {T(Branch)});
        EXPECT_ERROR(answer, Wire::ErrorCode::MethodNotFound);
        QVERIFY(RpcTestClient::errorMessage(answer).contains(u"getReceita"_s));
        // a name of any length is answered, and echoed only in part
        const QJsonObject huge = client->call(QString(100000, u'x'), {});
        EXPECT_ERROR(huge, Wire::ErrorCode::MethodNotFound);
        QVERIFY(RpcTestClient::errorMessage(huge).size() < 200);
        QVERIFY(!m_server.log().contains(QString(1000, u'x')));
        // names are case-sensitive, as the table fixes them
        EXPECT_ERROR(client->call(u"getnutricio"_s, {T(u"ADMIN"_s), R(Branch)}), Wire::ErrorCode::MethodNotFound);
        QVERIFY(serves(m_server, Token));
    }

    void wrongArgumentCounts_data()
    {
        QTest::addColumn<QString>("method");
        QTest::addColumn<int>("count");
        QTest::newRow("getNutricio with one") << u"getNutricio"_s << 1;
        QTest::newRow("getNutricio with three") << u"getNutricio"_s << 3;
        QTest::newRow("getPaciente with none") << u"getPaciente"_s << 0;
        QTest::newRow("getServInte with fourteen") << u"getServInte"_s << 14;
        QTest::newRow("InsConfesco with fifteen") << u"InsConfesco"_s << 15;
        QTest::newRow("InsServInte with seventeen") << u"InsServInte"_s << 17;
        QTest::newRow("Commit with one") << u"Commit"_s << 1;
    }

    void wrongArgumentCounts()
    {
        QFETCH(QString, method);
        QFETCH(int, count);
        auto client = opened();
        QVERIFY(client);
        const QJsonObject answer = client->call(method, QList<Arg>(count, T(u"1"_s)));
        EXPECT_ERROR(answer, Wire::ErrorCode::InvalidParams);
        const CopyService::MethodSignature *signature = CopyService::findMethod(method);
        const int expected = signature ? int(signature->kinds.size()) : 0;
        QCOMPARE(answer.value(u"error"_s).toObject().value(u"data"_s).toObject().value(u"expected"_s).toInt(), expected);
        QVERIFY(RpcTestClient::errorMessage(answer).contains(QString::number(expected)));
        QVERIFY(serves(m_server, Token));
    }

    void wrongArgumentKinds_data()
    {
        QTest::addColumn<QString>("method");
        QTest::addColumn<QJsonArray>("params");
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("expected");
        const QJsonObject text{{u"text"_s, u"1"_s}};
        const QJsonObject date{{u"date"_s, day()}};
        const QJsonObject number{{u"double"_s, 1.5}};
        auto with = [](QJsonArray array, int position, const QJsonValue &value) {
            array[position] = value;
            return array;
        };
        const QJsonArray nrServInte{text, date, text};
        QTest::newRow("date sent as text") << u"getNrServInte"_s << with(nrServInte, 1, text) << 1 << u"date"_s;
        QTest::newRow("text sent as double") << u"getNrServInte"_s << with(nrServInte, 0, number) << 0 << u"text"_s;
        QTest::newRow("argument not an object") << u"getNrServInte"_s << with(nrServInte, 2, u"0001"_s) << 2 << u"text"_s;
        QTest::newRow("two value keys") << u"getNrServInte"_s
                                        << with(nrServInte, 0, QJsonObject{{u"text"_s, u"a"_s}, {u"date"_s, 1}}) << 0
                                        << u"text"_s;
        QTest::newRow("byref on a date") << u"getNrServInte"_s
                                         << with(nrServInte, 1, QJsonObject{{u"date"_s, day()}, {u"byref"_s, true}}) << 1
                                         << u"date"_s;
        QTest::newRow("byref not a boolean") << u"getNrServInte"_s
                                             << with(nrServInte, 2, QJsonObject{{u"text"_s, u"0001"_s}, {u"byref"_s, u"yes"_s}})
                                             << 2 << u"text"_s;
        QTest::newRow("date as a string") << u"getNrServInte"_s
                                          << with(nrServInte, 1, QJsonObject{{u"date"_s, u"2024-03-14"_s}}) << 1 << u"date"_s;
        QTest::newRow("unknown value key") << u"getNrServInte"_s << with(nrServInte, 0, QJsonObject{{u"string"_s, u"a"_s}})
                                           << 0 << u"text"_s;
        QJsonArray confesco = RpcTestClient::params(insConfesco({}));
        QTest::newRow("InsConfesco consumption date as a date")
            << u"InsConfesco"_s << with(confesco, 9, date) << 9 << u"double"_s;
        QTest::newRow("getConfesco date before sequence")
            << u"getConfesco"_s << QJsonArray{text, date, text, text} << 1 << u"text"_s;
        QTest::newRow("getNrConfesco sequence before date")
            << u"getNrConfesco"_s << QJsonArray{text, text, date, text} << 1 << u"date"_s;
    }

    void wrongArgumentKinds()
    {
        QFETCH(QString, method);
        QFETCH(QJsonArray, params);
        QFETCH(int, position);
        QFETCH(QString, expected);
        auto client = opened();
        QVERIFY(client);
        const QJsonObject answer = client->request(method, params);
        EXPECT_ERROR(answer, Wire::ErrorCode::InvalidParams);
        const QJsonObject data = answer.value(u"error"_s).toObject().value(u"data"_s).toObject();
        QCOMPARE(data.value(u"position"_s).toInt(-1), position);
        QCOMPARE(data.value(u"expected"_s).toString(), expected);
        QVERIFY2(RpcTestClient::errorMessage(answer).contains(u"argumento %1 "_s.arg(position + 1)), qPrintable(describe(answer)));
        QVERIFY(serves(m_server, Token));
    }

    void textGoesWithOrWithoutByref()
    {
        auto client = opened();
        QVERIFY(client);
        const QJsonObject plain = client->call(u"getNutricio"_s, {T(u"ADMIN"_s), T(Branch)});
        ROWS(plain, rows);
        QCOMPARE(rows, Rows{{u"001"_s}});
        QVERIFY(RpcTestClient::result(plain).byref.isEmpty());
        const QJsonObject byRef = client->call(u"getNutricio"_s, {R(u"ADMIN"_s), R(Branch)});
        QCOMPARE(RpcTestClient::result(byRef).byref, (QMap<int, QString>{{0, u"ADMIN"_s}, {1, Branch}}));
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

    void wrongTokens_data()
    {
        QTest::addColumn<QJsonValue>("token");
        QTest::newRow("missing") << QJsonValue();
        QTest::newRow("wrong") << QJsonValue(u"ficha-errada"_s);
        QTest::newRow("right one with a prefix only") << QJsonValue(Token.left(6));
        QTest::newRow("right one plus a space") << QJsonValue(Token + u' ');
        QTest::newRow("a number") << QJsonValue(42);
        QTest::newRow("empty") << QJsonValue(u""_s);
    }

    void wrongTokens()
    {
        QFETCH(QJsonValue, token);
        auto client = connected();
        QVERIFY(client);
        QJsonObject params{{u"server"_s, u"Rbx53207.rdmCopiaForm"_s}};
        if (!token.isUndefined())
            params.insert(u"token"_s, token);
        const QJsonObject answer = client->request(u"rpc.open"_s, params);
        EXPECT_ERROR(answer, Wire::ErrorCode::NotAuthorized);
        QVERIFY(client->waitForClosed());
        QVERIFY(!m_server.log().contains(Token));
        if (token.isString() && !token.toString().isEmpty())
            QVERIFY(!m_server.log().contains(token.toString()));
        QVERIFY(serves(m_server, Token));
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
        const QJsonObject opened = client->request(
            u"rpc.open"_s, QJsonObject{{u"server"_s, u"Rbx53207.rdmCopiaForm"_s}, {u"token"_s, Token}});
        EXPECT_RESULT(opened);
        const QJsonObject result = opened.value(u"result"_s).toObject();
        QCOMPARE(result.value(u"server"_s).toString(), u"Rbx53207.rdmCopiaForm"_s);
        QCOMPARE(result.value(u"protocol"_s).toInt(), 1);
        QVERIFY(!result.value(u"session"_s).toString().isEmpty());
        const QJsonObject twice = client->request(
            u"rpc.open"_s, QJsonObject{{u"server"_s, u"Rbx53207.rdmCopiaForm"_s}, {u"token"_s, Token}});
        EXPECT_ERROR(twice, Wire::ErrorCode::InvalidRequest);
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

};

QTEST_GUILESS_MAIN(TestServerProtocol)
#include "tst_server_protocol.moc"
