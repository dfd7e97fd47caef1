// Hostile clients against the real server on loopback: garbage, stalls, endless lines, a flood
// of connections and SQL metacharacters in every text. A well-behaved client is served
// throughout and the server's memory stays bounded. Counts and times are bounded.
#include <support/DemoDatabase.h>
#include <protocol/OleDate.h>
#include "ReliabilityKit.h"
#include <support/RpcTestClient.h>
#include <support/TestServer.h>

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>

#include <sys/resource.h>

using namespace rbx;

using namespace Qt::StringLiterals;

namespace {

constexpr int MaxConnections = 64;
constexpr qsizetype MaxMessageBytes = 64 * 1024;
constexpr int StallTimeoutMs = 500;
constexpr int Flood = 1000;

int firstErrorCode(const QJsonValue &answer)
{
    if (answer.isArray())
        return answer.toArray().isEmpty() ? 0 : RpcTestClient::errorCode(answer.toArray().first().toObject());
    return RpcTestClient::errorCode(answer.toObject());
}

QByteArray noise(int bytes, quint32 seed)
{
    QRandomGenerator random(seed);
    QByteArray data(bytes, Qt::Uninitialized);
    for (char &c : data) {
        c = char(random.bounded(256));
        if (c == '\n')
            c = ' ';
    }
    return data;
}

int tableRows(Database &database, const QString &table)
{
    QSqlQuery query(database.sql());
    return query.exec(u"SELECT COUNT(*) FROM "_s + table) && query.next() ? query.value(0).toInt() : -1;
}

} // namespace

class TestHostile final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // the flood needs a descriptor per connection, here and in the server (inherited)
        rlimit files{};
        QCOMPARE(getrlimit(RLIMIT_NOFILE, &files), 0);
        files.rlim_cur = std::min<rlim_t>(files.rlim_max, 8192);
        QCOMPARE(setrlimit(RLIMIT_NOFILE, &files), 0);
        QVERIFY2(files.rlim_cur >= rlim_t(Flood + 200), "too few file descriptors for the flood");

        QVERIFY2(m_demo.isValid(), qPrintable(m_demo.errorString()));
#if defined(__SANITIZE_ADDRESS__)
        // the sanitizer holds freed memory back in a quarantine (256 MB by default), which would
        // read as growth; a small one keeps the bound below meaningful
        qputenv("ASAN_OPTIONS", qgetenv("ASAN_OPTIONS") + ":quarantine_size_mb=16");
