// The server's own Firebird session (the client library's object interface, no Qt driver):
// values of every column type as the service binds and reads them, statements that outlive
// their transactions, savepoints, refused rows and the server's words when something fails.
#include <db/Database.h>
#include <db/FirebirdApiSession.h>
#include <protocol/HouseError.h>
#include <protocol/OleDate.h>
#include <db/Schema.h>
#include <db/SqlDialect.h>
#include <db/SqlSession.h>
#include <db/SqlStatement.h>
#include <support/TestEngine.h>

#include <QTest>

#include <optional>

using namespace rbx;

using namespace Qt::StringLiterals;
using TestSupport::Engine;

namespace {

using Bindings = QList<std::pair<QString, QVariant>>;

void run(PreparedStatement &statement, const Bindings &bindings)
{
    for (const auto &[name, value] : bindings)
        statement.bind(name, value);
    statement.exec();
}

// Every row of a query, each as its list of values.
QList<QVariantList> rows(SqlSession &session, const QString &sql, const Bindings &bindings = {})
{
    auto statement = session.prepare(sql);
    run(*statement, bindings);
    QList<QVariantList> all;
    while (statement->next()) {
        QVariantList row;
        for (int column = 0; statement->column(u"C%1"_s.arg(column)) >= 0; ++column)
            row << statement->value(column);
        all << row;
    }
    return all;
}

int execute(SqlSession &session, const QString &sql, const Bindings &bindings = {})
{
    auto statement = session.prepare(sql);
    run(*statement, bindings);
    return int(statement->rowsAffected());
}

QString insertInto(const QString &table, const QStringList &columns)
{
    return u"INSERT INTO %1 (%2) VALUES (:%3)"_s.arg(table, columns.join(u", "_s), columns.join(u", :"_s));
}

const QString Branch = u"0001"_s;
const QString Patient = u"000000000042"_s;

} // namespace

