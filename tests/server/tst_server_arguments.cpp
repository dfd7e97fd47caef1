// The arguments of a call, in process: their count and kinds, and texts sent by reference; and
// the server's own, from its --config file.
#include <contract/CopyServiceContract.h>
#include <protocol/LogCategories.h>
#include <server/ServerOptions.h>
#include "ServerTestKit.h"

#include <QJsonArray>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>

using namespace rbx;

using namespace Qt::StringLiterals;
using namespace ServerTests;

class TestServerArguments final : public QObject, private InProcessFixture
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        RBX_REQUIRE_TEST_ENGINE();
        setUp();
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

    // Keys are the long options' names; the command line wins over the file; a file with a key
    // the server does not know or a value it refuses stops it, naming the file.
    void configFile_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("refusal"); // empty: accepted
        QTest::addColumn<int>("maxConnections");
        QTest::addColumn<bool>("classic");
        const QString database = u"database = sqlite:/tmp/rbx-config-test.db\n"_s;
        QTest::newRow("values from the file")
            << database + u"# comment\n[server]\nmax-connections = 7\nclassic-methods = true\n"_s << QStringList{}
            << QString() << 7 << true;
        QTest::newRow("the command line wins")
            << database + u"max-connections = 7\nclassic-methods = false\n"_s
            << QStringList{u"--max-connections"_s, u"9"_s} << QString() << 9 << false;
        QTest::newRow("unknown key") << database + u"max-conections = 7\n"_s << QStringList{}
                                     << u"linha 2: chave desconhecida \"max-conections\""_s << 0 << false;
        QTest::newRow("a file naming another") << u"config = /etc/other.conf\n"_s << QStringList{}
                                               << u"chave desconhecida \"config\""_s << 0 << false;
        QTest::newRow("flag neither true nor false") << database + u"classic-methods = yes\n"_s << QStringList{}
                                                     << u"apenas true ou false"_s << 0 << false;
        QTest::newRow("line without a value") << u"database\n"_s << QStringList{} << u"CHAVE = VALOR"_s << 0 << false;
        QTest::newRow("bad value") << database + u"max-connections = lots\n"_s << QStringList{}
                                   << u"--max-connections"_s << 0 << false;
        QTest::newRow("no group of copies") << database + u"group-services = 0\n"_s << QStringList{}
                                            << u"--group-services"_s << 0 << false;
        QTest::newRow("bad value on the command line, file accepted")
            << database << QStringList{u"--listen"_s, u"nowhere"_s} << u"--listen"_s << 0 << false;
    }
    void configFile()
    {
        QFETCH(QString, file);
        QFETCH(QStringList, arguments);
        QFETCH(QString, refusal);
        QFETCH(int, maxConnections);
        QFETCH(bool, classic);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(u"server.conf"_s);
        QFile config(path);
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write(file.toUtf8());
        config.close();

        const ParsedOptions options =
            parseServerOptions(QStringList{u"rbx53207-server"_s, u"--config"_s, path} + arguments);
        if (!refusal.isEmpty()) {
            QVERIFY(!options.config);
            QVERIFY2(options.error.contains(refusal) && options.error.contains(path), qPrintable(options.error));
            return;
        }
        QVERIFY2(options.config, qPrintable(options.error));
        QCOMPARE(options.config->databaseUrl, u"sqlite:/tmp/rbx-config-test.db"_s);
        QCOMPARE(options.config->maxConnections, maxConnections);
        QCOMPARE(options.config->classicMethods, classic);
    }
    void missingConfigFileRefused()
    {
        const ParsedOptions options =
            parseServerOptions({u"rbx53207-server"_s, u"--config"_s, u"/nonexistent/server.conf"_s});
        QVERIFY(!options.config);
        QVERIFY2(options.error.startsWith(u"/nonexistent/server.conf: "_s), qPrintable(options.error));
    }

    // --log turns an area's debug lines on without a rebuild; a rule that is no rule is refused.
    void logRulesTurnOnDiagnostics()
    {
        const QStringList base{u"rbx53207-server"_s, u"--database"_s, u"sqlite:/tmp/rbx-log-test.db"_s, u"--log"_s};
        const ParsedOptions wrong = parseServerOptions(base + QStringList{u"rbx.db.debug"_s});
        QVERIFY(!wrong.config);
        QVERIFY2(wrong.error.startsWith(u"--log: "_s), qPrintable(wrong.error));
        const auto off = qScopeGuard([] { applyLogRules({}); });
        const ParsedOptions on = parseServerOptions(base + QStringList{u"rbx.db.debug=true;rbx.server.debug=false"_s});
        QVERIFY2(on.config, qPrintable(on.error));
        QVERIFY(lcDb().isDebugEnabled());
        QVERIFY(!lcServer().isDebugEnabled());
        auto client = opened();
        QVERIFY(client);
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression(u"ran in \\d+ µs"_s));
        client->call(u"getNutricio"_s, {T(TestSupport::TestOperator), R(Branch)});
    }
};

QTEST_GUILESS_MAIN(TestServerArguments)
#include "tst_server_arguments.moc"
