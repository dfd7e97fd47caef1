#include <support/AnsweringDialogs.h>
#include <screen/Cli_Rbx53207.h>
#include <contract/CopyServiceContract.h>
#include <house/DBGeral.h>
#include <support/DemoDatabase.h>
#include "ScreenTestKit.h"
#include <house/FormatText.h>
#include <house/HouseClock.h>
#include <house/HouseSession.h>
#include <house/widgets/TBtnPesquisa.h>
#include <house/widgets/TButtonFlat.h>
#include <house/widgets/TDateEditPlus.h>
#include <support/FaultRelay.h>
#include <protocol/OleDate.h>
#include <house/widgets/StopProgressDialog.h>
#include <support/TestOperators.h>
#include <support/TestServer.h>
#include <house/TextRoutines.h>

#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QApplication>
#include <QMap>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace rbx;

namespace {


QStringList rowsOf(TADOIBQuery &query, const QString &column)
{
    QStringList codes;
    for (query.First(); !query.GetEOF(); query.Next())
        codes.append(query.FieldByName(column).AsString());
    return codes;
}

// Each service of a day with its item count, keyed by patient, service, diet and description:
// a whole copy has the same key and count as its origin.
QMap<QString, int> servicesOfDay(const DemoDatabase &demo, QDate day)
{
    auto database = demo.open(QStringLiteral("screen-copy-check"));
    QSqlQuery query(database->sql());
    const QString sql = QStringLiteral(
        "SELECT S.CDPACIENTE, S.CDSERVFILI, S.CDDIETPAD, S.DSSERVINTE, COUNT(C.CDSEQUCOPR) FROM SERVINTE S "
        "LEFT JOIN CONFESCO C ON C.CDPACIENTE = S.CDPACIENTE AND C.DTSERVINTE = S.DTSERVINTE AND "
        "C.NRSEQUSERV = S.NRSEQUSERV AND C.CDFILIAL = S.CDFILIAL WHERE S.DTSERVINTE = '%1' "
        "GROUP BY S.CDPACIENTE, S.CDSERVFILI, S.CDDIETPAD, S.DSSERVINTE")
                            .arg(TestSupport::dateLiteral(OleDate::fromDate(day)));
    QMap<QString, int> services;
    if (!query.exec(sql))
        services.insert(QStringLiteral("query failed: ") + query.lastError().text(), -1);
    while (query.next()) {
        const QString key = QStringList{query.value(0).toString(), query.value(1).toString(), query.value(2).toString(),
                                        query.value(3).toString()}
                                .join(u'|');
        services.insert(key, query.value(4).toInt());
    }
    return services;
}

// A screen on its first activation against a server, dates set for the demo day to the next.
bool openForCopy(ScreenUnderTest &s, AnsweringDialogs &dialogs, quint16 port)
{
    houseSession().serverPort = port;
    s->show();
    if (!QTest::qWaitFor([&] { return dialogs.busyHidden == 1; }) || !dialogs.errors.isEmpty())
        return false;
    s->depOrigem->SetDate(TestSupport::demoDate());
    s->depDestino->SetDate(TestSupport::demoDate().addDays(1));
    return true;
}

} // namespace