#endif
        TestServerOptions options;
        options.maxConnections = MaxConnections;
        options.maxMessageBytes = MaxMessageBytes;
        options.stallTimeoutMs = StallTimeoutMs;
        QVERIFY2(m_server.start(m_demo.url(), options), qPrintable(m_server.errorString()));
        QVERIFY(m_good.connectTo(m_server.host(), m_server.port()));
        QVERIFY(m_good.open());
        goodClientServed();
        m_rssStart = Reliability::residentKiB(m_server.processId());
        QVERIFY(m_rssStart > 0);
    }

    void cleanupTestCase()
    {
        qInfo("FIGURES hostile: %d hostile inputs, %d flood connections (%d held, %d refused), server RSS %lld KiB -> %lld KiB",
              m_inputs, Flood, m_held, m_refused, m_rssStart, m_rssEnd);
    }

    void garbage_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<int>("code");
        QTest::newRow("binary noise") << noise(4000, 1) << Wire::ErrorCode::ParseError;
        QTest::newRow("more noise") << noise(60000, 2) << Wire::ErrorCode::ParseError;
        QTest::newRow("half an object") << QByteArray(R"({"jsonrpc":"2.0","id":1,"method":)") << Wire::ErrorCode::ParseError;
        QTest::newRow("two values") << QByteArray(R"({"a":1} {"b":2})") << Wire::ErrorCode::ParseError;
        QTest::newRow("nested 30000 deep") << QByteArray(30000, '[') + QByteArray(30000, ']') << Wire::ErrorCode::ParseError;
        QTest::newRow("invalid UTF-8") << QByteArray("{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"\xff\xfe\"}")
                                       << Wire::ErrorCode::ParseError;
        QTest::newRow("NUL inside") << QByteArray("{\"jsonrpc\":\"2.0\",\0\"id\":1}", 25) << Wire::ErrorCode::ParseError;
        QTest::newRow("number out of range") << QByteArray("1e999999") << Wire::ErrorCode::ParseError;
        QTest::newRow("bare number") << QByteArray("42") << Wire::ErrorCode::InvalidRequest;
        QTest::newRow("empty batch") << QByteArray("[]") << Wire::ErrorCode::InvalidRequest;
        QTest::newRow("batch of junk") << QByteArray(R"([1,"x",null,{}])") << Wire::ErrorCode::InvalidRequest;
        QTest::newRow("id an object") << QByteArray(R"({"jsonrpc":"2.0","id":{"a":1},"method":"rpc.open"})")
                                      << Wire::ErrorCode::InvalidRequest;
        QTest::newRow("params a number") << QByteArray(R"({"jsonrpc":"2.0","id":1,"method":"rpc.open","params":5})")
                                         << Wire::ErrorCode::InvalidRequest;
        QTest::newRow("call before rpc.open")
            << QByteArray(R"({"jsonrpc":"2.0","id":1,"method":"getPaciente","params":[{"text":"0001"}]})")
            << Wire::ErrorCode::SessionNotOpen;
        QTest::newRow("rpc.open with a 50 KB server name")
            << QByteArray(R"({"jsonrpc":"2.0","id":1,"method":"rpc.open","params":{"server":")") + QByteArray(50000, 'x')
                   + QByteArray(R"("}})")
            << Wire::ErrorCode::UnknownServer;
        QTest::newRow("opened, then a 600-member batch")
            << QByteArray("{\"jsonrpc\":\"2.0\",\"id\":0,\"method\":\"rpc.open\",\"params\":{\"server\":"
                          "\"Rbx53207.rdmCopiaForm\",\"mechanism\":\"PLAIN\",\"data\":\"")
                   + QByteArray('\0' + TestSupport::TestOperator.toUtf8() + '\0' + TestSupport::TestPassword.toUtf8()).toBase64()
                   + QByteArray("\"}}\n[")
                   + QByteArray(R"({"jsonrpc":"2.0","id":1,"method":"getPaciente","params":[{"date":1e308}]},)").repeated(599)
                   + QByteArray(R"({"jsonrpc":"2.0","id":1,"method":"x"}])")
            << Wire::ErrorCode::InvalidParams;
    }
    void garbage()
    {
        QFETCH(QByteArray, message);
        QFETCH(int, code);
        RpcTestClient hostile;
        QVERIFY(hostile.connectTo(m_server.host(), m_server.port()));
        hostile.sendRaw(message + '\n');
        QJsonValue answer = hostile.readMessage();
        if (message.startsWith(R"({"jsonrpc":"2.0","id":0,"method":"rpc.open")")) {
            QVERIFY(answer.toObject().contains(u"result"_s));
            answer = hostile.readMessage();
            QCOMPARE(answer.toArray().size(), 600);
            QCOMPARE(RpcTestClient::errorCode(answer.toArray().last().toObject()), Wire::ErrorCode::MethodNotFound);
        }
        QVERIFY2(!answer.isUndefined(), "no answer to a bad message");
        QCOMPARE(firstErrorCode(answer), code);
        // the connection stays usable after a bad message (only a refused rpc.open closes it)
        QVERIFY(hostile.open() || code == Wire::ErrorCode::InvalidParams);
        ++m_inputs;
        goodClientServed();
    }

    // A message begun and never finished is dropped after the stall timeout, and so is a
    // connection that opens no session; a session idle between calls is not.
    void halfMessageThenSilence()
    {
        RpcTestClient idle;
        QVERIFY(idle.connectTo(m_server.host(), m_server.port()));
        QVERIFY(idle.open());
        RpcTestClient stalled;
        QVERIFY(stalled.connectTo(m_server.host(), m_server.port()));
        QVERIFY(stalled.open());
        QElapsedTimer clock;
        clock.start();
        // a plain literal: moc reads braces inside raw strings
        stalled.sendRaw("{\"jsonrpc\":\"2.0\",\"id\":9,\"method\":\"getPaciente\",\"params\":[{\"te");
        QVERIFY(stalled.waitForClosed(StallTimeoutMs * 10));
        QVERIFY2(clock.elapsed() >= StallTimeoutMs - 50, qPrintable(QString::number(clock.elapsed())));
        ++m_inputs;

        // drip-feeding does not reset the clock: a byte at a time still counts as one stall
        RpcTestClient drip;
        QVERIFY(drip.connectTo(m_server.host(), m_server.port()));
        clock.restart();
        const QByteArray slow = R"({"jsonrpc":"2.0","id":1,"method":"rpc.open","params":{"server":"Rbx53207.rdmCopiaForm"}})";
        for (char c : slow) {
            drip.sendRaw(QByteArray(1, c));
            QTest::qWait(StallTimeoutMs / 5);
            if (!drip.isConnected())
                break;
        }
        QVERIFY(drip.waitForClosed(StallTimeoutMs * 10));
        QVERIFY(clock.elapsed() < StallTimeoutMs * 4);
        ++m_inputs;

        // a connection that never opens a session does not keep a slot of the cap
        RpcTestClient silent;
        QVERIFY(silent.connectTo(m_server.host(), m_server.port()));
        clock.restart();
        QVERIFY(silent.waitForClosed(StallTimeoutMs * 10));
        QVERIFY2(clock.elapsed() >= StallTimeoutMs - 50, qPrintable(QString::number(clock.elapsed())));
        ++m_inputs;

        QTest::qWait(StallTimeoutMs * 3);
        QVERIFY(idle.isConnected());
        QCOMPARE(RpcTestClient::errorCode(idle.call(u"getPaciente"_s, {Wire::Arg::makeText(u"0001"_s, true)})), 0);
        goodClientServed();
    }

    // A line that never ends is cut at the limit: the protocol's error, then the connection closes.
    void endlessLine()
    {
        RpcTestClient endless;
        QVERIFY(endless.connectTo(m_server.host(), m_server.port()));
        const QByteArray chunk(16 * 1024, 'a');
        for (int i = 0; i < 64 && endless.isConnected(); ++i) {
            endless.sendRaw(chunk);
            endless.socket().waitForBytesWritten(1000);
        }
        const QJsonObject answer = endless.readMessage().toObject();
        QCOMPARE(RpcTestClient::errorCode(answer), Wire::ErrorCode::InvalidRequest);
        QVERIFY(answer.value(u"id"_s).isNull());
        QVERIFY(endless.waitForClosed());
        ++m_inputs;
        goodClientServed();
    }

    // A thousand connections at once: those over the cap get the service's error and are closed,
    // the good client keeps being served, and the slots come back when they go.
    void thousandConnections()
    {
        std::vector<std::unique_ptr<QTcpSocket>> flood;
        flood.reserve(Flood);
        for (int i = 0; i < Flood; ++i) {
            flood.push_back(std::make_unique<QTcpSocket>());
            QTcpSocket &socket = *flood.back();
            socket.connectToHost(m_server.host(), m_server.port());
            // opening at once: a connection that opens no session within the (short) stall
            // timeout is dropped, and making a thousand sockets takes longer than that
            if (socket.waitForConnected(5000)) {
                socket.write(R"({"jsonrpc":"2.0","id":1,"method":"rpc.open","params":{"server":"Rbx53207.rdmCopiaForm"}})" "\n");
                socket.flush();
            }
        }
        // Every one must end in a session that answers, the refusal, or a closed connection.
        int opened = 0, refused = 0, closed = 0;
        QDeadlineTimer deadline(60000);
        do {
            QTest::qWait(250);
            opened = refused = closed = 0;
            for (const auto &socket : flood) {
                const QByteArray seen = socket->peek(4096);
                if (seen.contains("-32000") && seen.contains("limite"))
                    ++refused;
                else if (seen.contains("\"result\""))
                    ++opened;
                else if (socket->state() != QAbstractSocket::ConnectedState)
                    ++closed;
            }
        } while (opened + refused + closed < Flood && !deadline.hasExpired());
        goodClientServed();
        const QString counts = u"%1 opened, %2 refused, %3 closed"_s.arg(opened).arg(refused).arg(closed);
        QVERIFY2(opened + refused + closed == Flood, qPrintable(counts));
        // the good client holds one of the slots
        QVERIFY2(opened <= MaxConnections - 1, qPrintable(counts));
        QVERIFY2(refused >= Flood / 2, qPrintable(counts));
        m_refused = refused;
        m_held = opened;
        flood.clear();
        // slots free again
        QDeadlineTimer again(10000);
        bool served = false;
        while (!served && !again.hasExpired()) {
            RpcTestClient late;
            served = late.connectTo(m_server.host(), m_server.port()) && late.open();
            if (!served)
                QTest::qWait(200);
        }
        QVERIFY(served);
        goodClientServed();
    }

    // SQL metacharacters and LIKE wildcards in every text argument mean only themselves: reads
    // find nothing, DelServ removes nothing, and a description keeps them literally.
    void sqlMetacharacters_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("quote") << u"'"_s;
        QTest::newRow("or true") << u"' OR '1'='1"_s;
        QTest::newRow("percent") << u"%"_s;
        QTest::newRow("underscore") << u"_"_s;
        QTest::newRow("list of anything") << u"_%_"_s;
        QTest::newRow("stacked statement") << u"0'; DELETE FROM SERVINTE; --"_s;
        QTest::newRow("comment") << u"0001' --"_s;
        QTest::newRow("backslash and double quote") << u"\\\" \\\\"_s;
        QTest::newRow("bracket glob") << u"[0-9]*"_s;
    }
    void sqlMetacharacters()
    {
        QFETCH(QString, text);
        auto database = m_demo.open(u"hostile-sql"_s);
        const int services = tableRows(*database, u"SERVINTE"_s);
        const int items = tableRows(*database, u"CONFESCO"_s);
        const double day = OleDate::fromDate(TestSupport::demoDate());
        const auto t = [](const QString &value) { return Wire::Arg::makeText(value); };
        // base arguments that match nothing anyway except by a wildcard: every text replaced in turn
        const QList<std::pair<QString, QList<Wire::Arg>>> calls = {
            {u"getNutricio"_s, {t(u"X"_s), t(u"0001"_s)}},
            {u"getPaciente"_s, {t(u"X"_s)}},
            {u"getServInte"_s, {t(u"0001"_s), Wire::Arg::makeDate(day), t({}), t({}), t({}), t({}), t({}), t({}), t({}),
                                t({}), t({}), t({}), t({}), t({}), t(u"1"_s)}},
            {u"DelServ"_s, {t(u"X"_s), Wire::Arg::makeDate(day), t(u"0001"_s), t(u"X"_s), t(u"X"_s)}},
            {u"getNrServInte"_s, {t(u"X"_s), Wire::Arg::makeDate(day), t(u"0001"_s)}},
            {u"getNrConfesco"_s, {t(u"X"_s), Wire::Arg::makeDate(day), t(u"01"_s), t(u"0001"_s)}},
            {u"getConfesco"_s, {t(u"X"_s), t(u"01"_s), Wire::Arg::makeDate(day), t(u"0001"_s)}},
        };
        int tried = 0;
        for (const auto &[method, base] : calls) {
            for (qsizetype i = 0; i < base.size(); ++i) {
                if (base.at(i).kind != Wire::Arg::Kind::Text)
                    continue;
                QList<Wire::Arg> args = base;
                args[i] = Wire::Arg::makeText(text, i % 2 == 0);
                const QJsonObject answer = m_good.call(method, args);
                const int code = RpcTestClient::errorCode(answer);
                ++tried;
                if (code != 0) {
                    // refused as a bad value, or as no operator or branch of the session's, is fine;
                    // anything else is not
                    QVERIFY2(code == Wire::ErrorCode::ServiceFailed || code == Wire::ErrorCode::NotPermitted, qPrintable(u"%1 #%2: %3"_s.arg(method).arg(i + 1).arg(code)));
                    continue;
                }
                const Wire::CallResult result = RpcTestClient::result(answer);
                if (method == u"DelServ"_s)
                    QCOMPARE(result.rowsAffected.value_or(0), 0);
                else if (method.startsWith(u"getNr"_s))
                    QVERIFY(result.packet && result.packet->rows.size() == 1
                            && result.packet->rows.first().first().toString().count(u'0')
                                   == result.packet->rows.first().first().toString().size());
                else
                    QVERIFY2(result.packet && result.packet->rows.isEmpty(),
                             qPrintable(u"%1 #%2 found rows"_s.arg(method).arg(i + 1)));
            }
        }
        QCOMPARE(tableRows(*database, u"SERVINTE"_s), services);
        QCOMPARE(tableRows(*database, u"CONFESCO"_s), items);

        // written as a description and an observation, read back exactly
        const QDate target = TestSupport::demoDate().addDays(40 + ++m_metaRound);
        QSqlQuery any(database->sql());
        QVERIFY(any.exec(u"SELECT CDPACIENTE, CDSERVFILI, CDDIETPAD FROM SERVINTE WHERE CDFILIAL = '0001' LIMIT 1"_s) && any.next());
        const QString patient = any.value(0).toString(), serviceCode = any.value(1).toString(), diet = any.value(2).toString();
        any.finish(); // an open read would keep this connection on the old snapshot
        const double to = OleDate::fromDate(target);
        QList<Wire::Arg> service = {t(patient), Wire::Arg::makeDate(to), Wire::Arg::makeText(u"01"_s, true),
                                    t(u"0001"_s), t(serviceCode), t(diet),
                                    t({}), t({}), t({}), t({}), t({}), t(u"ADMIN"_s), t({}), Wire::Arg::makeDate(0),
                                    t(text), t({})};
        QCOMPARE(RpcTestClient::errorCode(m_good.call(u"InsServInte"_s, service)), 0);
        QList<Wire::Arg> item = {t(patient), Wire::Arg::makeDate(to), Wire::Arg::makeText(u"01"_s, true),
                                 Wire::Arg::makeText(u"0001"_s, true), t({}), t({}), Wire::Arg::makeDouble(1),
                                 Wire::Arg::makeDouble(1), Wire::Arg::makeDouble(0), Wire::Arg::makeDouble(to), t({}),
                                 t({}), t({}), t(text), Wire::Arg::makeText(u"0001"_s, true), Wire::Arg::makeDouble(0)};
        QCOMPARE(RpcTestClient::errorCode(m_good.call(u"InsConfesco"_s, item)), 0);
        QSqlQuery back(database->sql());
        back.prepare(u"SELECT S.DSSERVINTE, C.DSOBSCONF FROM SERVINTE S JOIN CONFESCO C ON C.CDPACIENTE = S.CDPACIENTE"
                     u" AND C.DTSERVINTE = S.DTSERVINTE AND C.NRSEQUSERV = S.NRSEQUSERV AND C.CDFILIAL = S.CDFILIAL"
                     u" WHERE S.DTSERVINTE = ? AND S.CDFILIAL = '0001'"_s);
        back.addBindValue(Reliability::storedDate(*database, target));
        QVERIFY2(back.exec(), qPrintable(back.lastError().text()));
        QVERIFY2(back.next(), qPrintable(Reliability::storedDate(*database, target)));
        QCOMPARE(back.value(0).toString(), text);
        QCOMPARE(back.value(1).toString(), text);
        QVERIFY(!back.next());
        m_inputs += tried + 2;
    }

    // After everything above and a second round of the worst of it, the server holds no more
    // memory than a bounded margin over where it started.
    void memoryBounded()
    {
        const qint64 beforeRounds = Reliability::residentKiB(m_server.processId());
        for (int round = 0; round < 20; ++round) {
            RpcTestClient hostile;
            QVERIFY(hostile.connectTo(m_server.host(), m_server.port()));
            hostile.sendRaw(noise(int(MaxMessageBytes) - 16, quint32(100 + round)) + '\n');
            QCOMPARE(firstErrorCode(hostile.readMessage()), Wire::ErrorCode::ParseError);
            hostile.sendRaw(QByteArray(MaxMessageBytes * 2, 'z'));
            QCOMPARE(firstErrorCode(hostile.readMessage()), Wire::ErrorCode::InvalidRequest);
            m_inputs += 2;
        }
        goodClientServed();
        QTest::qWait(500);
        m_rssEnd = Reliability::residentKiB(m_server.processId());
        QVERIFY(m_rssEnd > 0);
        // Sessions, threads and SQLite caches come and go. The sanitizer's allocator keeps caches
        // per thread (a thread per session) and a quarantine, so its bound is wider.
#if defined(__SANITIZE_ADDRESS__)
        constexpr qint64 BoundKiB = 192 * 1024;
#else
        constexpr qint64 BoundKiB = 64 * 1024;
#endif
        QVERIFY2(m_rssEnd - m_rssStart < BoundKiB,
                 qPrintable(u"server grew from %1 KiB to %2 KiB"_s.arg(m_rssStart).arg(m_rssEnd)));
        // and once warm, 40 more hostile inputs (2.5 MB of them) leave no trace
        QVERIFY2(m_rssEnd - beforeRounds < 32 * 1024,
                 qPrintable(u"20 rounds grew the server from %1 KiB to %2 KiB"_s.arg(beforeRounds).arg(m_rssEnd)));
    }

private:
    void goodClientServed()
    {
        QString filial = u"0001"_s;
        const QJsonObject answer = m_good.call(u"getNutricio"_s, {Wire::Arg::makeText(u"ADMIN"_s), Wire::Arg::makeText(filial, true)});
        QCOMPARE(RpcTestClient::errorCode(answer), 0);
        QVERIFY(!RpcTestClient::result(answer).packet->rows.isEmpty());
    }

    DemoDatabase m_demo;
    TestServer m_server;
    RpcTestClient m_good;
    qint64 m_rssStart = 0;
    qint64 m_rssEnd = 0;
    int m_inputs = 0;
    int m_refused = 0;
    int m_held = 0;
    int m_metaRound = 0;
};

QTEST_GUILESS_MAIN(TestHostile)
#include "tst_hostile.moc"
