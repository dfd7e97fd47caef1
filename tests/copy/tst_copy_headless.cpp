#include "CopyTestKit.h"
#include <copy/headless/HeadlessCopy.h>
#include <copy/headless/HeadlessOptions.h>
#include <support/TestOperators.h>

#include <QFile>
#include <QLocale>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>
#include <QTextStream>

#include <unistd.h>

using namespace rbx;

using namespace Qt::StringLiterals;

namespace {

const QDate Today(2026, 5, 8);

FakeCopyService::Row service(const QString &paciente)
{
    return {{u"CDPACIENTE"_s, paciente},
            {u"DTSERVINTE"_s, OleDate::fromDate(Today.addDays(-1))},
            {u"NRSEQUSERV"_s, u"01"_s},
            {u"CDFILIAL"_s, u"0001"_s},
            {u"CDSERVFILI"_s, u"00007"_s},
            {u"CDDIETPAD"_s, u"0031"_s},
            {u"DSSERVINTE"_s, u"Infusão contínua"_s}};
}

FakeCopyService::Row item(const QString &paciente)
{
    return {{u"CDPACIENTE"_s, paciente}, {u"CDPRATO"_s, u"PRATO01"_s}, {u"DSOBSCONF"_s, u"Atenção"_s},
            {u"DTCONSCONF"_s, OleDate::fromDate(Today.addDays(-1)) + 0.5}};
}

// Two services of the day before Today: the first with two items, the second with none.
void demoDay(FakeCopyService &fake)
{
    fake.services = {service(u"000000000001"_s), service(u"000000000002"_s)};
    fake.items[FakeCopyService::itemsKey(u"000000000001"_s, u"01"_s)] = {item(u"000000000001"_s),
                                                                       item(u"000000000001"_s)};
}

quint16 closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

QStringList baseArguments(quint16 port)
{
    return {u"rbx53207-copy"_s, u"--server"_s,  u"127.0.0.1:%1"_s.arg(port), u"--operator"_s,
            u"OP1"_s,          u"--branch"_s,  u"0001"_s,                   u"--password-file"_s,
            TestSupport::passwordFile()};
}

struct Run
{
    int code = -1;
    QString out;
    QString err;
};

Run runInProcess(const QStringList &arguments, const QString &input = {})
{
    Run run;
    QString in = input;
    QTextStream outStream(&run.out);
    QTextStream errStream(&run.err);
    QTextStream inStream(&in, QIODevice::ReadOnly);
    run.code = runHeadlessCopy(arguments, Today, outStream, errStream, &inStream);
    outStream.flush();
    errStream.flush();
    return run;
}

} // namespace

