// Faults in the middle of a copy, against the real server and the headless copy: a client that
// dies mid-service, a server killed mid-run, a full disk, and two copies of the same day at once.
// After each, every service at the destination is whole or absent and the database is sound.
// And what systemd is told, so that it can restart a server whose event loop hangs.
#include <support/DemoDatabase.h>
#include <protocol/OleDate.h>
#include "ReliabilityKit.h"
#include <support/RpcTestClient.h>
#include <support/TestServer.h>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QSqlQuery>
#include <QtTest>

#include <algorithm>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace rbx;

using namespace Qt::StringLiterals;

namespace {

const QString Branch = u"0001"_s;
QDate origin() { return TestSupport::demoDate(); }
QDate destination() { return TestSupport::demoDate().addDays(1); }

struct CopyRun
{
    int code = -1;
    QString err;
};

CopyRun runCopy(quint16 port, int timeoutMs = 180000)
{
    QProcess process;
    process.start(Reliability::copyProgram(), Reliability::copyArguments(port, origin(), destination()));
    process.closeWriteChannel();
    CopyRun run;
    if (!process.waitForFinished(timeoutMs)) {
        run.err = u"no end within %1 ms (%2)"_s.arg(timeoutMs).arg(process.errorString());
        return run;
    }
    run.code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.err = QString::fromUtf8(process.readAllStandardError());
    if (run.code != 0)
        qInfo("copy ended with %d: %s", run.code, qPrintable(run.err.trimmed()));
    return run;
}

QString integrity(Database &database)
{
    QSqlQuery query(database.sql());
    if (!query.exec(u"PRAGMA integrity_check"_s) || !query.next())
        return u"integrity_check did not run"_s;
    return query.value(0).toString();
}

} // namespace

class TestFaults final : public QObject
{
    Q_OBJECT

private slots:
    void cleanupTestCase()
    {
        qInfo("FIGURES faults: %d faults injected, %d destination services checked whole or absent", m_faults, m_checked);
    }

    // The client dies after DelServ, InsServInte and one item of a service: the destination is
    // exactly as before, the former version included.
    void clientKilledMidService()
    {
        DemoDatabase demo;
        QVERIFY2(demo.isValid(), qPrintable(demo.errorString()));
        TestServer server;
        QVERIFY2(server.start(demo.url()), qPrintable(server.errorString()));
        const CopyRun first = runCopy(server.port());
        QVERIFY2(first.code == 0, qPrintable(first.err));
        auto database = demo.open(u"faults-client"_s);
        const QString before = Reliability::snapshot(*database, destination(), Branch);
        const auto services = Reliability::servicesWithItems(*database, destination(), Branch);
        QVERIFY(!services.isEmpty());
        const QStringList key = services.firstKey().split(u'|');

        RpcTestClient dying;
        QVERIFY(dying.connectTo(server.host(), server.port()));
        QVERIFY(dying.open());
        const double to = OleDate::fromDate(destination());
        const auto t = [](const QString &value) { return Wire::Arg::makeText(value); };
        QCOMPARE(RpcTestClient::errorCode(dying.request(u"StartTransaction"_s, QJsonArray())), 0);
        QCOMPARE(RpcTestClient::errorCode(dying.call(u"DelServ"_s, {t(key[0]), Wire::Arg::makeDate(to), t(Branch), t(key[1]), t(key[2])})), 0);
        QCOMPARE(RpcTestClient::errorCode(dying.call(u"InsServInte"_s,
            {t(key[0]), Wire::Arg::makeDate(to), Wire::Arg::makeText(u"99"_s, true), t(Branch), t(key[1]), t(key[2]), t({}), t({}),
             t({}), t({}), t({}), t(u"ADMIN"_s), t({}), Wire::Arg::makeDate(0), t(u"meio copiado"_s), t({})})), 0);
        QCOMPARE(RpcTestClient::errorCode(dying.call(u"InsConfesco"_s,
            {t(key[0]), Wire::Arg::makeDate(to), Wire::Arg::makeText(u"99"_s, true), Wire::Arg::makeText(u"0001"_s, true), t({}),
             t({}), Wire::Arg::makeDouble(1), Wire::Arg::makeDouble(1), Wire::Arg::makeDouble(0), Wire::Arg::makeDouble(to),
             t({}), t({}), t({}), t(u"meio"_s), Wire::Arg::makeText(Branch, true), Wire::Arg::makeDouble(0)})), 0);
        dying.socket().abort();
        ++m_faults;

        QVERIFY(Reliability::waitFor([&] { return server.log().contains(u"discarded: the transaction was rolled back"_s); }, 10000));
        QCOMPARE(Reliability::snapshot(*database, destination(), Branch), before);
        QCOMPARE(integrity(*database), u"ok"_s);
        m_checked += int(services.size());
    }

