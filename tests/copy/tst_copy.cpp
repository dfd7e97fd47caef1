#include "CopyTestKit.h"
#include <copy/CopyWindow.h>

#include <QLocale>
#include <QSet>
#include <QTest>

using namespace rbx;

using namespace Qt::StringLiterals;

namespace {

const QDate Origem(2026, 5, 7);
const QDate Destino(2026, 5, 8);
const QString FormOrigem = u"07/05/2026"_s;
const QString FormDestino = u"08/05/2026"_s;

double ole(QDate date) { return OleDate::fromDate(date); }
double ole(QDate date, QTime time) { return OleDate::fromDateTime(QDateTime(date, time)); }

FakeCopyService::Row serviceRow(const QString &paciente, const QString &sequencia)
{
    return {{u"CDPACIENTE"_s, paciente},    {u"DTSERVINTE"_s, ole(Origem)},  {u"NRSEQUSERV"_s, sequencia},
            {u"CDFILIAL"_s, u"0002"_s},     {u"CDSERVFILI"_s, u"00007"_s},   {u"CDDIETPAD"_s, u"0031"_s},
            {u"NRACOMPANA"_s, u"0001"_s},   {u"STPACIACOM"_s, u"P"_s},       {u"IDIMPRSERV"_s, u"S"_s},
            {u"IDTIPOSERINT"_s, u"1"_s},    {u"IDRESTSERIN"_s, u"N"_s},      {u"CDDIETGRUPSI"_s, u"0004"_s},
            {u"CDNUTRICIO"_s, u"077"_s},    {u"DTINTERNA"_s, ole(QDate(2026, 4, 30), QTime(14, 30))},
            {u"DSSERVINTE"_s, u"Dieta enteral — infusão contínua, não interromper"_s},
            {u"NRSERVPESO"_s, 72.5}};
}

FakeCopyService::Row itemRow(const QString &paciente, const QString &prato, const QVariant &consumo)
{
    return {{u"CDPACIENTE"_s, paciente},  {u"DTSERVINTE"_s, ole(Origem)},   {u"NRSEQUSERV"_s, u"01"_s},
            {u"CDSEQUCOPR"_s, u"0001"_s}, {u"CDFILAUXPRAT"_s, u"0002"_s},  {u"CDPRATO"_s, prato},
            {u"QTSERVCONF"_s, 2.0},       {u"QTPRATCONF"_s, 250.5},        {u"QTINFUCONF"_s, 62.5},
            {u"HRCONSCONF"_s, 8.0},       {u"DTCONSCONF"_s, consumo},      {u"CDPRODUTO"_s, u"PRD0000012"_s},
            {u"CDVIACESDIET"_s, u"SNE"_s}, {u"IDPREPCONF"_s, u"S"_s},
            {u"DSOBSCONF"_s, u"Diluir em água; atenção à temperatura"_s}};
}

// Two services of two patients: the first with two items, the second with none.
void twoServices(FakeCopyService &fake)
{
    fake.services = {serviceRow(u"000000000001"_s, u"01"_s), serviceRow(u"000000000002"_s, u"02"_s)};
    fake.items[FakeCopyService::itemsKey(u"000000000001"_s, u"01"_s)] = {
        itemRow(u"000000000001"_s, u"PRATO01"_s, ole(Origem.addDays(1), QTime(8, 0))),
        itemRow(u"000000000001"_s, u"PRATO02"_s, ole(Origem, QTime(22, 15)))};
}

const QStringList ServiceCalls = {u"StartTransaction"_s, u"DelServ"_s,       u"getNrServInte"_s, u"InsServInte"_s,
                                  u"getNrConfesco"_s,    u"getConfesco"_s};

} // namespace

class TestCopy final : public QObject
{
    Q_OBJECT

private slots:
    // The copies in flight follow the link: a run that learns a 20 ms round trip over 0.6 ms of
    // work a copy keeps hundreds in flight, one on the same machine a few dozen, never more than
    // the most; a server that answers at once teaches nothing.
    void copiesInFlightFollowTheLink_data()
    {
        QTest::addColumn<double>("roundTrip");
        QTest::addColumn<double>("work");
        QTest::addColumn<int>("least");
        QTest::addColumn<int>("most");
        QTest::newRow("20 ms link") << 0.020 << 0.0006 << 200 << 400;
        QTest::newRow("same machine") << 0.0001 << 0.0006 << 16 << 32;
        QTest::newRow("satellite") << 0.600 << 0.0006 << int(CopyWindow::Most) << int(CopyWindow::Most);
        QTest::newRow("answers at once") << 0.0 << 0.0 << int(CopyWindow::Initial) << int(CopyWindow::Initial);
    }

