// Who may reach the server and what it tells: loopback by default, a token and TLS beyond it, the
// server's certificate verified, an audit line per service written, and no credential in any output.
#include <remote/CopyServiceClient.h>
#include <support/DemoDatabase.h>
#include <protocol/HouseError.h>
#include <protocol/OleDate.h>
#include "ReliabilityKit.h"
#include <support/RpcTestClient.h>
#include <server/ServerOptions.h>
#include <support/TestOperators.h>
#include <support/TestServer.h>

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

using namespace rbx;

using namespace Qt::StringLiterals;

namespace {

const QString Token = u"Tk-9f2c71e4-credencial-que-nunca-aparece"_s;
const QString WrongToken = u"Tk-errado-0b5d3a-tambem-nunca-aparece"_s;

QString serverProgram() { return TestServer::executablePath(); }

// A private authority and a certificate it signed for 127.0.0.1, made with openssl at test time.
struct Certificates
{
    QTemporaryDir dir;
    QString error;
    QString path(const QString &name) const { return dir.filePath(name); }

    bool run(const QStringList &arguments)
    {
        QProcess openssl;
        openssl.setProcessChannelMode(QProcess::MergedChannels);
        openssl.start(u"openssl"_s, arguments);
        if (!openssl.waitForFinished(60000) || openssl.exitStatus() != QProcess::NormalExit || openssl.exitCode() != 0) {
            error = u"openssl %1: %2"_s.arg(arguments.join(u' '), QString::fromLocal8Bit(openssl.readAll()));
            return false;
        }
        return true;
    }
    bool authority(const QString &name)
    {
        return run({u"req"_s, u"-x509"_s, u"-newkey"_s, u"rsa:2048"_s, u"-nodes"_s, u"-days"_s, u"2"_s, u"-subj"_s,
                    u"/CN=%1"_s.arg(name), u"-keyout"_s, path(name + u".key"_s), u"-out"_s, path(name + u".pem"_s)});
    }
    bool make()
    {
        return authority(u"ca"_s) && authority(u"other-ca"_s)
               && run({u"req"_s, u"-newkey"_s, u"rsa:2048"_s, u"-nodes"_s, u"-subj"_s, u"/CN=127.0.0.1"_s, u"-keyout"_s,
                       path(u"server.key"_s), u"-out"_s, path(u"server.csr"_s)})
               && [this] {
                      QFile ext(path(u"ext.cnf"_s));
                      return ext.open(QIODevice::WriteOnly) && ext.write("subjectAltName=IP:127.0.0.1\n") > 0;
                  }()
               && run({u"x509"_s, u"-req"_s, u"-in"_s, path(u"server.csr"_s), u"-CA"_s, path(u"ca.pem"_s), u"-CAkey"_s,
                       path(u"ca.key"_s), u"-CAcreateserial"_s, u"-days"_s, u"2"_s, u"-extfile"_s, path(u"ext.cnf"_s),
                       u"-out"_s, path(u"server.pem"_s)});
    }
};

struct Started
{
    int code = -1;
    QString out, err;
};

// Runs the server with the arguments and returns what it did within a few seconds; a server
// that keeps running is stopped.
Started runServer(const QStringList &arguments)
{
    QProcess process;
    process.start(serverProgram(), arguments);
    Started started;
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(5000);
        started.out = QString::fromUtf8(process.readAllStandardOutput());
        return started;
    }
    started.code = process.exitCode();
    started.out = QString::fromUtf8(process.readAllStandardOutput());
    started.err = QString::fromUtf8(process.readAllStandardError());
    return started;
}

} // namespace