class TestFirebirdApi final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        RBX_REQUIRE_ENGINE(Engine::Firebird);
        m_scratch.emplace(u"api"_s, Engine::Firebird);
        {
            // the schema as the server's start makes it, through the Qt connection
            auto database = Database::open(m_scratch->url(), u"api-schema"_s);
            Schema::create(*database);
        }
        m_session = openFirebirdApiSession(m_scratch->url(), u"api"_s);
        SqlSession &s = *m_session;
        execute(s, insertInto(u"PACIENTE"_s, {u"CDPACIENTE"_s, u"NMPACIENTE"_s}), {{u":CDPACIENTE"_s, Patient}, {u":NMPACIENTE"_s, u"Ângela Conceição"_s}});
        execute(s, insertInto(u"SERVICO"_s, {u"CDFILIAL"_s, u"CDSERVFILI"_s, u"NMSERVICO"_s, u"IDTPSERVHOSP"_s}),
                {{u":CDFILIAL"_s, Branch}, {u":CDSERVFILI"_s, u"90001"_s}, {u":NMSERVICO"_s, u"Nutrição"_s}, {u":IDTPSERVHOSP"_s, u"1"_s}});
        execute(s, insertInto(u"DIETPADR"_s, {u"CDDIETPAD"_s, u"DSDIETPAD"_s, u"IDFORMDIET"_s}),
                {{u":CDDIETPAD"_s, u"0101"_s}, {u":DSDIETPAD"_s, u"Padrão"_s}, {u":IDFORMDIET"_s, u"E"_s}});
        execute(s, insertInto(u"NUTRICIO"_s, {u"CDFILIAL"_s, u"CDNUTRICIO"_s, u"CDOPERADOR"_s, u"NMNUTRICIO"_s}),
                {{u":CDFILIAL"_s, Branch}, {u":CDNUTRICIO"_s, u"001"_s}, {u":CDOPERADOR"_s, u"ADMIN"_s}, {u":NMNUTRICIO"_s, u"Nutricionista"_s}});
    }

    // Each column of the two tables the copy writes, read back as the Qt driver read it: the
    // server stores what the service sends and hands it back unchanged.
    void everyColumnTypeRoundTrips()
    {
        SqlSession &s = *m_session;
        const SqlDialect &dialect = s.dialect();
        const double day = OleDate::fromDate(QDate(2026, 3, 2)) + 0.4375; // 10:30
        const double admitted = OleDate::fromDate(QDate(2026, 2, 27)) + 0.75;
        const QVariant at = dialect.dateTimeValue(day);
        const Bindings service{{u":CDPACIENTE"_s, Patient}, {u":DTSERVINTE"_s, at}, {u":NRSEQUSERV"_s, u"01"_s},
                               {u":CDFILIAL"_s, Branch}, {u":CDSERVFILI"_s, u"90001"_s}, {u":CDDIETPAD"_s, u"0101"_s},
                               {u":NRACOMPANA"_s, u"0"_s}, {u":STPACIACOM"_s, QVariant()}, {u":IDIMPRSERV"_s, u"S"_s},
                               {u":IDTIPOSERINT"_s, QVariant(QMetaType::fromType<QString>())}, {u":IDRESTSERIN"_s, u"N"_s},
                               {u":CDDIETGRUPSI"_s, u"0101"_s}, {u":CDNUTRICIO"_s, u"001"_s},
                               {u":DTINTERNA"_s, dialect.dateTimeValue(admitted)},
                               {u":DSSERVINTE"_s, u"Ângela Conceição: elevar cabeceira a 30°"_s}, {u":NRSERVPESO"_s, 72.5}};
        QStringList columns;
        for (const auto &[name, value] : service)
            columns << name.mid(1);
        QCOMPARE(execute(s, insertInto(u"SERVINTE"_s, columns), service), 1);

        // a text and a whole number bound to DOUBLE columns are converted by the server
        const Bindings item{{u":CDPACIENTE"_s, Patient}, {u":DTSERVINTE"_s, at}, {u":NRSEQUSERV"_s, u"01"_s},
                            {u":CDSEQUCOPR"_s, u"0001"_s}, {u":CDFILIAL"_s, Branch}, {u":CDFILAUXPRAT"_s, QVariant()},
                            {u":CDPRATO"_s, u"PRATO-Ç"_s}, {u":QTSERVCONF"_s, u"1.5"_s}, {u":QTPRATCONF"_s, 250},
                            {u":QTINFUCONF"_s, 62.5}, {u":HRCONSCONF"_s, 0.3333333333333333},
                            {u":DTCONSCONF"_s, dialect.dateTimeValue(day + 0.125)}, {u":CDPRODUTO"_s, u"PROD000001"_s},
                            {u":CDVIACESDIET"_s, u"SNE"_s}, {u":IDPREPCONF"_s, QVariant()},
                            {u":DSOBSCONF"_s, u"Diluir em água; não misturar"_s}};
        QStringList itemColumns;
        for (const auto &[name, value] : item)
            itemColumns << name.mid(1);
        QCOMPARE(execute(s, insertInto(u"CONFESCO"_s, itemColumns), item), 1);

        const auto check = [&](const QString &table, const QStringList &names, const Bindings &written) {
            QStringList aliased;
            for (qsizetype i = 0; i < names.size(); ++i)
                aliased << u"%1 AS C%2"_s.arg(names.at(i)).arg(i);
            const QList<QVariantList> read = rows(s, u"SELECT %1 FROM %2"_s.arg(aliased.join(u", "_s), table));
            QCOMPARE(read.size(), 1);
            for (qsizetype i = 0; i < names.size(); ++i) {
                const QVariant &back = read.at(0).at(i);
                const QVariant &sent = written.at(i).second;
                const QByteArray what = (table + u'.' + names.at(i)).toUtf8();
                if (sent.metaType().id() == QMetaType::QDateTime) {
                    QVERIFY2(dialect.oleDate(back) == dialect.oleDate(sent), what.constData());
                } else if (sent.isNull() || (sent.metaType().id() == QMetaType::QString && sent.toString().isNull())) {
                    QVERIFY2(!back.isValid(), what.constData());
                } else if (Schema::column(table, names.at(i)).type == Schema::ColumnType::Float) {
                    QCOMPARE(back.metaType().id(), QMetaType::Double);
                    QCOMPARE(back.toDouble(), sent.toDouble());
                } else {
                    QCOMPARE(back.metaType().id(), QMetaType::QString);
                    QCOMPARE(back.toString(), sent.toString());
                }
            }
        };
        check(u"SERVINTE"_s, columns, service);
        check(u"CONFESCO"_s, itemColumns, item);
        // the time of day survives, and a CHAR is as wide as declared in characters
        const QList<QVariantList> read = rows(s, u"SELECT DTSERVINTE AS C0, CAST(NRSEQUSERV AS CHAR(4)) AS C1, "
                                                 u"CAST(:T AS CHAR(3)) AS C2, COUNT(*) OVER () AS C3 FROM SERVINTE"_s,
                                              {{u":T"_s, u"çã"_s}});
        QCOMPARE(read.at(0).at(0).toDateTime().time(), QTime(10, 30));
        QCOMPARE(read.at(0).at(1).toString(), u"01  "_s);
        QCOMPARE(read.at(0).at(2).toString(), u"çã "_s);
        QCOMPARE(read.at(0).at(3).metaType().id(), QMetaType::LongLong);
        // a text parameter of any length goes as a BLOB and comes back whole
        const QString list = u"_000001_"_s.repeated(6000);
        QCOMPARE(rows(s, u"SELECT P.PARAM AS C0 FROM PARAM(:L) P"_s, {{u":L"_s, list}}).at(0).at(0).toString(), list);
    }

    // One compilation serves every later transaction, committed or not, and reads outside any.
    void aStatementServesManyTransactions()
    {
        SqlSession &s = *m_session;
        QVERIFY(s.statementsOutliveTransactions());
        QVERIFY(s.movableAcrossThreads());
        auto insert = s.prepare(insertInto(u"ALA"_s, {u"CDFILIAL"_s, u"CDALA"_s, u"NMALA"_s}));
        auto count = s.prepare(u"SELECT COUNT(*) FROM ALA WHERE CDALA LIKE 'T%'"_s);
        const auto counted = [&] {
            count->exec();
            const int n = count->next() ? count->value(0).toInt() : -1;
            count->finish();
            return n;
        };
        for (int i = 0; i < 3; ++i) {
            s.begin();
            run(*insert, {{u":CDFILIAL"_s, Branch}, {u":CDALA"_s, u"T%1"_s.arg(i)}, {u":NMALA"_s, u"Ala nº %1"_s.arg(i)}});
            QCOMPARE(insert->rowsAffected(), qint64(1));
            QCOMPARE(counted(), i == 2 ? 2 : i + 1); // the transaction sees its own row
            if (i == 1)
                s.rollback();
            else
                s.commit();
        }
        QCOMPARE(counted(), 2);
        QCOMPARE(rows(s, u"SELECT CDALA AS C0 FROM ALA WHERE CDALA LIKE 'T%' ORDER BY CDALA"_s),
                 (QList<QVariantList>{{u"T0"_s}, {u"T2"_s}}));
    }

    void savepointsUndoOnlyWhatFollows()
    {
        SqlSession &s = *m_session;
        auto insert = s.prepare(insertInto(u"ALA"_s, {u"CDFILIAL"_s, u"CDALA"_s}));
        const auto add = [&](const QString &code) { run(*insert, {{u":CDFILIAL"_s, Branch}, {u":CDALA"_s, code}}); };
        s.begin();
        add(u"S1"_s);
        s.savepoint(u"CALL1"_s);
        add(u"S2"_s);
        s.rollbackToSavepoint(u"CALL1"_s);
        s.savepoint(u"CALL2"_s);
        add(u"S3"_s);
        s.releaseSavepoint(u"CALL2"_s);
        s.commit();
        QCOMPARE(rows(s, u"SELECT CDALA AS C0 FROM ALA WHERE CDALA LIKE 'S%' ORDER BY 1"_s),
                 (QList<QVariantList>{{u"S1"_s}, {u"S3"_s}}));
        QVERIFY_THROWS_EXCEPTION(EDatabaseError, s.savepoint(u"OUTSIDE"_s)); // no transaction to mark
    }

    // Rows counted as the server counts them; outside begin() a write commits on its own.
    void writesReportTheirRows()
    {
        SqlSession &s = *m_session;
        for (const QString &code : {u"R1"_s, u"R2"_s, u"R3"_s})
            execute(s, insertInto(u"ALA"_s, {u"CDFILIAL"_s, u"CDALA"_s}), {{u":CDFILIAL"_s, Branch}, {u":CDALA"_s, code}});
        QCOMPARE(execute(s, u"UPDATE ALA SET NMALA = :N WHERE CDALA LIKE 'R%'"_s, {{u":N"_s, u"Ala Três"_s}}), 3);
        QCOMPARE(execute(s, u"DELETE FROM ALA WHERE CDALA = 'NONE'"_s), 0);
        QCOMPARE(execute(s, u"DELETE FROM ALA WHERE CDALA IN ('R1', 'R2')"_s), 2);
        auto other = openFirebirdApiSession(m_scratch->url(), u"api-other"_s);
        QCOMPARE(rows(*other, u"SELECT CDALA AS C0, NMALA AS C1 FROM ALA WHERE CDALA LIKE 'R%'"_s),
                 (QList<QVariantList>{{u"R3"_s, u"Ala Três"_s}}));
    }

    void refusedRowsAreConstraintViolations()
    {
        SqlSession &s = *m_session;
        const QString insertAla = insertInto(u"ALA"_s, {u"CDFILIAL"_s, u"CDALA"_s});
        execute(s, insertAla, {{u":CDFILIAL"_s, Branch}, {u":CDALA"_s, u"D1"_s}});
        s.begin();
        try {
            execute(s, insertAla, {{u":CDFILIAL"_s, Branch}, {u":CDALA"_s, u"D1"_s}});
            QFAIL("a duplicate key was accepted");
        } catch (const EConstraintViolation &error) {
            QVERIFY2(error.message().startsWith(u"Erro no banco de dados: "_s), qPrintable(error.message()));
            QVERIFY2(error.message().contains(u"PRIMARY or UNIQUE KEY"_s), qPrintable(error.message()));
        }
        // the refused statement is undone alone: the transaction goes on
        execute(s, insertAla, {{u":CDFILIAL"_s, Branch}, {u":CDALA"_s, u"D2"_s}});
        s.commit();
        QCOMPARE(rows(s, u"SELECT COUNT(*) AS C0 FROM ALA WHERE CDALA LIKE 'D%'"_s).at(0).at(0).toInt(), 2);
        try {
            execute(s, insertInto(u"CONFESCO"_s, {u"CDPACIENTE"_s, u"DTSERVINTE"_s, u"NRSEQUSERV"_s, u"CDSEQUCOPR"_s, u"CDFILIAL"_s}),
                    {{u":CDPACIENTE"_s, Patient}, {u":DTSERVINTE"_s, s.dialect().dateTimeValue(OleDate::fromDate(QDate(2030, 1, 1)))},
                     {u":NRSEQUSERV"_s, u"09"_s}, {u":CDSEQUCOPR"_s, u"0001"_s}, {u":CDFILIAL"_s, Branch}});
            QFAIL("an item without its service was accepted");
        } catch (const EConstraintViolation &error) {
            QVERIFY2(error.message().contains(u"FOREIGN KEY"_s), qPrintable(error.message()));
        }
    }

    // Statements joined into one run as one: every value as it would go alone, and all or nothing.
    void joinedStatementsRunAsOne()
    {
        SqlSession &s = *m_session;
        const QString insertAla = u"INSERT INTO ALA (CDFILIAL, CDALA, NMALA) VALUES (:F1, :C1, :N1)"_s;
        const QString insertService = insertInto(u"SERVINTE"_s, {u"CDPACIENTE"_s, u"DTSERVINTE"_s, u"NRSEQUSERV"_s,
                                                               u"CDFILIAL"_s, u"CDSERVFILI"_s, u"CDDIETPAD"_s, u"NRSERVPESO"_s});
        const QString secondAla = u"INSERT INTO ALA (CDFILIAL, CDALA) VALUES (:F2, :C2)"_s;
        QVERIFY(s.joined({u"SELECT CDALA FROM ALA"_s, insertAla}).isEmpty()); // a query is no part of one
        QVERIFY(s.joined({insertAla, insertAla}).isEmpty());                  // nor a name two parts share
        const QString block = s.joined({insertAla, insertService, secondAla});
        QVERIFY(block.startsWith(u"EXECUTE BLOCK"_s));
        const QVariant day = s.dialect().dateTimeValue(OleDate::fromDate(QDate(2026, 3, 9)) + 0.75);
        const auto runBlock = [&](const QString &second) {
            run(*s.prepare(block), {{u":F1"_s, Branch}, {u":C1"_s, u"J1"_s}, {u":N1"_s, u"Ala São João"_s}, {u":CDFILIAL"_s, Branch},
                                   {u":CDPACIENTE"_s, Patient}, {u":DTSERVINTE"_s, day}, {u":NRSEQUSERV"_s, u"07"_s},
                                   {u":CDSERVFILI"_s, u"90001"_s}, {u":CDDIETPAD"_s, u"0101"_s}, {u":NRSERVPESO"_s, 61.25},
                                   {u":F2"_s, Branch}, {u":C2"_s, second}});
        };
        s.begin();
        QVERIFY_THROWS_EXCEPTION(EConstraintViolation, runBlock(u"J1"_s)); // its own first row's key
        QCOMPARE(rows(s, u"SELECT COUNT(*) AS C0 FROM ALA WHERE CDALA = 'J1'"_s).at(0).at(0).toInt(), 0);
        runBlock(u"J2"_s);
        s.commit();
        QCOMPARE(rows(s, u"SELECT CDALA AS C0, NMALA AS C1 FROM ALA WHERE CDALA LIKE 'J%' ORDER BY 1"_s),
                 (QList<QVariantList>{{u"J1"_s, u"Ala São João"_s}, {u"J2"_s, QVariant()}}));
        const QList<QVariantList> service = rows(s, u"SELECT DTSERVINTE AS C0, NRSERVPESO AS C1 FROM SERVINTE"
                                                    u" WHERE NRSEQUSERV = '07'"_s);
        QCOMPARE(service.size(), 1);
        QCOMPARE(s.dialect().oleDate(service.at(0).at(0)), s.dialect().oleDate(day));
        QCOMPARE(service.at(0).at(1).toDouble(), 61.25);
    }

    // Placeholders are found in the statement's text only, and a mistake says what Firebird said.
    void statementsAndTheirFailures()
    {
        SqlSession &s = *m_session;
        QString why;
        QVERIFY2(s.reaches(&why), qPrintable(why));
        QCOMPARE(rows(s, u"SELECT ':NOT' || CAST(:YES AS VARCHAR(8)) AS C0 /* :NOR */ FROM RDB$DATABASE -- :NEITHER"_s, {{u":YES"_s, u"-sim"_s}}),
                 (QList<QVariantList>{{u":NOT-sim"_s}}));
        auto statement = s.prepare(u"SELECT 1 FROM RDB$DATABASE WHERE 1 = :ONE"_s);
        QVERIFY_THROWS_EXCEPTION(EDatabaseError, statement->bind(u":TWO"_s, 2));
        QVERIFY_THROWS_EXCEPTION(EDatabaseError, s.prepare(u"SELECT 1 FROM RDB$DATABASE WHERE :A = 1 OR :A = 2"_s));
        try {
            s.prepare(u"SELECT NOPE FROM ALA"_s);
            QFAIL("an unknown column was accepted");
        } catch (const EConstraintViolation &) {
            QFAIL("a bad statement is no refused row");
        } catch (const EDatabaseError &error) {
            QVERIFY2(error.message().startsWith(u"Erro no banco de dados: "_s), qPrintable(error.message()));
            QVERIFY2(error.message().contains(u"Column unknown"_s) && error.message().contains(u"NOPE"_s),
                     qPrintable(error.message()));
        }
        // an error that comes only with the rows
        auto late = s.prepare(u"SELECT 1 FROM RDB$DATABASE WHERE :FLAG = 'T'"_s);
        late->bind(u":FLAG"_s, u"TX"_s);
        QVERIFY_THROWS_EXCEPTION(EDatabaseError, (late->exec(), late->next()));
        QVERIFY(s.reaches(&why));
    }

    void cleanupTestCase()
    {
        m_session.reset();
        m_scratch.reset();
    }

private:
    std::optional<ScratchDatabase> m_scratch;
    std::unique_ptr<SqlSession> m_session;
};

QTEST_GUILESS_MAIN(TestFirebirdApi)
#include "tst_firebird_api.moc"