    void copiesInFlightFollowTheLink()
    {
        QFETCH(double, roundTrip);
        QFETCH(double, work);
        QFETCH(int, least);
        QFETCH(int, most);
        CopyWindow pace;
        pace.firstAnswered(roundTrip + work);
        // with the first window, each of its rounds costs a round trip besides the copies' work
        const double window = double(pace.size());
        const double rounds = double(CopyWindow::Measured) / window;
        pace.measured(CopyWindow::Measured, rounds * (roundTrip + window * work));
        QVERIFY2(int(pace.size()) >= least && int(pace.size()) <= most, qPrintable(QString::number(pace.size())));
    }

    void initTestCase()
    {
        // NRSERVPESO is read in the locale's notation; pin it so the expected text is stable
        QLocale::setDefault(QLocale::c());
    }

    void catalogHoldsEveryKeyOnce()
    {
        const QStringList &lines = CopyMessages::lines();
        QCOMPARE(lines.size(), 28);
        QSet<QString> keys;
        for (const QString &line : lines) {
            QCOMPARE(line.count(u'|'), 1);
            keys.insert(line.section(u'|', 0, 0));
        }
        QCOMPARE(keys.size(), lines.size());
        QCOMPARE(lines.constFirst(), u"Paciente|Paciente (Internado)"_s);
        QCOMPARE(lines.constLast(), u"Data_Err|Data inválida."_s);
        // the catalog's own spellings
        QCOMPARE(catalogText(u"Servico_NCad"_s), u"Não existe servico %s cadastrado."_s);
        QCOMPARE(catalogText(u"Servico_Inf"_s), u"Serviço deve ser informado."_s);
        QVERIFY(keys.contains(u"Leito_Cad"_s));
        QVERIFY(!keys.contains(u"Leito_NCad"_s));
        QCOMPARE(catalogText(u"Conf_Orig_NExt"_s).toUtf8(),
                 QByteArray("N\xc3\xa3o existe configura\xc3\xa7\xc3\xa3o de origem cadastrada."));
        QVERIFY_THROWS_EXCEPTION(EHouseError, catalogText(u"Sem_Chave"_s));
    }

    void validationStopsAtTheFirstFailure_data()
    {
        QTest::addColumn<QString>("lists");    // per group: L = list radio, - = all radio
        QTest::addColumn<QStringList>("selections");
        QTest::addColumn<QString>("origem");
        QTest::addColumn<QString>("destino");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("focus");
        QTest::addColumn<QStringList>("checkedDates");

        const QStringList none(6);
        const QStringList checkedBoth = {u"depOrigem"_s, u"depDestino"_s};
        QTest::newRow("patient list empty") << u"L-----"_s << none << FormOrigem << FormDestino << u"Paciente_Inf"_s
                                            << u"rbtLPaci"_s << QStringList();
        QTest::newRow("patient and bed lists empty") << u"L----L"_s << none << FormOrigem << FormDestino
                                                     << u"Paciente_Inf"_s << u"rbtLPaci"_s << QStringList();
        QTest::newRow("service list empty") << u"-L----"_s << none << FormOrigem << FormDestino << u"Servico_Inf"_s
                                            << u"rbtLServ"_s << QStringList();
        QTest::newRow("diet list empty") << u"--L---"_s << none << FormOrigem << FormDestino << u"Dieta_Inf"_s
                                         << u"rbtLDieta"_s << QStringList();
        QTest::newRow("floor list empty") << u"---L--"_s << none << FormOrigem << FormDestino << u"Andar_Inf"_s
                                          << u"rbtLAndar"_s << QStringList();
        QTest::newRow("wing list empty") << u"----L-"_s << none << FormOrigem << FormDestino << u"Ala_Inf"_s
                                         << u"rbtLAla"_s << QStringList();
        QTest::newRow("bed list empty, patient list given")
            << u"L----L"_s << QStringList{u"_000000000001_"_s, {}, {}, {}, {}, {}} << FormOrigem << FormDestino
            << u"Leito_Inf"_s << u"rbtLLeito"_s << QStringList();
        QTest::newRow("empty list before empty dates") << u"--L---"_s << none << QString() << QString()
                                                       << u"Dieta_Inf"_s << u"rbtLDieta"_s << QStringList();
        QTest::newRow("both dates empty") << u"------"_s << none << QString() << QString() << u"Data_Origem_Inf"_s
                                          << u"depOrigem"_s << QStringList();
        QTest::newRow("masked edit with nothing typed") << u"------"_s << none << u"  /  /    "_s << FormDestino
                                                        << u"Data_Origem_Inf"_s << u"depOrigem"_s << QStringList();
        QTest::newRow("destination empty, both checked first")
            << u"------"_s << none << FormOrigem << QString() << u"Data_Destino_Inf"_s << u"depDestino"_s
            << checkedBoth;
        QTest::newRow("invalid origin reported before empty destination")
            << u"------"_s << none << u"31/02/2026"_s << QString() << u"Data_Err"_s << QString()
            << QStringList{u"depOrigem"_s};
        QTest::newRow("equal dates") << u"------"_s << none << FormDestino << FormDestino << u"DtOrigem_Menor"_s
                                     << u"depOrigem"_s << checkedBoth;
        QTest::newRow("destination before origin") << u"------"_s << none << FormDestino << FormOrigem
                                                   << u"DtOrigem_Menor"_s << u"depOrigem"_s << checkedBoth;
    }
    void validationStopsAtTheFirstFailure()
    {
        QFETCH(QString, lists);
        QFETCH(QStringList, selections);
        QFETCH(QString, origem);
        QFETCH(QString, destino);
        QFETCH(QString, key);
        QFETCH(QString, focus);
        QFETCH(QStringList, checkedDates);

        CopyHarness h;
        twoServices(h.fake);
        for (std::size_t i = 0; i < 6; ++i) {
            h.form.list[i] = lists.at(qsizetype(i)) == u'L';
            h.form.selections[i] = selections.at(qsizetype(i));
        }
        h.form.origemText = origem;
        h.form.destinoText = destino;
        QString filial = u"0001"_s;
        try {
            h.run(filial);
            QFAIL("the request passed validation");
        } catch (const EValidationError &error) {
            QCOMPARE(error.message(), catalogText(key));
        }
        QCOMPARE(h.form.focus, focus.isEmpty() ? QStringList() : QStringList{focus});
        QCOMPARE(h.form.checkedDates, checkedDates);
        QVERIFY(h.form.shown.isEmpty()); // not even the question
        QVERIFY(h.fake.calls().isEmpty());
    }

