#include <protocol/HouseError.h>
#include <protocol/OleDate.h>
#include <house/TextRoutines.h>
#include <protocol/WireProtocol.h>

#include <QJsonDocument>

#include <cmath>
#include <QTest>

using namespace rbx;

using namespace Wire;

class TestWire final : public QObject
{
    Q_OBJECT

private slots:
    void framerSplitsAcrossChunks()
    {
        LineFramer framer(64);
        QByteArray message;
        framer.append("{\"a\":");
        QCOMPARE(framer.next(message), LineFramer::Status::Incomplete);
        framer.append("1}\r\n{\"b\":2}\n{\"c\"");
        QCOMPARE(framer.next(message), LineFramer::Status::Message);
        QCOMPARE(message, QByteArray("{\"a\":1}"));
        QCOMPARE(framer.next(message), LineFramer::Status::Message);
        QCOMPARE(message, QByteArray("{\"b\":2}"));
        QCOMPARE(framer.next(message), LineFramer::Status::Incomplete);
        QVERIFY(framer.midMessage());
        framer.append(":3}\n");
        QCOMPARE(framer.next(message), LineFramer::Status::Message);
        QCOMPARE(message, QByteArray("{\"c\":3}"));
        QVERIFY(!framer.midMessage());
    }

    void framerRejectsOversized_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::newRow("no line feed past the limit") << QByteArray(18, 'x');
        QTest::newRow("complete line past the limit") << QByteArray(17, 'x') + '\n';
    }
    void framerRejectsOversized()
    {
        QFETCH(QByteArray, input);
        LineFramer framer(16);
        framer.append(input);
        QByteArray message;
        QCOMPARE(framer.next(message), LineFramer::Status::TooLarge);
    }

    void framerAcceptsExactLimit()
    {
        LineFramer framer(16);
        framer.append(QByteArray(16, 'x') + "\r\n");
        QByteArray message;
        QCOMPARE(framer.next(message), LineFramer::Status::Message);
        QCOMPARE(message.size(), 16);
    }

    void argsRoundTrip()
    {
        const QList<Arg> args = {Arg::makeText(QStringLiteral("Conceição"), true), Arg::makeText(QString()),
                                 Arg::makeDate(46363.25), Arg::makeDouble(-72.5)};
        for (const Arg &arg : args) {
            QString why;
            const auto decoded = decodeArg(encodeArg(arg), &why);
            QVERIFY2(decoded, qPrintable(why));
            QCOMPARE(decoded->kind, arg.kind);
            QCOMPARE(decoded->byRef, arg.byRef);
            QCOMPARE(decoded->text, arg.text);
            QCOMPARE(decoded->number, arg.number);
        }
    }

    void argsRejected_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::newRow("not an object") << QByteArray("[\"0001\"]");
        QTest::newRow("two value keys") << QByteArray("{\"text\":\"a\",\"date\":1}");
        QTest::newRow("text not a string") << QByteArray("{\"text\":12}");
        QTest::newRow("byref not boolean") << QByteArray("{\"text\":\"a\",\"byref\":1}");
        QTest::newRow("byref on a date") << QByteArray("{\"date\":1,\"byref\":true}");
        QTest::newRow("date as text") << QByteArray("{\"date\":\"2026-01-01\"}");
        QTest::newRow("unknown key") << QByteArray("{\"integer\":1}");
        QTest::newRow("empty object") << QByteArray("{}");
    }
    void argsRejected()
    {
        QFETCH(QByteArray, json);
        const QJsonValue value = QJsonDocument::fromJson("[" + json + "]").array().at(0);
        QString why;
        QVERIFY(!decodeArg(value, &why));
        QVERIFY(!why.isEmpty());
    }

    void packetRoundTripKeepsNullsAndAccents()
    {
        Packet packet;
        packet.fields = {{QStringLiteral("NM"), FieldType::String, 20},
                         {QStringLiteral("ID"), FieldType::FixedString, 1},
                         {QStringLiteral("DT"), FieldType::DateTime, 0},
                         {QStringLiteral("QT"), FieldType::Float, 0}};
        packet.rows = {{QStringLiteral("Sônia Araújo"), QStringLiteral(" "), 45000.5, 1.5},
                       {QVariant(), QVariant(), QVariant(), QVariant()}};
        const QByteArray bytes = frame(encodePacket(packet));
        const Packet back = decodePacket(QJsonDocument::fromJson(bytes).object());
        QCOMPARE(back.fields.size(), 4);
        QCOMPARE(back.fields.at(1).type, FieldType::FixedString);
        QCOMPARE(back.fields.at(0).size, 20);
        QCOMPARE(back.rows.at(0).at(0).toString(), QStringLiteral("Sônia Araújo"));
        QCOMPARE(back.rows.at(0).at(2).toDouble(), 45000.5);
        for (const QVariant &cell : back.rows.at(1))
            QVERIFY(cell.isNull());
    }

    void packetRejected_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::newRow("no rows") << QByteArray(R"({"fields":[]})");
        QTest::newRow("unknown type") << QByteArray(R"({"fields":[{"name":"A","type":"blob"}],"rows":[]})");
        QTest::newRow("short row") << QByteArray(R"({"fields":[{"name":"A","type":"float"}],"rows":[[]]})");
        QTest::newRow("text in a float") << QByteArray(R"({"fields":[{"name":"A","type":"float"}],"rows":[["1"]]})");
        QTest::newRow("number in a text")
            << QByteArray(R"({"fields":[{"name":"A","type":"string","size":2}],"rows":[[12]]})");
        QTest::newRow("negative size") << QByteArray(R"({"fields":[{"name":"A","type":"string","size":-1}],"rows":[]})");
        QTest::newRow("row not a list") << QByteArray(R"({"fields":[],"rows":[1]})");
    }
    void packetRejected()
    {
        QFETCH(QByteArray, json);
        QVERIFY_THROWS_EXCEPTION(EDataSetError, decodePacket(QJsonDocument::fromJson(json).object()));
    }

    void callResultByrefPositions()
    {
        const QJsonObject result = QJsonDocument::fromJson(R"({"packet":null,"byref":{"2":"05","0":"0001"}})").object();
        const CallResult decoded = decodeCallResult(result);
        QVERIFY(!decoded.packet);
        QCOMPARE(decoded.byref.value(2), QStringLiteral("05"));
        QCOMPARE(decoded.byref.value(0), QStringLiteral("0001"));
        QVERIFY_THROWS_EXCEPTION(EDataSetError,
                                 decodeCallResult(QJsonDocument::fromJson(R"({"byref":{"x":"1"}})").object()));
        QCOMPARE(*decodeCallResult(QJsonDocument::fromJson(R"({"rowsAffected":3})").object()).rowsAffected, 3);
        for (const char *bad : {R"({"rowsAffected":4.5e87})", R"({"rowsAffected":-1})", R"({"rowsAffected":1.5})",
                                R"({"rowsAffected":"2"})"})
            QVERIFY_THROWS_EXCEPTION(EDataSetError, decodeCallResult(QJsonDocument::fromJson(bad).object()));
    }

    void oleDates_data()
    {
        QTest::addColumn<double>("ole");
        QTest::addColumn<QDateTime>("moment");
        QTest::newRow("epoch") << 0.0 << QDateTime(QDate(1899, 12, 30), QTime(0, 0), Qt::UTC);
        QTest::newRow("noon") << 2.5 << QDateTime(QDate(1900, 1, 1), QTime(12, 0), Qt::UTC);
        QTest::newRow("2026-12-07 08:00") << 46363.0 + 1.0 / 3 << QDateTime(QDate(2026, 12, 7), QTime(8, 0), Qt::UTC);
        QTest::newRow("before epoch, six in the morning") << -1.25 << QDateTime(QDate(1899, 12, 29), QTime(6, 0), Qt::UTC);
    }
    void oleDates()
    {
        QFETCH(double, ole);
        QFETCH(QDateTime, moment);
        QCOMPARE(OleDate::toDateTime(ole), moment);
        QVERIFY(qAbs(OleDate::fromDateTime(moment) - ole) < 1e-9);
    }

    void oleDatesOutOfRangeAreInvalid()
    {
        for (double value : {4.536e87, -4.536e87, 2958466.0, -657435.0, std::nan(""), HUGE_VAL})
            QVERIFY(!OleDate::toDateTime(value).isValid());
        QCOMPARE(OleDate::toDate(2958465.5), QDate(9999, 12, 31));
        QCOMPARE(OleDate::toDate(-657434.0), QDate(100, 1, 1));
    }

    void ajusta_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("expected");
        QTest::newRow("pads") << QStringLiteral("4") << 2 << QStringLiteral("04");
        QTest::newRow("exact") << QStringLiteral("99") << 2 << QStringLiteral("99");
        QTest::newRow("leading zeros kept as value") << QStringLiteral("0011") << 4 << QStringLiteral("0011");
        QTest::newRow("service 100 does not fit") << QStringLiteral("100") << 2 << QString();
        QTest::newRow("item 10000 does not fit") << QStringLiteral("10000") << 4 << QString();
        QTest::newRow("not a number") << QStringLiteral("1a") << 4 << QString();
        QTest::newRow("negative") << QStringLiteral("-1") << 4 << QString();
    }
    void ajusta()
    {
        QFETCH(QString, input);
        QFETCH(int, width);
        QFETCH(QString, expected);
        if (expected.isNull()) {
            QVERIFY_THROWS_EXCEPTION(EConvertError, Ajusta(input, width));
        } else {
            QCOMPARE(Ajusta(input, width), expected);
            QCOMPARE(StrToInt(Ajusta(input, width)), input.toInt());
        }
    }

    void emptyString()
    {
        QVERIFY(EmptyString(QString()));
        QVERIFY(EmptyString(QStringLiteral("  /  /    ")));
        QVERIFY(!EmptyString(QStringLiteral("_0001_")));
        QVERIFY(!EmptyString(QStringLiteral("T")));
        QVERIFY(!EmptyString(QStringLiteral("__")));
        QVERIFY(!EmptyString(QStringLiteral("01/  /    ")));
    }

    void strToIntRejectsJunk()
    {
        QCOMPARE(StrToInt(QStringLiteral("03")), 3);
        QVERIFY_THROWS_EXCEPTION(EConvertError, StrToInt(QString()));
        QVERIFY_THROWS_EXCEPTION(EConvertError, StrToInt(QStringLiteral("3.0")));
    }
};

QTEST_APPLESS_MAIN(TestWire)
#include "tst_wire.moc"
