// Transactions, connections and concurrent clients of the real server.
#include "ServerTestKit.h"

#include <QTest>

#include <algorithm>
#include <thread>

class TestServerSessions final : public QObject, private ServerFixture
{
    Q_OBJECT

private slots:
    void initTestCase() { startServer(u"tst_server_sessions"_s); }
    void cleanupTestCase() { stopServer(); }

    void transactionMisuse()
    {
        auto client = opened();
        QVERIFY(client);
        EXPECT_ERROR(client->call(u"Commit"_s, {}), Wire::ErrorCode::TransactionState);
        EXPECT_ERROR(client->call(u"Rollback"_s, {}), Wire::ErrorCode::TransactionState);
        EXPECT_RESULT(client->call(u"StartTransaction"_s, {}));
        EXPECT_ERROR(client->call(u"StartTransaction"_s, {}), Wire::ErrorCode::TransactionState);
        EXPECT_RESULT(client->call(u"Rollback"_s, {}));
        EXPECT_ERROR(client->call(u"Rollback"_s, {}), Wire::ErrorCode::TransactionState);
    }

    void transactionsIsolateAndUndo()
    {
        auto mine = opened();
        auto other = opened();
        QVERIFY(mine && other);
        const Service service{.patient = m_inPatient, .date = day(210)};
        auto sequence = [&](RpcTestClient &client) {
            Rows rows;
            packetRows(client.call(u"getNrServInte"_s, {T(service.patient), D(service.date), R(Branch)}), rows);
            return rows.value(0).value(0).toString();
        };
        EXPECT_RESULT(mine->call(u"StartTransaction"_s, {}));
        EXPECT_RESULT(mine->call(u"InsServInte"_s, insServInte(service)));
        QCOMPARE(sequence(*mine), u"01"_s);
        QCOMPARE(sequence(*other), u"00"_s);
        // a failing call inside the transaction changes nothing and leaves the transaction open
        EXPECT_ERROR(mine->call(u"InsServInte"_s, insServInte(service)), Wire::ErrorCode::ServiceFailed);
        EXPECT_RESULT(mine->call(u"Rollback"_s, {}));
        QCOMPARE(sequence(*mine), u"00"_s);

        EXPECT_RESULT(mine->call(u"StartTransaction"_s, {}));
        EXPECT_RESULT(mine->call(u"InsServInte"_s, insServInte(service)));
        EXPECT_ERROR(mine->call(u"InsConfesco"_s, insConfesco({.patient = m_inPatient, .sequence = u"02"_s, .date = day(210)})),
                     Wire::ErrorCode::ServiceFailed);
        EXPECT_RESULT(mine->call(u"InsConfesco"_s, insConfesco({.patient = m_inPatient, .date = day(210)})));
        EXPECT_RESULT(mine->call(u"Commit"_s, {}));
        QCOMPARE(sequence(*other), u"01"_s);
        QCOMPARE(count(u"SELECT COUNT(*) FROM CONFESCO WHERE DTSERVINTE = '%1'"_s.arg(stored(day(210)))), 1);
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

    // --- methods --------------------------------------------------------------------------

};

QTEST_GUILESS_MAIN(TestServerSessions)
#include "tst_server_sessions.moc"