    void answeringNoCallsNothing_data()
    {
        QTest::addColumn<int>("answer");
        QTest::newRow("No") << 7;
        QTest::newRow("dialog closed") << 2;
    }
    void answeringNoCallsNothing()
    {
        QFETCH(int, answer);
        CopyHarness h;
        twoServices(h.fake);
        h.form.answer = answer;
        QString filial = u"0001"_s;
        const CopyOutcome outcome = h.run(filial);
        QVERIFY(!outcome.confirmed);
        QCOMPARE(h.form.shown, QStringList{u"Conf_Oper"_s});
        QVERIFY(h.fake.calls().isEmpty());
    }

    void filterAndModeArguments_data()
    {
        QTest::addColumn<QString>("lists");
        QTest::addColumn<QStringList>("selections");
        QTest::addColumn<QString>("tipoForm");
        QTest::addColumn<QStringList>("expected"); // getServInte arguments 3 to 15

        const QStringList none(6);
        const QStringList allMode = {u"&"_s, u"&T"_s, u"&"_s, u"&T"_s, u"&"_s, u"&T"_s,
                                     u"&"_s, u"&T"_s, u"&"_s, u"&T"_s, u"&"_s, u"&T"_s};
        QTest::newRow("all groups in all mode, enteral") << u"------"_s << none << u"E"_s << allMode + QStringList{u"1"_s};
        QTest::newRow("lactário sends 2") << u"------"_s << none << u"N"_s << allMode + QStringList{u"2"_s};
        QTest::newRow("empty form mode sends 1") << u"------"_s << none << QString() << allMode + QStringList{u"1"_s};
        QTest::newRow("lower-case n sends 1") << u"------"_s << none << u"n"_s << allMode + QStringList{u"1"_s};
        QTest::newRow("lists sent unchanged with empty flags")
            << u"LLLLLL"_s
            << QStringList{u"_000000000001__000000000002_"_s, u"_00007_"_s, u"_0031_"_s, u"_01_"_s, u"_A_"_s,
                           u"_101_"_s}
            << u"E"_s
            << QStringList{u"&_000000000001__000000000002_"_s, u"&"_s, u"&_00007_"_s, u"&"_s, u"&_0031_"_s, u"&"_s,
                           u"&_01_"_s, u"&"_s, u"&_A_"_s, u"&"_s, u"&_101_"_s, u"&"_s, u"1"_s};
        QTest::newRow("wing in all mode holding T from the bed lookup")
            << u"L-----"_s << QStringList{u"_000000000001_"_s, {}, {}, u"T"_s, u"T"_s, {}} << u"N"_s
            << QStringList{u"&_000000000001_"_s, u"&"_s, u"&"_s, u"&T"_s, u"&"_s, u"&T"_s, u"&"_s, u"&T"_s,
                           u"&"_s, u"&T"_s, u"&"_s, u"&T"_s, u"2"_s};
    }
    void filterAndModeArguments()
    {
        QFETCH(QString, lists);
        QFETCH(QStringList, selections);
        QFETCH(QString, tipoForm);
        QFETCH(QStringList, expected);

        CopyHarness h;
        for (std::size_t i = 0; i < 6; ++i) {
            h.form.list[i] = lists.at(qsizetype(i)) == u'L';
            h.form.selections[i] = selections.at(qsizetype(i));
        }
        QString filial = u"0001"_s;
        // nothing to copy: the run stops right after getServInte
        QVERIFY_THROWS_EXCEPTION(EValidationError, h.run(filial, tipoForm));
        const QList<FakeCopyService::Call> calls = h.fake.calls();
        QCOMPARE(calls.size(), 1);
        QCOMPARE(calls.at(0).method, u"getServInte"_s);
        const QStringList args = describe(calls.at(0).args);
        QCOMPARE(args.mid(0, 2), (QStringList{u"&0001"_s, u'@' + oleText(Origem)}));
        QCOMPARE(args.mid(2), expected);
    }