    // SIGKILL in the middle of a run, then a restart and the same run again: at every point each
    // service at the destination is whole or absent.
    void serverKilledMidRun()
    {
        DemoDatabase demo(TestSupport::demoOptions(400));
        QVERIFY2(demo.isValid(), qPrintable(demo.errorString()));
        TestServer server;
        // each copy commits alone, so that the run is still under way after its fifth audit
        // line; killed in the middle of a group: tst_copy_server
        TestServerOptions alone;
        alone.extraArguments = {u"--group-services"_s, u"1"_s};
        QVERIFY2(server.start(demo.url(), alone), qPrintable(server.errorString()));
        QProcess copy;
        copy.start(Reliability::copyProgram(), Reliability::copyArguments(server.port(), origin(), destination()));
        copy.closeWriteChannel();
        QVERIFY(Reliability::waitFor([&] { return server.log().count(u"audit:"_s) >= 5; }, 60000));
        server.kill();
        ++m_faults;
        QVERIFY(copy.waitForFinished(60000));
        QVERIFY2(copy.exitCode() != 0, "a run whose server died reported success");
        // the answers lost with the connection: the client cannot know how many more were copied
        const QString told = QString::fromUtf8(copy.readAllStandardError());
        QVERIFY2(told.contains(u"podem ter sido copiados"_s) && told.contains(u"--show-run"_s), qPrintable(told));

        auto database = demo.open(u"faults-kill"_s);
        QCOMPARE(integrity(*database), u"ok"_s);
        const auto afterKill = Reliability::servicesWithItems(*database, destination(), Branch);
        QVERIFY(afterKill.size() >= 5);
        QStringList half = Reliability::halfCopies(*database, origin(), destination(), Branch);
        QVERIFY2(half.isEmpty(), qPrintable(half.join(u'\n')));

        // restarted, the server closes the run it left open as failed, with what it committed
        QVERIFY2(server.restart(), qPrintable(server.errorString()));
        {
            QSqlQuery run(database->sql());
            QVERIFY(run.exec(u"SELECT IDSITUACAO, QTSERVICOS, DSERRO FROM EXECCOPIA ORDER BY IDEXECUCAO DESC"_s) && run.next());
            QCOMPARE(run.value(0).toString(), u"F"_s);
            int written = 0;
            for (const QList<int> &services : afterKill)
                written += int(services.size());
            QCOMPARE(run.value(1).toInt(), written);
            QVERIFY(!run.value(2).toString().isEmpty());
        }
        const CopyRun again = runCopy(server.port());
        QVERIFY2(again.code == 0, qPrintable(again.err));
        const auto afterRerun = Reliability::servicesWithItems(*database, destination(), Branch);
        QVERIFY(afterRerun.size() > afterKill.size());
        half = Reliability::halfCopies(*database, origin(), destination(), Branch);
        QVERIFY2(half.isEmpty(), qPrintable(half.join(u'\n')));
        m_checked += int(afterKill.size() + afterRerun.size());
    }

