// A database connection that dies under an open session. Reads carry on over a new connection;
// a client transaction open at the time is lost whole and refuses further writes until the
// client ends it; a database that cannot be reached yet is named as such, and the session
// recovers once it can. The protocol runs in this thread, so the test cuts the session's
// connection by closing it.
#include <protocol/OleDate.h>
#include "ServerTestKit.h"
#include <db/SqlDialect.h>
#include <db/SqlStatement.h>

#include <QDir>
#include <QtTest>

using namespace rbx;

using namespace Qt::StringLiterals;
using ServerTests::R;
using ServerTests::T;
using ServerTests::describe;
using Wire::Arg;
namespace Code = Wire::ErrorCode;

namespace {

const QString Branch = u"0001"_s;

double destination() { return OleDate::fromDate(TestSupport::demoDate().addDays(1)); }

struct ServiceKey
{
    QString patient, service, diet;
};

QList<Arg> insServInte(const ServiceKey &key)
{
    return {T(key.patient), Arg::makeDate(destination()), R(u"01"_s), T(Branch), T(key.service), T(key.diet),
            T({}), T({}), T({}), T({}), T({}), T(u"ADMIN"_s), T({}), Arg::makeDate(0), T(u"recuperação"_s), T({})};
}

QList<Arg> insConfesco(const ServiceKey &key)
{
    return {T(key.patient), Arg::makeDate(destination()), R(u"01"_s), R(u"0001"_s), T({}), T({}),
            Arg::makeDouble(1), Arg::makeDouble(1), Arg::makeDouble(0), Arg::makeDouble(destination()),
            T({}), T({}), T({}), T(u"item"_s), R(Branch), Arg::makeDouble(0)};
}

#define EXPECT_ANSWER(answer, code)                                                                                    \
    do {                                                                                                               \
        const QJsonObject answer_ = (answer);                                                                          \
        QVERIFY2(RpcTestClient::errorCode(answer_) == (code), qPrintable(describe(answer_)));                         \
    } while (false)

} // namespace

