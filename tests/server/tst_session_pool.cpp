#include <server/SqlSessionPool.h>

#include <db/FirebirdDialect.h>

#include <QTest>

#include <atomic>

using namespace rbx;

using namespace Qt::StringLiterals;

namespace {

std::atomic<int> opened{0};
std::atomic<bool> movable{true};

// Stands for an attachment: counts how many were opened; reaches its database unless told not.
class FakeSession final : public SqlSession
{
public:
    bool healthy = true;

    const SqlDialect &dialect() const override
    {
        static const FirebirdDialect dialect;
        return dialect;
    }
    QString name() const override { return u"fake"_s; }
    QString databaseKey() const override { return u"fake"_s; }
    std::unique_ptr<PreparedStatement> prepare(const QString &) override { return nullptr; }
    bool statementsOutliveTransactions() const override { return true; }
    void begin() override {}
    void commit() override {}
    void rollback() override {}
    void savepoint(const QString &) override {}
    void releaseSavepoint(const QString &) override {}
    void rollbackToSavepoint(const QString &) override {}
    bool reaches(QString *) override { return healthy; }
    bool movableAcrossThreads() const override { return movable; }
};

std::unique_ptr<SqlSession> openFake(const QString &, const QString &)
{
    ++opened;
    return std::make_unique<FakeSession>();
}

const QString Url = u"firebird://127.0.0.1/db.fdb"_s;

} // namespace

class TestSessionPool final : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        opened = 0;
        movable = true;
    }

    // A connection takes a spare opened before it came, and the spare is replaced behind it.
    void takingFindsASpareAndRefills()
    {
        SqlSessionPool pool(2, 4);
        pool.setOpener(&openFake);
        pool.prewarm(Url);
        QTRY_COMPARE(pool.idle(Url), 2);
        QCOMPARE(opened.load(), 2);
        std::unique_ptr<SqlSession> session = pool.take(Url, u"c1"_s);
        QVERIFY(session);
        QTRY_COMPARE(pool.idle(Url), 2);
        QCOMPARE(opened.load(), 3);
        pool.give(Url, std::move(session));
        QCOMPARE(pool.idle(Url), 3);
    }

    void keepsOnlyHealthyMovableSessionsUpToItsLimit()
    {
        SqlSessionPool pool(0, 2);
        pool.setOpener(&openFake);
        auto broken = std::make_unique<FakeSession>();
        broken->healthy = false;
        pool.give(Url, std::move(broken));
        QCOMPARE(pool.idle(Url), 0);
        for (int i = 0; i < 3; ++i)
            pool.give(Url, openFake(Url, {}));
        QCOMPARE(pool.idle(Url), 2);
        movable = false;
        SqlSessionPool other(2, 2);
        other.setOpener(&openFake);
        other.give(Url, openFake(Url, {}));
        QCOMPARE(other.idle(Url), 0);
        // a session bound to its thread is opened for the one who asks, never kept aside
        QVERIFY(other.take(Url, u"c"_s));
        QCOMPARE(other.idle(Url), 0);
    }
};

QTEST_GUILESS_MAIN(TestSessionPool)
#include "tst_session_pool.moc"
