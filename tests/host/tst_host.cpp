#include "DBGeral.h"
#include "HostOptions.h"
#include "HouseSession.h"

#include <QTemporaryDir>
#include <QTest>

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

private:
    QTemporaryDir m_programDir; // no rbx53207-host.ini beside the "program"
};

QTEST_GUILESS_MAIN(TestHost)
#include "tst_host.moc"