    void emptyOriginStopsBeforeAnyWrite()
    {
        CopyHarness h;
        QString filial = u"0001"_s;
        try {
            h.run(filial);
            QFAIL("no error raised");
        } catch (const EValidationError &error) {
            QCOMPARE(error.message(), u"Não existe configuração de origem cadastrada."_s);
        }
        QCOMPARE(h.form.focus, QStringList{u"depOrigem"_s});
        QCOMPARE(h.fake.methods(), QStringList{u"getServInte"_s});
        QCOMPARE(h.form.shown, QStringList{u"Conf_Oper"_s});
    }

    void copiesEachServiceInItsTransaction()
    {
        CopyHarness h;
        twoServices(h.fake);
        h.fake.nrServInte = u"03"_s;
        h.fake.nrConfesco = u"0010"_s;
        QString filial = u"0001"_s;
        QList<CopyProgress> progress;
        const CopyOutcome outcome = h.run(filial, u"E"_s, [&progress](const CopyProgress &p) { progress.append(p); });

        QStringList expected{u"getServInte"_s};
        expected += ServiceCalls;
        expected += QStringList{u"InsConfesco"_s, u"InsConfesco"_s, u"Commit"_s};
        expected += ServiceCalls; // a service without items is still deleted and inserted
        expected += u"Commit"_s;
        QCOMPARE(h.fake.methods(), expected);
        QCOMPARE(h.form.shown, (QStringList{u"Conf_Oper"_s, u"Cop_Suces"_s}));
        QCOMPARE(h.form.dialogs.at(0).first, mtConfirmation);
        QCOMPARE(h.form.dialogs.at(0).second, mbYes | mbNo);
        QCOMPARE(h.form.dialogs.at(1).first, mtInformation);
        QCOMPARE(h.form.dialogs.at(1).second, TMsgDlgButtons(mbYes)); // Yes, not OK
        QVERIFY(outcome.confirmed);
        QCOMPARE(outcome.services, 2);
        QCOMPARE(outcome.items, 2);
        QCOMPARE(progress.size(), 2);
        QCOMPARE(progress.at(0).servicesDone, 1);
        QCOMPARE(progress.at(0).servicesTotal, 2);
        QCOMPARE(progress.at(0).serviceItems, 2);
        QCOMPARE(progress.at(0).nrSequServ, u"04"_s);
        QCOMPARE(progress.at(1).cdPaciente, u"000000000002"_s);
        QCOMPARE(progress.at(1).serviceItems, 0);
        QCOMPARE(progress.at(1).itemsDone, 2);
    }

