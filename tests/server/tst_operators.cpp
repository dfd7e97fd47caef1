// Who is acting: operators log in, refusals that tell nothing and slow a guesser down, PLAIN only
// where no one else reads it, a site's directory through PAM, and sessions that act for their
// own operator alone.
#include <server/CopyServiceSession.h>
#include <db/OperatorAccounts.h>
#include "ServerTestKit.h"
#include <support/TestServer.h>

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>

using namespace rbx;

using namespace Qt::StringLiterals;
using namespace ServerTests;

namespace {

QJsonObject plainOpen(const QString &operatorCode, const QString &password)
{
    const QByteArray data = '\0' + operatorCode.toUtf8() + '\0' + password.toUtf8();
    return QJsonObject{{u"server"_s, QLatin1String(Wire::ServerObjectName)},
                       {u"token"_s, Token},
                       {u"mechanism"_s, u"PLAIN"_s},
                       {u"data"_s, QString::fromLatin1(data.toBase64())}};
}

} // namespace

class TestOperators final : public QObject, private InProcessFixture
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        RBX_REQUIRE_TEST_ENGINE();
        setUp();
        OperatorAccounts::setActive(*m_db, u"JBRANDAO"_s, false);
        TestServerOptions options;
        options.token = Token;
        QVERIFY2(m_real.start(m_demo->url(), options), qPrintable(m_real.errorString()));
    }

    // A wrong password, an unknown operator and a disabled one get the same answer, no sooner than
    // the fixed delay, and a guesser who goes on waits longer each time.
    void refusalsTellNothing()
    {
        QString message;
        qint64 slowest = 0;
        const QList<std::pair<QString, QString>> attempts = {
            {u"LSIMOES"_s, u"errada"_s}, {u"NINGUEM"_s, TestSupport::TestPassword}, {u"JBRANDAO"_s, TestSupport::TestPassword},
            {u"LSIMOES"_s, u"errada"_s}, {u"LSIMOES"_s, u"errada"_s}};
        for (const auto &[operatorCode, password] : attempts) {
            RpcTestClient client;
            QVERIFY(client.connectTo(m_real.host(), m_real.port()));
            QElapsedTimer took;
            took.start();
            const QJsonObject answer = client.login(Token, operatorCode, password);
            const qint64 elapsed = took.elapsed();
            EXPECT_ERROR(answer, Wire::ErrorCode::NotAuthorized);
            if (message.isEmpty())
                message = RpcTestClient::errorMessage(answer);
            QCOMPARE(RpcTestClient::errorMessage(answer), message);
            QVERIFY2(elapsed >= 480, qPrintable(u"%1 ms"_s.arg(elapsed)));
            QVERIFY(client.waitForClosed());
            slowest = std::max(slowest, elapsed);
        }
        // the fourth and fifth failures of one address wait at least twice the fixed delay more
        QVERIFY2(slowest >= 1400, qPrintable(u"%1 ms"_s.arg(slowest)));
        const QString log = m_real.log();
        QVERIFY(log.contains(u"login refused"_s) && log.contains(u"NINGUEM"_s));
        QVERIFY(!log.contains(TestSupport::TestPassword) && !log.contains(u"errada"_s));
    }

    void loginOpensForTheOperator()
    {
        RpcTestClient client;
        QVERIFY(client.connectTo(m_real.host(), m_real.port()));
        const QJsonObject opened = client.login(Token, u"LSIMOES"_s, TestSupport::TestPassword);
        EXPECT_RESULT(opened);
        const QJsonObject result = opened.value(u"result"_s).toObject();
        QCOMPARE(result.value(u"operator"_s).toString(), u"LSIMOES"_s);
        QVERIFY(result.value(u"methods"_s).toArray().contains(u"AlteraSenha"_s));
        // the password crossed as a proof only: the database holds the verifier, not the password
        QFile file(m_demo->path() + u"/demo.db"_s);
        if (file.open(QIODevice::ReadOnly))
            QVERIFY(!file.readAll().contains(TestSupport::TestPassword.toUtf8()));
    }

    // PLAIN shows the password to whoever reads the connection: only TLS or loopback take it.
    void plainOnlyWhereNoOneElseReads()
    {
        ServerConfig config;
        config.databaseUrl = m_demo->url();
        config.token = Token.toUtf8();
        bool close = false;
        CopyServiceSession inClear(config, 901, PeerInfo{u"10.1.2.3:5000"_s, false, false});
        const QJsonObject refused = inClear.open(1, plainOpen(u"ADMIN"_s, TestSupport::TestPassword), close);
        EXPECT_ERROR(refused, Wire::ErrorCode::NotAuthorized);
        QVERIFY(close && !inClear.isOpen());
        close = false;
        CopyServiceSession listing(config, 902, PeerInfo{u"10.1.2.3:5001"_s, false, false});
        const QJsonObject offered = listing.open(1, QJsonObject{{u"server"_s, QLatin1String(Wire::ServerObjectName)}, {u"token"_s, Token}}, close);
        QCOMPARE(offered.value(u"error"_s).toObject().value(u"data"_s).toObject().value(u"mechanisms"_s).toArray(),
                 QJsonArray{u"SCRAM-SHA-256"_s});
        close = false;
        CopyServiceSession overTls(config, 903, PeerInfo{u"10.1.2.3:5002"_s, false, true});
        EXPECT_RESULT(overTls.open(1, plainOpen(u"ADMIN"_s, TestSupport::TestPassword), close));
        QVERIFY(overTls.isOpen() && overTls.operatorCode() == u"ADMIN"_s);
    }

    // Every method with an operator or a branch argument refuses another's, and writes nothing.
    void actsForItsOperatorAlone()
    {
        auto client = opened(u"LSIMOES"_s); // a nutritionist of 0001 only
        QVERIFY(client);
        const qint64 services = count(u"SELECT COUNT(*) FROM SERVINTE"_s), runs = count(u"SELECT COUNT(*) FROM EXECCOPIA"_s);
        int refused = 0;
        for (const CopyService::MethodSignature &method : CopyService::allMethods()) {
            for (const QString &column : {u"CDOPERADOR"_s, u"CDFILIAL"_s}) {
                QList<Wire::Arg> args;
                bool has = false;
                for (const CopyService::Argument &arg : method.args) {
                    const QString name = arg.column ? arg.column->name : QString();
                    if (arg.kind != Wire::Arg::Kind::Text)
                        args << Wire::Arg{arg.kind, false, {}, 46000.0};
                    else if (name == u"CDOPERADOR"_s)
                        args << Wire::Arg::makeText(column == name ? u"ADMIN"_s : u"LSIMOES"_s, arg.byRef);
                    else if (name == u"CDFILIAL"_s)
                        args << Wire::Arg::makeText(column == name ? u"0002"_s : u"0001"_s, arg.byRef);
                    else
                        args << Wire::Arg::makeText(u"1"_s, arg.byRef);
                    has = has || name == column;
                }
                if (!has || (method.id == CopyService::MethodId::getNutricio && column == u"CDFILIAL"_s))
                    continue;
                EXPECT_ERROR(client->call(method.name, args), Wire::ErrorCode::NotPermitted);
                ++refused;
            }
        }
        QVERIFY(refused >= 12);
        QCOMPARE(count(u"SELECT COUNT(*) FROM SERVINTE"_s), services);
        QCOMPARE(count(u"SELECT COUNT(*) FROM EXECCOPIA"_s), runs);
        // the session goes on, and asks for itself in any branch
        ROWS(client->call(u"getNutricio"_s, {T(u"LSIMOES"_s), R(u"0002"_s)}), none);
        QVERIFY(none.isEmpty());
    }

    // A run is undone by whoever made it or a supervisor of its branch, not by a colleague.
    void undoneByOwnerOrSupervisor()
    {
        OperatorAccounts::setActive(*m_db, u"JBRANDAO"_s, true);
        auto owner = opened(u"LSIMOES"_s);
        auto colleague = opened(u"JBRANDAO"_s);
        auto supervisor = opened(u"ADMIN"_s);
        QVERIFY(owner && colleague && supervisor);
        QList<Wire::Arg> query = {R(u"0001"_s), D(46100)};
        for (int group = 0; group < 6; ++group)
            query << R(QString()) << R(u"T"_s);
        query << T(u"1"_s);
        EXPECT_RESULT(owner->call(u"getServInte"_s, query));
        ROWS(owner->call(u"AbreExecucao"_s, {T(u"0001"_s), D(46100), T(u"LSIMOES"_s)}), run);
        const QString id = QString::number(qint64(run.value(0).value(0).toDouble()));
        EXPECT_RESULT(owner->call(u"FechaExecucao"_s, {T(id), T(u"C"_s)}));
        EXPECT_ERROR(colleague->call(u"DesfazExecucao"_s, {T(id), T(u"JBRANDAO"_s)}), Wire::ErrorCode::NotPermitted);
        QCOMPARE(count(u"SELECT COUNT(*) FROM EXECCOPIA WHERE IDEXECUCAO = %1 AND CDOPERDESF IS NULL"_s.arg(id)), 1);
        EXPECT_RESULT(supervisor->call(u"DesfazExecucao"_s, {T(id), T(u"ADMIN"_s)}));
        OperatorAccounts::setActive(*m_db, u"JBRANDAO"_s, false);
    }

    // A site's directory checks the password of an operator the database has no verifier for.
    void directoryChecksPlain()
    {
#if defined(__SANITIZE_ADDRESS__)
        QSKIP("pam_wrapper opens PAM with RTLD_DEEPBIND, which the address sanitizer's runtime refuses");
#endif
        const QString wrapper = u"/usr/lib/x86_64-linux-gnu/libpam_wrapper.so"_s;
        const QString matrix = u"/usr/lib/x86_64-linux-gnu/pam_wrapper/pam_matrix.so"_s;
        QVERIFY2(QFile::exists(wrapper) && QFile::exists(matrix), "libpam-wrapper is not installed");
        QTemporaryDir dir;
        const QString passdb = dir.filePath(u"passdb"_s);
        QFile users(passdb), service(dir.filePath(u"rbx-teste"_s));
        QVERIFY(users.open(QIODevice::WriteOnly) && service.open(QIODevice::WriteOnly));
        users.write("DIRETORIO:senha-do-diretorio:rbx-teste\n");
        service.write(u"auth required %1 passdb=%2\naccount required %1 passdb=%2\n"_s.arg(matrix, passdb).toUtf8());
        users.close();
        service.close();
        TestServer server;
        TestServerOptions options;
        options.token = Token;
        options.extraArguments = {u"--pam-service"_s, u"rbx-teste"_s};
        options.environment = {u"LD_PRELOAD=%1"_s.arg(wrapper), u"PAM_WRAPPER=1"_s,
                               u"PAM_WRAPPER_SERVICE_DIR=%1"_s.arg(dir.path())};
        QVERIFY2(server.start(m_demo->url(), options), qPrintable(server.errorString()));
        RpcTestClient good, bad;
        QVERIFY(good.connectTo(server.host(), server.port()) && bad.connectTo(server.host(), server.port()));
        const QJsonObject opened = good.request(u"rpc.open"_s, plainOpen(u"DIRETORIO"_s, u"senha-do-diretorio"_s));
        EXPECT_RESULT(opened);
        QCOMPARE(opened.value(u"result"_s).toObject().value(u"operator"_s).toString(), u"DIRETORIO"_s);
        EXPECT_ERROR(bad.request(u"rpc.open"_s, plainOpen(u"DIRETORIO"_s, u"outra"_s)), Wire::ErrorCode::NotAuthorized);
        QVERIFY(!server.log().contains(u"senha-do-diretorio"_s));
    }

private:
    TestServer m_real;
};

QTEST_GUILESS_MAIN(TestOperators)
#include "tst_operators.moc"
