// The screen's five lookup queries, with their stored texts, on the demo hospital in SQLite and
// in Firebird: the InterBase texts (with PARAM and INSTR) run on Firebird, as the workstation
// user with its role, the Oracle texts on SQLite, and both find the same rows.
#include <house/DBGeral.h>
#include <support/DemoDatabase.h>
#include <protocol/HouseError.h>
#include <db/SqlStatement.h>
#include <support/TestEngine.h>
#include <screen/TfrmCopFormulacao.h>
#include <db/WorkstationAccess.h>

#include <QPointer>
#include <QSqlQuery>
#include <QTest>

using namespace rbx;

using namespace Qt::StringLiterals;
using TestSupport::Engine;
using Params = QMap<QString, QString>;

namespace {

// What one run of a query found: every row, every field as text, and how the fields are shown.
struct Found
{
    QString statement;
    QStringList rows;
    QStringList fields; // label, width and display width of each declared field
};

Found run(TADOIBQuery &query, const Params &params)
{
    query.Close();
    for (auto it = params.cbegin(); it != params.cend(); ++it)
        query.ParamByName(it.key()).SetAsString(it.value());
    query.Open();
    Found found;
    found.statement = query.LastStatement();
    for (query.First(); !query.GetEOF(); query.Next()) {
        QStringList cells;
        for (const TADOIBStringField *field : query.Fields())
            cells << field->AsString();
        found.rows << cells.join(u'|');
    }
    for (const TADOIBStringField *field : query.Fields())
        found.fields << u"%1:%2:%3"_s.arg(field->DisplayLabel()).arg(field->Size()).arg(field->DisplayWidth());
    return found;
}

// The selection list the pick list writes for these codes.
QString listOf(const QStringList &codes)
{
    QString list;
    for (const QString &code : codes)
        list += u'_' + code + u'_';
    return list;
}

const QString WorkstationPassword = u"senha d'estação"_s;

// The process's Firebird login is the workstation's while this lives.
class WorkstationLogin final
{
public:
    WorkstationLogin(const QString &user, const QString &password, bool withRole = true)
        : m_user(qgetenv("ISC_USER")), m_password(qgetenv("ISC_PASSWORD"))
    {
        qputenv("ISC_USER", user.toUtf8());
        qputenv("ISC_PASSWORD", password.toUtf8());
        if (withRole)
            qputenv("ISC_ROLE", WorkstationAccess::LookupRole);
    }
    ~WorkstationLogin()
    {
        qputenv("ISC_USER", m_user);
        qputenv("ISC_PASSWORD", m_password);
        qunsetenv("ISC_ROLE");
    }
    WorkstationLogin(const WorkstationLogin &) = delete;
    WorkstationLogin &operator=(const WorkstationLogin &) = delete;

private:
    QByteArray m_user, m_password;
};

} // namespace

