#include <support/AnsweringDialogs.h>
#include <screen/Cli_Rbx53207.h>
#include <house/DBGeral.h>
#include <support/DemoDatabase.h>
#include <house/HouseSession.h>
#include <module/Pkg_RBX53207.h>
#include <house/widgets/TDateEditPlus.h>
#include <support/TestOperators.h>
#include <support/TestServer.h>
#include <house/TextRoutines.h>

#include <QApplication>
#include <QLibrary>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

using namespace rbx;

namespace {

struct Globals
{
    QString tipoForm;
    QString filial;
    bool primVez = false;
    bool seen = false;
};

// Records the module's globals at the moment the screen is being created: the first title it
// is given is set while its constructor runs.
class CreationWatch final : public QObject
{
public:
    Globals atCreation;
    int screensCreated = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::WindowTitleChange && watched->objectName() == QLatin1String("frmCopFormulacao")
            && !watched->property("rbx.seen").toBool()) {
            watched->setProperty("rbx.seen", true);
            ++screensCreated;
            atCreation = {stTipoForm, stFilial, boPrimVez, true};
        }
        return false;
    }
};

// Closes the copy screen once its first activation is over, whatever its outcome.
void closeScreenWhenActivated(AnsweringDialogs &dialogs)
{
    QTimer::singleShot(0, [&dialogs] {
        QTRY_VERIFY_WITH_TIMEOUT(dialogs.busyHidden > 0 || !dialogs.errors.isEmpty(), 10000);
        if (frmCopFormulacao)
            frmCopFormulacao->Close();
    });
}

} // namespace