    void serviceArgumentsComeFromTheServiceRow()
    {
        CopyHarness h;
        twoServices(h.fake);
        FakeCopyService::Row &bare = h.fake.services[1];
        bare.remove(u"NRSERVPESO"_s);
        bare.remove(u"DTINTERNA"_s);
        h.fake.nrServInte = u"03"_s;
        h.fake.nrConfesco = u"0010"_s;
        QString filial = u"0001"_s;
        h.run(filial);

        const QString destino = u'@' + oleText(Destino);
        QCOMPARE(describe(h.fake.callsOf(u"DelServ"_s).at(0).args),
                 (QStringList{u"000000000001"_s, destino, u"0002"_s, u"00007"_s, u"0031"_s}));
        QCOMPARE(describe(h.fake.callsOf(u"getNrServInte"_s).at(0).args),
                 (QStringList{u"000000000001"_s, destino, u"&0001"_s}));
        QCOMPARE(describe(h.fake.callsOf(u"InsServInte"_s).at(0).args),
                 (QStringList{u"000000000001"_s, destino, u"&04"_s, u"0002"_s, u"00007"_s, u"0031"_s, u"0001"_s,
                              u"P"_s, u"S"_s, u"1"_s, u"N"_s, u"OP1"_s, u"0004"_s,
                              u'@' + QString::number(ole(QDate(2026, 4, 30), QTime(14, 30)), 'g', 17),
                              u"Dieta enteral — infusão contínua, não interromper"_s, u"72.5"_s}));
        // a null admission date goes as day 0 and a null weight as empty text
        const QStringList second = describe(h.fake.callsOf(u"InsServInte"_s).at(1).args);
        QCOMPARE(second.at(13), u"@0"_s);
        QCOMPARE(second.at(15), QString());
        QCOMPARE(describe(h.fake.callsOf(u"getNrConfesco"_s).at(0).args),
                 (QStringList{u"000000000001"_s, destino, u"&04"_s, u"&0001"_s}));
        // the origin's key: its own sequence and date
        QCOMPARE(describe(h.fake.callsOf(u"getConfesco"_s).at(0).args),
                 (QStringList{u"000000000001"_s, u"01"_s, u'@' + oleText(Origem), u"&0001"_s}));
        QCOMPARE(describe(h.fake.callsOf(u"getConfesco"_s).at(1).args).at(1), u"02"_s);
    }

    void itemArgumentsComeFromTheItemRow()
    {
        CopyHarness h;
        twoServices(h.fake);
        QList<FakeCopyService::Row> &items = h.fake.items[FakeCopyService::itemsKey(u"000000000001"_s, u"01"_s)];
        items[0][u"CDPACIENTE"_s] = u"000000000099"_s; // the item row's patient is the one sent
        h.fake.nrConfesco = u"0010"_s;
        QString filial = u"0001"_s;
        h.run(filial);

        const QList<FakeCopyService::Call> inserts = h.fake.callsOf(u"InsConfesco"_s);
        QCOMPARE(inserts.size(), 2);
        QStringList first = describe(inserts.at(0).args);
        const Wire::Arg consumption = inserts.at(0).args.at(9);
        QCOMPARE(consumption.kind, Wire::Arg::Kind::Double); // a date-time sent as a plain double
        first[9] = u"(consumo)"_s;
        QCOMPARE(first, (QStringList{u"000000000099"_s, u'@' + oleText(Destino), u"&01"_s, u"&0011"_s, u"0002"_s,
                                     u"PRATO01"_s, u"#2"_s, u"#250.5"_s, u"#8"_s, u"(consumo)"_s, u"PRD0000012"_s,
                                     u"SNE"_s, u"S"_s, u"Diluir em água; atenção à temperatura"_s, u"&0001"_s,
                                     u"#62.5"_s}));
        QCOMPARE(describe(inserts.at(1).args).at(0), u"000000000001"_s);
        QCOMPARE(describe(inserts.at(1).args).at(3), u"&0012"_s);
        QCOMPARE(describe(h.fake.callsOf(u"DelServ"_s).at(0).args).at(0), u"000000000001"_s);
    }

    void consumptionDateMovesWithTheService_data()
    {
        QTest::addColumn<QVariant>("consumo");
        QTest::addColumn<QDateTime>("expected");
        QTest::newRow("one day and eight hours after")
            << QVariant(ole(Origem.addDays(1), QTime(8, 0))) << QDateTime(Destino.addDays(1), QTime(8, 0));
        QTest::newRow("same day with its time") << QVariant(ole(Origem, QTime(22, 15))) << QDateTime(Destino, QTime(22, 15));
        QTest::newRow("the day before at noon")
            << QVariant(ole(Origem.addDays(-1), QTime(12, 0))) << QDateTime(Destino.addDays(-1), QTime(12, 0));
        // not moved to a day of December 1899: it goes as date 0, which the service keeps as none
        QTest::newRow("null date stays without date") << QVariant() << OleDate::toDateTime(0);
    }
    void consumptionDateMovesWithTheService()
    {
        QFETCH(QVariant, consumo);
        QFETCH(QDateTime, expected);
        CopyHarness h;
        h.fake.services = {serviceRow(u"000000000001"_s, u"01"_s)};
        h.fake.items[FakeCopyService::itemsKey(u"000000000001"_s, u"01"_s)] = {
            itemRow(u"000000000001"_s, u"PRATO01"_s, consumo)};
        QString filial = u"0001"_s;
        h.run(filial);
        const Wire::Arg sent = h.fake.callsOf(u"InsConfesco"_s).at(0).args.at(9);
        QCOMPARE(OleDate::toDateTime(sent.number), expected);
    }

