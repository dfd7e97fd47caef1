// What only Firebird has: databases created on demand, credentials from the environment, the
// routines PARAM and INSTR, and codes that keep their length.
#include <db/Database.h>
#include <db/FirebirdConnection.h>
#include <db/FirebirdFiles.h>
#include <protocol/HouseError.h>
#include <db/Schema.h>
#include <db/SqlDialect.h>
#include <db/SqlStatement.h>
#include <db/SqlTransaction.h>
#include <support/TestEngine.h>

#include <QTest>

#include <optional>

using namespace rbx;

using namespace Qt::StringLiterals;
using TestSupport::Engine;

namespace {

// Sets or clears an environment variable for one scope.
class EnvironmentChange final
{
public:
    EnvironmentChange(const char *name, const QString &value, bool set = true)
        : m_name(name), m_had(qEnvironmentVariableIsSet(name)), m_old(qgetenv(name))
    {
        if (set)
            qputenv(name, value.toUtf8());
        else
            qunsetenv(name);
    }
    ~EnvironmentChange()
    {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }
    EnvironmentChange(const EnvironmentChange &) = delete;
    EnvironmentChange &operator=(const EnvironmentChange &) = delete;

private:
    const char *m_name;
    bool m_had;
    QByteArray m_old;
};

FirebirdServer::Target targetOf(const ScratchDatabase &scratch) { return *FirebirdServer::parseUrl(scratch.url(), nullptr); }

QVariant single(Database &database, const QString &sql, const QVariantMap &bindings)
{
    SqlStatement query(database.sql(), sql);
    for (auto it = bindings.cbegin(); it != bindings.cend(); ++it)
        query.bind(it.key(), it.value());
    query.exec();
    if (!query.next())
        throw EDatabaseError(u"no row"_s);
    const QVariant value = query.value(0);
    if (query.next())
        throw EDatabaseError(u"more than one row"_s);
    return value;
}

} // namespace

class TestFirebird final : public QObject
{
    Q_OBJECT

private slots:
    void credentialsComeOnlyFromTheEnvironment_data()
    {
        QTest::addColumn<QByteArray>("variable");
        QTest::newRow("no user") << QByteArray("ISC_USER");
        QTest::newRow("no password") << QByteArray("ISC_PASSWORD");
    }

    void credentialsComeOnlyFromTheEnvironment()
    {
        QFETCH(QByteArray, variable);
        const EnvironmentChange user("ISC_USER", u"operador-çã"_s);
        const EnvironmentChange password("ISC_PASSWORD", u"senha-secreta"_s);
        const EnvironmentChange missing(variable.constData(), QString(), false);
        try {
            Database::open(u"firebird://127.0.0.1:3050/tmp/nunca-criado.fdb"_s, u"no-credentials"_s);
            QFAIL("opened without credentials");
        } catch (const EDatabaseError &error) {
            QVERIFY2(error.message().contains(u"ISC_USER"_s) && error.message().contains(u"ISC_PASSWORD"_s),
                     qPrintable(error.message()));
            QVERIFY(!error.message().contains(u"senha-secreta"_s));
            QVERIFY(!error.message().contains(u"operador-çã"_s));
        }
        QVERIFY(!QSqlDatabase::contains(u"no-credentials"_s));
    }

    void missingDatabaseIsCreatedThenOpenedAsItIs()
    {
        RBX_REQUIRE_ENGINE(Engine::Firebird);
        ScratchDatabase scratch(u"created"_s, Engine::Firebird);
        const FirebirdServer::Credentials credentials = FirebirdServer::credentialsFromEnvironment();
        QVERIFY(!FirebirdFiles::exists(targetOf(scratch), credentials));
        {
            auto database = Database::open(scratch.url(), u"first-open"_s);
            QCOMPARE(database->dialect().name(), u"Firebird"_s);
            Schema::create(*database);
            execSql(database->sql(), u"INSERT INTO ALA (CDFILIAL, CDALA, NMALA) VALUES ('0001', 'A1', 'Ala São José')"_s);
        }
        QVERIFY(FirebirdFiles::exists(targetOf(scratch), credentials));
        // a second open finds what the first left: nothing was created over it
        auto again = Database::open(scratch.url(), u"second-open"_s);
        QCOMPARE(single(*again, u"SELECT NMALA FROM ALA WHERE CDALA = :C"_s, {{u":C"_s, u"A1"_s}}).toString(),
                 u"Ala São José"_s);
        QVERIFY_THROWS_EXCEPTION(EDatabaseError, FirebirdFiles::create(targetOf(scratch), credentials));
        QCOMPARE(single(*again, u"SELECT COUNT(*) FROM ALA"_s, {}).toInt(), 1);
    }

