#include <remote/CopyServiceClient.h>
#include <protocol/HouseError.h>

#include <QLocale>
#include <QTest>

using namespace rbx;

using Wire::FieldType;

namespace {

Wire::Packet nrServIntePacket(const QList<QVariant> &values)
{
    Wire::Packet packet;
    packet.fields = {{QStringLiteral("NRSEQUSERV"), FieldType::String, 2}};
    for (const QVariant &value : values)
        packet.rows.append({value});
    return packet;
}

} // namespace

class TestRecordSet final : public QObject
{
    Q_OBJECT

private slots:
    void loadReplacesRowsAndStandsOnFirst()
    {
        TClientDataSet cds(QStringLiteral("cdsNrServInte"));
        declareFields(cds, CopyService::nrServInteLayout());
        cds.SetData(nrServIntePacket({QStringLiteral("03"), QStringLiteral("07")}));
        QCOMPARE(cds.RecordCount(), 2);
        QCOMPARE(cds.FieldByName(QStringLiteral("NRSEQUSERV")).AsString(), QStringLiteral("03"));
        cds.Next();
        QCOMPARE(cds.FieldByName(QStringLiteral("NRSEQUSERV")).AsString(), QStringLiteral("07"));
        cds.Next();
        QVERIFY(cds.Eof());
        cds.Next(); // past the end stays at the end
        QVERIFY(cds.Eof());

        cds.SetData(nrServIntePacket({QStringLiteral("11")}));
        QCOMPARE(cds.RecordCount(), 1);
        QVERIFY(!cds.Eof());
        QCOMPARE(cds.FieldByName(QStringLiteral("NRSEQUSERV")).AsString(), QStringLiteral("11"));

        cds.SetData(nrServIntePacket({}));
        QVERIFY(cds.IsEmpty());
        QVERIFY(cds.Eof());
        QVERIFY(cds.FieldByName(QStringLiteral("NRSEQUSERV")).AsString().isEmpty());
    }

    void badPacketsLeaveRowsAsTheyWere_data()
    {
        QTest::addColumn<QList<Wire::PacketField>>("fields");
        QTest::addColumn<QVariant>("value");
        QTest::newRow("declared field missing") << QList<Wire::PacketField>{{QStringLiteral("OTHER"), FieldType::String, 2}}
                                                << QVariant(QStringLiteral("01"));
        QTest::newRow("another type") << QList<Wire::PacketField>{{QStringLiteral("NRSEQUSERV"), FieldType::Float, 0}}
                                      << QVariant(1.0);
        QTest::newRow("fixed instead of plain text")
            << QList<Wire::PacketField>{{QStringLiteral("NRSEQUSERV"), FieldType::FixedString, 2}}
            << QVariant(QStringLiteral("01"));
        QTest::newRow("text longer than declared")
            << QList<Wire::PacketField>{{QStringLiteral("NRSEQUSERV"), FieldType::String, 3}}
            << QVariant(QStringLiteral("100"));
    }
    void badPacketsLeaveRowsAsTheyWere()
    {
        QFETCH(QList<Wire::PacketField>, fields);
        QFETCH(QVariant, value);
        TClientDataSet cds(QStringLiteral("cdsNrServInte"));
        declareFields(cds, CopyService::nrServInteLayout());
        cds.SetData(nrServIntePacket({QStringLiteral("05")}));
        Wire::Packet bad;
        bad.fields = fields;
        bad.rows = {{value}};
        QVERIFY_THROWS_EXCEPTION(EDataSetError, cds.SetData(bad));
        QCOMPARE(cds.FieldByName(QStringLiteral("NRSEQUSERV")).AsString(), QStringLiteral("05"));
    }

    void extraColumnsAndOtherOrderAreAccepted()
    {
        TClientDataSet cds(QStringLiteral("cdsNutricio"));
        declareFields(cds, CopyService::nutricioLayout());
        Wire::Packet packet;
        packet.fields = {{QStringLiteral("EXTRA"), FieldType::Float, 0}, {QStringLiteral("CDNUTRICIO"), FieldType::String, 3}};
        packet.rows = {{1.0, QStringLiteral("N01")}};
        cds.SetData(packet);
        QCOMPARE(cds.FieldByName(QStringLiteral("CDNUTRICIO")).AsString(), QStringLiteral("N01"));
    }