class TestFirebirdLookups final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        RBX_REQUIRE_ENGINE(Engine::Firebird);
        m_sqlite = std::make_unique<DemoDatabase>(TestSupport::demoOptions(), Engine::Sqlite);
        m_firebird = std::make_unique<DemoDatabase>(TestSupport::demoOptions(), Engine::Firebird);
        QVERIFY2(m_sqlite->isValid(), qPrintable(m_sqlite->errorString()));
        QVERIFY2(m_firebird->isValid(), qPrintable(m_firebird->errorString()));
        // made twice: the second time finds the role and the user and brings them up to date
        m_workstationUser = u"RBX_ESTACAO_%1"_s.arg(QCoreApplication::applicationPid());
        auto owner = m_firebird->open(u"workstation-owner"_s);
        WorkstationAccess::grantWorkstationUser(*owner, m_workstationUser, u"senha anterior"_s);
        WorkstationAccess::grantWorkstationUser(*owner, m_workstationUser, WorkstationPassword);
    }

    void cleanupTestCase()
    {
        dtmDBGeral().Close(); // before the Firebird database is dropped
        if (!m_workstationUser.isEmpty() && m_firebird) {
            // users belong to the server, not to the database dropped below
            auto owner = m_firebird->open(u"workstation-owner"_s);
            QSqlQuery(owner->sql()).exec(u"DROP USER %1"_s.arg(m_workstationUser));
        }
        m_firebird.reset();
        m_sqlite.reset();
    }

    void sameRowsOnBothDatabases_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<Params>("params");
        QTest::addColumn<int>("rows"); // -1: some; otherwise exactly that many
        const auto codes = [this](const QString &sql) {
            auto db = m_sqlite->open(u"lookup-codes"_s);
            SqlStatement query(db->sql(), sql);
            query.exec();
            QStringList found;
            while (query.next())
                found << query.value(0).toString();
            return found;
        };
        const auto number = [&](const QString &sql) { return codes(sql).value(0).toInt(); };
        const QString B = u"0001"_s;

        QTest::newRow("services, enteral") << u"qryServico"_s << Params{{u"P_CDFILIAL"_s, B}, {u"P_TPSERV"_s, u"1"_s}} << -1;
        QTest::newRow("services, lactário") << u"qryServico"_s << Params{{u"P_CDFILIAL"_s, B}, {u"P_TPSERV"_s, u"2"_s}} << -1;
        QTest::newRow("services of branch 0002") << u"qryServico"_s
                                                 << Params{{u"P_CDFILIAL"_s, u"0002"_s}, {u"P_TPSERV"_s, u"1"_s}} << -1;
        QTest::newRow("services of no such type") << u"qryServico"_s
                                                  << Params{{u"P_CDFILIAL"_s, B}, {u"P_TPSERV"_s, u"3"_s}} << 0;

        const QStringList enteral = codes(u"SELECT CDSERVFILI FROM SERVICO WHERE CDFILIAL = '0001' AND IDTPSERVHOSP = '1' ORDER BY 1"_s);
        const QStringList lactario = codes(u"SELECT CDSERVFILI FROM SERVICO WHERE CDFILIAL = '0001' AND IDTPSERVHOSP = '2' ORDER BY 1"_s);
        const auto diets = [&](const QString &services, const QString &formulation) {
            return Params{{u"P_CDSERVFILI"_s, services}, {u"P_CDFILIAL"_s, B}, {u"P_IDFORMDIET"_s, formulation}};
        };
        QTest::newRow("diets of every enteral service") << u"qryDieta"_s << diets(listOf(enteral), u"2"_s) << -1;
        QTest::newRow("diets of every lactário service") << u"qryDieta"_s << diets(listOf(lactario), u"1"_s) << -1;
        QTest::newRow("diets, a service code without its underscores")
            << u"qryDieta"_s << diets(u"x"_s + enteral.value(0) + u"y"_s, u"2"_s) << 0;
        QTest::newRow("diets of one picked service") << u"qryDieta"_s << diets(listOf({enteral.value(0)}), u"2"_s) << -1;
        QTest::newRow("diets, service list empty") << u"qryDieta"_s << diets(QString(), u"2"_s) << 0;
        QTest::newRow("diets, branch without services of the mode: __") << u"qryDieta"_s << diets(u"__"_s, u"2"_s) << 0;
        QTest::newRow("diets of the other formulation") << u"qryDieta"_s << diets(listOf(enteral), u"1"_s) << 0;

        for (const QString &branch : {B, u"0002"_s, u"0009"_s}) {
            const int expected = branch == u"0009"_s ? 0 : -1;
            QTest::addRow("floors of %s", qPrintable(branch)) << u"qryAndar"_s << Params{{u"P_CDFILIAL"_s, branch}} << expected;
            QTest::addRow("wings of %s", qPrintable(branch)) << u"qryAla"_s << Params{{u"P_CDFILIAL"_s, branch}} << expected;
        }

        const QStringList floors = codes(u"SELECT CDANDAR FROM ANDAR WHERE CDFILIAL = '0001' ORDER BY 1"_s);
        const QStringList wings = codes(u"SELECT CDALA FROM ALA WHERE CDFILIAL = '0001' ORDER BY 1"_s);
        const auto beds = [&](const QString &wingList, const QString &wingFlag, const QString &floorList, const QString &floorFlag) {
            return Params{{u"P_CDALA"_s, wingList}, {u"P_CDANDAR"_s, floorList}, {u"P_TCDALA"_s, wingFlag},
                          {u"P_TCDANDAR"_s, floorFlag}, {u"P_CDFILIAL"_s, B}};
        };
        const QString T = u"T"_s, X = u"X"_s;
        QTest::newRow("beds, wing and floor in all mode") << u"qryLeito"_s << beds(T, T, T, T)
                                                          << number(u"SELECT COUNT(*) FROM LEITO WHERE CDFILIAL = '0001'"_s);
        QTest::newRow("beds, no wing picked") << u"qryLeito"_s << beds(QString(), X, T, T) << 0;
        QTest::newRow("beds, no floor picked") << u"qryLeito"_s << beds(T, T, QString(), X) << 0;
        QTest::newRow("beds of one floor")
            << u"qryLeito"_s << beds(T, T, listOf({floors.value(0)}), X)
            << number(u"SELECT COUNT(*) FROM LEITO WHERE CDFILIAL = '0001' AND CDANDAR = '%1'"_s.arg(floors.value(0)));
        QTest::newRow("beds of two wings on one floor")
            << u"qryLeito"_s << beds(listOf(wings.mid(0, 2)), X, listOf({floors.value(0)}), X)
            << number(u"SELECT COUNT(*) FROM LEITO WHERE CDFILIAL = '0001' AND CDANDAR = '%1' AND CDALA IN ('%2', '%3')"_s
                          .arg(floors.value(0), wings.value(0), wings.value(1)));
        QTest::newRow("beds, the T of all mode read as a list") << u"qryLeito"_s << beds(T, X, T, T) << 0;
        QTest::newRow("beds, a wing code without its underscores")
            << u"qryLeito"_s << beds(wings.value(0), X, T, T) << 0;
    }

    void sameRowsOnBothDatabases()
    {
        QFETCH(QString, query);
        QFETCH(Params, params);
        QFETCH(int, rows);
        QPointer<TfrmCopFormulacao> screen = new TfrmCopFormulacao;
        const auto cleanup = qScopeGuard([&] { delete screen.data(); });
        const QMap<QString, TADOIBQuery *> lookups{{u"qryServico"_s, &screen->qryServico}, {u"qryDieta"_s, &screen->qryDieta},
                                                   {u"qryAndar"_s, &screen->qryAndar}, {u"qryAla"_s, &screen->qryAla},
                                                   {u"qryLeito"_s, &screen->qryLeito}};
        TADOIBQuery *lookup = lookups.value(query);
        QVERIFY(lookup);

        dtmDBGeral().SetUrl(m_sqlite->url());
        const Found onSqlite = run(*lookup, params);
        QCOMPARE(onSqlite.statement, lookup->SQL_ORACLE.join(u'\n'));
        Found onFirebird;
        {
            const WorkstationLogin workstation(m_workstationUser, WorkstationPassword);
            dtmDBGeral().SetUrl(m_firebird->url());
            onFirebird = run(*lookup, params);
            dtmDBGeral().Close();
        }
        QCOMPARE(onFirebird.statement, lookup->SQL_IB.join(u'\n'));

        QCOMPARE(onFirebird.rows, onSqlite.rows);
        if (rows < 0)
            QVERIFY(!onSqlite.rows.isEmpty());
        else
            QCOMPARE(onSqlite.rows.size(), rows);
        // the declared labels and widths do not depend on the database
        if (query != u"qryAndar"_s) // its code width is the database column's, see below
            QCOMPARE(onFirebird.fields, onSqlite.fields);
    }

    // What the lookups read (sameRowsOnBothDatabases) is all the workstation user may read,
    // and only with its role; its password is the one given last.
    void workstationUserReadsOnlyTheLookups()
    {
        // the first of the statements that ran, or nothing
        const auto allowed = [this](bool withRole, const QStringList &statements) {
            const WorkstationLogin workstation(m_workstationUser, WorkstationPassword, withRole);
            auto db = Database::open(m_firebird->url(), u"workstation"_s, Database::Role::Reader);
            for (const QString &sql : statements) {
                QSqlQuery query(db->sql());
                if (query.exec(sql) && (!query.isSelect() || query.next()))
                    return sql;
            }
            return QString();
        };
        QCOMPARE(allowed(true, {u"SELECT CDALA FROM ALA"_s}), u"SELECT CDALA FROM ALA"_s);
        QCOMPARE(allowed(true, {u"SELECT CDPACIENTE FROM PACIENTE"_s, u"SELECT CDPACIENTE FROM SERVINTE"_s,
                                u"SELECT CDFILIAL FROM NUTRICIO"_s, u"INSERT INTO ALA SELECT * FROM ALA WHERE 1 = 0"_s}),
                 QString());
        QCOMPARE(allowed(false, {u"SELECT CDALA FROM ALA"_s}), QString());
        const WorkstationLogin stale(m_workstationUser, u"senha anterior"_s);
        QVERIFY_THROWS_EXCEPTION(EDatabaseError, Database::open(m_firebird->url(), u"workstation"_s, Database::Role::Reader));
    }

private:
    QString m_workstationUser;
    std::unique_ptr<DemoDatabase> m_sqlite;
    std::unique_ptr<DemoDatabase> m_firebird;
};

QTEST_MAIN(TestFirebirdLookups)
#include "tst_firebird_lookups.moc"
