#include "DBGeral.h"
#include "HostOptions.h"
#include "HostWindow.h"
#include "HouseSession.h"
#include "ModuleLoader.h"

#include <QLabel>
#include <QMenuBar>
#include <QProcess>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTemporaryDir>
#include <QTest>

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
        const HostOptionsResult result = configureHost(
            {QStringLiteral("--operator"), QStringLiteral("OUTRO"), QStringLiteral("--server"), QStringLiteral("10.0.0.9:9000"),
             QStringLiteral("--token-file"), token.fileName(), QStringLiteral("--call-timeout-ms"), QStringLiteral("1500"),
             QStringLiteral("--database"), QStringLiteral("sqlite:depois.db")},
            QProcessEnvironment(), m_programDir.path());
        QVERIFY2(result.error.isEmpty(), qPrintable(result.error));
        QCOMPARE(houseSession().operatorCode, QStringLiteral("OUTRO"));
        QCOMPARE(houseSession().serverHost, QStringLiteral("10.0.0.9"));
        QCOMPARE(houseSession().serverPort, 9000);
        QCOMPARE(houseSession().token, QStringLiteral("segredo"));
        QCOMPARE(houseSession().callTimeoutMs, 1500);
        QCOMPARE(dtmDBGeral().Url(), QStringLiteral("sqlite:depois.db"));
    }

    // Every program answers --help without a display, in Portuguese, Qt's own parser texts too.
    void helpNeedsNoDisplay_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("says");
        QTest::newRow("host") << QStringLiteral("host/rbx53207-host") << QStringLiteral("--screenshot ARQUIVO   salva");
        QTest::newRow("server") << QStringLiteral("server/rbx53207-server")
                                << QStringLiteral("Opções:\n  -h, --help               Mostra esta ajuda.");
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

private:
    QTemporaryDir m_programDir; // no rbx53207-host.ini beside the "program"
};

QTEST_MAIN(TestHost)
#include "tst_host.moc"