    // The disk fills up under the database: the copy fails with a clear error, nothing is
    // half-written or corrupt, and once space is back the same copy completes.
    void fullDisk()
    {
        if (::geteuid() != 0)
            QSKIP("mounting a small file system needs root");
        DemoDatabase demo;
        QVERIFY2(demo.isValid(), qPrintable(demo.errorString()));
        QTemporaryDir mountPoint;
        QVERIFY(mountPoint.isValid());
        const qint64 databaseBytes = QFileInfo(demo.path()).size();
        // room for a whole copy of the day once the filler is gone, with the journal of its run
        const QString size = QString::number((databaseBytes + 4 * 1024 * 1024) / 1024) + u'k';
        QCOMPARE(QProcess::execute(u"mount"_s, {u"-t"_s, u"tmpfs"_s, u"-o"_s, u"size="_s + size, u"rbx-full"_s, mountPoint.path()}), 0);
        const auto unmount = qScopeGuard([&] { QProcess::execute(u"umount"_s, {mountPoint.path()}); });
        const QString path = mountPoint.filePath(u"demo.db"_s);
        QVERIFY(QFile::copy(demo.path(), path));

        TestServer server;
        QVERIFY2(server.start(u"sqlite:"_s + path), qPrintable(server.errorString()));
        RpcTestClient reader;
        QVERIFY(reader.connectTo(server.host(), server.port()));
        QVERIFY(reader.open());
        QCOMPARE(RpcTestClient::errorCode(reader.call(u"getPaciente"_s, {Wire::Arg::makeText(Branch, true)})), 0);

        // fill what is left
        QFile filler(mountPoint.filePath(u"filler"_s));
        QVERIFY(filler.open(QIODevice::WriteOnly));
        const QByteArray block(4096, 'f');
        while (filler.write(block) == block.size() && filler.flush()) {
        }
        filler.close();
        ++m_faults;

        const CopyRun full = runCopy(server.port());
        QVERIFY2(full.code != 0, "a copy onto a full disk reported success");
        QVERIFY2(full.err.contains(u"full"_s, Qt::CaseInsensitive) || full.err.contains(u"cheio"_s, Qt::CaseInsensitive),
                 qPrintable(full.err));
        qInfo("full disk: %s", qPrintable(full.err.trimmed()));
        QCOMPARE(RpcTestClient::errorCode(reader.call(u"getPaciente"_s, {Wire::Arg::makeText(Branch, true)})), 0);
        {
            auto database = Database::open(u"sqlite:"_s + path, u"faults-full"_s);
            QCOMPARE(integrity(*database), u"ok"_s);
            const QStringList half = Reliability::halfCopies(*database, origin(), destination(), Branch);
            QVERIFY2(half.isEmpty(), qPrintable(half.join(u'\n')));
        }

        QVERIFY(QFile::remove(filler.fileName()));
        const CopyRun after = runCopy(server.port());
        QVERIFY2(after.code == 0, qPrintable(after.err));
        server.stop();
        {
            auto database = Database::open(u"sqlite:"_s + path, u"faults-full-after"_s);
            QCOMPARE(integrity(*database), u"ok"_s);
            const auto copied = Reliability::servicesWithItems(*database, destination(), Branch);
            QVERIFY(!copied.isEmpty());
            const QStringList half = Reliability::halfCopies(*database, origin(), destination(), Branch);
            QVERIFY2(half.isEmpty(), qPrintable(half.join(u'\n')));
            m_checked += int(copied.size());
        }
    }

    // A writer that finds another's transaction open waits its turn for as long as that lasts,
    // past SQLite's busy timeout, instead of failing with "database is locked".
    void writerWaitsItsTurn()
    {
        DemoDatabase demo;
        QVERIFY2(demo.isValid(), qPrintable(demo.errorString()));
        TestServer server;
        QVERIFY2(server.start(demo.url()), qPrintable(server.errorString()));
        RpcTestClient holder, waiter;
        for (RpcTestClient *client : {&holder, &waiter}) {
            QVERIFY(client->connectTo(server.host(), server.port()));
            QVERIFY(client->open());
        }
        QCOMPARE(RpcTestClient::errorCode(holder.request(u"StartTransaction"_s, QJsonArray())), 0);
        waiter.sendRaw(R"({"jsonrpc":"2.0","id":1,"method":"StartTransaction","params":[]})" "\n");
        QVERIFY2(waiter.readMessage(6500).isUndefined(), "the second writer did not wait for the first");
        QCOMPARE(RpcTestClient::errorCode(holder.request(u"Commit"_s, QJsonArray())), 0);
        const QJsonValue turn = waiter.readMessage();
        QVERIFY2(turn.isObject() && RpcTestClient::errorCode(turn.toObject()) == 0,
                 QJsonDocument(turn.toObject()).toJson().constData());
        QCOMPARE(RpcTestClient::errorCode(waiter.request(u"Commit"_s, QJsonArray())), 0);
    }

    // Two copies of the same day to the same destination at once: both complete, each service
    // once, with all its items, and no sequence used twice.
    void twoClientsSameDestination()
    {
        DemoDatabase demo(TestSupport::demoOptions(120));
        QVERIFY2(demo.isValid(), qPrintable(demo.errorString()));
        TestServer server;
        QVERIFY2(server.start(demo.url()), qPrintable(server.errorString()));
        QProcess first, second;
        for (QProcess *copy : {&first, &second}) {
            copy->start(Reliability::copyProgram(), Reliability::copyArguments(server.port(), origin(), destination()));
            copy->closeWriteChannel();
        }
        int succeeded = 0;
        for (QProcess *copy : {&first, &second}) {
            QVERIFY(copy->waitForFinished(180000));
            if (copy->exitCode() == 0)
                ++succeeded;
            else
                QVERIFY2(!copy->readAllStandardError().trimmed().isEmpty(), "a failed run said nothing");
        }
        QCOMPARE(succeeded, 2);
        auto database = demo.open(u"faults-concurrent"_s);
        const QStringList half = Reliability::halfCopies(*database, origin(), destination(), Branch);
        QVERIFY2(half.isEmpty(), qPrintable(half.join(u'\n')));
        QSqlQuery sequences(database->sql());
        sequences.prepare(u"SELECT COUNT(*), COUNT(DISTINCT CDPACIENTE || '/' || NRSEQUSERV) FROM SERVINTE"
                          u" WHERE DTSERVINTE = ? AND CDFILIAL = ?"_s);
        sequences.addBindValue(Reliability::storedDate(*database, destination()));
        sequences.addBindValue(Branch);
        QVERIFY(sequences.exec() && sequences.next());
        QVERIFY(sequences.value(0).toInt() > 0);
        QCOMPARE(sequences.value(1).toInt(), sequences.value(0).toInt());
        m_checked += sequences.value(0).toInt();
        ++m_faults;
    }