class TestScreen final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        RBX_REQUIRE_TEST_ENGINE();
        QVERIFY2(m_demo.isValid(), qPrintable(m_demo.errorString()));
        QVERIFY2(m_server.start(m_demo.url()), qPrintable(m_server.errorString()));
        dtmDBGeral().SetUrl(m_demo.url());
    }

    void init()
    {
        houseSession().serverHost = m_server.host();
        houseSession().serverPort = m_server.port();
        houseSession().operatorCode = QStringLiteral("ADMIN");
        houseSession().password = TestSupport::TestPassword;
        stFilial = QStringLiteral("0001");
        stTipoForm = QStringLiteral("E");
    }

    // --- layout --------------------------------------------------------------------------

    void controlsStandWhereTheFormPutsThem_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("parent");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QString>("text");
        const auto group = [](const char *name, const char *caption, int left, int top, int width) {
            QTest::newRow(name) << QString::fromLatin1(name) << QStringLiteral("grbDadosRel")
                                << QRect(left, top, width, 70) << QString::fromUtf8(caption);
        };
        group("grpPaciente", "Paciente (Internado)", 6, 7, 130);
        group("grbServico", "Serviço", 134, 7, 110);
        group("grbDieta", "Dieta", 242, 7, 110);
        group("grbAndar", "Andar", 6, 77, 130);
        group("grbAla", "Ala", 134, 77, 110);
        group("grbLeito", "Leito", 242, 77, 110);
        const auto radios = [](const char *box, const char *all, const char *allCaption, const char *list) {
            QTest::newRow(all) << QString::fromLatin1(all) << QString::fromLatin1(box) << QRect(6, 16, 79, 17)
                               << QString::fromLatin1(allCaption);
            QTest::newRow(list) << QString::fromLatin1(list) << QString::fromLatin1(box) << QRect(6, 41, 69, 17)
                                << QStringLiteral("Lista");
        };
        radios("grpPaciente", "rbtTPaci", "Todos", "rbtLPaci");
        radios("grbServico", "rbtTServ", "Todos", "rbtLServ");
        radios("grbDieta", "rbtTDieta", "Todas", "rbtLDieta");
        radios("grbAndar", "rbtTAndar", "Todos", "rbtLAndar");
        radios("grbAla", "rbtTAla", "Todas", "rbtLAla");
        radios("grbLeito", "rbtTLeito", "Todos", "rbtLLeito");
        const auto button = [](const char *box, const char *name, int top) {
            QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(box) << QRect(80, top, 21, 21)
                                << QString();
        };
        button("grpPaciente", "btpPaci", 40);
        button("grbServico", "btpServico", 38);
        button("grbDieta", "btpDieta", 38);
        button("grbAndar", "btpAndar", 38);
        button("grbAla", "btpAla", 38);
        button("grbLeito", "btpLeito", 38);
        QTest::newRow("depOrigem") << QStringLiteral("depOrigem") << QStringLiteral("grbDadosRel")
                                   << QRect(85, 152, 100, 21) << QString();
        QTest::newRow("depDestino") << QStringLiteral("depDestino") << QStringLiteral("grbDadosRel")
                                    << QRect(85, 177, 100, 21) << QString();
        QTest::newRow("grbDadosRel") << QStringLiteral("grbDadosRel") << QStringLiteral("frmCopFormulacao")
                                     << QRect(0, 0, 357, 205) << QString();
        QTest::newRow("panMenu") << QStringLiteral("panMenu") << QStringLiteral("frmCopFormulacao")
                                 << QRect(357, 0, 55, 205) << QString();
    }
    void controlsStandWhereTheFormPutsThem()
    {
        QFETCH(QString, name);
        QFETCH(QString, parent);
        QFETCH(QRect, geometry);
        QFETCH(QString, text);
        ScreenUnderTest s;
        auto *control = s->findChild<QWidget *>(name);
        QVERIFY2(control, qPrintable(name));
        QCOMPARE(control->parentWidget()->objectName(), parent);
        QCOMPARE(control->geometry(), geometry);
        if (auto *box = qobject_cast<QGroupBox *>(control))
            QCOMPARE(box->title(), text);
        else if (auto *radio = qobject_cast<QRadioButton *>(control))
            QCOMPARE(radio->text(), text);
    }

    void frameOfTheScreen()
    {
        ScreenUnderTest s;
        QCOMPARE(s->windowTitle(), QStringLiteral("Copiar Formulação"));
        QCOMPARE(s->size(), QSize(412, 205));
        QCOMPARE(s->pos(), QPoint(208, 159));
        QCOMPARE(s->lblCodTela->text(), QStringLiteral("RBX53207"));
        QCOMPARE(s->lblCodTela->width(), 49);
        QVERIFY(s->panBotoes->parentWidget() == s->panMenu);
        QVERIFY(s->sbtConfirma->parentWidget() == s->panBotoes);
        QCOMPARE(s->Label1->text(), QStringLiteral("Data Origem"));
        QCOMPARE(s->Label1->pos(), QPoint(6, 155));
        QCOMPARE(s->Label2->text(), QStringLiteral("Data Destino"));
        QCOMPARE(s->Label2->pos(), QPoint(6, 180));
        // bold captions and date labels, plain controls inside the groups
        QVERIFY(s->grbDieta->font().bold());
        QVERIFY(!s->rbtTDieta->font().bold());
        QVERIFY(s->Label1->font().bold() && s->Label2->font().bold());
    }

    void groupsStartInAllMode()
    {
        ScreenUnderTest s;
        const QList<std::tuple<QRadioButton *, QRadioButton *, TBtnPesquisa *, TDataSource *>> groups = {
            {s->rbtTPaci, s->rbtLPaci, s->btpPaci, &s->dtsPaciente},
            {s->rbtTServ, s->rbtLServ, s->btpServico, &s->dtsServico},
            {s->rbtTDieta, s->rbtLDieta, s->btpDieta, &s->dtsDieta},
            {s->rbtTAndar, s->rbtLAndar, s->btpAndar, &s->dtsAndar},
            {s->rbtTAla, s->rbtLAla, s->btpAla, &s->dtsAla},
            {s->rbtTLeito, s->rbtLLeito, s->btpLeito, &s->dtsLeito},
        };
        for (const auto &[all, list, button, source] : groups) {
            QVERIFY(all->isChecked());
            QVERIFY(!list->isChecked());
            QVERIFY(!button->isEnabled());
            QCOMPARE(button->toolTip(), QStringLiteral("Pesquisar"));
            QCOMPARE(button->Associate.data(), list);
            QCOMPARE(button->DataSource, source);
            QVERIFY(source->DataSet());
        }
        QCOMPARE(s->btpAndar->Title, QStringLiteral("Paciente"));
        QVERIFY(s->btpPaci->Title.isEmpty());
        for (const QString *list : {&s->stPacientes, &s->stServicos, &s->stDietas, &s->stAndares, &s->stAlas, &s->stLeitos})
            QVERIFY(list->isEmpty());
        QVERIFY(s->depOrigem->IsEmpty() && s->depDestino->IsEmpty());
        QVERIFY(!s->netCopiaForm.Connected());
    }

    void dateEditSettings()
    {
        ScreenUnderTest s;
        for (TDateEditPlus *edit : {s->depOrigem, s->depDestino}) {
            QCOMPARE(edit->palette().color(QPalette::Base), edit->palette().color(QPalette::ToolTipBase));
            QCOMPARE(edit->ValidDateColor, QColor(Qt::blue));
            QVERIFY(!edit->SaveTime);
            QCOMPARE(edit->NomeSemana(),
                     (QStringList{QStringLiteral("Domingo"), QStringLiteral("Segunda"), QStringLiteral("Terça"),
                                  QStringLiteral("Quarta"), QStringLiteral("Quinta"), QStringLiteral("Sexta"),
                                  QStringLiteral("Sábado")}));
        }
    }

    void tabOrderFollowsTheGroups()
    {
        ScreenUnderTest s;
        const QStringList expected = {
            QStringLiteral("rbtTPaci"),  QStringLiteral("rbtLPaci"),   QStringLiteral("btpPaci"),
            QStringLiteral("rbtTServ"),  QStringLiteral("rbtLServ"),   QStringLiteral("btpServico"),
            QStringLiteral("rbtTDieta"), QStringLiteral("rbtLDieta"),  QStringLiteral("btpDieta"),
            QStringLiteral("rbtTAndar"), QStringLiteral("rbtLAndar"),  QStringLiteral("btpAndar"),
            QStringLiteral("rbtTAla"),   QStringLiteral("rbtLAla"),    QStringLiteral("btpAla"),
            QStringLiteral("rbtTLeito"), QStringLiteral("rbtLLeito"),  QStringLiteral("btpLeito"),
            QStringLiteral("depOrigem"), QStringLiteral("depDestino"), QStringLiteral("sbtConfirma")};
        QStringList chain;
        QWidget *widget = s->rbtTPaci;
        do {
            if (expected.contains(widget->objectName()))
                chain.append(widget->objectName());
            widget = widget->nextInFocusChain();
        } while (widget != s->rbtTPaci && chain.size() < expected.size());
        QCOMPARE(chain, expected);
    }

    // --- catalog, queries, record sets, connection ---------------------------------------------

    void catalogTexts_data()
    {
        QTest::addColumn<QString>("tipoForm");
        QTest::addColumn<QString>("servico");
        QTest::addColumn<QString>("dieta");
        QTest::newRow("lactário") << QStringLiteral("N") << QStringLiteral("Não existe servico lactário cadastrado.")
                                  << QStringLiteral("Não existe dieta lactário cadastrada.");
        QTest::newRow("lower-case n") << QStringLiteral("n")
                                      << QStringLiteral("Não existe servico enteral/parenteral cadastrado.")
                                      << QStringLiteral("Não existe dieta enteral/parenteral cadastrada.");
    }
    void catalogTexts()
    {
        QFETCH(QString, tipoForm);
        QFETCH(QString, servico);
        QFETCH(QString, dieta);
        ScreenUnderTest s;
        const QString mode = s->msgPadrao.Msg(ModoLactario(tipoForm) ? QStringLiteral("Lac") : QStringLiteral("Ent"));
        QCOMPARE(Format(s->msgPadrao.Msg(QStringLiteral("Servico_NCad")), {mode}), servico);
        QCOMPARE(Format(s->msgPadrao.Msg(QStringLiteral("Dieta_NCad")), {mode}), dieta);
        QCOMPARE(s->msgPadrao.Msg(QStringLiteral("Oper_Per")),
                 QStringLiteral("Operador não está cadastrado como nutricionista."));
        QVERIFY(s->msgPadrao.Contains(QStringLiteral("Leito_Cad")));
        QVERIFY(!s->msgPadrao.Contains(QStringLiteral("Leito_NCad")));
    }

    void queryDeclarations_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QStringList>("params");
        QTest::addColumn<QStringList>("columns");
        QTest::addColumn<QList<int>>("widths");
        QTest::addColumn<QList<int>>("displayWidths");
        QTest::newRow("qryServico") << QStringLiteral("qryServico")
                                    << QStringList{QStringLiteral("P_CDFILIAL"), QStringLiteral("P_TPSERV")}
                                    << QStringList{QStringLiteral("CDSERVFILI"), QStringLiteral("NMSERVICO")}
                                    << QList<int>{5, 40} << QList<int>{5, 40};
        QTest::newRow("qryDieta") << QStringLiteral("qryDieta")
                                  << QStringList{QStringLiteral("P_CDSERVFILI"), QStringLiteral("P_CDFILIAL"),
                                                 QStringLiteral("P_IDFORMDIET")}
                                  << QStringList{QStringLiteral("CDDIETPAD"), QStringLiteral("DSDIETPAD")}
                                  << QList<int>{4, 50} << QList<int>{5, 45};
        QTest::newRow("qryAndar") << QStringLiteral("qryAndar") << QStringList{QStringLiteral("P_CDFILIAL")}
                                  << QStringList{QStringLiteral("CDANDAR"), QStringLiteral("NMANDAR")}
                                  << QList<int>{0, 40} << QList<int>{18, 35};
        QTest::newRow("qryAla") << QStringLiteral("qryAla") << QStringList{QStringLiteral("P_CDFILIAL")}
                                << QStringList{QStringLiteral("CDALA"), QStringLiteral("NMALA")}
                                << QList<int>{12, 40} << QList<int>{12, 40};
        QTest::newRow("qryLeito") << QStringLiteral("qryLeito")
                                  << QStringList{QStringLiteral("P_CDALA"), QStringLiteral("P_CDANDAR"),
                                                 QStringLiteral("P_TCDALA"), QStringLiteral("P_TCDANDAR"),
                                                 QStringLiteral("P_CDFILIAL")}
                                  << QStringList{QStringLiteral("CDLEITO"), QStringLiteral("NMLEITO")}
                                  << QList<int>{12, 40} << QList<int>{12, 40};
    }
    void queryDeclarations()
    {
        QFETCH(QString, query);
        QFETCH(QStringList, params);
        QFETCH(QStringList, columns);
        QFETCH(QList<int>, widths);
        QFETCH(QList<int>, displayWidths);
        ScreenUnderTest s;
        TADOIBQuery *q = queryNamed(*s.screen, query);
        QStringList declared;
        for (const auto &param : q->Params())
            declared.append(param->Name());
        QCOMPARE(declared, params);
        const QList<TADOIBStringField *> fields = q->Fields();
        QCOMPARE(fields.size(), columns.size());
        for (qsizetype i = 0; i < fields.size(); ++i) {
            QCOMPARE(fields.at(i)->FieldName(), columns.at(i));
            QCOMPARE(fields.at(i)->Name(), query + columns.at(i));
            QCOMPARE(fields.at(i)->Size(), widths.at(i));
            QCOMPARE(fields.at(i)->DisplayWidth(), displayWidths.at(i));
            QCOMPARE(fields.at(i)->Required(), i == 0);
        }
        QCOMPARE(fields.at(0)->DisplayLabel(), QStringLiteral("Código"));
    }

    void storedTextsKeepTheirBlankLines()
    {
        ScreenUnderTest s;
        QCOMPARE(s->qryAndar.SQL.size(), 6);
        QCOMPARE(s->qryAndar.SQL.last(), QStringLiteral(" "));
        QCOMPARE(s->qryLeito.SQL, (QStringList{QString(), QStringLiteral(" ")}));
        QCOMPARE(s->qryLeito.SQL_IB.size(), 8);
        QCOMPARE(s->qryLeito.SQL_ORACLE.size(), 6);
        QCOMPARE(s->qryDieta.SQL, s->qryDieta.SQL_IB);
        QVERIFY(s->qryDieta.SQL_MSSQL.at(3).contains(QStringLiteral("CHARINDEX('_'+S.CDSERVFILI+'_',:P_CDSERVFILI)")));
        QCOMPARE(s->qryServico.SQL_ORACLE, s->qryServico.SQL_MSSQL);
    }

    // The Oracle texts are what runs on SQLite: each must run on the real schema and find what
    // the tables hold.
    void lookupQueriesRunOnTheDemoDatabase()
    {
        ScreenUnderTest s;
        auto db = m_demo.open(QStringLiteral("tst_screen_check"));
        QSqlDatabase &sql = db->sql();

        s->qryServico.ParamByName(QStringLiteral("P_CDFILIAL")).SetAsString(QStringLiteral("0001"));
        s->qryServico.ParamByName(QStringLiteral("P_TPSERV")).SetAsString(QStringLiteral("1"));
        s->qryServico.Open();
        const QStringList services = rowsOf(s->qryServico, QStringLiteral("CDSERVFILI"));
        QVERIFY(!services.isEmpty());
        QCOMPARE(services.size(),
                 scalar(sql, QStringLiteral("SELECT COUNT(*) FROM SERVICO WHERE CDFILIAL='0001' AND IDTPSERVHOSP='1'")));

        s->qryDieta.ParamByName(QStringLiteral("P_CDFILIAL")).SetAsString(QStringLiteral("0001"));
        s->qryDieta.ParamByName(QStringLiteral("P_CDSERVFILI")).SetAsString(u'_' + services.join(QStringLiteral("__")) + u'_');
        s->qryDieta.ParamByName(QStringLiteral("P_IDFORMDIET")).SetAsString(QStringLiteral("2"));
        s->qryDieta.Open();
        QVERIFY(!s->qryDieta.IsEmpty());
        s->qryDieta.Close();
        s->qryDieta.ParamByName(QStringLiteral("P_CDSERVFILI")).SetAsString(QString());
        s->qryDieta.Open();
        QVERIFY(s->qryDieta.IsEmpty());

        for (TADOIBQuery *q : {&s->qryAndar, &s->qryAla}) {
            q->ParamByName(QStringLiteral("P_CDFILIAL")).SetAsString(QStringLiteral("0001"));
            q->Open();
            QVERIFY(!q->IsEmpty());
        }
        QCOMPARE(int(s->qryAndar.RecordCount()), scalar(sql, QStringLiteral("SELECT COUNT(*) FROM ANDAR WHERE CDFILIAL='0001'")));

        const auto beds = [&](const QString &alas, const QString &tAla, const QString &andares, const QString &tAndar) {
            s->qryLeito.Close();
            s->qryLeito.ParamByName(QStringLiteral("P_CDALA")).SetAsString(alas);
            s->qryLeito.ParamByName(QStringLiteral("P_TCDALA")).SetAsString(tAla);
            s->qryLeito.ParamByName(QStringLiteral("P_CDANDAR")).SetAsString(andares);
            s->qryLeito.ParamByName(QStringLiteral("P_TCDANDAR")).SetAsString(tAndar);
            s->qryLeito.ParamByName(QStringLiteral("P_CDFILIAL")).SetAsString(QStringLiteral("0001"));
            s->qryLeito.Open();
            return int(s->qryLeito.RecordCount());
        };
        const QString T = QStringLiteral("T"), X = QStringLiteral("X");
        QCOMPARE(beds(T, T, T, T), scalar(sql, QStringLiteral("SELECT COUNT(*) FROM LEITO WHERE CDFILIAL='0001'")));
        QCOMPARE(beds(QString(), X, T, T), 0);
        const QString floor = rowsOf(s->qryAndar, QStringLiteral("CDANDAR")).constFirst();
        QCOMPARE(beds(T, T, u'_' + floor + u'_', X),
                 scalar(sql, QStringLiteral("SELECT COUNT(*) FROM LEITO WHERE CDFILIAL='0001' AND CDANDAR='%1'").arg(floor)));
    }

    void recordSetsFollowTheServiceLayouts()
    {
        ScreenUnderTest s;
        const QList<std::pair<TClientDataSet *, const QList<CopyService::FieldLayout> *>> sets = {
            {&s->cdsNutricio, &CopyService::nutricioLayout()},   {&s->cdsPaciente, &CopyService::pacienteLayout()},
            {&s->cdsServInte, &CopyService::servInteLayout()},   {&s->cdsNrServInte, &CopyService::nrServInteLayout()},
            {&s->cdsNrConfesco, &CopyService::nrConfescoLayout()}, {&s->cdsConfesco, &CopyService::confescoLayout()},
        };
        for (const auto &[cds, layout] : sets) {
            const QList<TField *> fields = cds->Fields();
            QCOMPARE(fields.size(), layout->size());
            for (qsizetype i = 0; i < fields.size(); ++i) {
                QCOMPARE(fields.at(i)->FieldName(), layout->at(i).name);
                QCOMPARE(fields.at(i)->Size(), layout->at(i).size);
            }
        }
        QCOMPARE(s->netCopiaForm.ServerName, QStringLiteral("Rbx53207.rdmCopiaForm"));
    }

    void beforeConnectReadsTheSessionEachTime()
    {
        ScreenUnderTest s;
        houseSession().serverHost = QStringLiteral("127.0.0.1");
        houseSession().serverPort = 4711;
        houseSession().token = QStringLiteral("segredo");
        s->netCopiaForm.BeforeConnect(s->netCopiaForm);
        QCOMPARE(s->netCopiaForm.Host, QStringLiteral("127.0.0.1"));
        QCOMPARE(s->netCopiaForm.Port, 4711);
        QCOMPARE(s->netCopiaForm.Token, QStringLiteral("segredo"));
        houseSession().serverPort = 4712;
        s->netCopiaForm.BeforeConnect(s->netCopiaForm);
        QCOMPARE(s->netCopiaForm.Port, 4712);
        houseSession().token.clear();
    }

    // --- filter group toggles ----------------------------------------------------------------

    void toggleEmptiesTheListAndFollowsTheListRadio()
    {
        ScreenUnderTest s;
        const QList<std::tuple<QRadioButton *, QRadioButton *, TBtnPesquisa *, QString *>> groups = {
            {s->rbtTPaci, s->rbtLPaci, s->btpPaci, &s->stPacientes},
            {s->rbtTServ, s->rbtLServ, s->btpServico, &s->stServicos},
            {s->rbtTDieta, s->rbtLDieta, s->btpDieta, &s->stDietas},
            {s->rbtTAndar, s->rbtLAndar, s->btpAndar, &s->stAndares},
            {s->rbtTAla, s->rbtLAla, s->btpAla, &s->stAlas},
            {s->rbtTLeito, s->rbtLLeito, s->btpLeito, &s->stLeitos},
        };
        for (const auto &[all, list, button, selection] : groups) {
            *selection = QStringLiteral("_X_");
            list->setChecked(true);
            QVERIFY(button->isEnabled());
            QVERIFY(selection->isEmpty());
            *selection = QStringLiteral("_Y_");
            list->setChecked(true); // already selected: nothing runs
            QCOMPARE(*selection, QStringLiteral("_Y_"));
            all->setChecked(true);
            QVERIFY(!button->isEnabled());
            QVERIFY(selection->isEmpty());
        }
    }

    void floorOrWingChangePutsBedsBackToAll_data()
    {
        QTest::addColumn<QString>("radio");
        QTest::newRow("floor to list") << QStringLiteral("rbtLAndar");
        QTest::newRow("wing to list") << QStringLiteral("rbtLAla");
    }
    void floorOrWingChangePutsBedsBackToAll()
    {
        QFETCH(QString, radio);
        ScreenUnderTest s;
        auto *to = s->findChild<QRadioButton *>(radio);
        auto *back = s->findChild<QRadioButton *>(QString(radio).replace(3, 1, u'T'));
        for (QRadioButton *change : {to, back}) {
            s->rbtLLeito->setChecked(true);
            s->stLeitos = QStringLiteral("_L1_");
            change->setChecked(true);
            QVERIFY(s->rbtTLeito->isChecked());
            QVERIFY(s->stLeitos.isEmpty());
            QVERIFY(!s->btpLeito->isEnabled());
        }
    }

    // --- first activation against the real server ------------------------------------------------

    void firstActivationOffersYesterdayAndToday_data()
    {
        QTest::addColumn<QDate>("today");
        QTest::addColumn<QString>("origin");
        QTest::addColumn<QString>("destination");
        QTest::newRow("leap year") << QDate(2024, 3, 1) << QStringLiteral("29/02/2024") << QStringLiteral("01/03/2024");
        QTest::newRow("common year") << QDate(2023, 3, 1) << QStringLiteral("28/02/2023") << QStringLiteral("01/03/2023");
        QTest::newRow("new year") << QDate(2025, 1, 1) << QStringLiteral("31/12/2024") << QStringLiteral("01/01/2025");
    }
    void firstActivationOffersYesterdayAndToday()
    {
        QFETCH(QDate, today);
        QFETCH(QString, origin);
        QFETCH(QString, destination);
        AnsweringDialogs dialogs;
        ScopedDialogSeam seam(dialogs);
        ScopedToday clock(today);
        ScreenUnderTest s;
        QVERIFY(boPrimVez);
        s->stPacientes = QStringLiteral("_P_");
        s->stLeitos = QStringLiteral("_L_");
        bool connectedWhileBusy = false;
        dialogs.onShowBusy = [&](QObject *, int) { connectedWhileBusy = s->netCopiaForm.Connected(); };

        s->show();
        QTRY_COMPARE(dialogs.busyHidden, 1);
        QVERIFY2(dialogs.errors.isEmpty(), qPrintable(dialogs.errors.join(u'\n')));
        QCOMPARE(dialogs.busyShown, 1);
        QCOMPARE(dialogs.busyKinds, QList<int>{0});
        QVERIFY(!connectedWhileBusy); // shown before connecting
        QVERIFY(!boPrimVez);
        QVERIFY(s->netCopiaForm.Connected());
        QVERIFY(!s->cdsNutricio.IsEmpty());
        QCOMPARE(s->depOrigem->Text(), origin);
        QCOMPARE(s->depDestino->Text(), destination);
        QCOMPARE(s->findChild<QLabel *>(QStringLiteral("depDestinoNomeSemana"))->text(),
                 s->depDestino->NomeSemana().at(today.dayOfWeek() % 7));
        QVERIFY(s->stPacientes.isEmpty() && s->stLeitos.isEmpty());

        // Later activations only repaint: dates, lists and filters stay as the user left them.
        s->rbtLDieta->setChecked(true);
        s->stDietas = QStringLiteral("_D1_");
        s->depOrigem->SetDate(QDate(2020, 5, 5));
        ScopedToday later(today.addDays(10));
        QWidget other;
        other.show();
        other.activateWindow();
        QTRY_VERIFY(!s->isActiveWindow());
        s->activateWindow();
        QTRY_VERIFY(s->isActiveWindow());
        s->FormActivate();
        QCOMPARE(dialogs.busyShown, 1);
        QCOMPARE(s->depOrigem->Text(), QStringLiteral("05/05/2020"));
        QCOMPARE(s->depDestino->Text(), destination);
        QCOMPARE(s->stDietas, QStringLiteral("_D1_"));
        QVERIFY(s->rbtLDieta->isChecked());

        // Closing runs the base form's close, then disconnects.
        s->Close();
        QVERIFY(!s->netCopiaForm.Connected());
    }

    void operatorWhoIsNoNutritionistIsTurnedAway()
    {
        AnsweringDialogs dialogs;
        ScopedDialogSeam seam(dialogs);
        ScopedToday clock(QDate(2024, 3, 1));
        houseSession().operatorCode = QStringLiteral("VISITA");
        ScreenUnderTest s;
        QPointer<TfrmCopFormulacao> screen = s.screen;
        bool visibleWhenShown = true;
        QString originWhenShown = QStringLiteral("?");
        dialogs.onError = [&](const QString &) {
            visibleWhenShown = screen && screen->isVisible();
            originWhenShown = screen ? screen->depOrigem->Text() : QString();
        };
        s->show();
        QTRY_COMPARE(dialogs.errors.size(), 1);
        QCOMPARE(dialogs.errors.constFirst(), QStringLiteral("Operador não está cadastrado como nutricionista."));
        QCOMPARE(dialogs.busyShown, 1);
        QCOMPARE(dialogs.busyHidden, 1);
        QVERIFY(!visibleWhenShown); // closed before the error is shown
        QVERIFY(EmptyString(originWhenShown));
        QTRY_VERIFY(screen.isNull()); // the closed screen is freed
    }

    void unreachableServerLeavesTheScreenOpen()
    {
        AnsweringDialogs dialogs;
        ScopedDialogSeam seam(dialogs);
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        const quint16 closedPort = probe.serverPort();
        probe.close();
        houseSession().serverPort = closedPort;
        ScreenUnderTest s;
        s->show();
        QTRY_COMPARE(dialogs.errors.size(), 1);
        QVERIFY2(dialogs.errors.constFirst().contains(QStringLiteral("127.0.0.1:%1").arg(closedPort)),
                 qPrintable(dialogs.errors.constFirst()));
        QCOMPARE(dialogs.busyShown, 1);
        QCOMPARE(dialogs.busyDepth, 0);
        QVERIFY(s->isVisible());
        QVERIFY(!boPrimVez);
        QVERIFY(s->depOrigem->IsEmpty() && s->depDestino->IsEmpty());

        // The check is not retried, even once the server can be reached.
        houseSession().serverPort = m_server.port();
        s->FormActivate();
        QCOMPARE(dialogs.busyShown, 1);
        QVERIFY(!s->netCopiaForm.Connected());
        QVERIFY(s->depOrigem->IsEmpty());
    }

    // --- the copy from the screen against the real server -------------------------------------

    // Enter on the focused Confirm presses it, as Space does: the question comes, and No copies
    // nothing.
    void enterPressesTheFocusedConfirm()
    {
        AnsweringDialogs dialogs;
        dialogs.answerMessage = [](const MessageRequest &) { return mrNo; };
        ScopedDialogSeam seam(dialogs);
        ScreenUnderTest s;
        QVERIFY(openForCopy(s, dialogs, m_server.port()));
        s->sbtConfirma->setFocus();
        QTest::keyClick(s->sbtConfirma, Qt::Key_Return);
        QCOMPARE(dialogs.messages.size(), 1);
        QCOMPARE(dialogs.messages.constFirst().kind, mtConfirmation);
        QTest::keyClick(s->sbtConfirma, Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(dialogs.messages.size(), 2);
    }

    // While the copy runs the screen shows its progress; "Interromper" stops it after the
    // copies under way, each of them whole, and the run says how far it got.
    void progressDialogStopsTheRunWithWholeServices()
    {
        // more services than the run keeps in flight, so that the stop leaves some uncopied
        DemoDatabase demo(TestSupport::demoOptions(400));
        QVERIFY2(demo.isValid(), qPrintable(demo.errorString()));
        TestServer server;
        QVERIFY2(server.start(demo.url()), qPrintable(server.errorString()));
        const QMap<QString, int> origin = servicesOfDay(demo, TestSupport::demoDate());
        QVERIFY(servicesOfDay(demo, TestSupport::demoDate().addDays(1)).isEmpty());
        AnsweringDialogs dialogs;
        ScopedDialogSeam seam(dialogs);
        ScreenUnderTest s;
        QVERIFY(openForCopy(s, dialogs, server.port()));

        // as a person would: watch the dialog, then stop once a few services are copied
        QString shown;
        bool windowModal = false;
        Qt::CursorShape screenCursor = Qt::ArrowCursor;
        bool stopped = false;
        QTimer watch;
        connect(&watch, &QTimer::timeout, this, [&] {
            auto *progress = qobject_cast<StopProgressDialog *>(QApplication::activeModalWidget());
            if (stopped || !progress || progress->bar()->value() < 3)
                return;
            stopped = true;
            shown = progress->label()->text();
            windowModal = progress->isModal() && progress->parentWidget() == s.screen;
            screenCursor = s->cursor().shape();
            QTest::mouseClick(progress->stopButton(), Qt::LeftButton);
        });
        watch.start();
        QTest::mouseClick(s->sbtConfirma, Qt::LeftButton);
        watch.stop();

        QVERIFY(stopped);
        static const QRegularExpression copying(QStringLiteral("^Copiando serviço [\\d.]+ de [\\d.]+…$"));
        QVERIFY2(copying.match(shown).hasMatch(), qPrintable(shown));
        QVERIFY(windowModal);
        QCOMPARE(screenCursor, Qt::WaitCursor);
        QVERIFY2(dialogs.errors.isEmpty(), qPrintable(dialogs.errors.join(u'\n')));
        QVERIFY(!s->findChild<StopProgressDialog *>()); // gone with the run
        QCOMPARE(s->cursor().shape(), Qt::ArrowCursor);

        // no "Cop_Suces": the run ended with what it copied
        QCOMPARE(dialogs.messages.size(), 2);
        const QString report = dialogs.messages.constLast().text;
        static const QRegularExpression interrupted(
            QStringLiteral("^Cópia interrompida: ([\\d.]+) de ([\\d.]+) serviços copiados, com ([\\d.]+) itens"));
        const QRegularExpressionMatch counts = interrupted.match(report);
        QVERIFY2(counts.hasMatch(), qPrintable(report));
        const auto count = [&counts](int n) { return counts.captured(n).remove(u'.').toInt(); };

        const QMap<QString, int> copied = servicesOfDay(demo, TestSupport::demoDate().addDays(1));
        QCOMPARE(copied.size(), count(1));
        QVERIFY2(count(1) >= 3 && count(1) < count(2), qPrintable(report));
        int items = 0;
        for (auto it = copied.cbegin(); it != copied.cend(); ++it) {
            QVERIFY2(origin.contains(it.key()), qPrintable(it.key()));
            QCOMPARE(it.value(), origin.value(it.key())); // every item of the service
            items += it.value();
        }
        QCOMPARE(items, count(3));
    }

    // A run that fails says how many services it copied before, and that the same copy may run
    // again.
    void failedRunSaysWhatItCopied()
    {
        DemoDatabase demo;
        QVERIFY2(demo.isValid(), qPrintable(demo.errorString()));
        TestServer server;
        TestServerOptions classic; // call by call, so that the relay can fail one service's insert
        classic.extraArguments = {QStringLiteral("--classic-methods")};
        QVERIFY2(server.start(demo.url(), classic), qPrintable(server.errorString()));
        FaultRelay relay(server.host(), server.port(), QStringLiteral("InsServInte"), 3);
        AnsweringDialogs dialogs;
        ScopedDialogSeam seam(dialogs);
        ScreenUnderTest s;
        QVERIFY(openForCopy(s, dialogs, relay.port()));

        QTest::mouseClick(s->sbtConfirma, Qt::LeftButton);
        QCOMPARE(dialogs.errors.size(), 1);
        const QString error = dialogs.errors.constFirst();
        const QMap<QString, int> copied = servicesOfDay(demo, TestSupport::demoDate().addDays(1));
        QCOMPARE(copied.size(), 2);
        int items = 0;
        for (const int serviceItems : copied)
            items += serviceItems;
        QVERIFY2(error.startsWith(FaultRelay::failureMessage()), qPrintable(error));
        QVERIFY2(error.contains(QStringLiteral("Serviços copiados antes da falha: 2 (%1 itens)").arg(items)),
                 qPrintable(error));
        QVERIFY2(error.contains(QStringLiteral("Executar a mesma cópia novamente é seguro")), qPrintable(error));
        QVERIFY(!s->findChild<StopProgressDialog *>());
        QCOMPARE(dialogs.messages.size(), 1); // the question; no "Cop_Suces"
    }

private:
    static TADOIBQuery *queryNamed(TfrmCopFormulacao &screen, const QString &name)
    {
        for (TADOIBQuery *q : {&screen.qryServico, &screen.qryDieta, &screen.qryAndar, &screen.qryAla, &screen.qryLeito}) {
            if (q->Name() == name)
                return q;
        }
        return nullptr;
    }

    DemoDatabase m_demo;
    TestServer m_server;
};

QTEST_MAIN(TestScreen)
#include "tst_screen.moc"
