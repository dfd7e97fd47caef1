// The real server process over loopback sockets: limits of messages and connections, tokens,
// stalled and deaf clients, a client or the server going away, concurrent writers, and what the
// server writes in its log.
#include "ServerTestKit.h"
#include <support/TestServer.h>

#include <QJsonArray>

#include <thread>

using namespace rbx;

using namespace Qt::StringLiterals;
using namespace ServerTests;

class TestServer_ final : public QObject, private DemoFixture
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        RBX_REQUIRE_TEST_ENGINE();
        openDemo();
        TestServerOptions options;
        options.token = Token;
        QVERIFY2(m_server.start(m_demo->url(), options), qPrintable(m_server.errorString()));
    }

    void cleanupTestCase()
    {
        if (!m_demo)
            return; // skipped: no database engine
        m_server.stop();
        // the token is never written to the log, whatever happened
        QVERIFY(!m_server.log().isEmpty());
        QVERIFY(!m_server.log().contains(Token));
        QVERIFY2(cleanExit(m_server), qPrintable(m_server.log()));
        m_db.reset();
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
        const QByteArray plain = '\0' + TestSupport::TestOperator.toUtf8() + '\0' + TestSupport::TestPassword.toUtf8();
        QByteArray open = QByteArray("{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"rpc.open\",\"params\":{\"server\":"
                                     "\"Rbx53207.rdmCopiaForm\",\"mechanism\":\"PLAIN\",\"data\":\"")
                          + plain.toBase64() + "\"}}";
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

    // A client's text is part of one log line, whatever it holds: it never ends the line or
    // starts a forged one, and nothing it names is logged before its session opens.
    void forgedLogLines()
    {
        const QString forged = u"x\r\n#1 audit: operador FORJADO\x1b[2K\u2028"_s;
        auto stranger = connected();
        QVERIFY(stranger);
        EXPECT_ERROR(stranger->request(forged + u"ANTES-DA-SESSAO"_s), Wire::ErrorCode::SessionNotOpen);
        auto client = opened();
        QVERIFY(client);
        EXPECT_ERROR(client->call(forged + u"DEPOIS-DA-SESSAO"_s, {}), Wire::ErrorCode::MethodNotFound);
        const QString log = m_server.log();
        QVERIFY2(log.contains(u"DEPOIS-DA-SESSAO"_s), qPrintable(log));
        QVERIFY2(!log.contains(u"ANTES-DA-SESSAO"_s), qPrintable(log));
        QVERIFY(log.contains(u"request before the session opened"_s));
        for (const QString &line : log.split(u'\n')) {
            if (line.contains(u"FORJADO"_s))
                QVERIFY2(line.contains(u"x\\r\\n#1 audit"_s), qPrintable(line));
        }
        QVERIFY(!log.contains(QChar(0x1b)) && !log.contains(QChar(0x2028)) && !log.contains(u'\r'));
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

    void disconnectWithOpenTransactionRollsBack()
    {
        const Service service{.patient = m_inPatient, .date = day(220)};
        {
            auto leaving = opened();
            QVERIFY(leaving);
            EXPECT_RESULT(leaving->call(u"StartTransaction"_s, {}));
            EXPECT_RESULT(leaving->call(u"InsServInte"_s, insServInte(service)));
            leaving->socket().abort();
        }
        // the write lock went with the rollback: another client writes the same key at once
        auto other = opened();
        QVERIFY(other);
        EXPECT_RESULT(other->call(u"InsServInte"_s, insServInte(service)));
        QCOMPARE(count(u"SELECT COUNT(*) FROM SERVINTE WHERE DTSERVINTE = '%1'"_s.arg(stored(day(220)))), 1);
    }

    // A transaction left open by a client that then sends nothing is rolled back after the idle
    // transaction timeout: the other writers wait no longer than that, and the idle session stays
    // open and learns it at its next call.
    void idleTransactionIsRolledBack()
    {
        TestServer server;
        TestServerOptions options;
        options.extraArguments = {u"--idle-transaction-timeout-ms"_s, u"1500"_s};
        QVERIFY2(server.start(m_demo->url(), options), qPrintable(server.errorString()));
        RpcTestClient idle, writer;
        QVERIFY(idle.connectTo(server.host(), server.port()) && idle.open());
        QVERIFY(writer.connectTo(server.host(), server.port()) && writer.open());
        const Service abandoned{.patient = m_inPatient, .date = day(240)};
        EXPECT_RESULT(idle.call(u"StartTransaction"_s, {}));
        EXPECT_RESULT(idle.call(u"InsServInte"_s, insServInte(abandoned)));
        // on SQLite this waits for the write turn, which the rollback frees
        EXPECT_RESULT(writer.call(u"InsServInte"_s, insServInte(Service{.patient = m_inPatient, .date = day(241)})));
        QTRY_VERIFY_WITH_TIMEOUT(server.log().contains(u"transaction rolled back"_s), 10000);
        const QJsonObject late = idle.call(u"getPaciente"_s, {R(Branch)});
        EXPECT_ERROR(late, Wire::ErrorCode::TransactionState);
        QVERIFY2(RpcTestClient::errorMessage(late).contains(u"inativa por mais de 1,5 s"_s), qPrintable(describe(late)));
        EXPECT_RESULT(idle.call(u"Rollback"_s, {}));
        EXPECT_RESULT(idle.call(u"InsServInte"_s, insServInte(abandoned)));
        server.stop();
        QVERIFY2(cleanExit(server), qPrintable(server.log()));
    }

    void killedServerLosesOnlyUncommittedWork()
    {
        TestServer own;
        QVERIFY2(own.start(m_demo->url()), qPrintable(own.errorString()));
        const Service kept{.patient = m_inPatient, .date = day(230)};
        const Service lost{.patient = m_inPatient, .date = day(231)};
        {
            RpcTestClient client;
            QVERIFY(client.connectTo(own.host(), own.port()) && client.open());
            EXPECT_RESULT(client.call(u"InsServInte"_s, insServInte(kept)));
            EXPECT_RESULT(client.call(u"StartTransaction"_s, {}));
            EXPECT_RESULT(client.call(u"InsServInte"_s, insServInte(lost)));
            own.kill();
        }
        QVERIFY2(own.restart(), qPrintable(own.errorString()));
        RpcTestClient client;
        QVERIFY(client.connectTo(own.host(), own.port()) && client.open());
        EXPECT_ERROR(client.call(u"InsServInte"_s, insServInte(kept)), Wire::ErrorCode::ServiceFailed);
        EXPECT_RESULT(client.call(u"InsServInte"_s, insServInte(lost)));
    }

    void connectionLimit()
    {
        TestServer limited;
        TestServerOptions options;
        options.maxConnections = 2;
        QVERIFY2(limited.start(m_demo->url(), options), qPrintable(limited.errorString()));
        auto first = std::make_unique<RpcTestClient>();
        RpcTestClient second, third;
        QVERIFY(first->connectTo(limited.host(), limited.port()) && first->open());
        QVERIFY(second.connectTo(limited.host(), limited.port()) && second.open());
        QVERIFY(third.connectTo(limited.host(), limited.port()));
        const QJsonObject refused = third.readMessage().toObject();
        EXPECT_ERROR(refused, Wire::ErrorCode::ServiceFailed);
        QVERIFY(RpcTestClient::errorMessage(refused).contains(u"2"_s));
        QVERIFY(third.waitForClosed());
        first.reset();
        // the freed place is taken as soon as the server has seen the first one go
        bool admitted = false;
        for (int attempt = 0; attempt < 50 && !admitted; ++attempt) {
            RpcTestClient fourth;
            admitted = fourth.connectTo(limited.host(), limited.port()) && fourth.open();
            if (!admitted)
                QTest::qWait(100);
        }
        QVERIFY(admitted);
        EXPECT_RESULT(second.call(u"getPaciente"_s, {R(Branch)}));
        second.socket().abort();
        limited.stop();
        QVERIFY2(cleanExit(limited), qPrintable(limited.log()));
    }

    void stalledClientIsDroppedButIdleOneIsNot()
    {
        TestServer strict;
        TestServerOptions options;
        options.stallTimeoutMs = 300;
        QVERIFY2(strict.start(m_demo->url(), options), qPrintable(strict.errorString()));
        RpcTestClient idle, stalled;
        QVERIFY(idle.connectTo(strict.host(), strict.port()) && idle.open());
        QVERIFY(stalled.connectTo(strict.host(), strict.port()));
        stalled.sendRaw(R"({"jsonrpc":"2.0","id":1,"method":)");
        QVERIFY(stalled.waitForClosed(5000));
        EXPECT_RESULT(idle.call(u"getNutricio"_s, {T(u"ADMIN"_s), R(Branch)}));
        QTRY_VERIFY(strict.log().contains(u"stalled"_s)); // written just after the drop

        // a client that asks for far more than the connection holds and never reads is
        // dropped as well, and the server stays with the others
        RpcTestClient deaf;
        QVERIFY(deaf.connectTo(strict.host(), strict.port()) && deaf.open());
        deaf.socket().setReadBufferSize(64 * 1024); // what is not read stays in the network
        QJsonArray batch;
        const QJsonArray params = RpcTestClient::params(allGroups(Branch, day(), u"1"_s));
        for (int i = 0; i < 5000; ++i) {
            batch.append(QJsonObject{{u"jsonrpc"_s, u"2.0"_s}, {u"id"_s, i}, {u"method"_s, u"getServInte"_s},
                                     {u"params"_s, params}});
        }
        deaf.sendRaw(Wire::frame(batch));
        // a wait, not a timing: each answer costs a few milliseconds more on Firebird
        QTRY_VERIFY_WITH_TIMEOUT(strict.log().contains(u"stopped reading"_s), 90000);
        EXPECT_RESULT(idle.call(u"getNutricio"_s, {T(u"ADMIN"_s), R(Branch)}));
        idle.socket().abort();
        strict.stop();
        QVERIFY2(cleanExit(strict), qPrintable(strict.log()));
    }

    void concurrentClientsWrite()
    {
        constexpr int Clients = 4, Services = 10;
        std::atomic<int> written{0};
        std::vector<std::thread> threads;
        const QString host = m_server.host();
        const quint16 port = m_server.port();
        const QString patient = m_inPatient;
        for (int c = 0; c < Clients; ++c) {
            threads.emplace_back([&, c] {
                RpcTestClient client;
                if (!client.connectTo(host, port) || !client.open(Token))
                    return;
                for (int s = 0; s < Services; ++s) {
                    Service service{.patient = patient, .date = day(500 + c * Services + s)};
                    if (client.call(u"InsServInte"_s, insServInte(service)).contains(u"result"_s))
                        ++written;
                }
            });
        }
        for (std::thread &thread : threads)
            thread.join();
        QCOMPARE(written.load(), Clients * Services);
        QCOMPARE(count(u"SELECT COUNT(*) FROM SERVINTE WHERE DTSERVINTE >= '%1'"_s.arg(stored(day(500)))), Clients * Services);
    }

    // A write that collides with another client's open transaction waits for it: after its
    // commit the write fails with the service's error and nothing is stored twice; after its
    // rollback the write goes through.
    void collidingWriteWaitsForTheOtherTransaction_data()
    {
        QTest::addColumn<bool>("commit");
        QTest::newRow("the other commits") << true;
        QTest::newRow("the other rolls back") << false;
    }

    void collidingWriteWaitsForTheOtherTransaction()
    {
        QFETCH(bool, commit);
        static int offset = 600;
        const Service service{.patient = m_inPatient, .date = day(++offset)};
        auto holder = opened();
        QVERIFY(holder);
        EXPECT_RESULT(holder->call(u"StartTransaction"_s, {}));
        EXPECT_RESULT(holder->call(u"InsServInte"_s, insServInte(service)));
        QJsonObject second;
        std::thread writer([&, host = m_server.host(), port = m_server.port()] {
            RpcTestClient client;
            if (client.connectTo(host, port) && client.open(Token))
                second = client.call(u"InsServInte"_s, insServInte(service));
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(300)); // the writer is waiting by now
        EXPECT_RESULT(holder->call(commit ? u"Commit"_s : u"Rollback"_s, {}));
        writer.join();
        if (commit)
            EXPECT_ERROR(second, Wire::ErrorCode::ServiceFailed);
        else
            EXPECT_RESULT(second);
        QCOMPARE(count(u"SELECT COUNT(*) FROM SERVINTE WHERE DTSERVINTE = '%1'"_s.arg(stored(service.date))), 1);
    }

private:
    std::unique_ptr<RpcTestClient> connected()
    {
        auto client = std::make_unique<RpcTestClient>();
        if (!client->connectTo(m_server.host(), m_server.port()))
            return nullptr;
        return client;
    }

    std::unique_ptr<RpcTestClient> opened()
    {
        auto client = connected();
        if (!client || !client->open(Token))
            return nullptr;
        return client;
    }

    // A good client still gets a good answer.
    static bool serves(TestServer &server, const QString &token)
    {
        RpcTestClient client;
        if (!client.connectTo(server.host(), server.port()) || !client.open(token))
            return false;
        Rows rows;
        return packetRows(client.call(u"getNutricio"_s, {T(u"ADMIN"_s), R(Branch)}), rows) && rows == Rows{{u"001"_s}};
    }

    // Stopped after an orderly shutdown, with nothing a sanitizer build would report.
    static bool cleanExit(const TestServer &server)
    {
        const QString log = server.log();
        return log.contains(u"shutting down"_s) && !log.contains(u"Sanitizer"_s) && !log.contains(u"runtime error"_s);
    }

    TestServer m_server;
};

QTEST_GUILESS_MAIN(TestServer_)
#include "tst_server.moc"