    // Under systemd (NOTIFY_SOCKET, WATCHDOG_USEC): ready once it listens, its open sessions and
    // the services it copied in the status, pings from its event loop at half the watchdog's
    // interval, and stopping on SIGTERM.
    void toldToSystemd()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QByteArray path = QFile::encodeName(dir.filePath(u"notify"_s));
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        QVERIFY(size_t(path.size()) < sizeof address.sun_path);
        std::copy(path.cbegin(), path.cend(), address.sun_path);
        const int socket = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        QVERIFY(socket >= 0);
        const auto closeSocket = qScopeGuard([socket] { ::close(socket); });
        QCOMPARE(::bind(socket, reinterpret_cast<const sockaddr *>(&address), sizeof address), 0);
        QStringList told;
        // read as it comes: the server's send blocks once a few datagrams wait unread
        const auto receive = [&] {
            char datagram[4096];
            for (ssize_t size; (size = ::recv(socket, datagram, sizeof datagram, 0)) > 0;)
                told += QString::fromUtf8(datagram, size).split(u'\n', Qt::SkipEmptyParts);
        };
        // for a failure's message: the pings drown everything else
        const auto recent = [&] {
            QStringList other;
            for (const QString &line : std::as_const(told)) {
                if (line != u"WATCHDOG=1"_s)
                    other += line;
            }
            return u"%1 pings; %2"_s.arg(told.size() - other.size()).arg(other.join(u'|'));
        };
        const auto toldSince = [&](qsizetype from, const QString &line) {
            receive();
            return told.indexOf(line, from) >= 0;
        };

        DemoDatabase demo;
        QVERIFY2(demo.isValid(), qPrintable(demo.errorString()));
        TestServer server;
        TestServerOptions options;
        options.environment = {u"NOTIFY_SOCKET="_s + dir.filePath(u"notify"_s), u"WATCHDOG_USEC=200000"_s};
        QVERIFY2(server.start(demo.url(), options), qPrintable(server.errorString()));
        QVERIFY2(Reliability::waitFor([&] { return toldSince(0, u"READY=1"_s); }, 5000), qPrintable(recent()));
        const auto status = [](int sessions, qsizetype services) {
            const QLocale brazil(QLocale::Portuguese, QLocale::Brazil);
            return u"STATUS=Sessões abertas: %1; serviços copiados: %2"_s.arg(brazil.toString(sessions),
                                                                              brazil.toString(services));
        };

        RpcTestClient screen;
        QVERIFY(screen.connectTo(server.host(), server.port()));
        QVERIFY(screen.open());
        QVERIFY2(Reliability::waitFor([&] { return toldSince(0, status(1, 0)); }, 5000), qPrintable(recent()));
        auto database = demo.open(u"faults-notify"_s);
        QVERIFY(Reliability::servicesWithItems(*database, destination(), Branch).isEmpty());
        QProcess copy;
        copy.start(Reliability::copyProgram(), Reliability::copyArguments(server.port(), origin(), destination()));
        copy.closeWriteChannel();
        QVERIFY(Reliability::waitFor([&] { receive(); return copy.state() == QProcess::NotRunning; }, 180000));
        QCOMPARE(copy.exitCode(), 0);
        qsizetype copied = 0;
        for (const QList<int> &services : Reliability::servicesWithItems(*database, destination(), Branch))
            copied += services.size();
        QVERIFY(copied > 0);
        QVERIFY2(Reliability::waitFor([&] { return toldSince(0, status(1, copied)); }, 5000), qPrintable(recent()));

        const qsizetype before = told.size();
        QElapsedTimer second;
        second.start();
        QVERIFY(Reliability::waitFor([&] { receive(); return second.elapsed() >= 1000; }, 5000));
        // every 100 ms; a slow machine (the sanitizers) may lose a few
        QVERIFY2(told.mid(before).count(u"WATCHDOG=1"_s) >= 4, qPrintable(told.mid(before).join(u'|')));

        const qsizetype beforeStop = told.size();
        server.stop();
        QVERIFY2(toldSince(beforeStop, u"STOPPING=1"_s), qPrintable(told.mid(beforeStop).join(u'|')));
        QVERIFY(server.log().contains(u"shutting down"_s));
    }

private:
    int m_faults = 0;
    int m_checked = 0;
};

QTEST_GUILESS_MAIN(TestFaults)
#include "tst_faults.moc"
