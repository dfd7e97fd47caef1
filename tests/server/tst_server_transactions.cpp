// A client's transactions, in process: misuse, isolation from other sessions, and undoing a
// failed call inside one.
#include "ServerTestKit.h"

using namespace rbx;

using namespace Qt::StringLiterals;
using namespace ServerTests;

class TestServerTransactions final : public QObject, private InProcessFixture
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        RBX_REQUIRE_TEST_ENGINE();
        setUp();
    }

    void transactionMisuse()
    {
        auto client = opened();
        QVERIFY(client);
        EXPECT_ERROR(client->call(u"Commit"_s, {}), Wire::ErrorCode::TransactionState);
        EXPECT_ERROR(client->call(u"Rollback"_s, {}), Wire::ErrorCode::TransactionState);
        EXPECT_RESULT(client->call(u"StartTransaction"_s, {}));
        EXPECT_ERROR(client->call(u"StartTransaction"_s, {}), Wire::ErrorCode::TransactionState);
        EXPECT_RESULT(client->call(u"Rollback"_s, {}));
        EXPECT_ERROR(client->call(u"Rollback"_s, {}), Wire::ErrorCode::TransactionState);
    }

    void transactionsIsolateAndUndo()
    {
        auto mine = opened();
        auto other = opened();
        QVERIFY(mine && other);
        const Service service{.patient = m_inPatient, .date = day(210)};
        auto sequence = [&](auto &client) {
            Rows rows;
            packetRows(client.call(u"getNrServInte"_s, {T(service.patient), D(service.date), R(Branch)}), rows);
            return rows.value(0).value(0).toString();
        };
        EXPECT_RESULT(mine->call(u"StartTransaction"_s, {}));
        EXPECT_RESULT(mine->call(u"InsServInte"_s, insServInte(service)));
        QCOMPARE(sequence(*mine), u"01"_s);
        QCOMPARE(sequence(*other), u"00"_s);
        // a failing call inside the transaction changes nothing and leaves the transaction open
        EXPECT_ERROR(mine->call(u"InsServInte"_s, insServInte(service)), Wire::ErrorCode::ServiceFailed);
        EXPECT_RESULT(mine->call(u"Rollback"_s, {}));
        QCOMPARE(sequence(*mine), u"00"_s);

        EXPECT_RESULT(mine->call(u"StartTransaction"_s, {}));
        EXPECT_RESULT(mine->call(u"InsServInte"_s, insServInte(service)));
        EXPECT_ERROR(mine->call(u"InsConfesco"_s, insConfesco({.patient = m_inPatient, .sequence = u"02"_s, .date = day(210)})),
                     Wire::ErrorCode::ServiceFailed);
        EXPECT_RESULT(mine->call(u"InsConfesco"_s, insConfesco({.patient = m_inPatient, .date = day(210)})));
        EXPECT_RESULT(mine->call(u"Commit"_s, {}));
        QCOMPARE(sequence(*other), u"01"_s);
        QCOMPARE(count(u"SELECT COUNT(*) FROM CONFESCO WHERE DTSERVINTE = '%1'"_s.arg(stored(day(210)))), 1);
    }
};

QTEST_GUILESS_MAIN(TestServerTransactions)
#include "tst_server_transactions.moc"