class TestSecurity final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(m_demo.isValid(), qPrintable(m_demo.errorString()));
        QVERIFY(m_tokenDir.isValid());
        QFile token(m_tokenDir.filePath(u"token"_s));
        QVERIFY(token.open(QIODevice::WriteOnly));
        token.write(Token.toUtf8() + '\n');
    }

    // Beyond loopback a token and TLS, both: the token alone would cross the network in clear.
    void listenAddressNeedsTokenAndTls_data()
    {
        QTest::addColumn<QString>("listen");
        QTest::addColumn<bool>("withToken");
        QTest::addColumn<bool>("withTls");
        QTest::addColumn<QString>("refusal"); // empty: accepted
        QTest::newRow("default is loopback") << QString() << false << false << QString();
        QTest::newRow("127.0.0.1 without a token") << u"127.0.0.1:0"_s << false << false << QString();
        QTest::newRow("::1 without a token") << u"[::1]:0"_s << false << false << QString();
        QTest::newRow("localhost without a token") << u"localhost:0"_s << false << false << QString();
        QTest::newRow("any IPv4 without a token") << u"0.0.0.0:0"_s << false << true << u"--token-file"_s;
        QTest::newRow("any IPv6 without a token") << u"[::]:0"_s << false << true << u"--token-file"_s;
        QTest::newRow("a LAN address without a token") << u"192.168.10.20:8211"_s << false << true << u"--token-file"_s;
        QTest::newRow("any IPv4 with a token, in clear") << u"0.0.0.0:0"_s << true << false << u"--tls-cert e --tls-key"_s;
        QTest::newRow("any IPv6 with a token, in clear") << u"[::]:0"_s << true << false << u"--tls-cert e --tls-key"_s;
        QTest::newRow("a LAN address with a token, in clear")
            << u"192.168.10.20:8211"_s << true << false << u"--tls-cert e --tls-key"_s;
        QTest::newRow("any IPv4 with a token and TLS") << u"0.0.0.0:0"_s << true << true << QString();
    }
    void listenAddressNeedsTokenAndTls()
    {
        QFETCH(QString, listen);
        QFETCH(bool, withToken);
        QFETCH(bool, withTls);
        QFETCH(QString, refusal);
        QStringList arguments{u"rbx53207-server"_s, u"--database"_s, m_demo.url()};
        if (!listen.isEmpty())
            arguments << u"--listen"_s << listen;
        if (withToken)
            arguments << u"--token-file"_s << m_tokenDir.filePath(u"token"_s);
        if (withTls) {
            QVERIFY2(certificates(), qPrintable(m_certificates->error));
            arguments << u"--tls-cert"_s << m_certificates->path(u"server.pem"_s) << u"--tls-key"_s
                      << m_certificates->path(u"server.key"_s);
        }
        const ParsedOptions options = parseServerOptions(arguments);
        QCOMPARE(options.config.has_value(), refusal.isEmpty());
        if (refusal.isEmpty()) {
            if (listen.isEmpty()) {
                QVERIFY(options.config->host.isLoopback());
                QCOMPARE(options.config->port, quint16(8211));
            }
            if (withToken)
                QCOMPARE(options.config->token, Token.toUtf8());
            QCOMPARE(options.config->tls.has_value(), withTls);
        } else {
            QVERIFY2(options.error.contains(refusal), qPrintable(options.error));
        }
    }

    // The executable itself refuses to start, before binding anything.
    void serverRefusesOpenAddressWithoutToken()
    {
        const Started started = runServer({u"--database"_s, m_demo.url(), u"--listen"_s, u"0.0.0.0:0"_s});
        QCOMPARE(started.code, 2);
        QVERIFY2(started.err.contains(u"--token-file"_s), qPrintable(started.err));
        QVERIFY(!started.out.contains(u"listening"_s));
    }

    // It serves only a database made with rbx53207-db: a missing file or one without the schema
    // is refused at start, naming it, and no file is left where there was none.
    void serverRefusesADatabaseWithoutTheSchema_data()
    {
        QTest::addColumn<bool>("fileExists");
        QTest::newRow("missing file") << false;
        QTest::newRow("file without the schema") << true;
    }
    void serverRefusesADatabaseWithoutTheSchema()
    {
        QFETCH(bool, fileExists);
        const QString path = m_tokenDir.filePath(fileExists ? u"empty.db"_s : u"missing.db"_s);
        if (fileExists) {
            QFile empty(path); // an empty file is an empty SQLite database
            QVERIFY(empty.open(QIODevice::WriteOnly));
        }
        const Started started = runServer({u"--database"_s, u"sqlite:"_s + path, u"--listen"_s, u"127.0.0.1:0"_s});
        QCOMPARE(started.code, 2);
        QVERIFY2(started.err.contains(path), qPrintable(started.err));
        QVERIFY2(started.err.contains(u"rbx53207-db schema"_s), qPrintable(started.err));
        QVERIFY(!started.out.contains(u"listening"_s));
        QCOMPARE(QFileInfo::exists(path), fileExists);
        QCOMPARE(QFileInfo(path).size(), 0);
    }

    void badTlsOptionsRefused_data()
    {
        QTest::addColumn<QStringList>("extra");
        QTest::addColumn<QString>("expected");
        QTest::newRow("certificate without key") << QStringList{u"--tls-cert"_s, u"x.pem"_s} << u"vão juntos"_s;
        QTest::newRow("missing certificate file")
            << QStringList{u"--tls-cert"_s, u"/nonexistent/cert.pem"_s, u"--tls-key"_s, u"/nonexistent/key.pem"_s}
            << u"não foi possível ler o certificado TLS"_s;
        QTest::newRow("token file is no certificate")
            << QStringList{u"--tls-cert"_s, u"@TOKEN@"_s, u"--tls-key"_s, u"@TOKEN@"_s} << u"não contém um certificado PEM"_s;
    }
    void badTlsOptionsRefused()
    {
        QFETCH(QStringList, extra);
        QFETCH(QString, expected);
        extra.replaceInStrings(u"@TOKEN@"_s, m_tokenDir.filePath(u"token"_s));
        const Started started = runServer(QStringList{u"--database"_s, m_demo.url(), u"--listen"_s, u"127.0.0.1:0"_s} + extra);
        QCOMPARE(started.code, 2);
        QVERIFY2(started.err.contains(expected), qPrintable(started.err));
        // an error about a credential file never shows what is in it
        QVERIFY(!started.err.contains(Token));
    }

    void tls_data()
    {
        QTest::addColumn<QString>("caFile");
        QTest::addColumn<QString>("host");
        QTest::addColumn<bool>("served");
        QTest::newRow("verified against its authority") << u"ca.pem"_s << u"127.0.0.1"_s << true;
        QTest::newRow("another authority") << u"other-ca.pem"_s << u"127.0.0.1"_s << false;
        QTest::newRow("name not in the certificate") << u"ca.pem"_s << u"localhost"_s << false;
        QTest::newRow("client in clear") << QString() << u"127.0.0.1"_s << false;
    }
    void tls()
    {
        QFETCH(QString, caFile);
        QFETCH(QString, host);
        QFETCH(bool, served);
        QVERIFY2(certificates(), qPrintable(m_certificates->error));
        if (!m_tlsServer.isRunning()) {
            TestServerOptions options;
            options.extraArguments = {u"--tls-cert"_s, m_certificates->path(u"server.pem"_s), u"--tls-key"_s,
                                      m_certificates->path(u"server.key"_s)};
            QVERIFY2(m_tlsServer.start(m_demo.url(), options), qPrintable(m_tlsServer.errorString()));
        }
        TNetConnection connection;
        connection.ServerName = u"Rbx53207.rdmCopiaForm"_s;
        connection.Operator = TestSupport::TestOperator;
        connection.Password = TestSupport::TestPassword;
        connection.Host = host;
        connection.Port = m_tlsServer.port();
        connection.TimeoutMs = 5000;
        if (!caFile.isEmpty())
            connection.TlsCaFile = m_certificates->path(caFile);
        CopyServiceClient client(connection);
        TClientDataSet nutricio(u"cdsNutricio"_s);
        declareFields(nutricio, CopyService::nutricioLayout());
        QString filial = u"0001"_s;
        try {
            connection.SetConnected(true);
            client.getNutricio(u"ADMIN"_s, filial, nutricio);
            QVERIFY2(served, "a client that cannot trust the server was served");
            QVERIFY(!nutricio.IsEmpty());
        } catch (const EHouseError &error) {
            QVERIFY2(!served, qPrintable(error.message()));
            QVERIFY(!error.message().isEmpty());
        }
        // the server goes on serving TLS clients after each refusal
        TNetConnection good;
        good.ServerName = u"Rbx53207.rdmCopiaForm"_s;
        good.Operator = TestSupport::TestOperator;
        good.Password = TestSupport::TestPassword;
        good.Host = u"127.0.0.1"_s;
        good.Port = m_tlsServer.port();
        good.TlsCaFile = m_certificates->path(u"ca.pem"_s);
        good.SetConnected(true);
        QVERIFY(good.Connected());
    }

    // Over the connection cap a TLS client still learns why: the refusal comes after its
    // handshake, as a clear error, and its slot is usable once another client leaves.
    void tlsRefusalOverCap()
    {
        Certificates certificates;
        QVERIFY2(certificates.make(), qPrintable(certificates.error));
        TestServer server;
        TestServerOptions options;
        options.maxConnections = 1;
        options.extraArguments = {u"--tls-cert"_s, certificates.path(u"server.pem"_s), u"--tls-key"_s,
                                  certificates.path(u"server.key"_s)};
        QVERIFY2(server.start(m_demo.url(), options), qPrintable(server.errorString()));
        const auto tlsClient = [&](TNetConnection &connection) {
            connection.ServerName = u"Rbx53207.rdmCopiaForm"_s;
            connection.Operator = TestSupport::TestOperator;
            connection.Password = TestSupport::TestPassword;
            connection.Host = u"127.0.0.1"_s;
            connection.Port = server.port();
            connection.TimeoutMs = 5000;
            connection.TlsCaFile = certificates.path(u"ca.pem"_s);
        };
        auto first = std::make_unique<TNetConnection>();
        tlsClient(*first);
        first->SetConnected(true);
        QVERIFY(first->Connected());

        TNetConnection second;
        tlsClient(second);
        QString refusal;
        try {
            second.SetConnected(true);
        } catch (const EHouseError &error) {
            refusal = error.message();
        }
        QVERIFY2(refusal.contains(u"limite de 1 conexões"_s), qPrintable(refusal));
        QVERIFY(!second.Connected());

        first.reset();
        QDeadlineTimer deadline(10000);
        while (!second.Connected() && !deadline.hasExpired()) {
            try {
                second.SetConnected(true);
            } catch (const EHouseError &) {
                QTest::qWait(100); // the server may not have seen the first client go yet
            }
        }
        QVERIFY(second.Connected());
    }

    // Wrong and right tokens, failed calls: the token shows nowhere, not in answers, not in the
    // log, not in the server's command line.
    void credentialsNeverShown()
    {
        TestServer server;
        TestServerOptions options;
        options.token = Token;
        QVERIFY2(server.start(m_demo.url(), options), qPrintable(server.errorString()));

        RpcTestClient wrong;
        QVERIFY(wrong.connectTo(server.host(), server.port()));
        const QJsonObject refused = wrong.request(u"rpc.open"_s, QJsonObject{{u"server"_s, u"Rbx53207.rdmCopiaForm"_s},
                                                                             {u"token"_s, WrongToken}});
        QCOMPARE(RpcTestClient::errorCode(refused), Wire::ErrorCode::NotAuthorized);
        QVERIFY(wrong.waitForClosed());

        RpcTestClient right;
        QVERIFY(right.connectTo(server.host(), server.port()));
        QVERIFY(right.open(Token));
        // the token field in every place rpc.open can go wrong
        QList<QJsonObject> answers;
        answers << right.request(u"rpc.open"_s, QJsonObject{{u"server"_s, u"Rbx53207.rdmCopiaForm"_s}, {u"token"_s, Token}});
        RpcTestClient other;
        QVERIFY(other.connectTo(server.host(), server.port()));
        answers << other.request(u"rpc.open"_s, QJsonObject{{u"server"_s, u"Outro.Servidor"_s}, {u"token"_s, Token}});
        answers << other.request(u"rpc.open"_s, QJsonObject{{u"server"_s, u"Rbx53207.rdmCopiaForm"_s},
                                                            {u"token"_s, QJsonArray{Token}}});
        answers << refused;
        QCOMPARE(answers.size(), 4);
        for (const QJsonObject &answer : std::as_const(answers)) {
            const QString text = QString::fromUtf8(QJsonDocument(answer).toJson());
            QVERIFY2(RpcTestClient::errorCode(answer) != 0, qPrintable(text));
            QVERIFY2(!text.contains(Token) && !text.contains(WrongToken), qPrintable(text));
        }

        QFile commandLine(u"/proc/%1/cmdline"_s.arg(server.processId()));
        QVERIFY(commandLine.open(QIODevice::ReadOnly));
        const QByteArray arguments = commandLine.readAll();
        QVERIFY(arguments.contains("--token-file"));
        QVERIFY(!arguments.contains(Token.toUtf8()));
        server.stop();
        const QString log = server.log();
        QVERIFY2(log.contains(u"not authorized"_s, Qt::CaseInsensitive) || log.contains(u"-32003"_s), qPrintable(log));
        QVERIFY2(!log.contains(WrongToken), "the wrong token reached the log");
        QVERIFY2(!log.contains(Token), "the token reached the log");
    }

    // One audit line per service a copy commits, with the counts that are in the database; a
    // rolled-back transaction leaves no line.
    void auditLinePerService()
    {
        DemoDatabase demo;
        QVERIFY2(demo.isValid(), qPrintable(demo.errorString()));
        TestServer server;
        QVERIFY2(server.start(demo.url()), qPrintable(server.errorString()));
        const QDate from = TestSupport::demoDate();
        const QDate to = from.addDays(3);

        // written and rolled back: no audit
        {
            TNetConnection connection;
            connection.ServerName = u"Rbx53207.rdmCopiaForm"_s;
            connection.Operator = TestSupport::TestOperator;
            connection.Password = TestSupport::TestPassword;
            connection.Host = server.host();
            connection.Port = server.port();
            connection.SetConnected(true);
            CopyServiceClient client(connection);
            auto database = demo.open(u"audit-pick"_s);
            const auto services = Reliability::servicesWithItems(*database, from, u"0001"_s);
            QVERIFY(!services.isEmpty());
            const QStringList key = services.firstKey().split(u'|');
            client.StartTransaction();
            CopyServiceClient::ServInteRow row;
            row.cdPaciente = key.at(0);
            row.cdFilial = u"0001"_s;
            row.cdServFili = key.at(1);
            row.cdDietPad = key.at(2);
            row.operador = u"ADMIN"_s;
            QString sequence = u"01"_s;
            client.InsServInte(row, OleDate::fromDate(to), sequence);
            client.Rollback();
        }
        QProcess copy;
        copy.start(Reliability::copyProgram(), Reliability::copyArguments(server.port(), from, to));
        QVERIFY(copy.waitForFinished(120000));
        QVERIFY2(copy.exitCode() == 0, copy.readAllStandardError().constData());
        server.stop();

        auto database = demo.open(u"audit-check"_s);
        const auto copied = Reliability::servicesWithItems(*database, to, u"0001"_s);
        QVERIFY(copied.size() > 3);
        static const QRegularExpression audit(
            u"audit: operador ADMIN filial 0001 paciente (\\S+) serviço (\\S+) dieta (\\S+) origem (\\S+) destino (\\S+) "
            u"sequência \\d+ itens (\\d+) substituídos 0"_s);
        int lines = 0;
        auto it = audit.globalMatch(server.log());
        while (it.hasNext()) {
            const auto match = it.next();
            ++lines;
            const QString key = match.captured(1) + u'|' + match.captured(2) + u'|' + match.captured(3);
            QVERIFY2(copied.contains(key), qPrintable(key));
            QCOMPARE(match.captured(6).toInt(), copied.value(key).first());
            QCOMPARE(match.captured(4), from.toString(u"dd/MM/yyyy"_s));
            QCOMPARE(match.captured(5), to.toString(u"dd/MM/yyyy"_s));
        }
        QCOMPARE(lines, int(copied.size()));
        QVERIFY(!server.log().contains(u"discarded"_s));
    }

private:
    // Made once, by the first test that needs them.
    bool certificates()
    {
        if (!m_certificates) {
            m_certificates = std::make_unique<Certificates>();
            if (!m_certificates->make())
                return false;
        }
        return m_certificates->error.isEmpty();
    }

    DemoDatabase m_demo;
    QTemporaryDir m_tokenDir;
    std::unique_ptr<Certificates> m_certificates;
    TestServer m_tlsServer;
};

QTEST_GUILESS_MAIN(TestSecurity)
#include "tst_security.moc"
