#include "CopyServiceContract.h"
#include "Database.h"
#include "DemoDatabase.h"
#include "DemoHospital.h"
#include "HouseError.h"
#include "OleDate.h"
#include "Schema.h"
#include "SqlDialect.h"
#include "SqlStatement.h"
#include "SqlTransaction.h"

#include <QProcess>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// Every row of every table, in key order, as text: two databases hold the same data exactly
// when their dumps are equal.
QStringList dump(Database &database)
{
    QStringList lines;
    for (const Schema::Table &table : Schema::tables()) {
        SqlStatement query(database.sql(), u"SELECT * FROM %1 ORDER BY %2"_s.arg(table.name, table.primaryKey.join(u", "_s)));
        query.exec();
        while (query.next()) {
            QStringList cells;
            for (int i = 0; i < table.columns.size(); ++i) {
                const QVariant value = query.value(i);
                cells << (value.isNull() ? u"<null>"_s : value.toString());
            }
            lines << table.name + u'|' + cells.join(u'|');
        }
    }
    return lines;
}

qint64 count(Database &database, const QString &sql)
{
    SqlStatement query(database.sql(), sql);
    query.exec();
    return query.next() ? query.value(0).toLongLong() : -1;
}

} // namespace

class TestDb final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_demo = std::make_unique<DemoDatabase>();
        QVERIFY2(m_demo->isValid(), qPrintable(m_demo->errorString()));
        m_db = m_demo->open(u"tst_db"_s);
    }

    void cleanupTestCase()
    {
        m_db.reset();
        m_demo.reset();
    }

    void schemaIsCreatedOnceAndLeftAlone()
    {
        auto database = Database::open(u"sqlite::memory:"_s, u"schema-memory"_s);
        QCOMPARE(Schema::missingTables(*database).size(), Schema::tables().size());
        Schema::create(*database);
        QVERIFY(Schema::missingTables(*database).isEmpty());
        execSql(database->sql(), u"INSERT INTO DIETPADR (CDDIETPAD, DSDIETPAD, IDFORMDIET) VALUES ('0101', 'x', '1')"_s);
        Schema::create(*database); // existing tables and their rows stay
        QCOMPARE(count(*database, u"SELECT COUNT(*) FROM DIETPADR"_s), 1);
    }

    void keysAreEnforced_data()
    {
        QTest::addColumn<QString>("statement");
        QTest::newRow("SERVINTE key twice")
            << u"INSERT INTO SERVINTE (CDPACIENTE, DTSERVINTE, NRSEQUSERV, CDFILIAL, CDSERVFILI, CDDIETPAD)"
               " SELECT CDPACIENTE, DTSERVINTE, NRSEQUSERV, CDFILIAL, CDSERVFILI, '0102' FROM SERVINTE LIMIT 1"_s;
        QTest::newRow("SERVINTE same patient, date, branch, service and diet")
            << u"INSERT INTO SERVINTE (CDPACIENTE, DTSERVINTE, NRSEQUSERV, CDFILIAL, CDSERVFILI, CDDIETPAD)"
               " SELECT CDPACIENTE, DTSERVINTE, '99', CDFILIAL, CDSERVFILI, CDDIETPAD FROM SERVINTE LIMIT 1"_s;
        QTest::newRow("CONFESCO item of no service")
            << u"INSERT INTO CONFESCO (CDPACIENTE, DTSERVINTE, NRSEQUSERV, CDSEQUCOPR, CDFILIAL)"
               " VALUES ('000000000001', '1999-01-01 00:00:00.000', '01', '0001', '0001')"_s;
        QTest::newRow("SERVINTE of an unknown service")
            << u"INSERT INTO SERVINTE (CDPACIENTE, DTSERVINTE, NRSEQUSERV, CDFILIAL, CDSERVFILI, CDDIETPAD)"
               " VALUES ('000000000001', '1999-01-01 00:00:00.000', '01', '0001', '99999', '0101')"_s;
        QTest::newRow("NUTRICIO without operator")
            << u"INSERT INTO NUTRICIO (CDFILIAL, CDNUTRICIO) VALUES ('0001', '999')"_s;
    }

    void keysAreEnforced()
    {
        QFETCH(QString, statement);
        SqlTransaction transaction(*m_db);
        QVERIFY_THROWS_EXCEPTION(EDatabaseError, execSql(m_db->sql(), statement));
    }

    void columnsFitThePacketLayouts_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("column");
        QTest::addColumn<int>("layoutType");
        QTest::addColumn<int>("size");
        auto add = [](const QString &table, const QList<CopyService::FieldLayout> &layout, const QStringList &only = {}) {
            for (const CopyService::FieldLayout &field : layout) {
                if (!only.isEmpty() && !only.contains(field.name))
                    continue;
                QTest::addRow("%s.%s", qPrintable(table), qPrintable(field.name))
                    << table << field.name << int(field.type) << field.size;
            }
        };
        add(u"SERVINTE"_s, CopyService::servInteLayout());
        add(u"CONFESCO"_s, CopyService::confescoLayout());
        add(u"NUTRICIO"_s, CopyService::nutricioLayout());
        add(u"SERVINTE"_s, CopyService::nrServInteLayout());
        add(u"CONFESCO"_s, CopyService::nrConfescoLayout());
        add(u"PACIENTE"_s, CopyService::pacienteLayout(), {u"CDPACIENTE"_s, u"NMPACIENTE"_s, u"DTNASCPACI"_s});
        add(u"LEITO"_s, CopyService::pacienteLayout(), {u"NMLEITO"_s});
        add(u"PADRAOSERV"_s, CopyService::pacienteLayout(), {u"NMSERPADDIE"_s});
        add(u"INTERNAC"_s, CopyService::pacienteLayout(), {u"DTINTERNA"_s});
    }

    void columnsFitThePacketLayouts()
    {
        QFETCH(QString, table);
        QFETCH(QString, column);
        QFETCH(int, layoutType);
        QFETCH(int, size);
        const Schema::Column *found = Schema::table(table).findColumn(column);
        QVERIFY(found);
        switch (Wire::FieldType(layoutType)) {
        case Wire::FieldType::String:
        case Wire::FieldType::FixedString:
            QVERIFY(found->type == Schema::ColumnType::Text || found->type == Schema::ColumnType::FixedText);
            QCOMPARE(found->size, size);
            break;
        case Wire::FieldType::DateTime: QVERIFY(found->type == Schema::ColumnType::DateTime); break;
        case Wire::FieldType::Float: QVERIFY(found->type == Schema::ColumnType::Float); break;
        }
    }

    // widths the screen's lookups declare for their result columns
    void lookupColumnsFitTheScreen_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("column");
        QTest::addColumn<int>("most");
        QTest::newRow("SERVICO.CDSERVFILI") << u"SERVICO"_s << u"CDSERVFILI"_s << 5;
        QTest::newRow("SERVICO.NMSERVICO") << u"SERVICO"_s << u"NMSERVICO"_s << 40;
        QTest::newRow("DIETPADR.CDDIETPAD") << u"DIETPADR"_s << u"CDDIETPAD"_s << 4;
        QTest::newRow("DIETPADR.DSDIETPAD") << u"DIETPADR"_s << u"DSDIETPAD"_s << 50;
        QTest::newRow("ANDAR.NMANDAR") << u"ANDAR"_s << u"NMANDAR"_s << 40;
        QTest::newRow("ALA.CDALA") << u"ALA"_s << u"CDALA"_s << 12;
        QTest::newRow("ALA.NMALA") << u"ALA"_s << u"NMALA"_s << 40;
        QTest::newRow("LEITO.CDLEITO") << u"LEITO"_s << u"CDLEITO"_s << 12;
        QTest::newRow("LEITO.NMLEITO") << u"LEITO"_s << u"NMLEITO"_s << 40;
        QTest::newRow("LEITO.CDALA") << u"LEITO"_s << u"CDALA"_s << 12;
    }

    void lookupColumnsFitTheScreen()
    {
        QFETCH(QString, table);
        QFETCH(QString, column);
        QFETCH(int, most);
        const Schema::Column &found = Schema::column(table, column);
        QVERIFY(found.size >= 1);
        QVERIFY2(found.size <= most, qPrintable(u"%1 wide"_s.arg(found.size)));
        // and the demo never stores more than the column holds
        QCOMPARE(count(*m_db, u"SELECT COUNT(*) FROM %1 WHERE length(%2) > %3"_s.arg(table, column).arg(found.size)), 0);
    }

    void urls_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("problem"); // part of the message, empty when the URL is good
        QTest::newRow("sqlite file") << u"sqlite:/tmp/x.db"_s << QString();
        QTest::newRow("sqlite in memory") << u"sqlite::memory:"_s << QString();
        QTest::newRow("sqlite without path") << u"sqlite:"_s << u"sem caminho"_s;
        QTest::newRow("firebird not yet") << u"firebird://localhost/x.fdb"_s << u"não suportado"_s;
        QTest::newRow("no scheme") << u"/tmp/x.db"_s << u"inválida"_s;
        QTest::newRow("empty") << QString() << u"inválida"_s;
    }

    void urls()
    {
        QFETCH(QString, url);
        QFETCH(QString, problem);
        const QString message = Database::checkUrl(url);
        if (problem.isEmpty())
            QVERIFY2(message.isEmpty(), qPrintable(message));
        else
            QVERIFY2(message.contains(problem), qPrintable(message));
        if (!problem.isEmpty())
            QVERIFY_THROWS_EXCEPTION(EDatabaseError, Database::open(url, u"bad-url"_s));
    }

    void openRefusesAMissingFolder()
    {
        try {
            Database::open(u"sqlite:/nonexistent-rbx-folder/x.db"_s, u"missing-folder"_s);
            QFAIL("opened a database in a folder that does not exist");
        } catch (const EDatabaseError &error) {
            QVERIFY2(error.message().contains(u"/nonexistent-rbx-folder"_s), qPrintable(error.message()));
        }
        // the failed attempt leaves no connection behind under that name
        QVERIFY(!QSqlDatabase::contains(u"missing-folder"_s));
    }

    void sqliteSessionIsSetUp()
    {
        SqlStatement journal(m_db->sql(), u"PRAGMA journal_mode"_s);
        journal.exec();
        QVERIFY(journal.next());
        QCOMPARE(journal.value(0).toString(), u"wal"_s);
        SqlStatement keys(m_db->sql(), u"PRAGMA foreign_keys"_s);
        keys.exec();
        QVERIFY(keys.next());
        QCOMPARE(keys.value(0).toInt(), 1);
    }

    void datesSurviveStorage_data()
    {
        QTest::addColumn<double>("ole");
        QTest::newRow("demo day") << OleDate::fromDate(QDate(2024, 3, 14));
        QTest::newRow("08:30") << OleDate::fromDate(QDate(2024, 3, 14)) + 8.5 / 24;
        QTest::newRow("a millisecond before midnight") << OleDate::fromDate(QDate(2024, 3, 14)) + 86399999.0 / 86400000.0;
        QTest::newRow("the epoch") << 0.0;
        QTest::newRow("before the epoch, 06:00") << -1.25;
        QTest::newRow("year 100") << -657434.0;
        QTest::newRow("year 9999") << 2958465.5;
    }

    void datesSurviveStorage()
    {
        QFETCH(double, ole);
        const SqlDialect &dialect = m_db->dialect();
        const std::optional<double> back = dialect.oleDate(dialect.dateTimeValue(ole));
        QVERIFY(back);
        QVERIFY2(std::abs(*back - ole) < 0.5 / 86400000.0, qPrintable(u"%1 came back as %2"_s.arg(ole, 0, 'f', 12).arg(*back, 0, 'f', 12)));
    }

    void storedDatesOrderAsTime()
    {
        const SqlDialect &dialect = m_db->dialect();
        const double day = OleDate::fromDate(QDate(2024, 3, 14));
        const QString morning = dialect.dateTimeValue(day + 0.25).toString();
        const QString evening = dialect.dateTimeValue(day + 0.9).toString();
        const QString nextDay = dialect.dateTimeValue(day + 1).toString();
        QVERIFY(morning < evening);
        QVERIFY(evening < nextDay);
        QVERIFY(!dialect.oleDate(u"14/03/2024"_s));
        QVERIFY(!dialect.oleDate(u"2024-13-01 00:00:00.000"_s));
    }

    void transactionRollsBackWhenLeftByAnException()
    {
        const qint64 before = count(*m_db, u"SELECT COUNT(*) FROM DIETPADR"_s);
        try {
            SqlTransaction transaction(*m_db);
            execSql(m_db->sql(), u"INSERT INTO DIETPADR (CDDIETPAD, DSDIETPAD, IDFORMDIET) VALUES ('9999', 'x', '1')"_s);
            QCOMPARE(count(*m_db, u"SELECT COUNT(*) FROM DIETPADR"_s), before + 1);
            throw EValidationError(u"stop"_s);
        } catch (const EValidationError &) {
        }
        QCOMPARE(count(*m_db, u"SELECT COUNT(*) FROM DIETPADR"_s), before);
    }

    void demoIsDeterministic()
    {
        DemoDatabase again;
        QVERIFY2(again.isValid(), qPrintable(again.errorString()));
        auto other = again.open(u"demo-again"_s);
        const QStringList first = dump(*m_db);
        QVERIFY(first.size() > 300);
        QCOMPARE(dump(*other), first);

        DemoOptions seeded = TestSupport::demoOptions();
        seeded.seed = 7;
        DemoDatabase different(seeded);
        QVERIFY2(different.isValid(), qPrintable(different.errorString()));
        auto third = different.open(u"demo-other-seed"_s);
        QVERIFY(dump(*third) != first);
    }

    void demoHoldsWhatTheScreenNeeds_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<bool>("some"); // true: at least one row counts; false: none may
        const QString onDate = u"DTSERVINTE = '2024-03-14 00:00:00.000'"_s;
        QTest::newRow("services of branch 0001") << u"SELECT COUNT(*) FROM SERVICO WHERE CDFILIAL = '0001'"_s << true;
        QTest::newRow("services of branch 0002") << u"SELECT COUNT(*) FROM SERVICO WHERE CDFILIAL = '0002'"_s << true;
        QTest::newRow("enteral services") << u"SELECT COUNT(*) FROM SERVICO WHERE IDTPSERVHOSP = '1'"_s << true;
        QTest::newRow("lactário services") << u"SELECT COUNT(*) FROM SERVICO WHERE IDTPSERVHOSP = '2'"_s << true;
        QTest::newRow("diets of both formulations")
            << u"SELECT COUNT(DISTINCT IDFORMDIET) - 1 FROM DIETPADR WHERE IDFORMDIET IN ('1', '2')"_s << true;
        QTest::newRow("diet linked across modes")
            << u"SELECT COUNT(*) FROM DIETSERV S JOIN SERVICO V USING (CDFILIAL, CDSERVFILI)"
               " JOIN DIETPADR D USING (CDDIETPAD) WHERE V.IDTPSERVHOSP = D.IDFORMDIET"_s
            << false;
        QTest::newRow("ADMIN nutritionist of 0001")
            << u"SELECT COUNT(*) FROM NUTRICIO WHERE CDOPERADOR = 'ADMIN' AND CDFILIAL = '0001'"_s << true;
        QTest::newRow("VISITA nutritionist nowhere") << u"SELECT COUNT(*) FROM NUTRICIO WHERE CDOPERADOR = 'VISITA'"_s << false;
        QTest::newRow("in-patients") << u"SELECT COUNT(*) FROM INTERNAC WHERE DTALTA IS NULL"_s << true;
        QTest::newRow("discharged") << u"SELECT COUNT(*) FROM INTERNAC WHERE DTALTA IS NOT NULL"_s << true;
        QTest::newRow("two open stays of one patient")
            << u"SELECT COUNT(*) FROM (SELECT CDPACIENTE FROM INTERNAC WHERE DTALTA IS NULL GROUP BY CDPACIENTE HAVING COUNT(*) > 1)"_s
            << false;
        QTest::newRow("one bed for two in-patients")
            << u"SELECT COUNT(*) FROM (SELECT CDFILIAL, CDLEITO FROM INTERNAC WHERE DTALTA IS NULL GROUP BY 1, 2 HAVING COUNT(*) > 1)"_s
            << false;
        QTest::newRow("discharged patient with services on the date")
            << u"SELECT COUNT(*) FROM SERVINTE S WHERE "_s + onDate
                   + u" AND NOT EXISTS (SELECT 1 FROM INTERNAC I WHERE I.CDPACIENTE = S.CDPACIENTE AND I.DTALTA IS NULL)"_s
            << true;
        QTest::newRow("services without items")
            << u"SELECT COUNT(*) FROM SERVINTE S WHERE "_s + onDate
                   + u" AND NOT EXISTS (SELECT 1 FROM CONFESCO C WHERE C.CDPACIENTE = S.CDPACIENTE"
                     " AND C.DTSERVINTE = S.DTSERVINTE AND C.NRSEQUSERV = S.NRSEQUSERV AND C.CDFILIAL = S.CDFILIAL)"_s
            << true;
        QTest::newRow("services with more than five items")
            << u"SELECT COUNT(*) FROM (SELECT 1 FROM CONFESCO GROUP BY CDPACIENTE, DTSERVINTE, NRSEQUSERV, CDFILIAL"
               " HAVING COUNT(*) > 5)"_s
            << false;
        QTest::newRow("services with five items")
            << u"SELECT COUNT(*) FROM (SELECT 1 FROM CONFESCO GROUP BY CDPACIENTE, DTSERVINTE, NRSEQUSERV, CDFILIAL"
               " HAVING COUNT(*) = 5)"_s
            << true;
        QTest::newRow("items without consumption date") << u"SELECT COUNT(*) FROM CONFESCO WHERE DTCONSCONF IS NULL"_s << true;
        QTest::newRow("items without a quantity")
            << u"SELECT COUNT(*) FROM CONFESCO WHERE QTSERVCONF IS NULL OR QTPRATCONF IS NULL"_s << true;
        QTest::newRow("items consumed the next day")
            << u"SELECT COUNT(*) FROM CONFESCO WHERE substr(DTCONSCONF, 1, 10) > substr(DTSERVINTE, 1, 10)"_s << true;
        QTest::newRow("services without weight") << u"SELECT COUNT(*) FROM SERVINTE WHERE NRSERVPESO IS NULL"_s << true;
        QTest::newRow("services on the day before")
            << u"SELECT COUNT(*) FROM SERVINTE WHERE DTSERVINTE = '2024-03-13 00:00:00.000'"_s << true;
        QTest::newRow("codes shorter than their column")
            << u"SELECT COUNT(*) FROM SERVINTE WHERE length(CDPACIENTE) <> 12 OR length(CDSERVFILI) <> 5"
               " OR length(CDDIETPAD) <> 4 OR length(NRSEQUSERV) <> 2 OR length(CDFILIAL) <> 4"_s
            << false;
        QTest::newRow("accented names") << u"SELECT COUNT(*) FROM PACIENTE WHERE NMPACIENTE GLOB '*[ãçéíóúâêôÁÂÍÓ]*'"_s << true;
        QTest::newRow("observation of the brief")
            << u"SELECT COUNT(*) FROM CONFESCO WHERE DSOBSCONF = 'Diluir em água filtrada; infusão contínua'"_s << true;
    }

    void demoHoldsWhatTheScreenNeeds()
    {
        QFETCH(QString, sql);
        QFETCH(bool, some);
        const qint64 found = count(*m_db, sql);
        if (some)
            QVERIFY2(found > 0, qPrintable(u"none found"_s));
        else
            QCOMPARE(found, 0);
    }

    void demoScalesToTwoThousandPatients()
    {
        DemoDatabase big(TestSupport::demoOptions(2000));
        QVERIFY2(big.isValid(), qPrintable(big.errorString()));
        QCOMPARE(big.summary().patients, 2000);
        auto database = big.open(u"demo-big"_s);
        QCOMPARE(count(*database, u"SELECT COUNT(*) FROM PACIENTE"_s), 2000);
        QCOMPARE(count(*database, u"SELECT COUNT(DISTINCT CDPACIENTE) FROM INTERNAC WHERE DTALTA IS NULL"_s),
                 big.summary().inPatients);
        QVERIFY(big.summary().services > 1000);
        QCOMPARE(count(*database, u"SELECT COUNT(*) FROM CONFESCO WHERE DTSERVINTE = '2024-03-14 00:00:00.000'"_s),
                 big.summary().items);
    }

    void demoRefusesWhatItCannotDo_data()
    {
        QTest::addColumn<int>("patients");
        QTest::addColumn<bool>("onDemo"); // into the database that already holds the demo
        QTest::newRow("no patients") << 0 << false;
        QTest::newRow("more than the maximum") << DemoHospital::MaxPatients + 1 << false;
        QTest::newRow("a database with data") << 40 << true;
    }

    void demoRefusesWhatItCannotDo()
    {
        QFETCH(int, patients);
        QFETCH(bool, onDemo);
        const QStringList before = dump(*m_db);
        auto memory = Database::open(u"sqlite::memory:"_s, u"demo-refused"_s);
        Database &target = onDemo ? *m_db : *memory;
        QVERIFY_THROWS_EXCEPTION(EHouseError, DemoHospital::create(target, TestSupport::demoOptions(patients)));
        QCOMPARE(dump(*m_db), before);
    }

    void toolCreatesTheDemo_data()
    {
        QTest::addColumn<QStringList>("arguments"); // PATH stands for a fresh database file
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("output");
        QTest::newRow("demo") << QStringList{u"demo"_s, u"sqlite:PATH"_s, u"--patients"_s, u"12"_s, u"--date"_s, u"2024-01-02"_s}
                              << 0 << u"demo hospital for 2024-01-02: 12 patients"_s;
        QTest::newRow("schema only") << QStringList{u"schema"_s, u"sqlite:PATH"_s} << 0 << u"schema ready"_s;
        QTest::newRow("bad patients") << QStringList{u"demo"_s, u"sqlite:PATH"_s, u"--patients"_s, u"lots"_s} << 1
                                      << u"--patients"_s;
        QTest::newRow("bad date") << QStringList{u"demo"_s, u"sqlite:PATH"_s, u"--date"_s, u"14/03/2024"_s} << 1 << u"--date"_s;
        QTest::newRow("firebird") << QStringList{u"demo"_s, u"firebird://h/x.fdb"_s} << 1 << u"não suportado"_s;
        QTest::newRow("unknown command") << QStringList{u"drop"_s, u"sqlite:PATH"_s} << 1 << u"usage"_s;
    }

    void toolCreatesTheDemo()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, output);
        QTemporaryDir dir;
        arguments.replaceInStrings(u"PATH"_s, dir.filePath(u"tool.db"_s));
        QProcess tool;
        tool.start(QStringLiteral(RBX_DB_TOOL), arguments);
        QVERIFY(tool.waitForFinished(60000));
        const QString text = QString::fromUtf8(tool.readAllStandardOutput() + tool.readAllStandardError());
        QCOMPARE(tool.exitCode(), exitCode);
        QVERIFY2(text.contains(output), qPrintable(text));
    }

private:
    std::unique_ptr<DemoDatabase> m_demo;
    std::unique_ptr<Database> m_db;
};

QTEST_GUILESS_MAIN(TestDb)
#include "tst_db.moc"
