// The rules of a copied service, as both copy paths take them.
#include <copyrules/CopyRules.h>
#include <protocol/HouseError.h>

#include <QTest>

using namespace rbx;

using namespace Qt::StringLiterals;

class TestCopyRules final : public QObject
{
    Q_OBJECT

private slots:
    void nextSequence_data()
    {
        QTest::addColumn<QString>("current");
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("expected"); // empty: raises

        QTest::newRow("service 03") << u"03"_s << 2 << u"04"_s;
        QTest::newRow("first service") << u"00"_s << 2 << u"01"_s;
        QTest::newRow("service 09 carries") << u"09"_s << 2 << u"10"_s;
        QTest::newRow("service 98 is the last that fits") << u"98"_s << 2 << u"99"_s;
        QTest::newRow("service 100 does not fit") << u"99"_s << 2 << QString();
        QTest::newRow("item 0010") << u"0010"_s << 4 << u"0011"_s;
        QTest::newRow("item 0011") << u"0011"_s << 4 << u"0012"_s;
        QTest::newRow("item 10000 does not fit") << u"9999"_s << 4 << QString();
        QTest::newRow("answer without leading zeros") << u"7"_s << 4 << u"0008"_s;
        QTest::newRow("not a number") << u"A1"_s << 2 << QString();
        QTest::newRow("empty answer") << QString() << 2 << QString();
        QTest::newRow("largest int does not overflow") << u"2147483647"_s << 4 << QString();
        QTest::newRow("negative answer") << u"-1"_s << 2 << QString();
    }
    void nextSequence()
    {
        QFETCH(QString, current);
        QFETCH(int, width);
        QFETCH(QString, expected);
        if (expected.isEmpty())
            QVERIFY_THROWS_EXCEPTION(EConvertError, CopyRules::nextSequence(current, width));
        else
            QCOMPARE(CopyRules::nextSequence(current, width), expected);
    }

    // The consumption keeps its distance from the service's day, time of day included; none stays
    // none, and a day 0 that is stored is moved like any other.
    void consumptionMovesWithItsService()
    {
        const double origin = 45365, destination = 45366; // 14/03/2024 and the day after
        QCOMPARE(CopyRules::movedConsumption(origin + 0.75, origin, destination), destination + 0.75);
        QCOMPARE(CopyRules::movedConsumption(origin - 1 + 0.125, origin, destination), destination - 1 + 0.125);
        QCOMPARE(CopyRules::movedConsumption(std::nullopt, origin, destination), 0.0);
        QCOMPARE(CopyRules::movedConsumption(0.0, origin, destination), destination - origin);
        QCOMPARE(CopyRules::carriedWeight(72.123456789012345678), 72.1234567890123);
        QVERIFY(!CopyRules::carriedDate(0));
        QCOMPARE(*CopyRules::carriedDate(45366.5), 45366.5);
    }
};

QTEST_GUILESS_MAIN(TestCopyRules)
#include "tst_copy_rules.moc"