    void aReaderNeverCreatesTheDatabase()
    {
        RBX_REQUIRE_ENGINE(Engine::Firebird);
        ScratchDatabase scratch(u"never-created"_s, Engine::Firebird);
        QVERIFY_THROWS_EXCEPTION(EDatabaseError, Database::open(scratch.url(), u"reader"_s, Database::Role::Reader));
        QVERIFY(!FirebirdFiles::exists(targetOf(scratch), FirebirdServer::credentialsFromEnvironment()));
        QVERIFY(!QSqlDatabase::contains(u"reader"_s));
    }

    void openFailuresSayWhyWithoutSecrets_data()
    {
        QTest::addColumn<QString>("where");      // "closed port" or "wrong password"
        QTest::addColumn<QString>("says");
        QTest::newRow("nobody listens on the port") << u"closed port"_s << u"127.0.0.1/1:"_s;
        QTest::newRow("password refused") << u"wrong password"_s << u"password"_s;
    }

    void openFailuresSayWhyWithoutSecrets()
    {
        QFETCH(QString, where);
        QFETCH(QString, says);
        RBX_REQUIRE_ENGINE(Engine::Firebird);
        ScratchDatabase scratch(u"refused"_s, Engine::Firebird);
        QString url = scratch.url();
        if (where == u"closed port"_s)
            url = u"firebird://127.0.0.1:1"_s + scratch.path();
        const QString password = u"senha-errada-çã"_s;
        std::optional<EnvironmentChange> wrong;
        if (where == u"wrong password"_s)
            wrong.emplace("ISC_PASSWORD", password);
        try {
            Database::open(url, u"refused"_s);
            QFAIL("opened");
        } catch (const EDatabaseError &error) {
            QVERIFY2(error.message().contains(says, Qt::CaseInsensitive), qPrintable(error.message()));
            QVERIFY2(!error.message().contains(password), qPrintable(error.message()));
        }
        QVERIFY(!QSqlDatabase::contains(u"refused"_s));
    }

