// The Firebird server stops in the middle of a copy and comes back: the copy ends with a clear
// error, no service is half-written, and the application server serves again without being
// restarted, a session that sat idle through the outage included. Stops the machine's real
// Firebird server, so it runs alone (RUN_SERIAL) and always starts it again.
#include <house/DBGeral.h>
#include <support/DemoDatabase.h>
#include <protocol/HouseError.h>
#include "ReliabilityKit.h"
#include <support/RpcTestClient.h>
#include <house/TADOIBQuery.h>
#include <support/TestServer.h>

#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QtTest>

#include <unistd.h>

using namespace rbx;

using namespace Qt::StringLiterals;

namespace {

const QString Branch = u"0001"_s;
constexpr auto Firebird = TestSupport::Engine::Firebird;

// firebird_start or firebird_stop from the project's script; both wait until the server
// listens or has gone.
bool firebird(const QString &action)
{
    const QString script = qEnvironmentVariable("RBX_SOURCE_DIR") + u"/scripts/firebird.sh"_s;
    const int code = QProcess::execute(u"bash"_s, {u"-c"_s, u". \"$0\" && firebird_"_s + action, script});
    if (code != 0)
        qWarning("firebird_%s ended with %d", qPrintable(action), code);
    return code == 0;
}

// A screen's floor lookup, straight from the database over the lookups' own connection: the
// number of floors, or why it failed.
struct Floors
{
    qsizetype count = -1;
    QString error;
};

Floors floors(TdtmDBGeral &connection)
{
    TADOIBQuery query(u"qryAndar"_s, &connection);
    query.SQL_IB = {u"SELECT CDANDAR FROM ANDAR WHERE CDFILIAL = '0001'"_s};
    Floors found;
    try {
        query.Open();
        found.count = 0;
        for (; !query.GetEOF(); query.Next())
            ++found.count;
    } catch (const EHouseError &error) {
        found.error = error.message();
    }
    return found;
}

QJsonObject patients(RpcTestClient &client) { return client.call(u"getPaciente"_s, {Wire::Arg::makeText(Branch, true)}); }

} // namespace