class TestCopyHeadless final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    void codesBecomeSelectionLists_data()
    {
        QTest::addColumn<QString>("codes");
        QTest::addColumn<QString>("expected"); // "!" = refused
        QTest::newRow("two codes") << u"000000000001,000000000002"_s << u"_000000000001__000000000002_"_s;
        QTest::newRow("one code") << u"00007"_s << u"_00007_"_s;
        QTest::newRow("blanks and empty entries dropped") << u" A , ,B,"_s << u"_A__B_"_s;
        QTest::newRow("empty: list mode with nothing picked") << QString() << QString();
        QTest::newRow("underscore cannot be delimited") << u"A_1"_s << u"!"_s;
        QTest::newRow("blank inside a code") << u"A 1"_s << u"!"_s;
    }
    void codesBecomeSelectionLists()
    {
        QFETCH(QString, codes);
        QFETCH(QString, expected);
        QString why;
        const std::optional<QString> list = selectionListFromCodes(codes, &why);
        if (expected == u"!") {
            QVERIFY(!list);
            QVERIFY(why.contains(codes.trimmed()));
        } else {
            QVERIFY(list);
            QCOMPARE(*list, expected);
        }
    }

    void optionsAndTheirDefaults()
    {
        const auto parsed = parseHeadlessOptions(
            {u"rbx53207-copy"_s, u"--server"_s, u"[::1]:8211"_s, u"--operator"_s, u"OP1"_s, u"--branch"_s,
             u"0001"_s, u"--wings"_s, u""_s, u"--beds=101,102"_s},
            Today);
        QVERIFY(std::holds_alternative<HeadlessOptions>(parsed));
        const HeadlessOptions &options = std::get<HeadlessOptions>(parsed);
        QCOMPARE(options.host, u"::1"_s);
        QCOMPARE(options.port, 8211);
        QCOMPARE(options.tipoForm, u"E"_s);
        QCOMPARE(options.from, u"2026-05-07"_s); // yesterday
        QCOMPARE(options.to, u"2026-05-08"_s);   // today
        QVERIFY(!options.selections[std::size_t(FilterGroup::Paciente)]);
        QCOMPARE(options.selections[std::size_t(FilterGroup::Ala)], std::optional<QString>(QString()));
        QCOMPARE(options.selections[std::size_t(FilterGroup::Leito)], std::optional<QString>(u"_101__102_"_s));
        QVERIFY(!options.assumeYes);
    }

    // The same reader as the server's: the file's keys are the long options, the command line
    // wins, and an unknown key is refused before anything runs.
    void optionsFromConfigFile()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(u"copy-daily.conf"_s);
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("server = 127.0.0.1:8211\noperator = OP1\nbranch = 0001\nmode = N\nbeds = 101\nyes = true\n");
        file.close();
        const auto parsed = parseHeadlessOptions({u"rbx53207-copy"_s, u"--config"_s, path, u"--branch"_s, u"0002"_s}, Today);
        QVERIFY(std::holds_alternative<HeadlessOptions>(parsed));
        const HeadlessOptions &options = std::get<HeadlessOptions>(parsed);
        QCOMPARE(options.port, 8211);
        QCOMPARE(options.operatorCode, u"OP1"_s);
        QCOMPARE(options.branch, u"0002"_s);
        QCOMPARE(options.tipoForm, u"N"_s);
        QCOMPARE(options.selections[std::size_t(FilterGroup::Leito)], std::optional<QString>(u"_101_"_s));
        QVERIFY(options.assumeYes);
        QCOMPARE(options.from, u"2026-05-07"_s);

        QVERIFY(file.open(QIODevice::Append));
        file.write("wing = 3\n");
        file.close();
        const Run run = runInProcess({u"rbx53207-copy"_s, u"--config"_s, path});
        QCOMPARE(run.code, HeadlessExit::Validation);
        QVERIFY2(run.err.contains(u"linha 7: chave desconhecida \"wing\""_s), qPrintable(run.err));
    }

    void badOptionsAreRefused_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<bool>("withHelp"); // a mistyped server is told in one line
        const QStringList required = {u"--operator"_s, u"OP1"_s, u"--branch"_s, u"0001"_s};
        QTest::newRow("no server") << QStringList{required} << u"--server"_s << true;
        QTest::newRow("server without port") << QStringList{u"--server"_s, u"localhost"_s} + required
                                             << u"--server deve ser HOST:PORTA: falta a porta em \"localhost\".\n"_s << false;
        QTest::newRow("port out of range") << QStringList{u"--server"_s, u"127.0.0.1:70000"_s} + required
                                           << u"--server deve ser HOST:PORTA: porta inválida (1 a 65535) em \"127.0.0.1:70000\".\n"_s
                                           << false;
        QTest::newRow("no operator") << QStringList{u"--server"_s, u"127.0.0.1:1"_s, u"--branch"_s, u"0001"_s}
                                     << u"--operator"_s << true;
        QTest::newRow("mode other than E or N") << QStringList{u"--server"_s, u"127.0.0.1:1"_s, u"--mode"_s, u"n"_s} + required
                                                << u"--mode"_s << true;
        QTest::newRow("unknown option") << QStringList{u"--server"_s, u"127.0.0.1:1"_s, u"--all"_s} + required << u"all"_s
                                        << true;
        QTest::newRow("stray argument") << QStringList{u"--server"_s, u"127.0.0.1:1"_s, u"extra"_s} + required
                                        << u"extra"_s << true;
        QTest::newRow("bad code") << QStringList{u"--server"_s, u"127.0.0.1:1"_s, u"--diets"_s, u"00_1"_s} + required
                                  << u"--diets"_s << true;
    }
    void badOptionsAreRefused()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, expected);
        QFETCH(bool, withHelp);
        arguments.prepend(u"rbx53207-copy"_s);
        const Run run = runInProcess(arguments);
        QCOMPARE(run.code, HeadlessExit::Validation);
        if (withHelp) {
            QVERIFY2(run.err.contains(expected), qPrintable(run.err));
            QVERIFY2(run.err.contains(u"\nSaída: 0 cópia feita"_s), qPrintable(run.err));
        } else {
            QCOMPARE(run.err, expected);
        }
        QVERIFY(run.out.isEmpty());
    }

    void runsAgainstTheService_data()
    {
        QTest::addColumn<QString>("scenario");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("input");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("out"); // the expected stdout holds this
        QTest::addColumn<QString>("err"); // the expected stderr holds this
        QTest::addColumn<QStringList>("methods");

        const QStringList copyAll = {u"getNutricio"_s, u"getServInte"_s, u"StartTransaction"_s, u"DelServ"_s,
                                     u"getNrServInte"_s, u"InsServInte"_s, u"getNrConfesco"_s, u"getConfesco"_s,
                                     u"InsConfesco"_s, u"InsConfesco"_s, u"Commit"_s, u"StartTransaction"_s,
                                     u"DelServ"_s, u"getNrServInte"_s, u"InsServInte"_s, u"getNrConfesco"_s,
                                     u"getConfesco"_s, u"Commit"_s};
        const QStringList yes = {u"--yes"_s};
        QTest::newRow("copies yesterday to today") << u"demo"_s << yes << QString() << 0
                                                   << u"Serviços copiados: 2. Itens copiados: 2."_s << QString() << copyAll;
        QTest::newRow("answered yes on stdin") << u"demo"_s << QStringList() << u"s\n"_s << 0
                                               << u"A cópia foi realizada com sucesso."_s << u"Confirma operação?"_s
                                               << copyAll;
        QTest::newRow("answered no on stdin") << u"demo"_s << QStringList() << u"n\n"_s << 1 << QString()
                                              << u"nada foi copiado"_s << QStringList{u"getNutricio"_s};
        QTest::newRow("nothing on stdin") << u"demo"_s << QStringList() << QString() << 1 << QString()
                                          << u"nada foi copiado"_s << QStringList{u"getNutricio"_s};
        QTest::newRow("operator is no nutritionist")
            << u"no nutritionist"_s << yes << QString() << 1 << QString()
            << u"Operador não está cadastrado como nutricionista."_s << QStringList{u"getNutricio"_s};
        QTest::newRow("patient list empty") << u"demo"_s << yes + QStringList{u"--patients="_s} << QString() << 1
                                            << QString() << u"Paciente deve ser informado."_s
                                            << QStringList{u"getNutricio"_s};
        QTest::newRow("equal dates") << u"demo"_s << yes + QStringList{u"--from"_s, u"2026-05-08"_s} << QString() << 1
                                     << QString() << u"Data origem deve ser menor que a data destino."_s
                                     << QStringList{u"getNutricio"_s};
        QTest::newRow("origin date empty") << u"demo"_s << yes + QStringList{u"--from="_s, u"--to="_s} << QString()
                                           << 1 << QString() << u"Data origem deve ser informada."_s
                                           << QStringList{u"getNutricio"_s};
        QTest::newRow("not a date") << u"demo"_s << yes + QStringList{u"--to"_s, u"2026-02-30"_s} << QString() << 1
                                    << QString() << u"Data inválida. (--to 2026-02-30)"_s
                                    << QStringList{u"getNutricio"_s};
        QTest::newRow("nothing at the origin") << u"empty"_s << yes << QString() << 1 << QString()
                                               << u"Não existe configuração de origem cadastrada."_s
                                               << QStringList{u"getNutricio"_s, u"getServInte"_s};
        QTest::newRow("first service fails") << u"fail DelServ 1"_s << yes << QString() << 2 << QString()
                                             << u"Falha simulada no serviço de cópia."_s
                                             << QStringList{u"getNutricio"_s, u"getServInte"_s,
                                                            u"StartTransaction"_s, u"DelServ"_s, u"Rollback"_s};
        QTest::newRow("second service fails") << u"fail InsServInte 2"_s << yes << QString() << 2
                                              << u"[1/2] paciente 000000000001"_s
                                              << u"Serviços copiados antes da falha: 1 (2 itens)"_s
                                              << copyAll.mid(0, 15) + QStringList{u"Rollback"_s};
        QTest::newRow("operator check fails") << u"fail getNutricio 1"_s << yes << QString() << 2 << QString()
                                              << u"Falha simulada"_s << QStringList{u"getNutricio"_s};
    }
    void runsAgainstTheService()
    {
        QFETCH(QString, scenario);
        QFETCH(QStringList, options);
        QFETCH(QString, input);
        QFETCH(int, code);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QFETCH(QStringList, methods);

        FakeCopyService fake;
        if (scenario != u"empty")
            demoDay(fake);
        if (scenario == u"no nutritionist")
            fake.nutricio.clear();
        if (scenario.startsWith(u"fail ")) {
            fake.failMethod = scenario.section(u' ', 1, 1);
            fake.failOccurrence = scenario.section(u' ', 2, 2).toInt();
        }
        ScriptedServer server([&fake](const QByteArray &line) { return fake.answer(line); });

        const Run run = runInProcess(baseArguments(server.port()) + options, input);
        QCOMPARE(run.code, code);
        QVERIFY2(run.out.contains(out), qPrintable(run.out));
        QVERIFY2(run.err.contains(err), qPrintable(run.err));
        QCOMPARE(fake.methods(), methods);
        if (code == 0) {
            QVERIFY(run.out.contains(u"[1/2] paciente 000000000001, serviço 00007, dieta 0031: copiado como "
                                     "sequência 01 com 2 itens."_s));
            QVERIFY(run.out.contains(u"[2/2] paciente 000000000002"_s));
            const FakeCopyService::Call getServInte = fake.callsOf(u"getServInte"_s).at(0);
            QCOMPARE(getServInte.args.at(1).number, OleDate::fromDate(Today.addDays(-1)));
            QCOMPARE(fake.callsOf(u"DelServ"_s).at(0).args.at(1).number, OleDate::fromDate(Today));
            QCOMPARE(fake.callsOf(u"getNutricio"_s).at(0).args.at(0).text, u"OP1"_s);
        }
    }

    void groupsAndModeReachTheService()
    {
        FakeCopyService fake;
        demoDay(fake);
        ScriptedServer server([&fake](const QByteArray &line) { return fake.answer(line); });
        const Run run = runInProcess(baseArguments(server.port()) +
                                     QStringList{u"--yes"_s, u"--mode"_s, u"N"_s, u"--patients"_s,
                                                 u"000000000001,000000000002"_s, u"--beds"_s, u"101"_s,
                                                 u"--from"_s, u"2026-05-01"_s, u"--to"_s, u"2026-05-03"_s});
        QCOMPARE(run.code, 0);
        const QStringList sent = describe(fake.callsOf(u"getServInte"_s).at(0).args);
        QCOMPARE(sent, (QStringList{u"&0001"_s, u'@' + oleText(QDate(2026, 5, 1)), u"&_000000000001__000000000002_"_s,
                                    u"&"_s, u"&"_s, u"&T"_s, u"&"_s, u"&T"_s, u"&"_s, u"&T"_s, u"&"_s, u"&T"_s,
                                    u"&_101_"_s, u"&"_s, u"2"_s}));
        QCOMPARE(fake.callsOf(u"DelServ"_s).at(0).args.at(1).number, OleDate::fromDate(QDate(2026, 5, 3)));
    }

    void tokenFromItsFile()
    {
        FakeCopyService fake;
        demoDay(fake);
        ScriptedServer server([&fake](const QByteArray &line) { return fake.answer(line); });
        QTemporaryFile token;
        QVERIFY(token.open());
        token.write("s3gr3d0\n");
        token.close();
        const Run run = runInProcess(baseArguments(server.port()) +
                                     QStringList{u"--yes"_s, u"--token-file"_s, token.fileName()});
        QCOMPARE(run.code, 0);
        QVERIFY(server.received().at(0).contains("\"token\":\"s3gr3d0\""));

        const Run missing = runInProcess(baseArguments(server.port()) +
                                         QStringList{u"--yes"_s, u"--token-file"_s, token.fileName() + u".none"_s});
        QCOMPARE(missing.code, HeadlessExit::Validation);
        QVERIFY(missing.err.contains(u"--token-file"_s));
    }

    void unreachableServerIsAServiceFailure()
    {
        const Run run = runInProcess(baseArguments(closedPort()) + QStringList{u"--yes"_s});
        QCOMPARE(run.code, HeadlessExit::ServiceFailure);
        QVERIFY2(run.err.contains(u"Não foi possível conectar"_s), qPrintable(run.err));
    }

    // The command itself says in Portuguese, Qt's socket error included, where nothing answered
    // and what to check.
    void unreachableServerIsToldInPortuguese()
    {
        const quint16 port = closedPort();
        QProcess process;
        process.start(qEnvironmentVariable("RBX_TEST_BINARY_DIR") + u"/copy/rbx53207-copy"_s,
                      baseArguments(port).mid(1) + QStringList{u"--yes"_s});
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitCode(), int(HeadlessExit::ServiceFailure));
        const QString err = QString::fromUtf8(process.readAllStandardError());
        QVERIFY2(err.contains(u"(Conexão recusada)"_s), qPrintable(err));
        QVERIFY2(err.contains(u"Verifique se o servidor de aplicação está em execução em 127.0.0.1:%1"_s.arg(port)),
                 qPrintable(err));
    }

    // With no password file and no terminal to ask on (a session of its own, stdin closed), the
    // command says how to give the password and ends before it connects.
    void noPasswordAndNoTerminal()
    {
        FakeCopyService fake;
        demoDay(fake);
        ScriptedServer server([&fake](const QByteArray &line) { return fake.answer(line); });
        QProcess process;
        process.setProgram(qEnvironmentVariable("RBX_TEST_BINARY_DIR") + u"/copy/rbx53207-copy"_s);
        process.setArguments(baseArguments(server.port()).mid(1, 6) + QStringList{u"--yes"_s});
        process.setChildProcessModifier([] { ::setsid(); });
        process.start();
        QVERIFY(process.waitForStarted());
        process.closeWriteChannel();
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitCode(), HeadlessExit::Login);
        const QString err = QString::fromUtf8(process.readAllStandardError());
        QVERIFY2(err.contains(u"Sem senha para entrar: informe --password-file ARQUIVO"_s), qPrintable(err));
        QVERIFY(server.received().isEmpty());
    }

    // The installed command itself: exit codes and UTF-8 on its standard streams.
    void commandExitCodesAndEncoding_data()
    {
        QTest::addColumn<QString>("scenario");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("code");
        QTest::addColumn<QByteArray>("out");
        QTest::addColumn<QByteArray>("err");
        QTest::newRow("success") << u"demo"_s << QStringList{u"--yes"_s} << 0
                                 << QByteArray("A c\xc3\xb3pia foi realizada com sucesso.\n") << QByteArray();
        QTest::newRow("validation") << u"empty"_s << QStringList{u"--yes"_s} << 1 << QByteArray()
                                    << QByteArray("N\xc3\xa3o existe configura\xc3\xa7\xc3\xa3o de origem cadastrada.\n");
        QTest::newRow("service failure") << u"fail InsConfesco 1"_s << QStringList{u"--yes"_s} << 2 << QByteArray()
                                         << QByteArray("Falha simulada no servi\xc3\xa7o de c\xc3\xb3pia.\n");
        QTest::newRow("no answer from a closed stdin") << u"demo"_s << QStringList() << 1 << QByteArray()
                                                       << QByteArray("Confirma opera\xc3\xa7\xc3\xa3o? [s/N] ");
    }
    void commandExitCodesAndEncoding()
    {
        QFETCH(QString, scenario);
        QFETCH(QStringList, options);
        QFETCH(int, code);
        QFETCH(QByteArray, out);
        QFETCH(QByteArray, err);

        FakeCopyService fake;
        if (scenario != u"empty")
            demoDay(fake);
        if (scenario.startsWith(u"fail ")) {
            fake.failMethod = scenario.section(u' ', 1, 1);
            fake.failOccurrence = scenario.section(u' ', 2, 2).toInt();
        }
        ScriptedServer server([&fake](const QByteArray &line) { return fake.answer(line); });

        const QString program = qEnvironmentVariable("RBX_TEST_BINARY_DIR") + u"/copy/rbx53207-copy"_s;
        QVERIFY2(QFile::exists(program), qPrintable(program));
        QProcess process;
        process.setProgram(program);
        process.setArguments(baseArguments(server.port()).mid(1) + options);
        process.start();
        QVERIFY(process.waitForStarted());
        process.closeWriteChannel();
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        const QByteArray stdOut = process.readAllStandardOutput();
        const QByteArray stdErr = process.readAllStandardError();
        QCOMPARE(process.exitCode(), code);
        QVERIFY2(stdOut.contains(out), stdOut.constData());
        QVERIFY2(stdErr.contains(err), stdErr.constData());
    }
};

QTEST_GUILESS_MAIN(TestCopyHeadless)
#include "tst_copy_headless.moc"
