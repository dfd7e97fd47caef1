// What the methods read and write, in process: packets and their layouts, filters, sequences,
// refused values, and a whole copy of one service.
#include <contract/CopyServiceContract.h>
#include "ServerTestKit.h"
#include <db/SqlDialect.h>
#include <db/SqlStatement.h>

#include <QSet>

#include <algorithm>

using namespace rbx;

using namespace Qt::StringLiterals;
using namespace ServerTests;

class TestServerData final : public QObject, private InProcessFixture
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        RBX_REQUIRE_TEST_ENGINE();
        setUp();
    }

    void getNutricio_data()
    {
        QTest::addColumn<QString>("operatorCode");
        QTest::addColumn<QString>("branch");
        QTest::addColumn<Rows>("rows");
        QTest::newRow("ADMIN in 0001") << u"ADMIN"_s << u"0001"_s << Rows{{u"001"_s}};
        QTest::newRow("ADMIN in 0002") << u"ADMIN"_s << u"0002"_s << Rows{{u"001"_s}};
        QTest::newRow("VISITA in 0001") << u"VISITA"_s << u"0001"_s << Rows{};
        QTest::newRow("nutritionist of the other branch") << u"TGUSMAO"_s << u"0001"_s << Rows{};
        // a session acts for its own operator alone: -32005, with no packet
        QTest::newRow("lower case is another operator") << u"admin"_s << u"0001"_s << Rows{{u"-32005"_s}};
        QTest::newRow("no operator") << QString() << u"0001"_s << Rows{};
    }

    void getNutricio()
    {
        QFETCH(QString, operatorCode);
        QFETCH(QString, branch);
        QFETCH(Rows, rows);
        // each asks for itself; the empty operator is asked by ADMIN's session
        const bool known = operatorCode == operatorCode.toUpper() && !operatorCode.isEmpty();
        auto client = opened(known ? operatorCode : TestSupport::TestOperator);
        QVERIFY(client);
        const QJsonObject answer = client->call(u"getNutricio"_s, {T(operatorCode), R(branch)});
        if (rows == Rows{{u"-32005"_s}}) {
            EXPECT_ERROR(answer, Wire::ErrorCode::NotPermitted);
            return;
        }
        ROWS(answer, found);
        QCOMPARE(found, rows);
        QCOMPARE(fieldsOf(RpcTestClient::result(answer).packet->fields), fieldsOf(CopyService::packetFields(CopyService::nutricioLayout())));
    }

    void getPacienteListsOpenAdmissionsOnly_data()
    {
        QTest::addColumn<QString>("branch");
        QTest::newRow("0001") << u"0001"_s;
        QTest::newRow("0002") << u"0002"_s;
        QTest::newRow("no such branch") << u"0009"_s;
    }

    void getPacienteListsOpenAdmissionsOnly()
    {
        QFETCH(QString, branch);
        auto client = opened();
        QVERIFY(client);
        const QJsonObject answer = client->call(u"getPaciente"_s, {R(branch)});
        if (branch == u"0009"_s) {
            // no one is a nutritionist of a branch that does not exist: nothing to list
            EXPECT_ERROR(answer, Wire::ErrorCode::NotPermitted);
            return;
        }
        ROWS(answer, rows);
        QCOMPARE(fieldsOf(RpcTestClient::result(answer).packet->fields), fieldsOf(CopyService::packetFields(CopyService::pacienteLayout())));
        QStringList expected;
        SqlStatement open(m_db->sql(), u"SELECT DISTINCT CDPACIENTE FROM INTERNAC WHERE CDFILIAL = :B AND DTALTA IS NULL"_s);
        open.bind(u":B"_s, branch).exec();
        while (open.next())
            expected << open.value(0).toString();
        QStringList listed, names;
        for (const QList<QVariant> &row : rows) {
            QCOMPARE(row.at(0).toString(), u" "_s); // IDMARCADO: empty, padded to its width
            listed << row.at(1).toString();
            names << row.at(2).toString();
            QVERIFY(!row.at(3).toString().isEmpty()); // bed name
            QVERIFY(!row.at(4).toString().isEmpty()); // standard name
            QVERIFY(row.at(5).toDouble() > row.at(6).toDouble()); // admitted after birth
        }
        QStringList sortedNames = names;
        std::sort(sortedNames.begin(), sortedNames.end());
        QCOMPARE(names, sortedNames);
        std::sort(listed.begin(), listed.end());
        QCOMPARE(listed, expected);
        if (branch != u"0009"_s)
            QVERIFY(!listed.isEmpty());
        // a patient readmitted after an earlier stay is listed once, with the current stay
        QCOMPARE(listed.size(), QSet<QString>(listed.cbegin(), listed.cend()).size());
    }

    void getServInteFilters_data()
    {
        QTest::addColumn<QString>("group");     // the group in list mode, or "none"
        QTest::addColumn<int>("picked");        // how many of its codes go in the list
        QTest::addColumn<QString>("flag");      // that group's flag
        QTest::addColumn<QString>("list");      // a fixed list instead of picked codes
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("branch");
        QTest::addColumn<bool>("some");         // the answer must not be empty
        QTest::newRow("all groups, enteral") << u"none"_s << 0 << u"T"_s << QString() << u"1"_s << u"0001"_s << true;
        QTest::newRow("all groups, lactário") << u"none"_s << 0 << u"T"_s << QString() << u"2"_s << u"0001"_s << true;
        QTest::newRow("all groups, branch 0002") << u"none"_s << 0 << u"T"_s << QString() << u"1"_s << u"0002"_s << true;
        QTest::newRow("two patients") << u"patient"_s << 2 << QString() << QString() << u"1"_s << u"0001"_s << true;
        QTest::newRow("one service") << u"service"_s << 1 << QString() << QString() << u"1"_s << u"0001"_s << true;
        QTest::newRow("one diet, lactário") << u"diet"_s << 1 << QString() << QString() << u"2"_s << u"0001"_s << true;
        QTest::newRow("one floor") << u"floor"_s << 1 << QString() << QString() << u"1"_s << u"0001"_s << true;
        QTest::newRow("two wings, lactário") << u"wing"_s << 2 << QString() << QString() << u"2"_s << u"0001"_s << true;
        QTest::newRow("one bed") << u"bed"_s << 1 << QString() << QString() << u"1"_s << u"0001"_s << true;
        QTest::newRow("flag X is list mode") << u"floor"_s << 1 << u"X"_s << QString() << u"1"_s << u"0001"_s << true;
        QTest::newRow("flag T passes despite a list") << u"patient"_s << 1 << u"T"_s << QString() << u"1"_s << u"0001"_s << true;
        QTest::newRow("empty list in list mode") << u"patient"_s << 0 << QString() << QString() << u"1"_s << u"0001"_s << false;
        QTest::newRow("code without its underscores") << u"patient"_s << 0 << QString() << u"bare"_s << u"1"_s << u"0001"_s
                                                      << false;
        QTest::newRow("code among other text") << u"patient"_s << 0 << QString() << u"wrapped"_s << u"1"_s << u"0001"_s << true;
        QTest::newRow("SQL in a list") << u"patient"_s << 0 << QString() << u"_' OR '1'='1_"_s << u"1"_s << u"0001"_s << false;
        QTest::newRow("discharged patients") << u"patient"_s << 0 << QString() << u"discharged"_s << u"1"_s << u"0001"_s
                                             << false;
        QTest::newRow("unknown mode") << u"none"_s << 0 << u"T"_s << QString() << u"3"_s << u"0001"_s << false;
    }

    void getServInteFilters()
    {
        QFETCH(QString, group);
        QFETCH(int, picked);
        QFETCH(QString, flag);
        QFETCH(QString, list);
        QFETCH(QString, mode);
        QFETCH(QString, branch);
        QFETCH(bool, some);
        const QStringList groups{u"patient"_s, u"service"_s, u"diet"_s, u"floor"_s, u"wing"_s, u"bed"_s};

        // Every service on the date with what the filters look at, and whether its patient is in.
        struct Candidate
        {
            QString key;
            QStringList codes; // in group order
            QString type;
            bool in;
        };
        QList<Candidate> candidates;
        SqlStatement all(m_db->sql(), uR"(
SELECT S.CDPACIENTE, S.NRSEQUSERV, S.CDSERVFILI, S.CDDIETPAD, L.CDANDAR, L.CDALA, I.CDLEITO, V.IDTPSERVHOSP,
       I.CDPACIENTE IS NOT NULL
  FROM SERVINTE S JOIN SERVICO V ON V.CDFILIAL = S.CDFILIAL AND V.CDSERVFILI = S.CDSERVFILI
  LEFT JOIN INTERNAC I ON I.CDFILIAL = S.CDFILIAL AND I.CDPACIENTE = S.CDPACIENTE AND I.DTALTA IS NULL
  LEFT JOIN LEITO L ON L.CDFILIAL = I.CDFILIAL AND L.CDLEITO = I.CDLEITO
 WHERE S.CDFILIAL = :B AND S.DTSERVINTE = :D)"_s);
        all.bind(u":B"_s, branch).bind(u":D"_s, m_db->dialect().dateTimeValue(day())).exec();
        while (all.next()) {
            candidates.append({all.value(0).toString() + u'/' + all.value(1).toString(),
                               {all.value(0).toString(), all.value(2).toString(), all.value(3).toString(),
                                all.value(4).toString(), all.value(5).toString(), all.value(6).toString()},
                               all.value(7).toString(),
                               all.value(8).toBool()});
        }
        QVERIFY(!candidates.isEmpty());

        QStringList lists(6), flags(6, u"T"_s);
        const int g = int(groups.indexOf(group));
        if (g >= 0) {
            flags[g] = flag;
            QStringList codes;
            for (const Candidate &c : candidates) {
                if (c.in && c.type == mode && !codes.contains(c.codes.at(g)) && codes.size() < picked)
                    codes << c.codes.at(g);
            }
            QCOMPARE(codes.size(), picked);
            for (const QString &code : codes)
                lists[g] += u'_' + code + u'_';
            const Candidate *in = nullptr, *out = nullptr;
            for (const Candidate &c : candidates) {
                if (c.in && c.type == mode && !in)
                    in = &c;
                if (!c.in && !out)
                    out = &c;
            }
            QVERIFY(in && out);
            if (list == u"bare"_s)
                lists[g] = in->codes.at(g);
            else if (list == u"wrapped"_s)
                lists[g] = u"x_"_s + in->codes.at(g) + u"_y"_s;
            else if (list == u"discharged"_s)
                lists[g] = u'_' + out->codes.at(g) + u'_';
            else if (!list.isEmpty())
                lists[g] = list;
        }

        QStringList expected;
        for (const Candidate &c : candidates) {
            bool passes = c.in && c.type == mode;
            for (int i = 0; i < 6; ++i)
                passes = passes && (flags.at(i) == u"T"_s || lists.at(i).contains(u'_' + c.codes.at(i) + u'_'));
            if (passes)
                expected << c.key;
        }
        QCOMPARE(!expected.isEmpty(), some);

        QList<Arg> args{R(branch), D(day())};
        for (int i = 0; i < 6; ++i)
            args << R(lists.at(i)) << R(flags.at(i));
        args << T(mode);
        auto client = opened();
        QVERIFY(client);
        const QJsonObject answer = client->call(u"getServInte"_s, args);
        ROWS(answer, rows);
        const Wire::CallResult result = RpcTestClient::result(answer);
        QCOMPARE(fieldsOf(result.packet->fields), fieldsOf(CopyService::packetFields(CopyService::servInteLayout())));
        QStringList found;
        for (const QList<QVariant> &row : rows)
            found << row.at(0).toString() + u'/' + row.at(2).toString();
        std::sort(expected.begin(), expected.end());
        QCOMPARE(found, expected);
        // every by-reference argument comes back as it went
        QCOMPARE(result.byref.size(), 13);
        for (int i = 0; i < 14; ++i) {
            if (args.at(i).byRef)
                QCOMPARE(result.byref.value(i), args.at(i).text);
        }
    }

    void sequences_data()
    {
        QTest::addColumn<QString>("sql");       // picks patient, sequence and item count
        QTest::addColumn<QString>("services");  // expected from getNrServInte
        QTest::addColumn<QString>("items");     // expected from getNrConfesco
        QTest::newRow("two services, the second with items")
            << u"SELECT S.CDPACIENTE, CAST('02' AS VARCHAR(2)), COUNT(C.CDSEQUCOPR) FROM SERVINTE S JOIN CONFESCO C"
               " ON C.CDPACIENTE = S.CDPACIENTE AND C.DTSERVINTE = S.DTSERVINTE AND C.NRSEQUSERV = S.NRSEQUSERV"
               " AND C.CDFILIAL = S.CDFILIAL WHERE S.CDFILIAL = '0001' AND S.DTSERVINTE = '%1' AND S.NRSEQUSERV = '02'"
               " GROUP BY 1 ORDER BY 1"_s
            << u"02"_s << QString();
        QTest::newRow("nothing on that date") << u"SELECT CDPACIENTE, CAST('01' AS VARCHAR(2)), 0 FROM PACIENTE ORDER BY 1"_s
                                             << u"00"_s
                                             << u"0000"_s;
    }

    void sequences()
    {
        QFETCH(QString, sql);
        QFETCH(QString, services);
        QFETCH(QString, items);
        SqlStatement pick(m_db->sql(), sql.contains(u"%1"_s) ? sql.arg(stored(day())) : sql);
        pick.exec();
        QVERIFY(pick.next());
        const QString patient = pick.value(0).toString();
        const QString sequence = pick.value(1).toString();
        if (items.isEmpty())
            items = u"%1"_s.arg(pick.value(2).toInt(), 4, 10, QChar(u'0'));
        const double date = services == u"00"_s ? day(-1000) : day();
        auto client = opened();
        QVERIFY(client);
        ROWS(client->call(u"getNrServInte"_s, {T(patient), D(date), R(Branch)}), nrServ);
        QCOMPARE(nrServ, Rows{{services}});
        ROWS(client->call(u"getNrConfesco"_s, {T(patient), D(date), R(sequence), R(Branch)}), nrConf);
        QCOMPARE(nrConf, Rows{{items}});
    }

    void delServRemovesItemsToo()
    {
        auto client = opened();
        QVERIFY(client);
        const double date = day(240);
        const Service kept{.patient = m_inPatient, .sequence = u"01"_s, .diet = u"0102"_s, .date = date};
        const Service removed{.patient = m_inPatient, .sequence = u"02"_s, .diet = u"0101"_s, .date = date};
        EXPECT_RESULT(client->call(u"InsServInte"_s, insServInte(kept)));
        EXPECT_RESULT(client->call(u"InsServInte"_s, insServInte(removed)));
        for (const QString &item : {u"0001"_s, u"0002"_s}) {
            EXPECT_RESULT(client->call(u"InsConfesco"_s, insConfesco({.patient = m_inPatient, .sequence = u"01"_s, .item = item, .date = date})));
            EXPECT_RESULT(client->call(u"InsConfesco"_s, insConfesco({.patient = m_inPatient, .sequence = u"02"_s, .item = item, .date = date})));
        }
        const QJsonObject deleted = client->call(u"DelServ"_s, {T(m_inPatient), D(date), T(Branch), T(u"10001"_s), T(u"0101"_s)});
        EXPECT_RESULT(deleted);
        QCOMPARE(RpcTestClient::result(deleted).rowsAffected.value_or(-1), 1);
        QVERIFY(!RpcTestClient::result(deleted).packet);
        ROWS(client->call(u"getConfesco"_s, {T(m_inPatient), T(u"02"_s), D(date), R(Branch)}), gone);
        QVERIFY(gone.isEmpty());
        ROWS(client->call(u"getConfesco"_s, {T(m_inPatient), T(u"01"_s), D(date), R(Branch)}), still);
        QCOMPARE(still.size(), 2);
        QCOMPARE(count(u"SELECT COUNT(*) FROM CONFESCO WHERE DTSERVINTE = '%1'"_s.arg(stored(date))), 2);
        // nothing left to remove is no error
        const QJsonObject again = client->call(u"DelServ"_s, {T(m_inPatient), D(date), T(Branch), T(u"10001"_s), T(u"0101"_s)});
        QCOMPARE(RpcTestClient::result(again).rowsAffected.value_or(-1), 0);
    }

    void insServInteStoresTheOperatorsNutritionistCode_data()
    {
        QTest::addColumn<QString>("operatorCode");
        QTest::addColumn<QString>("branch");
        QTest::addColumn<QString>("nutritionist"); // empty: refused
        QTest::newRow("ADMIN in 0001") << u"ADMIN"_s << u"0001"_s << u"001"_s;
        QTest::newRow("LSIMOES in 0001") << u"LSIMOES"_s << u"0001"_s << u"002"_s;
        QTest::newRow("ADMIN in 0002") << u"ADMIN"_s << u"0002"_s << u"001"_s;
        QTest::newRow("LSIMOES in 0002") << u"LSIMOES"_s << u"0002"_s << QString();
        QTest::newRow("VISITA") << u"VISITA"_s << u"0001"_s << QString();
    }

    void insServInteStoresTheOperatorsNutritionistCode()
    {
        QFETCH(QString, operatorCode);
        QFETCH(QString, branch);
        QFETCH(QString, nutritionist);
        static int offset = 250;
        const Service service{.patient = m_inPatient, .branch = branch, .operatorCode = operatorCode, .date = day(++offset)};
        auto client = opened(operatorCode);
        QVERIFY(client);
        const QJsonObject answer = client->call(u"InsServInte"_s, insServInte(service));
        const QString where = u"FROM SERVINTE WHERE DTSERVINTE = '%1'"_s.arg(stored(service.date));
        if (nutritionist.isEmpty()) {
            // no nutritionist of the branch may act in it
            EXPECT_ERROR(answer, Wire::ErrorCode::NotPermitted);
            QVERIFY(RpcTestClient::errorMessage(answer).contains(operatorCode));
            QCOMPARE(count(u"SELECT COUNT(*) "_s + where), 0);
        } else {
            EXPECT_RESULT(answer);
            QCOMPARE(firstValue(u"SELECT CDNUTRICIO "_s + where), nutritionist);
        }
    }

    void insServInteRefusesBadValues_data()
    {
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("message");
        QTest::newRow("patient code too long") << 0 << u"0000000000012"_s << u"CDPACIENTE"_s;
        QTest::newRow("unknown patient") << 0 << u"999999999999"_s << u"999999999999"_s;
        QTest::newRow("sequence of one digit") << 2 << u"1"_s << u"NRSEQUSERV"_s;
        QTest::newRow("sequence of three digits") << 2 << u"100"_s << u"NRSEQUSERV"_s;
        QTest::newRow("sequence not a number") << 2 << u"a1"_s << u"NRSEQUSERV"_s;
        QTest::newRow("sequence zero") << 2 << u"00"_s << u"NRSEQUSERV"_s;
        QTest::newRow("branch too long") << 3 << u"00010"_s << u"CDFILIAL"_s;
        QTest::newRow("no branch") << 3 << QString() << u"CDFILIAL"_s;
        QTest::newRow("unknown service") << 4 << u"99999"_s << u"99999"_s;
        QTest::newRow("service of the other branch") << 4 << u"10002"_s << u"10002"_s;
        QTest::newRow("unknown diet") << 5 << u"9999"_s << u"9999"_s;
        QTest::newRow("indicator too long") << 7 << u"NN"_s << u"STPACIACOM"_s;
        QTest::newRow("operator of no branch") << 11 << u"VISITA"_s << u"VISITA"_s;
        QTest::newRow("description too long") << 14 << QString(256, u'ã') << u"DSSERVINTE"_s;
        QTest::newRow("weight with letters") << 15 << u"72kg"_s << u"NRSERVPESO"_s;
        QTest::newRow("weight with two separators") << 15 << u"1.072,5"_s << u"NRSERVPESO"_s;
        QTest::newRow("weight too large") << 15 << u"1e999"_s << u"NRSERVPESO"_s;
    }

    void insServInteRefusesBadValues()
    {
        QFETCH(int, position);
        QFETCH(QString, value);
        QFETCH(QString, message);
        const Service service{.patient = m_inPatient, .branch = u"0002"_s, .date = day(270)};
        QList<Arg> args = insServInte(service);
        args[position].text = value;
        if (position == 3) // the branch must also be a branch of the service otherwise
            args[4].text = u"10001"_s;
        // an operator value logs in as that operator: the session may then act for it
        auto client = opened(position == 11 ? value : TestSupport::TestOperator);
        QVERIFY(client);
        const QJsonObject answer = client->call(u"InsServInte"_s, args);
        // VISITA is a nutritionist of no branch: not permitted there
        EXPECT_ERROR(answer, position == 11 ? Wire::ErrorCode::NotPermitted : Wire::ErrorCode::ServiceFailed);
        QVERIFY2(RpcTestClient::errorMessage(answer).contains(message), qPrintable(describe(answer)));
        QCOMPARE(count(u"SELECT COUNT(*) FROM SERVINTE WHERE DTSERVINTE = '%1'"_s.arg(stored(day(270)))), 0);
    }

    void datesOutOfRangeAreRefused()
    {
        auto client = opened();
        QVERIFY(client);
        EXPECT_ERROR(client->call(u"getNrServInte"_s, {T(m_inPatient), D(1e9), R(Branch)}), Wire::ErrorCode::ServiceFailed);
        Service service{.patient = m_inPatient, .date = -700000};
        EXPECT_ERROR(client->call(u"InsServInte"_s, insServInte(service)), Wire::ErrorCode::ServiceFailed);
        Item item{.patient = m_inPatient, .date = day(), .consumed = 3e6};
        EXPECT_ERROR(client->call(u"InsConfesco"_s, insConfesco(item)), Wire::ErrorCode::ServiceFailed);
    }

    void insertsUnderExistingKeysAreRefused()
    {
        auto client = opened();
        QVERIFY(client);
        const double date = day(280);
        const Service first{.patient = m_inPatient, .date = date};
        EXPECT_RESULT(client->call(u"InsServInte"_s, insServInte(first)));
        Service sameKey = first;
        sameKey.diet = u"0102"_s;
        const QJsonObject key = client->call(u"InsServInte"_s, insServInte(sameKey));
        EXPECT_ERROR(key, Wire::ErrorCode::ServiceFailed);
        QVERIFY2(RpcTestClient::errorMessage(key).contains(u"Já existe"_s), qPrintable(describe(key)));
        Service sameService = first;
        sameService.sequence = u"02"_s;
        const QJsonObject unique = client->call(u"InsServInte"_s, insServInte(sameService));
        EXPECT_ERROR(unique, Wire::ErrorCode::ServiceFailed);
        QVERIFY2(RpcTestClient::errorMessage(unique).contains(u"já tem o serviço"_s), qPrintable(describe(unique)));

        const Item item{.patient = m_inPatient, .date = date};
        EXPECT_RESULT(client->call(u"InsConfesco"_s, insConfesco(item)));
        EXPECT_ERROR(client->call(u"InsConfesco"_s, insConfesco(item)), Wire::ErrorCode::ServiceFailed);
        Item orphan = item;
        orphan.sequence = u"07"_s;
        const QJsonObject missing = client->call(u"InsConfesco"_s, insConfesco(orphan));
        EXPECT_ERROR(missing, Wire::ErrorCode::ServiceFailed);
        QVERIFY2(RpcTestClient::errorMessage(missing).contains(u"não existe"_s), qPrintable(describe(missing)));
        Item badRoute = item;
        badRoute.item = u"0002"_s;
        badRoute.route = u"SNGX"_s;
        EXPECT_ERROR(client->call(u"InsConfesco"_s, insConfesco(badRoute)), Wire::ErrorCode::ServiceFailed);
        QCOMPARE(count(u"SELECT COUNT(*) FROM SERVINTE WHERE DTSERVINTE = '%1'"_s.arg(stored(date))), 1);
        QCOMPARE(count(u"SELECT COUNT(*) FROM CONFESCO WHERE DTSERVINTE = '%1'"_s.arg(stored(date))), 1);
    }

    void weightArrivesAsText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QVariant>("stored");
        QTest::newRow("comma") << u"72,5"_s << QVariant(72.5);
        QTest::newRow("point") << u"72.5"_s << QVariant(72.5);
        QTest::newRow("whole") << u"80"_s << QVariant(80.0);
        QTest::newRow("surrounding blanks") << u" 3,25 "_s << QVariant(3.25);
        QTest::newRow("exponent") << u"1,5E+2"_s << QVariant(150.0);
        QTest::newRow("empty is null") << QString() << QVariant();
    }

    void weightArrivesAsText()
    {
        QFETCH(QString, text);
        QFETCH(QVariant, stored);
        static int offset = 290;
        const Service service{.patient = m_inPatient, .weight = text, .date = day(++offset)};
        auto client = opened();
        QVERIFY(client);
        EXPECT_RESULT(client->call(u"InsServInte"_s, insServInte(service)));
        ROWS(client->call(u"getServInte"_s, allGroups(Branch, service.date, u"1"_s)), rows);
        QCOMPARE(rows.size(), 1);
        const QVariant weight = rows.at(0).at(15);
        QCOMPARE(weight.isNull(), stored.isNull());
        if (!stored.isNull())
            QCOMPARE(weight.toDouble(), stored.toDouble());
    }

    void accentsSurviveTheRoundTrip()
    {
        const QString description = u"Ração líquida às 8h — pão, açúcar, maçã; ñ, ü, Æ, 日本語, 😀"_s;
        const QString note = u"Diluir em água filtrada; infusão contínua"_s;
        const Service service{.patient = m_inPatient, .description = description, .date = day(320)};
        auto client = opened();
        QVERIFY(client);
        EXPECT_RESULT(client->call(u"InsServInte"_s, insServInte(service)));
        EXPECT_RESULT(client->call(u"InsConfesco"_s, insConfesco({.patient = m_inPatient, .note = note, .date = day(320)})));
        ROWS(client->call(u"getServInte"_s, allGroups(Branch, day(320), u"1"_s)), services);
        QCOMPARE(services.size(), 1);
        QCOMPARE(services.at(0).at(14).toString(), description);
        ROWS(client->call(u"getConfesco"_s, {T(m_inPatient), T(u"01"_s), D(day(320)), R(Branch)}), items);
        QCOMPARE(items.size(), 1);
        QCOMPARE(items.at(0).at(14).toString(), note);
        QCOMPARE(firstValue(u"SELECT DSSERVINTE FROM SERVINTE WHERE DTSERVINTE = '%1'"_s.arg(stored(day(320)))), description);
        // and a name the demo stored comes out as it went in
        ROWS(client->call(u"getPaciente"_s, {R(Branch)}), patients);
        const QString name = firstValue(u"SELECT NMPACIENTE FROM PACIENTE WHERE CDPACIENTE = '%1'"_s.arg(m_inPatient));
        QVERIFY(std::any_of(patients.cbegin(), patients.cend(), [&](const QList<QVariant> &row) { return row.at(2).toString() == name; }));
    }

    // The screen's copy of one service, step by step, as the service sees it.
    void copyOfOneServiceKeepsItsItems()
    {
        auto client = opened();
        QVERIFY(client);
        ROWS(client->call(u"getServInte"_s, allGroups(Branch, day(), u"1"_s)), services);
        const auto origin = std::find_if(services.cbegin(), services.cend(), [&](const QList<QVariant> &row) {
            return count(u"SELECT COUNT(*) FROM CONFESCO WHERE CDPACIENTE = '%1' AND NRSEQUSERV = '%2' AND DTSERVINTE = '%3'"_s
                             .arg(row.at(0).toString(), row.at(2).toString(), stored(day()))) >= 2;
        });
        QVERIFY(origin != services.cend());
        const QList<QVariant> &row = *origin;
        const double destination = day(330);
        for (int run = 0; run < 2; ++run) { // a second run replaces the first copy
            EXPECT_RESULT(client->call(u"DelServ"_s, {T(row.at(0).toString()), D(destination), T(row.at(3).toString()),
                                                      T(row.at(4).toString()), T(row.at(5).toString())}));
            ROWS(client->call(u"getNrServInte"_s, {T(row.at(0).toString()), D(destination), R(Branch)}), nr);
            QCOMPARE(nr, Rows{{u"00"_s}});
            const QString sequence = u"01"_s;
            QList<Arg> insert{T(row.at(0).toString()), D(destination), R(sequence)};
            for (int field = 3; field <= 11; ++field)
                insert << T(row.at(field).toString());
            insert.insert(11, T(u"ADMIN"_s));
            insert.removeAt(12);
            insert << T(row.at(11).toString()) << D(row.at(13).toDouble()) << T(row.at(14).toString())
                   << T(row.at(15).isNull() ? QString() : QString::number(row.at(15).toDouble()));
            QCOMPARE(insert.size(), 16);
            EXPECT_RESULT(client->call(u"InsServInte"_s, insert));
            ROWS(client->call(u"getNrConfesco"_s, {T(row.at(0).toString()), D(destination), R(sequence), R(Branch)}), nrItems);
            QCOMPARE(nrItems, Rows{{u"0000"_s}});
            ROWS(client->call(u"getConfesco"_s, {T(row.at(0).toString()), T(row.at(2).toString()), D(day()), R(Branch)}), items);
            QVERIFY(items.size() >= 2);
            int next = 1;
            for (const QList<QVariant> &item : items) {
                const double consumed = item.at(10).isNull() ? 0 : destination + (item.at(10).toDouble() - day());
                EXPECT_RESULT(client->call(u"InsConfesco"_s,
                                           {T(item.at(0).toString()), D(destination), R(sequence), R(u"%1"_s.arg(next++, 4, 10, QChar(u'0'))),
                                            T(item.at(4).toString()), T(item.at(5).toString()), N(item.at(6).toDouble()),
                                            N(item.at(7).toDouble()), N(item.at(9).toDouble()), N(consumed),
                                            T(item.at(11).toString()), T(item.at(12).toString()), T(item.at(13).toString()),
                                            T(item.at(14).toString()), R(Branch), N(item.at(8).toDouble())}));
            }
            ROWS(client->call(u"getConfesco"_s, {T(row.at(0).toString()), T(sequence), D(destination), R(Branch)}), copies);
            QCOMPARE(copies.size(), items.size());
            for (qsizetype i = 0; i < items.size(); ++i) {
                const QList<QVariant> &from = items.at(i);
                const QList<QVariant> &to = copies.at(i);
                QCOMPARE(to.at(1).toDouble(), destination);
                QCOMPARE(to.at(2).toString(), sequence);
                for (int field : {4, 5, 11, 12, 13, 14})
                    QCOMPARE(to.at(field).toString(), from.at(field).toString());
                for (int field : {6, 7, 8, 9})
                    QCOMPARE(to.at(field).toDouble(), from.at(field).toDouble());
                if (from.at(10).isNull())
                    QVERIFY(to.at(10).isNull());
                else
                    QVERIFY(std::abs(to.at(10).toDouble() - from.at(10).toDouble() - (destination - day())) < 1e-6);
            }
        }
        QCOMPARE(count(u"SELECT COUNT(*) FROM SERVINTE WHERE DTSERVINTE = '%1'"_s.arg(stored(destination))), 1);
    }
};

QTEST_GUILESS_MAIN(TestServerData)
#include "tst_server_data.moc"