    void nullQuantitiesAreSentAsZero()
    {
        CopyHarness h;
        h.fake.services = {serviceRow(u"000000000001"_s, u"01"_s)};
        FakeCopyService::Row item = itemRow(u"000000000001"_s, u"PRATO01"_s, ole(Origem));
        for (const QString &column : {u"QTSERVCONF"_s, u"QTPRATCONF"_s, u"QTINFUCONF"_s, u"HRCONSCONF"_s,
                                      u"CDPRODUTO"_s, u"DSOBSCONF"_s})
            item.remove(column);
        h.fake.items[FakeCopyService::itemsKey(u"000000000001"_s, u"01"_s)] = {item};
        QString filial = u"0001"_s;
        h.run(filial);
        const QStringList sent = describe(h.fake.callsOf(u"InsConfesco"_s).at(0).args);
        QCOMPARE(sent.at(6), u"#0"_s);
        QCOMPARE(sent.at(7), u"#0"_s);
        QCOMPARE(sent.at(8), u"#0"_s);
        QCOMPARE(sent.at(15), u"#0"_s);
        QCOMPARE(sent.at(10), QString());
        QCOMPARE(sent.at(13), QString());
    }

    void byReferenceValuesAreCarriedOn_data()
    {
        QTest::addColumn<QString>("method");
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("left");
        QTest::addColumn<QString>("laterMethod");
        QTest::addColumn<int>("laterOccurrence");
        QTest::addColumn<int>("laterPosition");

        QTest::newRow("getServInte leaves another branch") << u"getServInte"_s << 0 << u"0009"_s << u"getNrServInte"_s << 1 << 2;
        QTest::newRow("getNrServInte leaves another branch") << u"getNrServInte"_s << 2 << u"0009"_s << u"getNrConfesco"_s << 1 << 3;
        QTest::newRow("InsServInte leaves another service sequence")
            << u"InsServInte"_s << 2 << u"07"_s << u"getNrConfesco"_s << 1 << 2;
        QTest::newRow("getNrConfesco leaves another service sequence")
            << u"getNrConfesco"_s << 2 << u"08"_s << u"InsConfesco"_s << 1 << 2;
        QTest::newRow("getNrConfesco leaves another branch")
            << u"getNrConfesco"_s << 3 << u"0009"_s << u"getConfesco"_s << 1 << 3;
        QTest::newRow("getConfesco leaves another branch") << u"getConfesco"_s << 3 << u"0009"_s << u"InsConfesco"_s << 1 << 14;
        QTest::newRow("InsConfesco leaves another service sequence")
            << u"InsConfesco"_s << 2 << u"09"_s << u"InsConfesco"_s << 2 << 2;
        QTest::newRow("InsConfesco leaves another branch")
            << u"InsConfesco"_s << 14 << u"0009"_s << u"InsConfesco"_s << 2 << 14;
        QTest::newRow("the branch reaches the next service")
            << u"InsConfesco"_s << 14 << u"0009"_s << u"getNrServInte"_s << 2 << 2;
    }
    void byReferenceValuesAreCarriedOn()
    {
        QFETCH(QString, method);
        QFETCH(int, position);
        QFETCH(QString, left);
        QFETCH(QString, laterMethod);
        QFETCH(int, laterOccurrence);
        QFETCH(int, laterPosition);

        CopyHarness h;
        twoServices(h.fake);
        h.fake.writeBack[method][1][position] = left;
        QString filial = u"0001"_s;
        h.run(filial);
        const QList<FakeCopyService::Call> laterCalls = h.fake.callsOf(laterMethod);
        QVERIFY(laterCalls.size() >= laterOccurrence);
        const Wire::Arg later = laterCalls.at(laterOccurrence - 1).args.at(laterPosition);
        QVERIFY(later.byRef);
        QCOMPARE(later.text, left);
        if (left == u"0009")
            QCOMPARE(filial, left); // the caller's own branch variable took it
    }

