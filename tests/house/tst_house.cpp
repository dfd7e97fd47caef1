#include <support/AnsweringDialogs.h>
#include <house/DBGeral.h>
#include <house/FormatText.h>
#include <house/HandlerGuard.h>
#include <house/HouseClock.h>
#include <protocol/HouseError.h>
#include <house/MensErro.h>
#include <protocol/OleDate.h>
#include <house/PesquisaLista.h>
#include <house/QueryDialect.h>
#include <house/TADOIBQuery.h>
#include <house/TClientDataSet.h>
#include <house/TMessages.h>
#include <house/TextRoutines.h>

#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <stdexcept>

using namespace rbx;

namespace {

// A row source with fixed rows, standing in for a lookup's result.
class FixedRows final : public RowSource
{
public:
    RowTable table;
    RowTable rowTable() override { return table; }
};

RowTable wings()
{
    RowTable table;
    table.columns = {{QStringLiteral("CDALA"), QStringLiteral("Código"), 12, true},
                     {QStringLiteral("NMALA"), QStringLiteral("Nome"), 40, true}};
    table.rows = {{QStringLiteral("A"), QStringLiteral("Ala Norte")},
                  {QStringLiteral("B"), QStringLiteral("Ala Sul")},
                  {QStringLiteral("C"), QStringLiteral("Ala Leste")}};
    return table;
}

void exec(QSqlDatabase db, const QString &sql)
{
    QSqlQuery query(db);
    if (!query.exec(sql))
        QFAIL(qPrintable(sql));
}

} // namespace

class TestHouse final : public QObject
{
    Q_OBJECT

private slots:
    // --- text routines -------------------------------------------------------------------

    void ajustaPadsOnTheLeft_data()
    {
        QTest::addColumn<QString>("decimal");
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("expected");
        QTest::newRow("service sequence") << QStringLiteral("4") << 2 << QStringLiteral("04");
        QTest::newRow("item sequence") << QStringLiteral("11") << 4 << QStringLiteral("0011");
        QTest::newRow("exactly the width") << QStringLiteral("99") << 2 << QStringLiteral("99");
        QTest::newRow("zero") << QStringLiteral("0") << 4 << QStringLiteral("0000");
        QTest::newRow("blanks around") << QStringLiteral(" 7 ") << 3 << QStringLiteral("007");
        QTest::newRow("leading zeros kept as value") << QStringLiteral("0010") << 4 << QStringLiteral("0010");
    }
    void ajustaPadsOnTheLeft()
    {
        QFETCH(QString, decimal);
        QFETCH(int, width);
        QFETCH(QString, expected);
        const QString fitted = Ajusta(decimal, width);
        QCOMPARE(fitted, expected);
        QCOMPARE(StrToInt(fitted), StrToInt(decimal)); // reads back as the same integer
    }

    void ajustaRefusesWhatItCannotFit_data()
    {
        QTest::addColumn<QString>("decimal");
        QTest::addColumn<int>("width");
        QTest::newRow("service 100 in 2") << QStringLiteral("100") << 2;
        QTest::newRow("item 10000 in 4") << QStringLiteral("10000") << 4;
        QTest::newRow("empty") << QString() << 2;
        QTest::newRow("not a number") << QStringLiteral("1a") << 2;
        QTest::newRow("negative") << QStringLiteral("-1") << 2;
    }
    void ajustaRefusesWhatItCannotFit()
    {
        QFETCH(QString, decimal);
        QFETCH(int, width);
        QVERIFY_THROWS_EXCEPTION(EConvertError, Ajusta(decimal, width));
    }

