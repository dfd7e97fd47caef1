#include <support/AnsweringDialogs.h>
#include <screen/Cli_Rbx53207.h>
#include <house/DBGeral.h>
#include <support/DemoDatabase.h>
#include <house/FormatText.h>
#include <house/HouseSession.h>
#include <protocol/OleDate.h>
#include <house/PesquisaLista.h>
#include "ScreenTestKit.h"
#include <house/widgets/TBtnPesquisa.h>
#include <house/widgets/TButtonFlat.h>
#include <house/widgets/TDateEditPlus.h>
#include <support/TestOperators.h>
#include <support/TestServer.h>
#include <screen/TfrmCopiasRealizadas.h>
#include <copy/RunTexts.h>

#include <QListWidget>
#include <QPrinter>
#include <QProgressDialog>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QTableWidget>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

using namespace rbx;

using namespace Qt::StringLiterals;

namespace {

QStringList keysOf(const AnsweringDialogs::Pick &pick)
{
    QStringList keys;
    for (const QStringList &row : pick.rows.rows)
        keys.append(row.at(pick.keyColumn));
    return keys;
}

} // namespace

// The six lookups and the Confirm button, on the screen, against the demo hospital.
class TestLookups final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        RBX_REQUIRE_TEST_ENGINE();
        QVERIFY2(m_demo.isValid(), qPrintable(m_demo.errorString()));
        // A branch whose codes run together: "00012" followed by "34567" holds "12345".
        auto db = m_demo.open(u"tst_lookups_seed"_s);
        QSqlQuery q(db->sql());
        for (const QString &sql :
             {u"INSERT INTO SERVICO VALUES ('0009','00012','Enteral A','1')"_s,
              u"INSERT INTO SERVICO VALUES ('0009','34567','Enteral B','1')"_s,
              u"INSERT INTO SERVICO VALUES ('0009','12345','Lactário C','2')"_s,
              u"INSERT INTO DIETPADR VALUES ('9991','Dieta só do serviço 12345','2')"_s,
              u"INSERT INTO DIETPADR VALUES ('9992','Dieta do serviço 00012','2')"_s,
              u"INSERT INTO DIETSERV VALUES ('0009','12345','9991')"_s,
              u"INSERT INTO DIETSERV VALUES ('0009','00012','9992')"_s})
            QVERIFY2(q.exec(sql), qPrintable(q.lastError().text()));
        QVERIFY2(m_server.start(m_demo.url()), qPrintable(m_server.errorString()));
        dtmDBGeral().SetUrl(m_demo.url());
    }

    void init()
    {
        houseSession().serverHost = m_server.host();
        houseSession().serverPort = m_server.port();
        houseSession().operatorCode = u"ADMIN"_s;
        houseSession().password = TestSupport::TestPassword;
        stFilial = u"0001"_s;
        stTipoForm = u"E"_s;
    }

    void titlesAndParametersFollowTheMode_data()
    {
        QTest::addColumn<QString>("tipoForm");
        QTest::addColumn<QString>("tpServ");
        QTest::addColumn<QString>("idFormDiet");
        QTest::addColumn<QString>("kind");
        QTest::newRow("lactário") << u"N"_s << u"2"_s << u"1"_s << u"lactário"_s;
        QTest::newRow("enteral") << u"E"_s << u"1"_s << u"2"_s << u"enteral/parenteral"_s;
        QTest::newRow("lower-case n is enteral") << u"n"_s << u"1"_s << u"2"_s << u"enteral/parenteral"_s;
        QTest::newRow("empty is enteral") << QString() << u"1"_s << u"2"_s << u"enteral/parenteral"_s;
    }
    void titlesAndParametersFollowTheMode()
    {
        QFETCH(QString, tipoForm);
        QFETCH(QString, tpServ);
        QFETCH(QString, idFormDiet);
        QFETCH(QString, kind);
        stTipoForm = tipoForm;
        AnsweringDialogs dialogs;
        ScopedDialogSeam seam(dialogs);
        ScreenUnderTest s;
        s->rbtLServ->setChecked(true);
        s->rbtLDieta->setChecked(true);
        s->btpServico->click();
        s->btpDieta->click();
        QCOMPARE(dialogs.errors, QStringList());
        QCOMPARE(dialogs.picks.size(), 2);
        QCOMPARE(dialogs.picks.at(0).caption, u"Serviço"_s);
        QCOMPARE(dialogs.picks.at(0).emptyText, u"Não existe servico %1 cadastrado."_s.arg(kind));
        QCOMPARE(dialogs.picks.at(1).caption, u"Dieta"_s);
        QCOMPARE(dialogs.picks.at(1).emptyText, u"Não existe dieta %1 cadastrada."_s.arg(kind));
        QCOMPARE(s->qryServico.LastBindings().value(u"P_TPSERV"_s).toString(), tpServ);
        QCOMPARE(s->qryDieta.LastBindings().value(u"P_IDFORMDIET"_s).toString(), idFormDiet);
        // every service offered is of the mode's type
        auto db = m_demo.open(u"tst_lookups_check"_s);
        QCOMPARE(dialogs.picks.at(0).rows.rows.size(),
                 scalar(db->sql(), u"SELECT COUNT(*) FROM SERVICO WHERE CDFILIAL='0001' AND IDTPSERVHOSP='%1'"_s.arg(tpServ)));
    }

    void floorWingAndBedTitles()
    {
        AnsweringDialogs dialogs;
        ScopedDialogSeam seam(dialogs);
        ScreenUnderTest s;
        s->rbtLPaci->setChecked(true);
        s->rbtLAndar->setChecked(true);
        s->rbtLAla->setChecked(true);
        s->rbtLLeito->setChecked(true);
        s->netCopiaForm.SetConnected(true);
        for (TBtnPesquisa *button : {s->btpPaci, s->btpAndar, s->btpAla, s->btpLeito})
            button->click();
        QCOMPARE(dialogs.errors, QStringList());
        QCOMPARE(dialogs.picks.size(), 4);
        const QList<std::pair<QString, QString>> titles = {
            {u"Paciente (Internado)"_s, u"Não há paciente (internado) cadastrado."_s},
            {u"Andar"_s, u"Não existe andar cadastrado."_s},
            {u"Ala"_s, u"Não existe ala cadastrada."_s},
            {u"Leito"_s, u"Não existe leito cadastrado para andar/ala informado."_s}};
        for (qsizetype i = 0; i < titles.size(); ++i) {
            QCOMPARE(dialogs.picks.at(i).caption, titles.at(i).first);
            QCOMPARE(dialogs.picks.at(i).emptyText, titles.at(i).second);
        }
        // the patients offered are the branch's in-patients, from the remote service
        QVERIFY(!dialogs.picks.at(0).rows.rows.isEmpty());
        QCOMPARE(dialogs.picks.at(0).rows.rows.size(), s->cdsPaciente.RecordCount());
    }

    void pickedCodesBecomeTheSelectionList()
    {
        AnsweringDialogs dialogs;
        dialogs.answerPick = [](const AnsweringDialogs::Pick &pick) -> std::optional<QStringList> {
            return keysOf(pick).mid(0, 2);
        };
        ScopedDialogSeam seam(dialogs);
        ScreenUnderTest s;
        s->rbtLServ->setChecked(true);
        s->btpServico->click();
        const QStringList offered = keysOf(dialogs.picks.constFirst());
        QVERIFY(offered.size() >= 2);
        QCOMPARE(s->stServicos, u"_"_s + offered.at(0) + u"__"_s + offered.at(1) + u"_"_s);

        // Cancel leaves the list as it was
        dialogs.answerPick = [](const AnsweringDialogs::Pick &) { return std::optional<QStringList>(); };
        const QString before = s->stServicos;
        s->btpServico->click();
        QCOMPARE(s->stServicos, before);
    }

    void dietLookupReadsTheServiceGroup_data()
    {
        QTest::addColumn<QString>("filial");
        QTest::addColumn<bool>("serviceList");
        QTest::addColumn<QString>("sent");
        QTest::addColumn<QStringList>("diets");
        QTest::newRow("list mode with nothing picked") << u"0001"_s << true << QString() << QStringList();
        QTest::newRow("branch without services of the mode") << u"0777"_s << false << u"__"_s << QStringList();
        // "_00012__34567_" holds no "_12345_": the lactário service's diet is not offered
        QTest::newRow("adjacent codes do not make a third")
            << u"0009"_s << false << u"_00012__34567_"_s << QStringList{u"9992"_s};
    }
    void dietLookupReadsTheServiceGroup()
    {
        QFETCH(QString, filial);
        QFETCH(bool, serviceList);
        QFETCH(QString, sent);
        QFETCH(QStringList, diets);
        stFilial = filial;
        AnsweringDialogs dialogs;
        ScopedDialogSeam seam(dialogs);
        ScreenUnderTest s;
        if (serviceList)
            s->rbtLServ->setChecked(true);
        s->rbtLDieta->setChecked(true);
        s->btpDieta->click();
        QCOMPARE(dialogs.errors, QStringList());
        QCOMPARE(s->qryDieta.LastBindings().value(u"P_CDSERVFILI"_s).toString(), sent);
        QCOMPARE(keysOf(dialogs.picks.constFirst()), diets);
    }

    void bedLookupInAllModeListsEveryBed()
    {
        AnsweringDialogs dialogs;
        ScopedDialogSeam seam(dialogs);
        ScreenUnderTest s;
        s->rbtLLeito->setChecked(true);
        s->btpLeito->click();
        QCOMPARE(dialogs.errors, QStringList());
        const QVariantMap sent = s->qryLeito.LastBindings();
        for (const char *name : {"P_TCDALA", "P_CDALA", "P_TCDANDAR", "P_CDANDAR"})
            QCOMPARE(sent.value(QString::fromLatin1(name)).toString(), u"T"_s);
        QCOMPARE(s->stAlas, u"T"_s);
        QCOMPARE(s->stAndares, u"T"_s);
        auto db = m_demo.open(u"tst_lookups_beds"_s);
        QCOMPARE(dialogs.picks.constFirst().rows.rows.size(),
                 scalar(db->sql(), u"SELECT COUNT(*) FROM LEITO WHERE CDFILIAL='0001'"_s));
        QVERIFY(!dialogs.picks.constFirst().rows.rows.isEmpty());
    }

    void bedLookupWithAnEmptyWingList()
    {
        AnsweringDialogs dialogs;
        ScopedDialogSeam seam(dialogs);
        ScreenUnderTest s;
        s->rbtLAla->setChecked(true);
        s->rbtLLeito->setChecked(true);
        s->btpLeito->click();
        QCOMPARE(s->qryLeito.LastBindings().value(u"P_TCDALA"_s).toString(), u"X"_s);
        QCOMPARE(s->qryLeito.LastBindings().value(u"P_CDALA"_s).toString(), QString());
        QVERIFY(dialogs.picks.constFirst().rows.rows.isEmpty());
        QVERIFY(s->stAlas.isEmpty());
    }

    void bedsOfPickedWingsOnly()
    {
        AnsweringDialogs dialogs;
        dialogs.answerPick = [](const AnsweringDialogs::Pick &pick) -> std::optional<QStringList> {
            return keysOf(pick).mid(0, 1);
        };
        ScopedDialogSeam seam(dialogs);
        ScreenUnderTest s;
        s->rbtLAla->setChecked(true);
        s->btpAla->click();
        const QString wing = keysOf(dialogs.picks.constFirst()).constFirst();
        s->rbtLLeito->setChecked(true);
        s->stLeitos = u"_L1_"_s;
        // running the wing lookup again leaves the bed group alone
        s->btpAla->click();
        QVERIFY(s->rbtLLeito->isChecked());
        QCOMPARE(s->stLeitos, u"_L1_"_s);
        s->btpLeito->click();
        auto db = m_demo.open(u"tst_lookups_wing"_s);
        QCOMPARE(dialogs.picks.last().rows.rows.size(),
                 scalar(db->sql(), u"SELECT COUNT(*) FROM LEITO WHERE CDFILIAL='0001' AND CDALA='%1'"_s.arg(wing)));
        QCOMPARE(s->stAndares, u"T"_s);
    }

    void failedPatientLookupKeepsTheList()
    {
        AnsweringDialogs dialogs;
        ScopedDialogSeam seam(dialogs);
        ScreenUnderTest s;
        s->rbtLPaci->setChecked(true);
        s->stPacientes = u"_000000000001_"_s;
        s->btpPaci->click(); // never connected: the call fails
        QCOMPARE(dialogs.errors.size(), 1);
        QVERIFY(dialogs.picks.isEmpty());
        QCOMPARE(s->stPacientes, u"_000000000001_"_s);
    }

    void confirmCopiesThroughTheScreen()
    {
        AnsweringDialogs dialogs;
        ScopedDialogSeam seam(dialogs);
        ScreenUnderTest s;
        s->show();
        QTRY_VERIFY(s->netCopiaForm.Connected());
        s->depOrigem->SetDate(TestSupport::demoDate());
        s->depDestino->SetDate(TestSupport::demoDate().addDays(3));
        dialogs.messages.clear();
        s->sbtConfirma->click();
        QCOMPARE(dialogs.errors, QStringList());
        QCOMPARE(dialogs.messages.size(), 2);
        QCOMPARE(dialogs.messages.at(0).text, u"Confirma operação?"_s);
        QCOMPARE(dialogs.messages.at(1).text, u"A cópia foi realizada com sucesso."_s);
        auto db = m_demo.open(u"tst_lookups_confirm"_s);
        const QString day = TestSupport::demoDate().addDays(3).toString(u"yyyy-MM-dd"_s);
        QVERIFY(scalar(db->sql(), u"SELECT COUNT(*) FROM SERVINTE WHERE DTSERVINTE LIKE '%1%'"_s.arg(day)) > 0);

        // a request that fails validation says so and copies nothing
        dialogs.messages.clear();
        s->depDestino->SetDate(TestSupport::demoDate());
        s->sbtConfirma->click();
        QCOMPARE(dialogs.errors, QStringList{u"Data origem deve ser menor que a data destino."_s});
        QVERIFY(dialogs.messages.isEmpty());
    }

    // "Cópias realizadas" lists the screen's copy first and undoes it when the question is
    // answered Yes, with a line per service.
    void copiasRealizadasUndoesTheScreensCopy()
    {
        AnsweringDialogs dialogs;
        ScopedDialogSeam seam(dialogs);
        QString statusLine;
        setStatusLineSink([&statusLine](const QString &text) { statusLine = text; });
        const auto unset = qScopeGuard([] { setStatusLineSink({}); });
        {
            ScreenUnderTest s;
            s->show();
            QTRY_VERIFY(s->netCopiaForm.Connected());
            s->depOrigem->SetDate(TestSupport::demoDate());
            s->depDestino->SetDate(TestSupport::demoDate().addDays(5));
            s->sbtConfirma->click();
            QCOMPARE(dialogs.errors, QStringList());
        }
        auto db = m_demo.open(u"tst_lookups_undo"_s);
        const QString count = u"SELECT COUNT(*) FROM SERVINTE WHERE DTSERVINTE LIKE '%1%'"_s.arg(
            TestSupport::demoDate().addDays(5).toString(u"yyyy-MM-dd"_s));
        const int copied = scalar(db->sql(), count);
        QVERIFY(copied > 0);
        // the host's status line says which run did it, and how much
        QVERIFY2(statusLine.startsWith(u"Execução "_s)
                     && statusLine.contains(u": %1 serviços e "_s.arg(formatCount(copied)))
                     && statusLine.endsWith(u"copiados de %1 para %2"_s.arg(TestSupport::demoDate().toString(u"dd/MM"_s),
                                                                          TestSupport::demoDate().addDays(5).toString(u"dd/MM"_s))),
                 qPrintable(statusLine));

        TfrmCopiasRealizadas routine(u"0001"_s);
        routine.show();
        QTRY_VERIFY(routine.grdExecucoes->rowCount() > 0);
        QCOMPARE(routine.grdExecucoes->item(0, 6)->text(), formatCount(copied));
        const qint64 run = routine.grdExecucoes->item(0, 0)->text().toLongLong();

        // the selected run's detail: its mode, filters and a row per service, with the patient's name
        QVERIFY2(routine.lblDetalhe->text().contains(u"Modo: enteral/parenteral."_s)
                     && routine.lblDetalhe->text().contains(u"Pacientes: todos."_s),
                 qPrintable(routine.lblDetalhe->text()));
        QCOMPARE(routine.grdServicos->rowCount(), copied);
        QStringList names;
        for (int row = 0; row < copied; ++row)
            names << routine.grdServicos->item(row, 2)->text();
        QVERIFY(std::none_of(names.cbegin(), names.cend(), [](const QString &name) { return name.isEmpty(); }));
        // exported to CSV and read back: every service, the names with their accents
        QTemporaryDir dir;
        dialogs.saveAnswer = dir.filePath(u"execução.csv"_s);
        routine.sbtExportar->click();
        QFile csv(*dialogs.saveAnswer);
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QByteArray bytes = csv.readAll();
        QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
        const QStringList rows = QString::fromUtf8(bytes.mid(3)).split(u"\r\n"_s, Qt::SkipEmptyParts);
        QCOMPARE(rows.size(), copied + 1);
        QCOMPARE(rows.constFirst().split(u';').at(2), u"Nome do paciente"_s);
        for (int row = 0; row < copied; ++row)
            QCOMPARE(rows.at(row + 1).split(u';').at(2), names.at(row));
        QVERIFY(names.join(QString()).contains(QRegularExpression(u"[À-ú]"_s)));
        // printed on the PDF printer
        dialogs.answerPrinter = [&dir](QPrinter &printer) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(dir.filePath(u"execução.pdf"_s));
            return true;
        };
        routine.sbtImprimir->click();
        QCOMPARE(dialogs.errors, QStringList());
        QFile pdf(dir.filePath(u"execução.pdf"_s));
        QVERIFY(pdf.open(QIODevice::ReadOnly) && pdf.read(5) == "%PDF-");

        dialogs.messages.clear();
        dialogs.answerMessage = [](const MessageRequest &) { return mrNo; };
        routine.sbtDesfazer->click();
        QCOMPARE(dialogs.messages.size(), 1);
        QCOMPARE(dialogs.messages.constFirst().text, RunTexts::undoQuestion(run));
        QCOMPARE(scalar(db->sql(), count), copied);

        dialogs.answerMessage = [](const MessageRequest &) { return mrYes; };
        // while the undo runs, a dialog says how many services it has to undo
        QString undoing;
        dialogs.onShowBusy = [&routine, &undoing](QObject *, int) {
            if (const auto *shown = routine.findChild<QProgressDialog *>(u"dlgDesfazendo"_s))
                undoing = shown->labelText();
        };
        routine.sbtDesfazer->click();
        QCOMPARE(undoing, u"Desfazendo a execução %1: %2 serviços a desfazer..."_s.arg(run).arg(formatCount(copied)));
        QCOMPARE(dialogs.errors, QStringList());
        QCOMPARE(scalar(db->sql(), count), 0);
        QCOMPARE(routine.lstResultado->count(), copied);
        QCOMPARE(dialogs.messages.constLast().text,
                 u"Execução %1: Serviços desfeitos: %2. Não desfeitos: 0."_s.arg(run).arg(formatCount(copied)));
        QVERIFY(routine.grdExecucoes->item(0, 8)->text().contains(u"desfeita"_s));
        // the selection stays on the run, with nothing of it left to undo
        QCOMPARE(routine.grdExecucoes->selectedItems().constFirst()->text().toLongLong(), run);
        QVERIFY(!routine.sbtDesfazer->isEnabled());
    }

    // The application server restarts while the screen sits open: the patient lookup fails
    // clearly while it is down, and works again once it is back, without reopening the screen.
    void lostServerConnectionIsReopened()
    {
        AnsweringDialogs dialogs;
        dialogs.answerPick = [](const AnsweringDialogs::Pick &pick) -> std::optional<QStringList> {
            return keysOf(pick).mid(0, 1);
        };
        ScopedDialogSeam seam(dialogs);
        ScreenUnderTest s;
        s->show();
        QTRY_VERIFY(s->netCopiaForm.Connected());
        s->rbtLPaci->setChecked(true);

        m_server.kill();
        QTRY_VERIFY(!s->netCopiaForm.Connected());
        s->btpPaci->click();
        QCOMPARE(dialogs.errors.size(), 1);
        QVERIFY2(dialogs.errors.constFirst().contains(u"servidor de aplicação"_s), qPrintable(dialogs.errors.constFirst()));
        QVERIFY(dialogs.picks.isEmpty());

        QVERIFY2(m_server.restart(), qPrintable(m_server.errorString()));
        s->btpPaci->click();
        QCOMPARE(dialogs.errors.size(), 1);
        QCOMPARE(dialogs.picks.size(), 1);
        QCOMPARE(s->stPacientes, u"_"_s + keysOf(dialogs.picks.constFirst()).constFirst() + u"_"_s);
    }

private:
    DemoDatabase m_demo;
    TestServer m_server;
};

QTEST_MAIN(TestLookups)
#include "tst_lookups.moc"