    void itemSequenceContinuesFromWhatTheCallLeft()
    {
        CopyHarness h;
        twoServices(h.fake);
        h.fake.nrConfesco = u"0010"_s;
        h.fake.writeBack[u"InsConfesco"_s][1][3] = u"0020"_s;
        QString filial = u"0001"_s;
        h.run(filial);
        const QList<FakeCopyService::Call> inserts = h.fake.callsOf(u"InsConfesco"_s);
        QCOMPARE(inserts.at(0).args.at(3).text, u"0011"_s);
        QCOMPARE(inserts.at(1).args.at(3).text, u"0021"_s);
    }

    void lastItemNumberedToTheColumnsEndIsCopied()
    {
        CopyHarness h;
        twoServices(h.fake);
        h.fake.nrConfesco = u"9997"_s; // the two items become 9998 and 9999
        QString filial = u"0001"_s;
        const CopyOutcome outcome = h.run(filial);
        QCOMPARE(outcome.items, 2);
        QCOMPARE(h.fake.callsOf(u"InsConfesco"_s).at(1).args.at(3).text, u"9999"_s);
    }

    void sequenceOutOfRangeRollsTheServiceBack_data()
    {
        QTest::addColumn<QString>("nrServInte");
        QTest::addColumn<QString>("nrConfesco");
        QTest::addColumn<QString>("lastBeforeRollback");
        QTest::newRow("service 100") << u"99"_s << u"0000"_s << u"getNrServInte"_s;
        QTest::newRow("item 10000") << u"00"_s << u"9998"_s << u"InsConfesco"_s;
        QTest::newRow("sequence answer not a number") << u"00"_s << u"x"_s << u"getNrConfesco"_s;
    }
    void sequenceOutOfRangeRollsTheServiceBack()
    {
        QFETCH(QString, nrServInte);
        QFETCH(QString, nrConfesco);
        QFETCH(QString, lastBeforeRollback);
        CopyHarness h;
        twoServices(h.fake);
        h.fake.items[FakeCopyService::itemsKey(u"000000000001"_s, u"01"_s)].append(
            itemRow(u"000000000001"_s, u"PRATO03"_s, ole(Origem)));
        h.fake.nrServInte = nrServInte;
        h.fake.nrConfesco = nrConfesco;
        QString filial = u"0001"_s;
        QVERIFY_THROWS_EXCEPTION(EConvertError, h.run(filial));
        const QStringList methods = h.fake.methods();
        QCOMPARE(methods.constLast(), u"Rollback"_s);
        QCOMPARE(methods.at(methods.size() - 2), lastBeforeRollback);
        QVERIFY(!methods.contains(u"Commit"_s));
        QCOMPARE(h.form.shown, QStringList{u"Conf_Oper"_s});
    }

    void failureAtEachStepRollsBackThatServiceOnly_data()
    {
        QTest::addColumn<QString>("method");
        QTest::addColumn<int>("occurrence");
        QTest::addColumn<bool>("rollbackFails");
        QTest::addColumn<bool>("drop");

        // the second service has two items; the first one is committed before any failure
        for (const QString &method : {u"DelServ"_s, u"getNrServInte"_s, u"InsServInte"_s, u"getNrConfesco"_s,
                                      u"getConfesco"_s, u"Commit"_s})
            QTest::addRow("%s", qPrintable(method)) << method << 2 << false << false;
        QTest::newRow("first item") << u"InsConfesco"_s << 3 << false << false;
        QTest::newRow("second item") << u"InsConfesco"_s << 4 << false << false;
        QTest::newRow("second item, Rollback fails too") << u"InsConfesco"_s << 4 << true << false;
        QTest::newRow("connection lost at the second item") << u"InsConfesco"_s << 4 << false << true;
    }
    void failureAtEachStepRollsBackThatServiceOnly()
    {
        QFETCH(QString, method);
        QFETCH(int, occurrence);
        QFETCH(bool, rollbackFails);
        QFETCH(bool, drop);

        CopyHarness h;
        const auto items = [](const QString &paciente) {
            return QList<FakeCopyService::Row>{itemRow(paciente, u"PRATO01"_s, ole(Origem)),
                                               itemRow(paciente, u"PRATO02"_s, ole(Origem))};
        };
        h.fake.services = {serviceRow(u"000000000001"_s, u"01"_s), serviceRow(u"000000000002"_s, u"01"_s),
                           serviceRow(u"000000000003"_s, u"01"_s)};
        h.fake.items[FakeCopyService::itemsKey(u"000000000001"_s, u"01"_s)] = items(u"000000000001"_s);
        h.fake.items[FakeCopyService::itemsKey(u"000000000002"_s, u"01"_s)] = items(u"000000000002"_s);
        h.fake.failMethod = method;
        h.fake.failOccurrence = occurrence;
        h.fake.rollbackFails = rollbackFails;
        h.fake.dropOnFailure = drop;
        QString filial = u"0001"_s;
        try {
            h.run(filial);
            QFAIL("no error raised");
        } catch (const ERemoteError &error) {
            QVERIFY(!drop);
            QCOMPARE(error.code(), Wire::ErrorCode::ServiceFailed);
            QCOMPARE(error.message(), h.fake.failureMessage); // unchanged, not the Rollback's
        } catch (const EConnectionError &) {
            QVERIFY(drop);
        }
        const QStringList methods = h.fake.methods();
        // the first service's calls end in its Commit; nothing of the third service is called
        QCOMPARE(methods.count(u"Commit"_s), method == u"Commit" ? 2 : 1);
        QCOMPARE(methods.count(u"StartTransaction"_s), 2);
        QVERIFY(!describe(h.fake.callsOf(u"DelServ"_s).constLast().args).contains(u"000000000003"_s));
        if (drop) {
            QCOMPARE(methods.constLast(), method); // the lost connection takes the transaction with it
        } else {
            QCOMPARE(methods.constLast(), u"Rollback"_s);
            QCOMPARE(methods.at(methods.size() - 2), method);
        }
        QCOMPARE(h.form.shown, QStringList{u"Conf_Oper"_s});
    }