class TestModule final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(m_demo.isValid(), qPrintable(m_demo.errorString()));
        QVERIFY2(m_server.start(m_demo.url()), qPrintable(m_server.errorString()));
        qApp->installEventFilter(&m_watch);
    }

    void init()
    {
        // As the host does: straight into the house library the module shares.
        houseSession().operatorCode = QStringLiteral("ADMIN");
        houseSession().password = TestSupport::TestPassword;
        houseSession().serverHost = m_server.host();
        houseSession().serverPort = m_server.port();
        dtmDBGeral().SetUrl(m_demo.url());
        m_watch.atCreation = {};
    }

    void iniProcSetsModeAndBranchAfterCreation_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<bool>("lactario");
        QTest::newRow("N: lactário") << QStringLiteral("N") << true;
        QTest::newRow("E: enteral/parenteral") << QStringLiteral("E") << false;
        QTest::newRow("empty: enteral/parenteral") << QString() << false;
        QTest::newRow("lower-case n: enteral/parenteral") << QStringLiteral("n") << false;
    }
    void iniProcSetsModeAndBranchAfterCreation()
    {
        QFETCH(QString, mode);
        QFETCH(bool, lactario);
        AnsweringDialogs dialogs;
        ScopedDialogSeam seam(dialogs);
        stTipoForm = QStringLiteral("anterior");
        stFilial = QStringLiteral("9999");

        Globals atActivation;
        bool modalWhenActive = false;
        QString originShown;
        dialogs.onShowBusy = [&](QObject *, int) {
            atActivation = {stTipoForm, stFilial, boPrimVez, true};
            modalWhenActive = frmCopFormulacao && frmCopFormulacao->isModal() && frmCopFormulacao->isVisible();
        };
        QTimer::singleShot(0, [&] {
            QTRY_VERIFY_WITH_TIMEOUT(dialogs.busyHidden > 0 || !dialogs.errors.isEmpty(), 10000);
            if (frmCopFormulacao) {
                originShown = frmCopFormulacao->depOrigem->Text();
                frmCopFormulacao->Close();
            }
        });
        IniProc(QVariant(QVariantList{mode, QStringLiteral("0001")}));

        QVERIFY2(dialogs.errors.isEmpty(), qPrintable(dialogs.errors.join(u'\n')));
        // While the screen was created the globals still held what was there before.
        QVERIFY(m_watch.atCreation.seen);
        QCOMPARE(m_watch.atCreation.tipoForm, QStringLiteral("anterior"));
        QCOMPARE(m_watch.atCreation.filial, QStringLiteral("9999"));
        // At the first activation they hold the host's values.
        QVERIFY(atActivation.seen);
        QCOMPARE(atActivation.tipoForm, mode);
        QCOMPARE(atActivation.filial, QStringLiteral("0001"));
        QVERIFY(!atActivation.primVez);
        QVERIFY(modalWhenActive);
        QCOMPARE(ModoLactario(stTipoForm), lactario);
        QVERIFY(!EmptyString(originShown));
    }

    void secondIniProcMakesAFreshScreen()
    {
        AnsweringDialogs dialogs;
        ScopedDialogSeam seam(dialogs);
        QList<QPointer<TfrmCopFormulacao>> activated;
        dialogs.onShowBusy = [&](QObject *, int) { activated.append(frmCopFormulacao); };
        const int createdBefore = m_watch.screensCreated;

        closeScreenWhenActivated(dialogs);
        IniProc(QVariant(QVariantList{QStringLiteral("E"), QStringLiteral("0001")}));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(frmCopFormulacao.isNull()); // the closed screen has been freed

        const int hiddenAfterFirst = dialogs.busyHidden;
        QTimer::singleShot(0, [&] {
            QTRY_VERIFY_WITH_TIMEOUT(dialogs.busyHidden > hiddenAfterFirst, 10000);
            if (frmCopFormulacao)
                frmCopFormulacao->Close();
        });
        IniProc(QVariant(QVariantList{QStringLiteral("N"), QStringLiteral("0001")}));

        QCOMPARE(m_watch.screensCreated, createdBefore + 2);
        QCOMPARE(dialogs.busyShown, 2); // the first activation ran again
        QCOMPARE(activated.size(), 2);
        QVERIFY(m_watch.atCreation.seen);
        QVERIFY2(dialogs.errors.isEmpty(), qPrintable(dialogs.errors.join(u'\n')));
    }

    void iniProcRefusesWhatIsNoModeAndBranch_data()
    {
        QTest::addColumn<QVariant>("params");
        QTest::newRow("nothing") << QVariant();
        QTest::newRow("a plain text") << QVariant(QStringLiteral("N"));
        QTest::newRow("one element") << QVariant(QVariantList{QStringLiteral("N")});
        QTest::newRow("branch no text") << QVariant(QVariantList{QStringLiteral("N"), QVariantMap{}});
        QTest::newRow("mode missing") << QVariant(QVariantList{QVariant(), QStringLiteral("0001")});
    }
    void iniProcRefusesWhatIsNoModeAndBranch()
    {
        QFETCH(QVariant, params);
        AnsweringDialogs dialogs;
        ScopedDialogSeam seam(dialogs);
        const int createdBefore = m_watch.screensCreated;
        stFilial = QStringLiteral("antes");
        IniProc(params); // returns: the refusal is shown, not thrown
        QCOMPARE(dialogs.errors.size(), 1);
        QVERIFY2(dialogs.errors.first().startsWith(QLatin1String("IniProc: ")), qPrintable(dialogs.errors.first()));
        QCOMPARE(m_watch.screensCreated, createdBefore);
        QCOMPARE(stFilial, QStringLiteral("antes"));
    }

    // The built library, loaded at run time as the host loads it, with real dialogs. It has its
    // own screen globals but this process's house library: the session init() set is its session.
    void loadedModuleOpensTheScreen()
    {
        QLibrary library(QStringLiteral(RBX_MODULE_FILE));
        QVERIFY2(library.load(), qPrintable(library.errorString()));
        for (const char *name : {"IniProc", "CriaCopFormulacao", "frmCopFormulacao", "stTipoForm", "stFilial",
                                 "boPrimVez"})
            QVERIFY2(library.resolve(name), name);
        auto iniProc = reinterpret_cast<IniProcFunction>(library.resolve("IniProc"));
        auto *moduleTipoForm = reinterpret_cast<QString *>(library.resolve("stTipoForm"));
        auto *moduleFilial = reinterpret_cast<QString *>(library.resolve("stFilial"));
        QVERIFY(moduleTipoForm != &stTipoForm); // the module's own globals, not this test's

        QString origin, destination, problem;
        QTimer::singleShot(0, [&] {
            QWidget *screen = nullptr;
            QTRY_VERIFY_WITH_TIMEOUT((screen = topLevelScreen()) != nullptr, 10000);
            const auto *edit = screen->findChild<QLineEdit *>(QStringLiteral("depOrigem"));
            QTRY_VERIFY_WITH_TIMEOUT(!EmptyString(edit->text()) || errorBox(problem), 10000);
            origin = edit->text();
            destination = screen->findChild<QLineEdit *>(QStringLiteral("depDestino"))->text();
            screen->close();
        });
        iniProc(QVariant(QVariantList{QStringLiteral("N"), QStringLiteral("0001")}));
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        QCOMPARE(origin, QDate::currentDate().addDays(-1).toString(QStringLiteral("dd/MM/yyyy")));
        QCOMPARE(destination, QDate::currentDate().toString(QStringLiteral("dd/MM/yyyy")));
        QCOMPARE(*moduleTipoForm, QStringLiteral("N"));
        QCOMPARE(*moduleFilial, QStringLiteral("0001"));

        // The module's errors reach the error display of this process, where a test answers them.
        AnsweringDialogs dialogs;
        ScopedDialogSeam seam(dialogs);
        iniProc(QVariant());
        QCOMPARE(dialogs.errors,
                 QStringList{QStringLiteral("IniProc: o parâmetro deve ser uma lista (modo, filial).")});
    }

private:
    static QWidget *topLevelScreen()
    {
        for (QWidget *window : QApplication::topLevelWidgets()) {
            if (window->objectName() == QLatin1String("frmCopFormulacao") && window->isVisible())
                return window;
        }
        return nullptr;
    }

    // An error box the module showed instead: note its text and close it.
    static bool errorBox(QString &problem)
    {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return false;
        problem = box->text();
        box->done(QMessageBox::Ok);
        return true;
    }

    DemoDatabase m_demo;
    TestServer m_server;
    CreationWatch m_watch;
};

QTEST_MAIN(TestModule)
#include "tst_module.moc"
