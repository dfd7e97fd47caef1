// Units of writes that share one transaction: each failing unit undone alone, a savepoint taken
// only by a unit that writes more than once, and the whole group undone when a unit fails after
// a write it made without one.
#include <server/DbSession.h>
#include <db/Database.h>
#include <db/SqlSession.h>
#include <support/TestEngine.h>

#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>

#include <optional>

using namespace rbx;
using namespace Qt::StringLiterals;

namespace {

const QString Insert = u"INSERT INTO GW (K) VALUES (:K)"_s;

} // namespace

class TestGroupedWrites final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        RBX_REQUIRE_ENGINE(TestSupport::engine());
        m_scratch.emplace(u"grouped"_s);
        // made by the Qt connection, which creates the database where there is none yet
        auto database = Database::open(m_scratch->url(), u"grouped-schema"_s);
        QSqlQuery create(database->sql());
        QVERIFY2(create.exec(u"CREATE TABLE GW (K INTEGER NOT NULL PRIMARY KEY)"_s), qPrintable(create.lastError().text()));
    }
    void init()
    {
        auto session = SqlSession::open(m_scratch->url(), u"grouped-clear"_s);
        session->inTransaction([&] { session->statement(u"DELETE FROM GW"_s).exec(); });
    }

    void unitsFailAloneAndOnlyRepeatedWritesTakeASavepoint()
    {
        DbSession db(opener());
        db.inGroup([&] {
            read(db);
            insert(db, 1, true);
        });
        const qint64 before = db.counts().run;
        db.inGroup([&] { insert(db, 2, true); });
        QCOMPARE(db.counts().run - before, 1); // the write alone: no savepoint to take or release
        QVERIFY_THROWS_EXCEPTION(EConstraintViolation, db.inGroup([&] { insert(db, 1, true); }));
        QVERIFY_THROWS_EXCEPTION(EConstraintViolation, db.inGroup([&] {
            insert(db, 3, false);
            insert(db, 2, false);
        }));
        db.inGroup([&] {
            insert(db, 4, false);
            insert(db, 5, true);
        });
        db.commitGroup();
        const std::optional<DbSession::GroupEnd> end = db.takeGroupEnd();
        QVERIFY(end && end->committed);
        QCOMPARE(keys(), (QList<int>{1, 2, 4, 5}));
    }

    void aUnitFailingAfterItsOneWriteUndoesTheGroup()
    {
        DbSession db(opener());
        db.inGroup([&] { insert(db, 10, true); });
        QVERIFY_THROWS_EXCEPTION(EDatabaseError, db.inGroup([&] {
            insert(db, 11, true);
            throw EDatabaseError(u"falha depois da gravação"_s);
        }));
        QVERIFY(!db.groupOpen());
        const std::optional<DbSession::GroupEnd> end = db.takeGroupEnd();
        QVERIFY(end && !end->committed);
        QCOMPARE(keys(), QList<int>());
    }

    void cleanupTestCase() { m_scratch.reset(); }

private:
    DbSession::Opener opener() const
    {
        return [url = m_scratch->url()] { return SqlSession::open(url, u"grouped"_s); };
    }
    static void read(DbSession &db)
    {
        PreparedStatement &count = db.statement(u"SELECT COUNT(*) FROM GW"_s);
        count.exec();
        count.finish();
    }
    static void insert(DbSession &db, int key, bool last)
    {
        const auto bind = [key](PreparedStatement &statement) { statement.bind(u":K"_s, key); };
        if (last) {
            db.lastWrite(Insert, bind);
            return;
        }
        PreparedStatement &statement = db.statement(Insert);
        bind(statement);
        statement.exec();
    }
    QList<int> keys() const
    {
        auto session = SqlSession::open(m_scratch->url(), u"grouped-read"_s);
        PreparedStatement &query = session->statement(u"SELECT K FROM GW ORDER BY K"_s);
        query.exec();
        QList<int> all;
        while (query.next())
            all << query.value(0).toInt();
        query.finish();
        return all;
    }

    std::optional<ScratchDatabase> m_scratch;
};

QTEST_GUILESS_MAIN(TestGroupedWrites)
#include "tst_grouped_writes.moc"