    void emptyString_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("empty");
        QTest::newRow("empty list") << QString() << true;
        QTest::newRow("blanks") << QStringLiteral("   ") << true;
        QTest::newRow("date mask, nothing typed") << QStringLiteral("//") << true;
        QTest::newRow("date mask with blanks") << QStringLiteral("  /  /    ") << true;
        QTest::newRow("one code") << QStringLiteral("_0001_") << false;
        QTest::newRow("all-mode marker") << QStringLiteral("T") << false;
        QTest::newRow("a date") << QStringLiteral("01/03/2024") << false;
        QTest::newRow("half a date") << QStringLiteral("01/  /    ") << false;
    }
    void emptyString()
    {
        QFETCH(QString, text);
        QFETCH(bool, empty);
        QCOMPARE(EmptyString(text), empty);
    }

    void oleDates_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QDateTime>("moment");
        QTest::newRow("epoch") << 0.0 << QDateTime(QDate(1899, 12, 30), QTime(0, 0));
        QTest::newRow("leap day 2024") << 45351.0 << QDateTime(QDate(2024, 2, 29), QTime(0, 0));
        QTest::newRow("1 March 2024") << 45352.0 << QDateTime(QDate(2024, 3, 1), QTime(0, 0));
        QTest::newRow("day and eight hours") << 45353.0 + 8.0 / 24 << QDateTime(QDate(2024, 3, 2), QTime(8, 0));
        QTest::newRow("before the epoch") << -1.25 << QDateTime(QDate(1899, 12, 29), QTime(6, 0));
    }
    void oleDates()
    {
        QFETCH(double, value);
        QFETCH(QDateTime, moment);
        QCOMPARE(OleDate::toDateTime(value), moment);
        QCOMPARE(OleDate::fromDateTime(moment), value);
    }

    void oleDateRoundingCarriesIntoTheNextDay()
    {
        QCOMPARE(OleDate::toDateTime(45351.9999999999), QDateTime(QDate(2024, 3, 1), QTime(0, 0)));
    }

    void formatFillsCatalogTexts_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("expected");
        QTest::newRow("lactário") << QStringLiteral("Não existe servico %s cadastrado.")
                                  << QStringList{QStringLiteral("lactário")}
                                  << QStringLiteral("Não existe servico lactário cadastrado.");
        QTest::newRow("percent sign") << QStringLiteral("100%% de %s") << QStringList{QStringLiteral("x")}
                                      << QStringLiteral("100% de x");
        QTest::newRow("no directive") << QStringLiteral("Dieta") << QStringList{} << QStringLiteral("Dieta");
    }
    void formatFillsCatalogTexts()
    {
        QFETCH(QString, format);
        QFETCH(QStringList, args);
        QFETCH(QString, expected);
        QCOMPARE(Format(format, args), expected);
    }

    void formatRefusesBadDirectives()
    {
        QVERIFY_THROWS_EXCEPTION(EConvertError, Format(QStringLiteral("%s e %s"), {QStringLiteral("um")}));
        QVERIFY_THROWS_EXCEPTION(EConvertError, Format(QStringLiteral("%d"), {QStringLiteral("1")}));
        QVERIFY_THROWS_EXCEPTION(EConvertError, Format(QStringLiteral("50%"), {}));
    }

    void todayCanBeFixed()
    {
        {
            ScopedToday fixed(QDate(2024, 3, 1));
            QCOMPARE(Today(), QDate(2024, 3, 1));
        }
        QCOMPARE(Today(), QDate::currentDate());
    }

    // --- catalog, MensErro and the guard ---------------------------------------------------

    void catalogLooksKeysUpExactly()
    {
        TMessages catalog(QStringLiteral("msgPadrao"));
        catalog.Messages = {QStringLiteral("Servico|Serviço"), QStringLiteral("Barra|a|b"),
                            QStringLiteral("Vazio|"), QStringLiteral("sem barra")};
        QCOMPARE(catalog.Msg(QStringLiteral("Servico")), QStringLiteral("Serviço"));
        QCOMPARE(catalog.Msg(QStringLiteral("Barra")), QStringLiteral("a|b")); // the first bar splits
        QCOMPARE(catalog.Msg(QStringLiteral("Vazio")), QString());
        QVERIFY(!catalog.Contains(QStringLiteral("servico")));
        QVERIFY(!catalog.Contains(QStringLiteral("Serv")));
        QVERIFY(!catalog.Contains(QStringLiteral("sem barra")));
        try {
            catalog.Msg(QStringLiteral("servico"));
            QFAIL("a missing key must raise");
        } catch (const EHouseError &error) {
            QVERIFY(error.message().contains(QStringLiteral("'servico'")));
            QVERIFY(error.message().contains(QStringLiteral("msgPadrao")));
        }
    }

    void showMsgAsksTheSeamAndReturnsTheButton_data()
    {
        QTest::addColumn<int>("answer");
        QTest::newRow("Yes") << mrYes;
        QTest::newRow("No") << mrNo;
    }
    void showMsgAsksTheSeamAndReturnsTheButton()
    {
        QFETCH(int, answer);
        AnsweringDialogs dialogs;
        dialogs.answerMessage = [answer](const MessageRequest &) { return answer; };
        ScopedDialogSeam seam(dialogs);
        TMessages catalog;
        catalog.Messages = {QStringLiteral("Conf_Oper|Confirma operação?")};
        QCOMPARE(catalog.ShowMsg(QStringLiteral("Conf_Oper"), mtConfirmation, mbYes | mbNo, 0), answer);
        QCOMPARE(dialogs.messages.size(), 1);
        const MessageRequest &asked = dialogs.messages.constFirst();
        QCOMPARE(asked.text, QStringLiteral("Confirma operação?"));
        QCOMPARE(asked.kind, mtConfirmation);
        QCOMPARE(asked.buttons, mbYes | mbNo);
        QCOMPARE(asked.helpContext, 0);
    }

    void mensErroRaisesAndTheGuardShowsItOnce()
    {
        AnsweringDialogs dialogs;
        ScopedDialogSeam seam(dialogs);
        QObject context;
        bool after = false;
        guarded(&context, [&] {
            MensErro(QStringLiteral("Data origem deve ser informada."), true);
            after = true;
        });
        QVERIFY(!after);
        QCOMPARE(dialogs.errors, QStringList{QStringLiteral("Data origem deve ser informada.")});

        // Without raising it shows and the handler goes on.
        MensErro(QStringLiteral("aviso"), false);
        QCOMPARE(dialogs.errors.size(), 2);
        QVERIFY_THROWS_EXCEPTION(EValidationError, MensErro(QStringLiteral("x"), true));
    }

    void guardShowsEveryKindOfFailure_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("shown");
        QTest::newRow("house error") << 0 << QStringLiteral("Não foi possível conectar.");
        QTest::newRow("standard exception") << 1 << QStringLiteral("ação inválida");
        QTest::newRow("anything else") << 2 << QStringLiteral("Erro inesperado.");
    }
    void guardShowsEveryKindOfFailure()
    {
        QFETCH(int, kind);
        QFETCH(QString, shown);
        AnsweringDialogs dialogs;
        ScopedDialogSeam seam(dialogs);
        // The handler is reached through a real signal connection, as a screen's handlers are.
        struct Receiver : QObject
        {
            int kind = 0;
            void handler()
            {
                if (kind == 0)
                    throw EConnectionError(QStringLiteral("Não foi possível conectar."));
                if (kind == 1)
                    throw std::runtime_error("ação inválida");
                throw 42;
            }
        } receiver;
        receiver.kind = kind;
        QObject sender;
        connect(&sender, &QObject::objectNameChanged, &receiver, guardedSlot(&receiver, &Receiver::handler));
        sender.setObjectName(QStringLiteral("disparo"));
        QCOMPARE(dialogs.errors, QStringList{shown});
    }

    void nestedGuardsShowOnce()
    {
        AnsweringDialogs dialogs;
        ScopedDialogSeam seam(dialogs);
        guarded(nullptr, [] { guarded(nullptr, [] { throw EValidationError(QStringLiteral("uma vez")); }); });
        QCOMPARE(dialogs.errors, QStringList{QStringLiteral("uma vez")});
    }

    void guardSurvivesAFailingDisplay()
    {
        AnsweringDialogs dialogs;
        dialogs.onError = [](const QString &) { throw std::runtime_error("display broke"); };
        ScopedDialogSeam seam(dialogs);
        guarded(nullptr, [] { throw EHouseError(QStringLiteral("x")); }); // must not escape
        QCOMPARE(dialogs.errors.size(), 1);
    }

    void withoutADisplayNothingIsConfirmed()
    {
        // No seam installed and no widget library: the console fallback answers No.
        QCOMPARE(defaultDialogSeam(), nullptr);
        TMessages catalog;
        catalog.Messages = {QStringLiteral("Conf_Oper|Confirma operação?")};
        QCOMPARE(catalog.ShowMsg(QStringLiteral("Conf_Oper"), mtConfirmation, mbYes | mbNo, 0), mrNo);
    }

    // --- selection lists and the pick list -------------------------------------------------

    void selectionLists_data()
    {
        QTest::addColumn<QStringList>("codes");
        QTest::addColumn<QString>("list");
        QTest::newRow("none") << QStringList{} << QString();
        QTest::newRow("one") << QStringList{QStringLiteral("0001")} << QStringLiteral("_0001_");
        QTest::newRow("two") << QStringList{QStringLiteral("A"), QStringLiteral("B")} << QStringLiteral("_A__B_");
        QTest::newRow("padded code") << QStringList{QStringLiteral("12 ")} << QStringLiteral("_12 _");
    }
    void selectionLists()
    {
        QFETCH(QStringList, codes);
        QFETCH(QString, list);
        QCOMPARE(joinSelectionList(codes), list);
        QCOMPARE(splitSelectionList(list), codes);
        for (const QString &code : codes)
            QVERIFY(list.contains(u'_' + code + u'_'));
    }

    void allModeMarkerIsNoSelection() { QVERIFY(splitSelectionList(QStringLiteral("T")).isEmpty()); }

    void pickListWritesPickedKeysOnOk_data()
    {
        QTest::addColumn<QStringList>("picked");
        QTest::addColumn<QString>("list");
        QTest::newRow("two rows") << QStringList{QStringLiteral("A"), QStringLiteral("C")} << QStringLiteral("_A__C_");
        QTest::newRow("nothing checked") << QStringList{} << QString();
    }
    void pickListWritesPickedKeysOnOk()
    {
        QFETCH(QStringList, picked);
        QFETCH(QString, list);
        AnsweringDialogs dialogs;
        dialogs.answerPick = [picked](const AnsweringDialogs::Pick &) { return std::optional<QStringList>(picked); };
        ScopedDialogSeam seam(dialogs);
        FixedRows rows;
        rows.table = wings();
        TDataSource source(QStringLiteral("dtsAla"));
        source.SetDataSet(rows);

        QString stAlas = QStringLiteral("_B_");
        QVERIFY(PesquisaLista(source, QStringLiteral("CDALA"), QStringLiteral("Ala|Não existe ala cadastrada."),
                              false, stAlas));
        QCOMPARE(stAlas, list);
        QCOMPARE(dialogs.picks.size(), 1);
        const AnsweringDialogs::Pick &shown = dialogs.picks.constFirst();
        QCOMPARE(shown.caption, QStringLiteral("Ala"));
        QCOMPARE(shown.emptyText, QStringLiteral("Não existe ala cadastrada."));
        QCOMPARE(shown.preselected, QStringList{QStringLiteral("B")});
        QCOMPARE(shown.rows.rows.size(), 3);
        QCOMPARE(shown.keyColumn, 0);
    }

    void pickListCancelKeepsTheList()
    {
        AnsweringDialogs dialogs; // cancels
        ScopedDialogSeam seam(dialogs);
        FixedRows rows;
        rows.table = wings();
        TDataSource source;
        source.SetDataSet(rows);
        QString stAlas = QStringLiteral("_B_");
        QVERIFY(!PesquisaLista(source, QStringLiteral("CDALA"), QStringLiteral("Ala|x"), false, stAlas));
        QCOMPARE(stAlas, QStringLiteral("_B_"));
    }

    void pickListRefusesWhatItCannotShow()
    {
        AnsweringDialogs dialogs;
        ScopedDialogSeam seam(dialogs);
        TDataSource unbound(QStringLiteral("dtsLeito"));
        QString list = QStringLiteral("_X_");
        QVERIFY_THROWS_EXCEPTION(EDataSetError, PesquisaLista(unbound, QStringLiteral("CDLEITO"), QString(), false, list));
        FixedRows rows;
        rows.table = wings();
        TDataSource source;
        source.SetDataSet(rows);
        QVERIFY_THROWS_EXCEPTION(EDataSetError, PesquisaLista(source, QStringLiteral("CDLEITO"), QString(), false, list));
        QCOMPARE(list, QStringLiteral("_X_"));
        QVERIFY(dialogs.picks.isEmpty());
    }

    void recordSetRowsHideTheMarkColumn()
    {
        TClientDataSet cds(QStringLiteral("cdsPaciente"));
        cds.AddField(QStringLiteral("IDMARCADO"), Wire::FieldType::FixedString, 1);
        cds.AddField(QStringLiteral("CDPACIENTE"), Wire::FieldType::String, 12, QStringLiteral("Código"), 15);
        cds.AddField(QStringLiteral("DTINTERNA"), Wire::FieldType::DateTime, 0, QStringLiteral("Data de Internação"), 22);
        Wire::Packet packet;
        packet.fields = {{QStringLiteral("IDMARCADO"), Wire::FieldType::FixedString, 1},
                         {QStringLiteral("CDPACIENTE"), Wire::FieldType::String, 12},
                         {QStringLiteral("DTINTERNA"), Wire::FieldType::DateTime, 0}};
        packet.rows = {{QVariant(), QStringLiteral("P1"), 45352.0}, {QStringLiteral(" "), QStringLiteral("P2"), QVariant()}};
        cds.SetData(packet);
        cds.Next();

        ClientDataSetRows rows(cds);
        const RowTable table = rows.rowTable();
        QCOMPARE(table.columns.size(), 3);
        QVERIFY(!table.columns.at(0).visible);
        QVERIFY(table.columns.at(1).visible);
        QCOMPARE(table.columns.at(1).label, QStringLiteral("Código"));
        QCOMPARE(table.columns.at(2).displayWidth, 22);
        QCOMPARE(table.rows.size(), 2);
        QCOMPARE(table.rows.at(0).at(1), QStringLiteral("P1"));
        QCOMPARE(table.rows.at(0).at(2), QStringLiteral("01/03/2024"));
        QCOMPARE(table.rows.at(1).at(2), QString());
        QCOMPARE(cds.RecNo(), 0); // left on the first row
    }

    // --- dialects, the database module and the query ---------------------------------------

    void dialectChoice_data()
    {
        QTest::addColumn<int>("dbms");
        QTest::addColumn<int>("dialect");
        QTest::newRow("Firebird/InterBase") << int(QSqlDriver::Interbase) << int(QueryDialect::InterBase);
        QTest::newRow("SQLite") << int(QSqlDriver::SQLite) << int(QueryDialect::Oracle);
        QTest::newRow("SQL Server") << int(QSqlDriver::MSSqlServer) << int(QueryDialect::MsSql);
        QTest::newRow("Oracle") << int(QSqlDriver::Oracle) << int(QueryDialect::Oracle);
        QTest::newRow("PostgreSQL") << int(QSqlDriver::PostgreSQL) << int(QueryDialect::Generic);
        QTest::newRow("unknown") << int(QSqlDriver::UnknownDbms) << int(QueryDialect::Generic);
    }
    void dialectChoice()
    {
        QFETCH(int, dbms);
        QFETCH(int, dialect);
        QCOMPARE(int(dialectFor(QSqlDriver::DbmsType(dbms))), dialect);
    }

    void databaseModuleExplainsWhatIsMissing_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("says");
        QTest::newRow("no URL") << QString() << QStringLiteral("Nenhum banco");
        QTest::newRow("unsupported") << QStringLiteral("mysql://x/y") << QStringLiteral("não suportado");
        QTest::newRow("missing file") << QStringLiteral("sqlite:%1/nada.db") << QStringLiteral("não encontrado");
    }
    void databaseModuleExplainsWhatIsMissing()
    {
        QFETCH(QString, url);
        QFETCH(QString, says);
        QTemporaryDir dir;
        if (url.contains(QLatin1String("%1")))
            url = url.arg(dir.path());
        TdtmDBGeral module(QStringLiteral("tst_missing"));
        module.SetUrl(url);
        try {
            module.Open();
            QFAIL("opening must fail");
        } catch (const EDatabaseError &error) {
            QVERIFY2(error.message().contains(says), qPrintable(error.message()));
        }
        QVERIFY(!module.Connected());
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("nada.db")))); // no empty database left behind
    }

    void queryRunsTheTextOfItsDialectWithNamedParameters()
    {
        QTemporaryDir dir;
        TdtmDBGeral module(QStringLiteral("tst_query"));
        module.SetUrl(QStringLiteral("sqlite:") + makeWingDatabase(dir));
        QCOMPARE(module.Dialect(), QueryDialect::Oracle);

        TADOIBQuery query(QStringLiteral("qryAla"), &module);
        query.SQL = {QStringLiteral("SELECT 'generic' AS CDALA, '' AS NMALA")};
        query.SQL_ORACLE = {QStringLiteral("SELECT CDALA, NMALA"), QStringLiteral("FROM ALA"),
                            QStringLiteral("WHERE CDFILIAL = :P_CDFILIAL"),
                            QStringLiteral("   OR (:P_CDFILIAL = 'todas' AND 'x:y' <> '')"),
                            QStringLiteral("ORDER BY CDALA")};
        query.SQL_IB = {QStringLiteral("SELECT 'ib' AS CDALA, '' AS NMALA")};
        query.DeclareParams({QStringLiteral("P_CDFILIAL")});
        query.AddStringField(QStringLiteral("CDALA"), QStringLiteral("Código"), 12, 0, true);
        query.AddStringField(QStringLiteral("NMALA"), QStringLiteral("Nome"), 40);

        query.ParamByName(QStringLiteral("P_CDFILIAL")).SetAsString(QStringLiteral("0001"));
        query.Open();
        QVERIFY(query.Active());
        QStringList codes;
        for (; !query.GetEOF(); query.Next())
            codes.append(query.FieldByName(QStringLiteral("CDALA")).AsString());
        QCOMPARE(codes, (QStringList{QStringLiteral("A1"), QStringLiteral("A2")}));
        QCOMPARE(query.FieldByName(QStringLiteral("NMALA")).AsString(), QString()); // past the end
        QCOMPARE(query.LastBindings().value(QStringLiteral("P_CDFILIAL")).toString(), QStringLiteral("0001"));

        const RowTable table = query.rowTable();
        QCOMPARE(table.columns.at(0).label, QStringLiteral("Código"));
        QCOMPARE(table.columns.at(1).displayWidth, 40); // no display width: the width
        QCOMPARE(table.rows.at(1).at(1), QStringLiteral("Ala Sul — pediatria"));
        QCOMPARE(query.FieldByName(QStringLiteral("CDALA")).Name(), QStringLiteral("qryAlaCDALA"));

        // A value is bound, never pasted into the statement.
        query.Close();
        query.ParamByName(QStringLiteral("P_CDFILIAL")).SetAsString(QStringLiteral("0001' OR '1'='1"));
        query.Open();
        QVERIFY(query.IsEmpty());
        QVERIFY(query.GetEOF());

        query.Close();
        QVERIFY(!query.Active());
        QVERIFY(query.GetEOF());
    }

    void queryFailuresSayWhy()
    {
        QTemporaryDir dir;
        TdtmDBGeral module(QStringLiteral("tst_query_fail"));
        module.SetUrl(QStringLiteral("sqlite:") + makeWingDatabase(dir));

        TADOIBQuery noStatement(QStringLiteral("qryLeito"), &module);
        noStatement.SQL = {QString(), QStringLiteral(" ")};
        noStatement.SQL_MSSQL = {QStringLiteral("SELECT 1")};
        expectDatabaseError(noStatement, QStringLiteral("SQL_ORACLE"));

        TADOIBQuery undeclared(QStringLiteral("qryAla"), &module);
        undeclared.SQL_ORACLE = {QStringLiteral("SELECT CDALA FROM ALA WHERE CDFILIAL = :P_CDFILIAL")};
        expectDatabaseError(undeclared, QStringLiteral("P_CDFILIAL"));

        TADOIBQuery broken(QStringLiteral("qryAla"), &module);
        broken.SQL_ORACLE = {QStringLiteral("SELECT CDALA FROM NAO_EXISTE")};
        expectDatabaseError(broken, QStringLiteral("NAO_EXISTE"));

        TADOIBQuery missingField(QStringLiteral("qryAla"), &module);
        missingField.SQL_ORACLE = {QStringLiteral("SELECT CDALA FROM ALA")};
        missingField.AddStringField(QStringLiteral("NMALA"), QStringLiteral("Nome"), 40);
        expectDatabaseError(missingField, QStringLiteral("NMALA"));

        QVERIFY_THROWS_EXCEPTION(EDatabaseError, missingField.ParamByName(QStringLiteral("P_X")));
        QVERIFY_THROWS_EXCEPTION(EDatabaseError, missingField.FieldByName(QStringLiteral("CDALA")));
    }

    void lookupsLeaveTheDatabaseAsTheyFindIt()
    {
        QTemporaryDir dir;
        const QString path = makeWingDatabase(dir);
        {
            TdtmDBGeral module(QStringLiteral("tst_reader"));
            module.SetUrl(QStringLiteral("sqlite:") + path);
            TADOIBQuery query(QStringLiteral("qryAla"), &module);
            query.SQL_ORACLE = {QStringLiteral("SELECT CDALA FROM ALA")};
            query.Open();
            QCOMPARE(query.RecordCount(), 3);
            // nor can any statement run over the lookups' connection write to it
            QSqlQuery write(module.Database());
            QVERIFY(!write.exec(QStringLiteral("DELETE FROM ALA")));
            QVERIFY2(write.lastError().text().contains(QStringLiteral("readonly")), qPrintable(write.lastError().text()));
        }
        // the service's session set-up would have switched the file to its own journal
        QString mode;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("tst_check"));
            db.setDatabaseName(path);
            QVERIFY(db.open());
            QSqlQuery pragma(db);
            QVERIFY(pragma.exec(QStringLiteral("PRAGMA journal_mode")) && pragma.next());
            mode = pragma.value(0).toString();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("tst_check"));
        QCOMPARE(mode, QStringLiteral("delete"));
    }

    void placeholdersSkipLiteralsAndCasts()
    {
        QCOMPARE(placeholderNames(QStringLiteral(
                     "SELECT ':P_NO', x::text FROM T WHERE a = :P_A AND b = :P_B OR :P_A = 'T' AND c = '_'||d||'_'")),
                 (QStringList{QStringLiteral("P_A"), QStringLiteral("P_B")}));
    }

private:
    static QString makeWingDatabase(const QTemporaryDir &dir)
    {
        const QString path = dir.filePath(QStringLiteral("alas.db"));
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("tst_setup"));
            db.setDatabaseName(path);
            if (!db.open())
                qFatal("cannot create the test database");
            exec(db, QStringLiteral("CREATE TABLE ALA (CDFILIAL VARCHAR(4), CDALA VARCHAR(12), NMALA VARCHAR(40))"));
            exec(db, QStringLiteral("INSERT INTO ALA VALUES ('0001','A2','Ala Sul — pediatria'),"
                                    "('0001','A1','Ala Norte'),('0002','B1','Outra filial')"));
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("tst_setup"));
        return path;
    }

    static void expectDatabaseError(TADOIBQuery &query, const QString &mentions)
    {
        try {
            query.Open();
            QFAIL("Open must fail");
        } catch (const EDatabaseError &error) {
            QVERIFY2(error.message().contains(mentions), qPrintable(error.message()));
        }
        QVERIFY(!query.Active());
    }
};

QTEST_GUILESS_MAIN(TestHouse)
#include "tst_house.moc"