    // A stop ends the run after the service being copied, and the outcome tells an interrupted
    // run from a completed or a failed one, with what each copied.
    void runEndsCompletedInterruptedOrFailed()
    {
        const auto threeServices = [](FakeCopyService &fake) {
            twoServices(fake);
            fake.services.append(serviceRow(u"000000000003"_s, u"01"_s));
        };
        {
            CopyHarness h;
            threeServices(h.fake);
            FormulationCopy copy(h.form, h.client, h.sets);
            copy.setProgressHandler([&copy](const CopyProgress &) { copy.requestStop(); });
            QString filial = u"0001"_s;
            const CopyOutcome outcome = copy.run(filial, u"E"_s, u"OP1"_s);
            QCOMPARE(outcome.end, CopyEnd::Interrupted);
            QCOMPARE(outcome.services, 1);
            QCOMPARE(outcome.servicesTotal, 3);
            QCOMPARE(outcome.items, 2);
            QCOMPARE(h.fake.methods(), (QStringList{u"getServInte"_s} + ServiceCalls +
                                        QStringList{u"InsConfesco"_s, u"InsConfesco"_s, u"Commit"_s}));
            QCOMPARE(h.form.shown, QStringList{u"Conf_Oper"_s}); // no "Cop_Suces" for a run cut short
        }
        {
            CopyHarness h;
            threeServices(h.fake);
            h.fake.failMethod = u"InsServInte"_s;
            h.fake.failOccurrence = 3;
            FormulationCopy copy(h.form, h.client, h.sets);
            QString filial = u"0001"_s;
            QVERIFY_THROWS_EXCEPTION(ERemoteError, copy.run(filial, u"E"_s, u"OP1"_s));
            QCOMPARE(copy.outcome().end, CopyEnd::Failed);
            QCOMPARE(copy.outcome().services, 2);
            QCOMPARE(copy.outcome().items, 2);
        }
        {
            CopyHarness h;
            threeServices(h.fake);
            QString filial = u"0001"_s;
            const CopyOutcome outcome = h.run(filial);
            QCOMPARE(outcome.end, CopyEnd::Completed);
            QCOMPARE(outcome.services, 3);
        }
    }

    void failingStartTransactionSendsNoRollback()
    {
        CopyHarness h;
        twoServices(h.fake);
        h.fake.failMethod = u"StartTransaction"_s;
        h.fake.failOccurrence = 1;
        QString filial = u"0001"_s;
        QVERIFY_THROWS_EXCEPTION(ERemoteError, h.run(filial));
        QCOMPARE(h.fake.methods(), (QStringList{u"getServInte"_s, u"StartTransaction"_s}));
    }

    void secondRunRepeatsTheDeletes()
    {
        CopyHarness h;
        twoServices(h.fake);
        QString filial = u"0001"_s;
        h.run(filial);
        const qsizetype firstRun = h.fake.calls().size();
        h.run(filial);
        QCOMPARE(h.fake.calls().size(), 2 * firstRun);
        QCOMPARE(h.fake.callsOf(u"DelServ"_s).size(), 4);
    }
};

QTEST_GUILESS_MAIN(TestCopy)
#include "tst_copy.moc"