    void nullRules()
    {
        TClientDataSet cds(QStringLiteral("cdsConfesco"));
        declareFields(cds, CopyService::confescoLayout());
        Wire::Packet packet;
        packet.fields = CopyService::packetFields(CopyService::confescoLayout());
        packet.rows.append(QList<QVariant>(packet.fields.size()));
        cds.SetData(packet);
        QVERIFY(cds.FieldByName(QStringLiteral("DSOBSCONF")).IsNull());
        QCOMPARE(cds.FieldByName(QStringLiteral("DSOBSCONF")).AsString(), QString());
        QCOMPARE(cds.FieldByName(QStringLiteral("DTCONSCONF")).AsDateTime(), 0.0);
        QCOMPARE(cds.FieldByName(QStringLiteral("QTSERVCONF")).AsFloat(), 0.0);
        QCOMPARE(cds.FieldByName(QStringLiteral("CDSEQUCOPR")).Size(), 4);
        QVERIFY_THROWS_EXCEPTION(EDataSetError, cds.FieldByName(QStringLiteral("DSOBSCONF")).AsFloat());
        QVERIFY_THROWS_EXCEPTION(EDataSetError, cds.FieldByName(QStringLiteral("NOPE")));
    }

    void weightReadsAsLocaleText_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QVariant>("weight");
        QTest::addColumn<QString>("text");
        QTest::newRow("pt_BR decimal comma") << QStringLiteral("pt_BR") << QVariant(72.5) << QStringLiteral("72,5");
        QTest::newRow("C decimal point") << QStringLiteral("C") << QVariant(72.5) << QStringLiteral("72.5");
        QTest::newRow("whole number") << QStringLiteral("pt_BR") << QVariant(80.0) << QStringLiteral("80");
        QTest::newRow("15 significant digits") << QStringLiteral("C") << QVariant(1.0 / 3) << QStringLiteral("0.333333333333333");
        QTest::newRow("null is empty") << QStringLiteral("pt_BR") << QVariant() << QString();
    }
    void weightReadsAsLocaleText()
    {
        QFETCH(QString, locale);
        QFETCH(QVariant, weight);
        QFETCH(QString, text);
        const QLocale previous;
        QLocale::setDefault(QLocale(locale));
        QLocale c(QLocale::C);
        c.setNumberOptions(QLocale::OmitGroupSeparator);
        if (locale == QStringLiteral("C"))
            QLocale::setDefault(c);
        TClientDataSet cds(QStringLiteral("cdsServInte"));
        declareFields(cds, CopyService::servInteLayout());
        Wire::Packet packet;
        packet.fields = CopyService::packetFields(CopyService::servInteLayout());
        QList<QVariant> row(packet.fields.size());
        row.last() = weight;
        packet.rows.append(row);
        cds.SetData(packet);
        const QString read = cds.FieldByName(QStringLiteral("NRSERVPESO")).AsString();
        QLocale::setDefault(previous);
        QCOMPARE(read, text);
    }

    void layoutsMatchTheirRecordSets()
    {
        TClientDataSet cds(QStringLiteral("cdsPaciente"));
        declareFields(cds, CopyService::pacienteLayout());
        QCOMPARE(cds.Fields().first()->FieldName(), QStringLiteral("IDMARCADO"));
        QCOMPARE(cds.Fields().first()->DataType(), FieldType::FixedString);
        QCOMPARE(cds.FieldByName(QStringLiteral("NMSERPADDIE")).DisplayLabel(), QStringLiteral("Padrão de Internação"));
        QCOMPARE(cds.FieldByName(QStringLiteral("CDPACIENTE")).DisplayWidth(), 15);
        QVERIFY_THROWS_EXCEPTION(EDataSetError, cds.AddField(QStringLiteral("CDPACIENTE"), FieldType::String, 12));

        const QList<int> counts = {2, 1, 15, 5, 3, 16, 4, 4, 16};
        QCOMPARE(CopyService::methods().size(), counts.size());
        for (qsizetype i = 0; i < counts.size(); ++i)
            QCOMPARE(CopyService::methods().at(i).kinds.size(), counts.at(i));
        QCOMPARE(CopyService::findMethod(QStringLiteral("InsConfesco"))->kinds.at(9), Wire::Arg::Kind::Double);
        QCOMPARE(CopyService::findMethod(QStringLiteral("getNrConfesco"))->kinds.at(1), Wire::Arg::Kind::Date);
        QCOMPARE(CopyService::findMethod(QStringLiteral("getConfesco"))->kinds.at(2), Wire::Arg::Kind::Date);
    }
};

QTEST_APPLESS_MAIN(TestRecordSet)
#include "tst_recordset.moc"
