#include <support/AnsweringDialogs.h>
#include <house/DBGeral.h>
#include <support/DemoDatabase.h>
#include <host/HostLogin.h>
#include <host/HostOptions.h>
#include <host/HostWindow.h>
#include <house/HouseSession.h>
#include <house/widgets/LoginDialog.h>
#include <host/ModuleLoader.h>
#include <support/TestOperators.h>
#include <support/TestServer.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QMenuBar>
#include <QProcess>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTemporaryDir>
#include <QTest>

using namespace rbx;

using namespace Qt::StringLiterals;

namespace {

// What the status bar shows: its message, else its visible labels.
QString statusText(QMainWindow &window)
{
    if (!window.statusBar()->currentMessage().isEmpty())
        return window.statusBar()->currentMessage();
    QStringList shown;
    for (const QLabel *label : window.statusBar()->findChildren<QLabel *>()) {
        if (label->isVisible() && !label->text().isEmpty())
            shown << label->text();
    }
    return shown.join(u' ');
}

} // namespace

// The host sets the session and the database in the house library it shares with the module.
class TestHost final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(m_demo.isValid(), qPrintable(m_demo.errorString()));
        QVERIFY2(m_server.start(m_demo.url()), qPrintable(m_server.errorString()));
    }

    void init()
    {
        houseSession() = HouseSessionInfo{};
        houseSession().operatorCode = QStringLiteral("ADMIN");
        dtmDBGeral().SetUrl(QStringLiteral("sqlite:antes.db"));
    }

    void aBadSettingIsRefusedAndNothingApplied_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("error");
        const QStringList good{QStringLiteral("--operator"), QStringLiteral("OUTRO"), QStringLiteral("--database"),
                               QStringLiteral("sqlite:depois.db")};
        QTest::newRow("unknown option") << good + QStringList{QStringLiteral("--servidor"), QStringLiteral("x")}
                                        << QStringLiteral("Opção desconhecida: '--servidor'.");
        QTest::newRow("port no number") << good + QStringList{QStringLiteral("--server"), QStringLiteral("10.0.0.9:porta")}
                                        << QStringLiteral("Porta do servidor inválida em '10.0.0.9:porta'.");
        QTest::newRow("timeout no number") << good + QStringList{QStringLiteral("--call-timeout-ms"), QStringLiteral("30s")}
                                           << QStringLiteral("Tempo de espera inválido: '30s'.");
        QTest::newRow("no such database") << QStringList{QStringLiteral("--operator"), QStringLiteral("OUTRO"),
                                                         QStringLiteral("--database"), QStringLiteral("sqlite:nenhum.db")}
                                          << QStringLiteral("Banco de dados não encontrado: 'nenhum.db' (--database).");
    }
    void aBadSettingIsRefusedAndNothingApplied()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, error);
        const HostOptionsResult result = configureHost(arguments, QProcessEnvironment(), m_programDir.path());
        QVERIFY2(result.error.startsWith(error), qPrintable(result.error));
        QCOMPARE(houseSession().operatorCode, QStringLiteral("ADMIN")); // nothing half-applied
        QCOMPARE(houseSession().serverPort, 8211);
        QCOMPARE(dtmDBGeral().Url(), QStringLiteral("sqlite:antes.db"));
    }

    void everySettingReachesTheHouse()
    {
        QFile token(m_programDir.filePath(QStringLiteral("token")));
        QVERIFY(token.open(QIODevice::WriteOnly));
        token.write("segredo\n");
        token.close();
        QFile database(m_programDir.filePath(QStringLiteral("depois.db")));
        QVERIFY(database.open(QIODevice::WriteOnly)); // the host opens only a database that exists
        database.close();
        const QString url = QStringLiteral("sqlite:") + database.fileName();
        const HostOptionsResult result = configureHost(
            {QStringLiteral("--operator"), QStringLiteral("OUTRO"), QStringLiteral("--server"), QStringLiteral("10.0.0.9:9000"),
             QStringLiteral("--token-file"), token.fileName(), QStringLiteral("--call-timeout-ms"), QStringLiteral("1500"),
             QStringLiteral("--database"), url},
            QProcessEnvironment(), m_programDir.path());
        QVERIFY2(result.error.isEmpty(), qPrintable(result.error));
        QCOMPARE(houseSession().operatorCode, QStringLiteral("OUTRO"));
        QCOMPARE(houseSession().serverHost, QStringLiteral("10.0.0.9"));
        QCOMPARE(houseSession().serverPort, 9000);
        QCOMPARE(houseSession().token, QStringLiteral("segredo"));
        QCOMPARE(houseSession().callTimeoutMs, 1500);
        QCOMPARE(dtmDBGeral().Url(), url);
    }

    // Every program answers --help without a display, in Portuguese, Qt's own parser texts too.
    void helpNeedsNoDisplay_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("says");
        QTest::newRow("host") << QStringLiteral("host/rbx53207-host") << QStringLiteral("--screenshot ARQUIVO   salva");
        QTest::newRow("server") << QStringLiteral("server/rbx53207-server")
                                << QStringLiteral("Opções:\n  -h, --help ");
        QTest::newRow("headless copy") << QStringLiteral("copy/rbx53207-copy") << QStringLiteral("Opções:");
        QTest::newRow("db tool") << QStringLiteral("db/rbx53207-db") << QStringLiteral("Argumentos:");
    }
    void helpNeedsNoDisplay()
    {
        QFETCH(QString, program);
        QFETCH(QString, says);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const QString &name : {QStringLiteral("DISPLAY"), QStringLiteral("WAYLAND_DISPLAY"),
                                    QStringLiteral("QT_QPA_PLATFORM")})
            environment.remove(name);
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(qEnvironmentVariable("RBX_TEST_BINARY_DIR") + u'/' + program, {QStringLiteral("--help")});
        QVERIFY(process.waitForFinished(30000));
        const QString out = QString::fromUtf8(process.readAllStandardOutput());
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
        QVERIFY2(out.startsWith(QStringLiteral("Uso: ")), qPrintable(out));
        QVERIFY2(out.contains(says), qPrintable(out));
    }

    // The operator and the server stay in the status line while the menus show their entries'
    // (empty) status tips.
    void statusLineStaysWhenAMenuOpens()
    {
        HostOptions options;
        options.operatorCode = QStringLiteral("ADMIN");
        options.serverPort = 8300;
        const ModuleLoader module;
        HostWindow window(options, module);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QMenu *routines = window.menuBar()->findChild<QMenu *>();
        QVERIFY(routines);
        routines->popup(window.mapToGlobal(QPoint(0, 0)));
        QVERIFY(QTest::qWaitForWindowExposed(routines));
        const QString line = QStringLiteral("Operador: ADMIN   Servidor: 127.0.0.1:8300");
        QCOMPARE(statusText(window), line);
        // the pointer on an entry: its empty status tip reaches the window, as QAction sends it
        routines->setActiveAction(routines->actions().constFirst());
        QStatusTipEvent tip{QString()};
        QApplication::sendEvent(&window, &tip);
        routines->close();
        QCOMPARE(statusText(window), line);
    }

    // The login dialog against the real server: a wrong password keeps it open, saying so, with
    // the password cleared for the next try; the right one lets the operator in.
    void loginAsksAgainAfterARefusal()
    {
        pointAtServer();
        LoginDialog dialog({nullptr, u"ADMIN"_s, logInSession});
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        auto *password = dialog.findChild<QLineEdit *>(u"edtSenha"_s);
        auto *enter = dialog.findChild<QPushButton *>(u"btnEntrar"_s);
        QVERIFY(password && enter);
        QCOMPARE(password->echoMode(), QLineEdit::Password);
        QCOMPARE(dialog.findChild<QLineEdit *>(u"edtOperador"_s)->text(), u"ADMIN"_s);

        QTest::keyClicks(password, u"errada"_s);
        enter->click();
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.problem(), u"Operador ou senha inválidos."_s);
        QVERIFY(password->text().isEmpty());
        QVERIFY(password->hasFocus());
        QVERIFY(houseSession().password.isEmpty());

        password->insert(TestSupport::TestPassword); // typed: keyClicks takes ASCII alone
        QTest::keyClick(password, Qt::Key_Return);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(houseSession().operatorCode, u"ADMIN"_s);
        QCOMPARE(houseSession().password, TestSupport::TestPassword);

        // the host asks through the dialog seam, the operator prefilled, until one is let in
        houseSession() = HouseSessionInfo{};
        pointAtServer();
        AnsweringDialogs dialogs;
        ScopedDialogSeam seam(dialogs);
        dialogs.loginAnswers = {{u"ADMIN"_s, u"errada"_s}, {u"ADMIN"_s, TestSupport::TestPassword}};
        HostOptions options;
        options.operatorCode = u"ADMIN"_s;
        QVERIFY(logInHost(options, nullptr).loggedIn);
        QCOMPARE(dialogs.loginShown, (QStringList{u"ADMIN"_s, u"Operador ou senha inválidos."_s}));
        QCOMPARE(houseSession().operatorCode, u"ADMIN"_s);
        QCOMPARE(houseSession().password, TestSupport::TestPassword);
        // cancelled: not logged in, and no error to report
        const HostLoginResult cancelled = logInHost(options, nullptr);
        QVERIFY(!cancelled.loggedIn);
        QVERIFY(cancelled.error.isEmpty());
    }

    // With a password file the host logs in without a dialog; a refused one ends it with the
    // reason and a non-zero code, the password nowhere in what it says.
    void hostWithAPasswordFile_data()
    {
        QTest::addColumn<QByteArray>("password");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("err");
        QTest::newRow("right") << TestSupport::TestPassword.toUtf8() + '\n' << 0 << QString();
        QTest::newRow("wrong") << QByteArray("senha-errada\n") << 3 << u"Operador ou senha inválidos."_s;
        QTest::newRow("empty") << QByteArray("\n") << 2 << u"não tem a senha na primeira linha"_s;
    }
    void hostWithAPasswordFile()
    {
        QFETCH(QByteArray, password);
        QFETCH(int, code);
        QFETCH(QString, err);
        QFile file(m_programDir.filePath(u"senha"_s));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(password);
        file.close();
        const QString screenshot = m_programDir.filePath(u"tela.png"_s);
        QFile::remove(screenshot);
        QProcess host;
        host.start(qEnvironmentVariable("RBX_TEST_BINARY_DIR") + u"/host/rbx53207-host"_s,
                   {u"-platform"_s, u"offscreen"_s, u"--operator"_s, u"ADMIN"_s, u"--password-file"_s, file.fileName(),
                    u"--server"_s, u"127.0.0.1:%1"_s.arg(m_server.port()), u"--database"_s, m_demo.url(),
                    u"--branch"_s, u"0001"_s, u"--mode"_s, u"E"_s, u"--screenshot"_s, screenshot});
        QVERIFY(host.waitForFinished(60000));
        const QString stdErr = QString::fromUtf8(host.readAllStandardError());
        QCOMPARE(host.exitCode(), code);
        QVERIFY2(stdErr.contains(err), qPrintable(stdErr));
        QVERIFY(!stdErr.contains(u"senha-errada"_s));
        QCOMPARE(QFile::exists(screenshot), code == 0);
    }

    // "Alterar senha" from the host's menu: the confirmation must match; then the new password
    // logs in and the old one no longer does.
    void changedPasswordReplacesTheOld()
    {
        pointAtServer();
        const QString changer = u"LSIMOES"_s; // the other tests log in as ADMIN
        QVERIFY(logInSession(changer, TestSupport::TestPassword).isEmpty());
        HostOptions options;
        const ModuleLoader module;
        HostWindow window(options, module);
        auto *change = window.findChild<QAction *>(u"actAlterarSenha"_s);
        QVERIFY(change);
        AnsweringDialogs dialogs;
        ScopedDialogSeam seam(dialogs);

        dialogs.newPasswordAnswer = NewPasswordAnswer{u"nova-senha-ç"_s, u"nova-senha-c"_s};
        change->trigger();
        QCOMPARE(dialogs.errors, QStringList{u"A confirmação não confere com a nova senha."_s});
        QCOMPARE(houseSession().password, TestSupport::TestPassword);
        QVERIFY(logInSession(changer, TestSupport::TestPassword).isEmpty());

        dialogs.newPasswordAnswer = NewPasswordAnswer{u"nova-senha-ç"_s, u"nova-senha-ç"_s};
        change->trigger();
        QCOMPARE(dialogs.errors.size(), 1);
        QCOMPARE(dialogs.messages.size(), 1);
        QCOMPARE(dialogs.messages.constFirst().text, u"Senha alterada."_s);
        QCOMPARE(houseSession().password, u"nova-senha-ç"_s);
        QCOMPARE(logInSession(changer, TestSupport::TestPassword), u"Operador ou senha inválidos."_s);
        QCOMPARE(logInSession(changer, u"nova-senha-ç"_s), QString());
    }

private:
    void pointAtServer()
    {
        houseSession().serverHost = m_server.host();
        houseSession().serverPort = m_server.port();
        houseSession().operatorCode.clear();
    }

    DemoDatabase m_demo;
    TestServer m_server;
    QTemporaryDir m_programDir; // no rbx53207-host.ini beside the "program"
};

QTEST_MAIN(TestHost)
#include "tst_host.moc"