class TestSessionRecovery final : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_demo = std::make_unique<DemoDatabase>(TestSupport::demoOptions(), TestSupport::Engine::Sqlite);
        QVERIFY2(m_demo->isValid(), qPrintable(m_demo->errorString()));
        auto database = m_demo->open(u"recovery-key"_s);
        SqlStatement first(database->sql(), u"SELECT CDPACIENTE, CDSERVFILI, CDDIETPAD FROM SERVINTE WHERE CDFILIAL = :B"
                                            u" ORDER BY CDPACIENTE, NRSEQUSERV"_s);
        first.bind(u":B"_s, Branch).exec();
        QVERIFY(first.next());
        m_key = {first.value(0).toString(), first.value(1).toString(), first.value(2).toString()};
    }
    void cleanup() { m_demo.reset(); }

    void idleSessionReadsOverNewConnection()
    {
        InProcessClient session({m_demo->url()});
        QVERIFY(session.open());
        const QJsonObject before = session.call(u"getPaciente"_s, {R(Branch)});
        EXPECT_ANSWER(before, 0);
        session.cutDatabase();
        const QJsonObject after = session.call(u"getPaciente"_s, {R(Branch)});
        EXPECT_ANSWER(after, 0);
        QCOMPARE(after.value(u"result"_s), before.value(u"result"_s));
    }

    // A write never runs twice: it fails naming the lost connection, and the next call has a
    // new one.
    void writeOnLostConnectionFailsOnce()
    {
        InProcessClient session({m_demo->url()});
        QVERIFY(session.open());
        session.cutDatabase();
        const QJsonObject lost = session.call(u"InsServInte"_s, insServInte(m_key));
        EXPECT_ANSWER(lost, Code::ServiceFailed);
        QVERIFY2(RpcTestClient::errorMessage(lost).contains(u"conexão com o banco de dados foi perdida"_s), qPrintable(describe(lost)));
        EXPECT_ANSWER(session.call(u"InsServInte"_s, insServInte(m_key)), 0);
        QCOMPARE(servicesAtDestination(), 1);
    }

    void transactionLostWhole_data()
    {
        QTest::addColumn<QString>("ending");
        QTest::addColumn<int>("endingCode");
        QTest::newRow("rollback ends it quietly") << u"Rollback"_s << 0;
        QTest::newRow("commit says nothing was written") << u"Commit"_s << Code::ServiceFailed;
    }
    void transactionLostWhole()
    {
        QFETCH(QString, ending);
        QFETCH(int, endingCode);
        InProcessClient session({m_demo->url()});
        QVERIFY(session.open());
        EXPECT_ANSWER(session.call(u"StartTransaction"_s), 0);
        EXPECT_ANSWER(session.call(u"InsServInte"_s, insServInte(m_key)), 0);
        session.cutDatabase();
        EXPECT_ANSWER(session.call(u"InsConfesco"_s, insConfesco(m_key)), Code::ServiceFailed);

        // until the client ends it, nothing may land outside the lost transaction
        EXPECT_ANSWER(session.call(u"InsConfesco"_s, insConfesco(m_key)), Code::TransactionState);
        EXPECT_ANSWER(session.call(u"getPaciente"_s, {R(Branch)}), Code::TransactionState);
        EXPECT_ANSWER(session.call(u"StartTransaction"_s), Code::TransactionState);
        QCOMPARE(servicesAtDestination(), 0);

        const QJsonObject end = session.call(ending);
        EXPECT_ANSWER(end, endingCode);
        if (endingCode != 0)
            QVERIFY2(RpcTestClient::errorMessage(end) == u"A conexão com o banco de dados caiu durante a transação: nada dela foi gravado."_s,
                     qPrintable(describe(end)));
        EXPECT_ANSWER(session.call(ending), Code::TransactionState);

        EXPECT_ANSWER(session.call(u"StartTransaction"_s), 0);
        EXPECT_ANSWER(session.call(u"InsServInte"_s, insServInte(m_key)), 0);
        EXPECT_ANSWER(session.call(u"InsConfesco"_s, insConfesco(m_key)), 0);
        EXPECT_ANSWER(session.call(u"Commit"_s), 0);
        QCOMPARE(servicesAtDestination(), 1);
    }

    void unreachableUntilBack()
    {
        InProcessClient session({m_demo->url()});
        QVERIFY(session.open());
        const QDir folder = QFileInfo(m_demo->path()).dir();
        const QString away = folder.absolutePath() + u".away"_s;
        session.cutDatabase();
        QVERIFY(QDir().rename(folder.absolutePath(), away));
        const QJsonObject down = session.call(u"getPaciente"_s, {R(Branch)});
        const QJsonObject downAgain = session.call(u"getPaciente"_s, {R(Branch)});
        QVERIFY(QDir().rename(away, folder.absolutePath()));
        EXPECT_ANSWER(down, Code::ServiceFailed);
        QVERIFY2(RpcTestClient::errorMessage(down).startsWith(u"Banco de dados indisponível: "_s), qPrintable(describe(down)));
        EXPECT_ANSWER(downAgain, Code::ServiceFailed);
        EXPECT_ANSWER(session.call(u"getPaciente"_s, {R(Branch)}), 0);
    }

private:
    int servicesAtDestination()
    {
        auto database = m_demo->open(u"recovery-check"_s);
        SqlStatement count(database->sql(), u"SELECT COUNT(*) FROM SERVINTE WHERE CDPACIENTE = :P AND DTSERVINTE = :D"_s);
        count.bind(u":P"_s, m_key.patient).bind(u":D"_s, database->dialect().dateTimeValue(destination())).exec();
        return count.next() ? count.value(0).toInt() : -1;
    }

    std::unique_ptr<DemoDatabase> m_demo;
    ServiceKey m_key;
};

QTEST_GUILESS_MAIN(TestSessionRecovery)
#include "tst_session_recovery.moc"