    // Codes are stored as sent: no blank padding that would break "_" + code + "_" or
    // equality with what a packet carries back.
    void codesKeepTheirLength()
    {
        RBX_REQUIRE_ENGINE(Engine::Firebird);
        ScratchDatabase scratch(u"codes"_s, Engine::Firebird);
        auto database = Database::open(scratch.url(), u"codes"_s);
        Schema::create(*database);
        execSql(database->sql(), u"INSERT INTO ALA (CDFILIAL, CDALA, NMALA) VALUES ('0001', 'B', 'Ala B')"_s);
        QCOMPARE(single(*database, u"SELECT CDALA FROM ALA"_s, {}).toString(), u"B"_s);
        QCOMPARE(single(*database, u"SELECT '_' || CDALA || '_' FROM ALA"_s, {}).toString(), u"_B_"_s);
        QCOMPARE(single(*database, u"SELECT COUNT(*) FROM ALA WHERE INSTR('_A_B_', '_' || CDALA || '_') > 0"_s, {}).toInt(), 1);
        // every text column: VARCHAR in UTF8
        const QString types = uR"(SELECT COUNT(*) FROM RDB$RELATION_FIELDS R
  JOIN RDB$FIELDS F ON F.RDB$FIELD_NAME = R.RDB$FIELD_SOURCE
  JOIN RDB$CHARACTER_SETS C ON C.RDB$CHARACTER_SET_ID = F.RDB$CHARACTER_SET_ID
 WHERE R.RDB$SYSTEM_FLAG = 0 AND F.RDB$FIELD_TYPE = :TYPE AND C.RDB$CHARACTER_SET_NAME = 'UTF8')"_s;
        constexpr int Char = 14, Varchar = 37;
        QCOMPARE(single(*database, types, {{u":TYPE"_s, Char}}).toInt(), 0);
        int textColumns = 0;
        for (const Schema::Table &table : Schema::tables()) {
            for (const Schema::Column &column : table.columns)
                textColumns += column.type == Schema::ColumnType::Text || column.type == Schema::ColumnType::FixedText;
        }
        QCOMPARE(single(*database, types, {{u":TYPE"_s, Varchar}}).toInt(), textColumns);
    }

    // PARAM yields its argument as one row; INSTR gives the position of part in text as the
    // Oracle function does. Both see the string parameters exactly as bound.
    void routinesAnswerLikeOracle_data()
    {
        QTest::addColumn<QVariant>("text");
        QTest::addColumn<QVariant>("part");
        QTest::addColumn<QVariant>("position"); // null for a null answer
        const QString longList = u"_0001_"_s.repeated(20000) + u"_0002_"_s;
        QTest::newRow("at the start") << QVariant(u"_01_02_"_s) << QVariant(u"_01_"_s) << QVariant(1);
        QTest::newRow("further in") << QVariant(u"_01_02_"_s) << QVariant(u"_02_"_s) << QVariant(4);
        QTest::newRow("absent") << QVariant(u"_01_02_"_s) << QVariant(u"_03_"_s) << QVariant(0);
        QTest::newRow("code across two codes") << QVariant(u"_0001234567_"_s) << QVariant(u"_12345_"_s) << QVariant(0);
        QTest::newRow("empty list") << QVariant(QString(u""_s)) << QVariant(u"_01_"_s) << QVariant(0);
        QTest::newRow("no service: __") << QVariant(u"__"_s) << QVariant(u"_01_"_s) << QVariant(0);
        QTest::newRow("all flag as a list") << QVariant(u"T"_s) << QVariant(u"_01_"_s) << QVariant(0);
        QTest::newRow("counts characters, not bytes") << QVariant(u"ação_01_"_s) << QVariant(u"_01_"_s) << QVariant(5);
        QTest::newRow("accented code") << QVariant(u"_AÇ_"_s) << QVariant(u"_AÇ_"_s) << QVariant(1);
        QTest::newRow("120006 characters") << QVariant(longList) << QVariant(u"_0002_"_s) << QVariant(int(longList.size()) - 5);
        QTest::newRow("null list") << QVariant(QMetaType::fromType<QString>()) << QVariant(u"_01_"_s) << QVariant();
    }

    void routinesAnswerLikeOracle()
    {
        QFETCH(QVariant, text);
        QFETCH(QVariant, part);
        QFETCH(QVariant, position);
        RBX_REQUIRE_ENGINE(Engine::Firebird);
        Database &database = routinesDatabase();
        const QVariant found = single(database, u"SELECT INSTR(P.PARAM, :PART) FROM PARAM(:TEXT) P"_s,
                                      {{u":TEXT"_s, text}, {u":PART"_s, part}});
        QCOMPARE(found.isNull(), position.isNull());
        if (!position.isNull())
            QCOMPARE(found.toInt(), position.toInt());
        // PARAM hands the text on unchanged: no truncation, no padding, no lost accent
        const QVariant echoed = single(database, u"SELECT P.PARAM FROM PARAM(:TEXT) P"_s, {{u":TEXT"_s, text}});
        QCOMPARE(echoed.isNull(), text.isNull());
        QCOMPARE(QString::fromUtf8(echoed.toByteArray()), text.toString());
        // INSTR also takes a plain text, as the bed query's expressions give it
        QCOMPARE(single(database, u"SELECT INSTR(:TEXT, :PART) FROM RDB$DATABASE"_s, {{u":TEXT"_s, text}, {u":PART"_s, part}}),
                 found);
    }

    // A database made before the routines existed gets them at the next schema check.
    void routinesAreAddedWhereMissing()
    {
        RBX_REQUIRE_ENGINE(Engine::Firebird);
        ScratchDatabase scratch(u"routines-later"_s, Engine::Firebird);
        auto database = Database::open(scratch.url(), u"routines-later"_s);
        Schema::create(*database);
        QVERIFY(database->dialect().missingRoutines(database->sql()).isEmpty());
        execSql(database->sql(), u"DROP FUNCTION INSTR"_s);
        execSql(database->sql(), u"DROP PROCEDURE PARAM"_s);
        QCOMPARE(database->dialect().missingRoutines(database->sql()).size(), 2);
        Schema::create(*database);
        QVERIFY(database->dialect().missingRoutines(database->sql()).isEmpty());
        QCOMPARE(single(*database, u"SELECT INSTR(P.PARAM, '_B_') FROM PARAM('_A__B_') P"_s, {}).toInt(), 4);
    }

    // Some errors come only while rows are read; they must not look like an empty result.
    void errorsWhileReadingAreRaised()
    {
        RBX_REQUIRE_ENGINE(Engine::Firebird);
        Database &database = routinesDatabase();
        SqlStatement query(database.sql(), u"SELECT 1 FROM RDB$DATABASE WHERE :FLAG = 'T'"_s);
        query.bind(u":FLAG"_s, u"TX"_s).exec();
        QVERIFY_THROWS_EXCEPTION(EDatabaseError, query.next());
    }

    void cleanupTestCase()
    {
        m_routines.reset();
        m_routinesScratch.reset();
    }

private:
    Database &routinesDatabase()
    {
        if (!m_routines) {
            m_routinesScratch = std::make_unique<ScratchDatabase>(u"routines"_s, Engine::Firebird);
            m_routines = Database::open(m_routinesScratch->url(), u"routines"_s);
            Schema::create(*m_routines);
        }
        return *m_routines;
    }

    std::unique_ptr<ScratchDatabase> m_routinesScratch;
    std::unique_ptr<Database> m_routines;
};

QTEST_GUILESS_MAIN(TestFirebird)
#include "tst_firebird.moc"