class TestDatabaseOutage final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        RBX_REQUIRE_ENGINE(Firebird);
        if (::geteuid() != 0) {
            if (TestSupport::engineRequired(Firebird))
                QFAIL("stopping and starting the Firebird server needs root");
            QSKIP("stopping and starting the Firebird server needs root");
        }
    }

    void stoppedMidRun()
    {
        DemoDatabase demo(TestSupport::demoOptions(400), Firebird);
        QVERIFY2(demo.isValid(), qPrintable(demo.errorString()));
        TestServer server;
        // each copy commits alone, so that the run is still under way when the database stops
        TestServerOptions alone;
        alone.extraArguments = {u"--group-services"_s, u"1"_s};
        QVERIFY2(server.start(demo.url(), alone), qPrintable(server.errorString()));

        // a screen left open: connected, used once, then idle through the outage
        RpcTestClient idle;
        QVERIFY(idle.connectTo(server.host(), server.port()));
        QVERIFY(idle.open());
        QCOMPARE(RpcTestClient::errorCode(patients(idle)), 0);
        // two screens' lookup connections: one idle through the outage, one used during it
        TdtmDBGeral idleLookups(u"outage-idle-lookups"_s), busyLookups(u"outage-busy-lookups"_s);
        idleLookups.SetUrl(demo.url());
        busyLookups.SetUrl(demo.url());
        const Floors floorsBefore = floors(idleLookups);
        QVERIFY2(floorsBefore.count > 0, qPrintable(floorsBefore.error));
        QCOMPARE(floors(busyLookups).count, floorsBefore.count);

        const QDate origin = TestSupport::demoDate(), destination = origin.addDays(1);
        QProcess copy;
        copy.start(Reliability::copyProgram(), Reliability::copyArguments(server.port(), origin, destination));
        copy.closeWriteChannel();
        QVERIFY(Reliability::waitFor([&] { return server.log().count(u"audit:"_s) >= 5; }, 120000));

        auto restart = qScopeGuard([] { firebird(u"start"_s); });
        QVERIFY(firebird(u"stop"_s));
        QVERIFY(copy.waitForFinished(60000));
        const QString copyError = QString::fromUtf8(copy.readAllStandardError());
        qInfo("copy during the outage ended with %d: %s", copy.exitCode(), qPrintable(copyError.trimmed()));
        QVERIFY2(copy.exitStatus() == QProcess::NormalExit && copy.exitCode() == 2, qPrintable(copyError));
        QVERIFY2(copyError.contains(u"banco de dados"_s, Qt::CaseInsensitive), qPrintable(copyError));

        // while it is down: clear answers, nobody waits forever, nothing is left open
        const QJsonObject whileDown = patients(idle);
        QCOMPARE(RpcTestClient::errorCode(whileDown), Wire::ErrorCode::ServiceFailed);
        QVERIFY2(RpcTestClient::errorMessage(whileDown).contains(u"banco de dados"_s, Qt::CaseInsensitive),
                 qPrintable(RpcTestClient::errorMessage(whileDown)));
        RpcTestClient newcomer;
        QVERIFY(newcomer.connectTo(server.host(), server.port()));
        const QJsonObject refused = newcomer.login({}, TestSupport::TestOperator, TestSupport::TestPassword);
        QCOMPARE(RpcTestClient::errorCode(refused), Wire::ErrorCode::ServiceFailed);
        QVERIFY2(RpcTestClient::errorMessage(refused).contains(u"Banco de dados indisponível"_s),
                 qPrintable(RpcTestClient::errorMessage(refused)));

        const Floors floorsWhileDown = floors(busyLookups);
        QCOMPARE(floorsWhileDown.count, -1);
        QVERIFY2(!floorsWhileDown.error.isEmpty(), "a lookup without its database said nothing");

        restart.dismiss();
        QVERIFY(firebird(u"start"_s));
        // the screen's lookups carry on too, without reopening the screen
        for (TdtmDBGeral *lookups : {&idleLookups, &busyLookups}) {
            const Floors floorsAfter = floors(*lookups);
            QVERIFY2(floorsAfter.count == floorsBefore.count, qPrintable(floorsAfter.error));
        }

        // back: the idle session and the refused one both carry on, the server was not restarted
        QCOMPARE(RpcTestClient::errorCode(patients(idle)), 0);
        QVERIFY(newcomer.open());
        QCOMPARE(RpcTestClient::errorCode(patients(newcomer)), 0);

        auto database = demo.open(u"outage-check"_s);
        const auto afterOutage = Reliability::servicesWithItems(*database, destination, Branch);
        QVERIFY(afterOutage.size() >= 5);
        QStringList half = Reliability::halfCopies(*database, origin, destination, Branch);
        QVERIFY2(half.isEmpty(), qPrintable(half.join(u'\n')));

        copy.start(Reliability::copyProgram(), Reliability::copyArguments(server.port(), origin, destination));
        copy.closeWriteChannel();
        QVERIFY(copy.waitForFinished(300000));
        QVERIFY2(copy.exitCode() == 0, copy.readAllStandardError().constData());
        const QString summary = QString::fromUtf8(copy.readAllStandardOutput());
        const auto copied = QRegularExpression(u"Serviços copiados: ([\\d.]+)\\."_s).match(summary);
        QVERIFY2(copied.hasMatch(), qPrintable(summary));
        const auto afterRerun = Reliability::servicesWithItems(*database, destination, Branch);
        QCOMPARE(afterRerun.size(), copied.captured(1).remove(u'.').toLongLong());
        QVERIFY(afterRerun.size() > afterOutage.size());
        half = Reliability::halfCopies(*database, origin, destination, Branch);
        QVERIFY2(half.isEmpty(), qPrintable(half.join(u'\n')));
        qInfo("FIGURES outage: 1 database stop, %lld services whole after it, %lld after the rerun, 0 half-written",
              qlonglong(afterOutage.size()), qlonglong(afterRerun.size()));
    }
};

QTEST_GUILESS_MAIN(TestDatabaseOutage)
#include "tst_database_outage.moc"
