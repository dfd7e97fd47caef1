#include "CopyServiceContract.h"
#include "Database.h"
#include "DemoDatabase.h"
#include "OleDate.h"
#include "RpcTestClient.h"
#include "SqlDialect.h"
#include "SqlStatement.h"
#include "TestEngine.h"
#include "TestServer.h"
#include "WireProtocol.h"

#include <QJsonDocument>
#include <QTest>

#include <algorithm>
#include <thread>

using namespace Qt::StringLiterals;
using Wire::Arg;
using Rows = QList<QList<QVariant>>;

namespace {

const QString Token = u"ficha-de-acesso-çã"_s;
const QString Branch = u"0001"_s;

Arg T(const QString &text) { return Arg::makeText(text); }
Arg R(const QString &text) { return Arg::makeText(text, true); }
Arg D(double oleDate) { return Arg::makeDate(oleDate); }
Arg N(double value) { return Arg::makeDouble(value); }

double day(int offset = 0) { return OleDate::fromDate(TestSupport::demoDate().addDays(offset)); }

QString describe(const QJsonValue &answer)
{
    return QString::fromUtf8(answer.isArray() ? QJsonDocument(answer.toArray()).toJson(QJsonDocument::Compact)
                                              : QJsonDocument(answer.toObject()).toJson(QJsonDocument::Compact));
}

// The fields of a packet as "NAME:type:size", to compare with a layout.
QStringList fieldsOf(const QList<Wire::PacketField> &fields)
{
    QStringList described;
    for (const Wire::PacketField &field : fields)
        described << u"%1:%2:%3"_s.arg(field.name, Wire::fieldTypeName(field.type)).arg(field.size);
    return described;
}

bool packetRows(const QJsonObject &answer, Rows &rows)
{
    if (!answer.contains(u"result"_s))
        return false;
    const Wire::CallResult result = RpcTestClient::result(answer);
    if (!result.packet)
        return false;
    rows = result.packet->rows;
    return true;
}

// Each takes the answer once: the expression usually sends a request.
#define ROWS(answer, rows)                                                                                             \
    const QJsonObject rows##Answer = (answer);                                                                         \
    Rows rows;                                                                                                         \
    QVERIFY2(packetRows(rows##Answer, rows), qPrintable(describe(rows##Answer)))

#define EXPECT_ERROR(answer, code)                                                                                     \
    do {                                                                                                               \
        const QJsonObject answer_ = (answer);                                                                          \
        QVERIFY2(RpcTestClient::errorCode(answer_) == (code), qPrintable(describe(answer_)));                           \
    } while (false)

#define EXPECT_RESULT(answer)                                                                                          \
    do {                                                                                                               \
        const QJsonObject answer_ = (answer);                                                                          \
        QVERIFY2(answer_.contains(u"result"_s), qPrintable(describe(answer_)));                                        \
    } while (false)

QList<Arg> allGroups(const QString &branch, double date, const QString &mode)
{
    QList<Arg> args{R(branch), D(date)};
    for (int i = 0; i < 6; ++i)
        args << R(QString()) << R(u"T"_s);
    args << T(mode);
    return args;
}

struct Service
{
    QString patient{}, branch = Branch, sequence = u"01"_s, service = u"10001"_s, diet = u"0101"_s,
                       operatorCode = u"ADMIN"_s, description{}, weight{};
    double date = 0;
    double admitted = 0;
};

QList<Arg> insServInte(const Service &s)
{
    return {T(s.patient), D(s.date), R(s.sequence), T(s.branch), T(s.service), T(s.diet), T(u"0"_s), T(u"N"_s),
            T(u"S"_s), T(u"N"_s), T(u"N"_s), T(s.operatorCode), T(QString()), D(s.admitted), T(s.description),
            T(s.weight)};
}

struct Item
{
    QString patient{}, branch = Branch, sequence = u"01"_s, item = u"0001"_s, route = u"SNE"_s, note{};
    double date = 0;
    double consumed = 0;
};

QList<Arg> insConfesco(const Item &i)
{
    return {T(i.patient), D(i.date),  R(i.sequence),          R(i.item),   T(QString()),   T(QString()),
            N(2),         N(250),    N(0.25),                 N(i.consumed), T(u"0000104711"_s), T(i.route),
            T(u"S"_s),    T(i.note), R(i.branch),             N(62.5)};
}

} // namespace

class TestServer_ final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        RBX_REQUIRE_TEST_ENGINE();
        m_demo = std::make_unique<DemoDatabase>();
        QVERIFY2(m_demo->isValid(), qPrintable(m_demo->errorString()));
        m_db = m_demo->open(u"tst_server"_s);
        TestServerOptions options;
        options.token = Token;
        QVERIFY2(m_server.start(m_demo->url(), options), qPrintable(m_server.errorString()));
        m_inPatient = firstValue(u"SELECT CDPACIENTE FROM INTERNAC WHERE CDFILIAL = '0001' AND DTALTA IS NULL"
                                 " ORDER BY CDPACIENTE"_s);
        QVERIFY(!m_inPatient.isEmpty());
    }

    void cleanupTestCase()
    {
        m_server.stop();
        // the token is never written to the log, whatever happened
        QVERIFY(!m_server.log().isEmpty());
        QVERIFY(!m_server.log().contains(Token));
        QVERIFY2(cleanExit(m_server), qPrintable(m_server.log()));
        m_db.reset();
    }

    // --- protocol -------------------------------------------------------------------------

    void malformedJson_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("unterminated object") << QByteArray(R"({"jsonrpc":"2.0","id":1,"method":)");
        QTest::newRow("not json at all") << QByteArray("hello server");
        QTest::newRow("two values on one line") << QByteArray("{} {}");
        QTest::newRow("trailing comma") << QByteArray("[1,]");
        QTest::newRow("empty line") << QByteArray();
        QTest::newRow("invalid UTF-8") << QByteArray("{\"a\":\"\xff\xfe\"}");
        QTest::newRow("nul bytes") << QByteArray("{\"a\":\0\0}", 8);
        QTest::newRow("nested too deep") << QByteArray(20000, '[') + QByteArray(20000, ']');
    }

    void malformedJson()
    {
        QFETCH(QByteArray, line);
        auto client = connected();
        QVERIFY(client);
        client->sendRaw(line + '\n');
        const QJsonObject answer = client->readMessage().toObject();
        EXPECT_ERROR(answer, Wire::ErrorCode::ParseError);
        QVERIFY(answer.value(u"id"_s).isNull());
        // the same connection goes on
        QVERIFY(client->open(Token));
        QVERIFY(serves(m_server, Token));
    }

    void invalidRequests_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QJsonValue>("id");
        QTest::newRow("a number") << QByteArray("5") << QJsonValue();
        QTest::newRow("a string") << QByteArray(R"("rpc.open")") << QJsonValue();
        QTest::newRow("no jsonrpc member") << QByteArray(R"({"id":4,"method":"getPaciente","params":[]})") << QJsonValue(4);
        QTest::newRow("jsonrpc 1.0") << QByteArray(R"({"jsonrpc":"1.0","id":"a","method":"getPaciente"})") << QJsonValue(u"a"_s);
        QTest::newRow("method not text") << QByteArray(R"({"jsonrpc":"2.0","id":5,"method":7})") << QJsonValue(5);
        QTest::newRow("params a string") << QByteArray(R"({"jsonrpc":"2.0","id":6,"method":"getPaciente","params":"0001"})")
                                         << QJsonValue(6);
        QTest::newRow("id an object") << QByteArray(R"({"jsonrpc":"2.0","id":{},"method":"getPaciente"})") << QJsonValue();
    }

    void invalidRequests()
    {
        QFETCH(QByteArray, line);
        QFETCH(QJsonValue, id);
        auto client = opened();
        QVERIFY(client);
        client->sendRaw(line + '\n');
        const QJsonObject answer = client->readMessage().toObject();
        EXPECT_ERROR(answer, Wire::ErrorCode::InvalidRequest);
        QCOMPARE(answer.value(u"id"_s), id.isUndefined() ? QJsonValue(QJsonValue::Null) : id);
        QVERIFY(client->isConnected());
        QVERIFY(serves(m_server, Token));
    }

    void oversizedMessages_data()
    {
        QTest::addColumn<int>("extra"); // bytes beyond the limit of 1024
        QTest::addColumn<bool>("lineFeed");
        QTest::newRow("one byte over, complete") << 1 << true;
        QTest::newRow("far over, complete") << 5000 << true;
        QTest::newRow("far over, no line feed yet") << 5000 << false;
        QTest::newRow("exactly the limit") << 0 << true;
    }

    void oversizedMessages()
    {
        QFETCH(int, extra);
        QFETCH(bool, lineFeed);
        TestServer small;
        TestServerOptions options;
        options.maxMessageBytes = 1024;
        QVERIFY2(small.start(m_demo->url(), options), qPrintable(small.errorString()));
        RpcTestClient client;
        QVERIFY(client.connectTo(small.host(), small.port()));
        QByteArray open = R"({"jsonrpc":"2.0","id":1,"method":"rpc.open","params":{"server":"Rbx53207.rdmCopiaForm"}})";
        open.append(QByteArray(1024 + extra - open.size(), ' '));
        client.sendRaw(lineFeed ? open + '\n' : open);
        const QJsonObject answer = client.readMessage().toObject();
        if (extra == 0) {
            EXPECT_RESULT(answer);
            QVERIFY(client.isConnected());
        } else {
            EXPECT_ERROR(answer, Wire::ErrorCode::InvalidRequest);
            QVERIFY(answer.value(u"id"_s).isNull());
            QVERIFY2(RpcTestClient::errorMessage(answer).contains(u"1024"_s), qPrintable(describe(answer)));
            QVERIFY(client.waitForClosed());
        }
        QVERIFY(serves(small, {}));
    }

    void unknownMethod()
    {
        auto client = opened();
        QVERIFY(client);
        const QJsonObject answer = client->call(u"getReceita"_s, {T(Branch)});
        EXPECT_ERROR(answer, Wire::ErrorCode::MethodNotFound);
        QVERIFY(RpcTestClient::errorMessage(answer).contains(u"getReceita"_s));
        // a name of any length is answered, and echoed only in part
        const QJsonObject huge = client->call(QString(100000, u'x'), {});
        EXPECT_ERROR(huge, Wire::ErrorCode::MethodNotFound);
        QVERIFY(RpcTestClient::errorMessage(huge).size() < 200);
        QVERIFY(!m_server.log().contains(QString(1000, u'x')));
        // names are case-sensitive, as the table fixes them
        EXPECT_ERROR(client->call(u"getnutricio"_s, {T(u"ADMIN"_s), R(Branch)}), Wire::ErrorCode::MethodNotFound);
        QVERIFY(serves(m_server, Token));
    }

    void wrongArgumentCounts_data()
    {
        QTest::addColumn<QString>("method");
        QTest::addColumn<int>("count");
        QTest::newRow("getNutricio with one") << u"getNutricio"_s << 1;
        QTest::newRow("getNutricio with three") << u"getNutricio"_s << 3;
        QTest::newRow("getPaciente with none") << u"getPaciente"_s << 0;
        QTest::newRow("getServInte with fourteen") << u"getServInte"_s << 14;
        QTest::newRow("InsConfesco with fifteen") << u"InsConfesco"_s << 15;
        QTest::newRow("InsServInte with seventeen") << u"InsServInte"_s << 17;
        QTest::newRow("Commit with one") << u"Commit"_s << 1;
    }

    void wrongArgumentCounts()
    {
        QFETCH(QString, method);
        QFETCH(int, count);
        auto client = opened();
        QVERIFY(client);
        const QJsonObject answer = client->call(method, QList<Arg>(count, T(u"1"_s)));
        EXPECT_ERROR(answer, Wire::ErrorCode::InvalidParams);
        const CopyService::MethodSignature *signature = CopyService::findMethod(method);
        const int expected = signature ? int(signature->kinds.size()) : 0;
        QCOMPARE(answer.value(u"error"_s).toObject().value(u"data"_s).toObject().value(u"expected"_s).toInt(), expected);
        QVERIFY(RpcTestClient::errorMessage(answer).contains(QString::number(expected)));
        QVERIFY(serves(m_server, Token));
    }

    void wrongArgumentKinds_data()
    {
        QTest::addColumn<QString>("method");
        QTest::addColumn<QJsonArray>("params");
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("expected");
        const QJsonObject text{{u"text"_s, u"1"_s}};
        const QJsonObject date{{u"date"_s, day()}};
        const QJsonObject number{{u"double"_s, 1.5}};
        auto with = [](QJsonArray array, int position, const QJsonValue &value) {
            array[position] = value;
            return array;
        };
        const QJsonArray nrServInte{text, date, text};
        QTest::newRow("date sent as text") << u"getNrServInte"_s << with(nrServInte, 1, text) << 1 << u"date"_s;
        QTest::newRow("text sent as double") << u"getNrServInte"_s << with(nrServInte, 0, number) << 0 << u"text"_s;
        QTest::newRow("argument not an object") << u"getNrServInte"_s << with(nrServInte, 2, u"0001"_s) << 2 << u"text"_s;
        QTest::newRow("two value keys") << u"getNrServInte"_s
                                        << with(nrServInte, 0, QJsonObject{{u"text"_s, u"a"_s}, {u"date"_s, 1}}) << 0
                                        << u"text"_s;
        QTest::newRow("byref on a date") << u"getNrServInte"_s
                                         << with(nrServInte, 1, QJsonObject{{u"date"_s, day()}, {u"byref"_s, true}}) << 1
                                         << u"date"_s;
        QTest::newRow("byref not a boolean") << u"getNrServInte"_s
                                             << with(nrServInte, 2, QJsonObject{{u"text"_s, u"0001"_s}, {u"byref"_s, u"yes"_s}})
                                             << 2 << u"text"_s;
        QTest::newRow("date as a string") << u"getNrServInte"_s
                                          << with(nrServInte, 1, QJsonObject{{u"date"_s, u"2024-03-14"_s}}) << 1 << u"date"_s;
        QTest::newRow("unknown value key") << u"getNrServInte"_s << with(nrServInte, 0, QJsonObject{{u"string"_s, u"a"_s}})
                                           << 0 << u"text"_s;
        QJsonArray confesco = RpcTestClient::params(insConfesco({}));
        QTest::newRow("InsConfesco consumption date as a date")
            << u"InsConfesco"_s << with(confesco, 9, date) << 9 << u"double"_s;
        QTest::newRow("getConfesco date before sequence")
            << u"getConfesco"_s << QJsonArray{text, date, text, text} << 1 << u"text"_s;
        QTest::newRow("getNrConfesco sequence before date")
            << u"getNrConfesco"_s << QJsonArray{text, text, date, text} << 1 << u"date"_s;
    }

    void wrongArgumentKinds()
    {
        QFETCH(QString, method);
        QFETCH(QJsonArray, params);
        QFETCH(int, position);
        QFETCH(QString, expected);
        auto client = opened();
        QVERIFY(client);
        const QJsonObject answer = client->request(method, params);
        EXPECT_ERROR(answer, Wire::ErrorCode::InvalidParams);
        const QJsonObject data = answer.value(u"error"_s).toObject().value(u"data"_s).toObject();
        QCOMPARE(data.value(u"position"_s).toInt(-1), position);
        QCOMPARE(data.value(u"expected"_s).toString(), expected);
        QVERIFY2(RpcTestClient::errorMessage(answer).contains(u"argumento %1 "_s.arg(position + 1)), qPrintable(describe(answer)));
        QVERIFY(serves(m_server, Token));
    }

    void textGoesWithOrWithoutByref()
    {
        auto client = opened();
        QVERIFY(client);
        const QJsonObject plain = client->call(u"getNutricio"_s, {T(u"ADMIN"_s), T(Branch)});
        ROWS(plain, rows);
        QCOMPARE(rows, Rows{{u"001"_s}});
        QVERIFY(RpcTestClient::result(plain).byref.isEmpty());
        const QJsonObject byRef = client->call(u"getNutricio"_s, {R(u"ADMIN"_s), R(Branch)});
        QCOMPARE(RpcTestClient::result(byRef).byref, (QMap<int, QString>{{0, u"ADMIN"_s}, {1, Branch}}));
    }

    void callsBeforeOpen()
    {
        auto client = connected();
        QVERIFY(client);
        EXPECT_ERROR(client->call(u"getNutricio"_s, {T(u"ADMIN"_s), R(Branch)}), Wire::ErrorCode::SessionNotOpen);
        EXPECT_ERROR(client->call(u"StartTransaction"_s, {}), Wire::ErrorCode::SessionNotOpen);
        EXPECT_ERROR(client->call(u"getReceita"_s, {}), Wire::ErrorCode::SessionNotOpen);
        // a notification before rpc.open gets no answer: the next message answers the next request
        client->sendRaw(R"({"jsonrpc":"2.0","method":"getPaciente","params":[{"text":"0001"}]})" "\n");
        const QJsonObject answer = client->request(u"getPaciente"_s, RpcTestClient::params({R(Branch)}));
        EXPECT_ERROR(answer, Wire::ErrorCode::SessionNotOpen);
        QCOMPARE(answer.value(u"id"_s).toInt(), 4);
        QVERIFY(client->open(Token));
        EXPECT_RESULT(client->call(u"getPaciente"_s, {R(Branch)}));
    }

    void wrongTokens_data()
    {
        QTest::addColumn<QJsonValue>("token");
        QTest::newRow("missing") << QJsonValue();
        QTest::newRow("wrong") << QJsonValue(u"ficha-errada"_s);
        QTest::newRow("right one with a prefix only") << QJsonValue(Token.left(6));
        QTest::newRow("right one plus a space") << QJsonValue(Token + u' ');
        QTest::newRow("a number") << QJsonValue(42);
        QTest::newRow("empty") << QJsonValue(u""_s);
    }

    void wrongTokens()
    {
        QFETCH(QJsonValue, token);
        auto client = connected();
        QVERIFY(client);
        QJsonObject params{{u"server"_s, u"Rbx53207.rdmCopiaForm"_s}};
        if (!token.isUndefined())
            params.insert(u"token"_s, token);
        const QJsonObject answer = client->request(u"rpc.open"_s, params);
        EXPECT_ERROR(answer, Wire::ErrorCode::NotAuthorized);
        QVERIFY(client->waitForClosed());
        QVERIFY(!m_server.log().contains(Token));
        if (token.isString() && !token.toString().isEmpty())
            QVERIFY(!m_server.log().contains(token.toString()));
        QVERIFY(serves(m_server, Token));
    }

    void openMistakes()
    {
        auto client = connected();
        QVERIFY(client);
        EXPECT_ERROR(client->request(u"rpc.open"_s, QJsonObject{{u"server"_s, u"Rbx53207.rdmOutro"_s}, {u"token"_s, Token}}),
                     Wire::ErrorCode::UnknownServer);
        EXPECT_ERROR(client->request(u"rpc.open"_s, QJsonObject{{u"token"_s, Token}}), Wire::ErrorCode::InvalidParams);
        EXPECT_ERROR(client->request(u"rpc.open"_s, QJsonArray{u"Rbx53207.rdmCopiaForm"_s}), Wire::ErrorCode::InvalidParams);
        // none of that closed the connection or opened the session
        EXPECT_ERROR(client->call(u"getPaciente"_s, {R(Branch)}), Wire::ErrorCode::SessionNotOpen);
        const QJsonObject opened = client->request(
            u"rpc.open"_s, QJsonObject{{u"server"_s, u"Rbx53207.rdmCopiaForm"_s}, {u"token"_s, Token}});
        EXPECT_RESULT(opened);
        const QJsonObject result = opened.value(u"result"_s).toObject();
        QCOMPARE(result.value(u"server"_s).toString(), u"Rbx53207.rdmCopiaForm"_s);
        QCOMPARE(result.value(u"protocol"_s).toInt(), 1);
        QVERIFY(!result.value(u"session"_s).toString().isEmpty());
        const QJsonObject twice = client->request(
            u"rpc.open"_s, QJsonObject{{u"server"_s, u"Rbx53207.rdmCopiaForm"_s}, {u"token"_s, Token}});
        EXPECT_ERROR(twice, Wire::ErrorCode::InvalidRequest);
    }

    void batches()
    {
        auto client = opened();
        QVERIFY(client);
        const QString patient = m_inPatient;
        client->sendRaw(QByteArray(R"([)"
                                   R"({"jsonrpc":"2.0","id":"a","method":"getNutricio","params":[{"text":"ADMIN"},{"text":"0001","byref":true}]},)"
                                   R"({"jsonrpc":"2.0","method":"getNutricio","params":[{"text":"ADMIN"},{"text":"0001"}]},)"
                                   R"({"jsonrpc":"2.0","id":2,"method":"getReceita","params":[]},)"
                                   R"(17,)"
                                   R"({"jsonrpc":"2.0","id":3,"method":"Commit"})"
                                   R"(])" "\n"));
        const QJsonArray answers = client->readMessage().toArray();
        QCOMPARE(answers.size(), 4);
        QCOMPARE(answers.at(0).toObject().value(u"id"_s).toString(), u"a"_s);
        ROWS(answers.at(0).toObject(), rows);
        QCOMPARE(rows, Rows{{u"001"_s}});
        QCOMPARE(answers.at(1).toObject().value(u"id"_s).toInt(), 2);
        EXPECT_ERROR(answers.at(1).toObject(), Wire::ErrorCode::MethodNotFound);
        QVERIFY(answers.at(2).toObject().value(u"id"_s).isNull());
        EXPECT_ERROR(answers.at(2).toObject(), Wire::ErrorCode::InvalidRequest);
        EXPECT_ERROR(answers.at(3).toObject(), Wire::ErrorCode::TransactionState);

        // notifications are executed even though nobody hears back: a batch of only those
        // sends nothing, and the service it inserts is there afterwards
        Service service{.patient = patient, .date = day(200)};
        QJsonObject insert{{u"jsonrpc"_s, u"2.0"_s}, {u"method"_s, u"InsServInte"_s},
                           {u"params"_s, RpcTestClient::params(insServInte(service))}};
        client->sendRaw(Wire::frame(QJsonArray{insert}));
        const QJsonObject next = client->call(u"getNrServInte"_s, {T(patient), D(day(200)), R(Branch)});
        ROWS(next, sequence);
        QCOMPARE(sequence, Rows{{u"01"_s}});

        client->sendRaw("[]\n");
        const QJsonObject empty = client->readMessage().toObject();
        EXPECT_ERROR(empty, Wire::ErrorCode::InvalidRequest);
        QVERIFY(serves(m_server, Token));
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
        auto sequence = [&](RpcTestClient &client) {
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

    void disconnectWithOpenTransactionRollsBack()
    {
        const Service service{.patient = m_inPatient, .date = day(220)};
        {
            auto leaving = opened();
            QVERIFY(leaving);
            EXPECT_RESULT(leaving->call(u"StartTransaction"_s, {}));
            EXPECT_RESULT(leaving->call(u"InsServInte"_s, insServInte(service)));
            leaving->socket().abort();
        }
        // the write lock went with the rollback: another client writes the same key at once
        auto other = opened();
        QVERIFY(other);
        EXPECT_RESULT(other->call(u"InsServInte"_s, insServInte(service)));
        QCOMPARE(count(u"SELECT COUNT(*) FROM SERVINTE WHERE DTSERVINTE = '%1'"_s.arg(stored(day(220)))), 1);
    }

    void killedServerLosesOnlyUncommittedWork()
    {
        TestServer own;
        QVERIFY2(own.start(m_demo->url()), qPrintable(own.errorString()));
        const Service kept{.patient = m_inPatient, .date = day(230)};
        const Service lost{.patient = m_inPatient, .date = day(231)};
        {
            RpcTestClient client;
            QVERIFY(client.connectTo(own.host(), own.port()) && client.open());
            EXPECT_RESULT(client.call(u"InsServInte"_s, insServInte(kept)));
            EXPECT_RESULT(client.call(u"StartTransaction"_s, {}));
            EXPECT_RESULT(client.call(u"InsServInte"_s, insServInte(lost)));
            own.kill();
        }
        QVERIFY2(own.restart(), qPrintable(own.errorString()));
        RpcTestClient client;
        QVERIFY(client.connectTo(own.host(), own.port()) && client.open());
        EXPECT_ERROR(client.call(u"InsServInte"_s, insServInte(kept)), Wire::ErrorCode::ServiceFailed);
        EXPECT_RESULT(client.call(u"InsServInte"_s, insServInte(lost)));
    }

    void connectionLimit()
    {
        TestServer limited;
        TestServerOptions options;
        options.maxConnections = 2;
        QVERIFY2(limited.start(m_demo->url(), options), qPrintable(limited.errorString()));
        auto first = std::make_unique<RpcTestClient>();
        RpcTestClient second, third;
        QVERIFY(first->connectTo(limited.host(), limited.port()) && first->open());
        QVERIFY(second.connectTo(limited.host(), limited.port()) && second.open());
        QVERIFY(third.connectTo(limited.host(), limited.port()));
        const QJsonObject refused = third.readMessage().toObject();
        EXPECT_ERROR(refused, Wire::ErrorCode::ServiceFailed);
        QVERIFY(RpcTestClient::errorMessage(refused).contains(u"2"_s));
        QVERIFY(third.waitForClosed());
        first.reset();
        // the freed place is taken as soon as the server has seen the first one go
        bool admitted = false;
        for (int attempt = 0; attempt < 50 && !admitted; ++attempt) {
            RpcTestClient fourth;
            admitted = fourth.connectTo(limited.host(), limited.port()) && fourth.open();
            if (!admitted)
                QTest::qWait(100);
        }
        QVERIFY(admitted);
        EXPECT_RESULT(second.call(u"getPaciente"_s, {R(Branch)}));
        second.socket().abort();
        limited.stop();
        QVERIFY2(cleanExit(limited), qPrintable(limited.log()));
    }

    void stalledClientIsDroppedButIdleOneIsNot()
    {
        TestServer strict;
        TestServerOptions options;
        options.stallTimeoutMs = 300;
        QVERIFY2(strict.start(m_demo->url(), options), qPrintable(strict.errorString()));
        RpcTestClient idle, stalled;
        QVERIFY(idle.connectTo(strict.host(), strict.port()) && idle.open());
        QVERIFY(stalled.connectTo(strict.host(), strict.port()));
        stalled.sendRaw(R"({"jsonrpc":"2.0","id":1,"method":)");
        QVERIFY(stalled.waitForClosed(5000));
        EXPECT_RESULT(idle.call(u"getNutricio"_s, {T(u"ADMIN"_s), R(Branch)}));
        QTRY_VERIFY(strict.log().contains(u"stalled"_s)); // written just after the drop

        // a client that asks for far more than the connection holds and never reads is
        // dropped as well, and the server stays with the others
        RpcTestClient deaf;
        QVERIFY(deaf.connectTo(strict.host(), strict.port()) && deaf.open());
        deaf.socket().setReadBufferSize(64 * 1024); // what is not read stays in the network
        QJsonArray batch;
        const QJsonArray params = RpcTestClient::params(allGroups(Branch, day(), u"1"_s));
        for (int i = 0; i < 5000; ++i) {
            batch.append(QJsonObject{{u"jsonrpc"_s, u"2.0"_s}, {u"id"_s, i}, {u"method"_s, u"getServInte"_s},
                                     {u"params"_s, params}});
        }
        deaf.sendRaw(Wire::frame(batch));
        // a wait, not a timing: each answer costs a few milliseconds more on Firebird
        QTRY_VERIFY_WITH_TIMEOUT(strict.log().contains(u"stopped reading"_s), 90000);
        EXPECT_RESULT(idle.call(u"getNutricio"_s, {T(u"ADMIN"_s), R(Branch)}));
        idle.socket().abort();
        strict.stop();
        QVERIFY2(cleanExit(strict), qPrintable(strict.log()));
    }

    void garbageDoesNotHurt()
    {
        auto client = opened();
        QVERIFY(client);
        quint32 state = 12345;
        QByteArray lines;
        constexpr int LineCount = 200;
        for (int line = 0; line < LineCount; ++line) {
            QByteArray bytes;
            for (int i = 0; i < 1 + line % 97; ++i) {
                state = state * 1103515245u + 12345u;
                char c = char(state >> 16);
                bytes.append(c == '\n' ? ' ' : c);
            }
            lines.append(bytes).append('\n');
        }
        client->sendRaw(lines);
        for (int line = 0; line < LineCount; ++line) {
            const QJsonObject answer = client->readMessage().toObject();
            QVERIFY2(answer.contains(u"error"_s), qPrintable(u"line %1: %2"_s.arg(line).arg(describe(answer))));
        }
        QVERIFY(serves(m_server, Token));
    }

    void concurrentClientsWrite()
    {
        constexpr int Clients = 4, Services = 10;
        std::atomic<int> written{0};
        std::vector<std::thread> threads;
        const QString host = m_server.host();
        const quint16 port = m_server.port();
        const QString patient = m_inPatient;
        for (int c = 0; c < Clients; ++c) {
            threads.emplace_back([&, c] {
                RpcTestClient client;
                if (!client.connectTo(host, port) || !client.open(Token))
                    return;
                for (int s = 0; s < Services; ++s) {
                    Service service{.patient = patient, .date = day(500 + c * Services + s)};
                    if (client.call(u"InsServInte"_s, insServInte(service)).contains(u"result"_s))
                        ++written;
                }
            });
        }
        for (std::thread &thread : threads)
            thread.join();
        QCOMPARE(written.load(), Clients * Services);
        QCOMPARE(count(u"SELECT COUNT(*) FROM SERVINTE WHERE DTSERVINTE >= '%1'"_s.arg(stored(day(500)))), Clients * Services);
    }

    // A write that collides with another client's open transaction waits for it: after its
    // commit the write fails with the service's error and nothing is stored twice; after its
    // rollback the write goes through.
    void collidingWriteWaitsForTheOtherTransaction_data()
    {
        QTest::addColumn<bool>("commit");
        QTest::newRow("the other commits") << true;
        QTest::newRow("the other rolls back") << false;
    }

    void collidingWriteWaitsForTheOtherTransaction()
    {
        QFETCH(bool, commit);
        static int offset = 600;
        const Service service{.patient = m_inPatient, .date = day(++offset)};
        auto holder = opened();
        QVERIFY(holder);
        EXPECT_RESULT(holder->call(u"StartTransaction"_s, {}));
        EXPECT_RESULT(holder->call(u"InsServInte"_s, insServInte(service)));
        QJsonObject second;
        std::thread writer([&, host = m_server.host(), port = m_server.port()] {
            RpcTestClient client;
            if (client.connectTo(host, port) && client.open(Token))
                second = client.call(u"InsServInte"_s, insServInte(service));
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(300)); // the writer is waiting by now
        EXPECT_RESULT(holder->call(commit ? u"Commit"_s : u"Rollback"_s, {}));
        writer.join();
        if (commit)
            EXPECT_ERROR(second, Wire::ErrorCode::ServiceFailed);
        else
            EXPECT_RESULT(second);
        QCOMPARE(count(u"SELECT COUNT(*) FROM SERVINTE WHERE DTSERVINTE = '%1'"_s.arg(stored(service.date))), 1);
    }

    // --- methods --------------------------------------------------------------------------

    void getNutricio_data()
    {
        QTest::addColumn<QString>("operatorCode");
        QTest::addColumn<QString>("branch");
        QTest::addColumn<Rows>("rows");
        QTest::newRow("ADMIN in 0001") << u"ADMIN"_s << u"0001"_s << Rows{{u"001"_s}};
        QTest::newRow("ADMIN in 0002") << u"ADMIN"_s << u"0002"_s << Rows{{u"001"_s}};
        QTest::newRow("VISITA in 0001") << u"VISITA"_s << u"0001"_s << Rows{};
        QTest::newRow("nutritionist of the other branch") << u"TGUSMAO"_s << u"0001"_s << Rows{};
        QTest::newRow("lower case is another operator") << u"admin"_s << u"0001"_s << Rows{};
        QTest::newRow("no operator") << QString() << u"0001"_s << Rows{};
    }

    void getNutricio()
    {
        QFETCH(QString, operatorCode);
        QFETCH(QString, branch);
        QFETCH(Rows, rows);
        auto client = opened();
        QVERIFY(client);
        const QJsonObject answer = client->call(u"getNutricio"_s, {T(operatorCode), R(branch)});
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
        auto client = opened();
        QVERIFY(client);
        const QJsonObject answer = client->call(u"InsServInte"_s, insServInte(service));
        const QString where = u"FROM SERVINTE WHERE DTSERVINTE = '%1'"_s.arg(stored(service.date));
        if (nutritionist.isEmpty()) {
            EXPECT_ERROR(answer, Wire::ErrorCode::ServiceFailed);
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
        auto client = opened();
        QVERIFY(client);
        const QJsonObject answer = client->call(u"InsServInte"_s, args);
        EXPECT_ERROR(answer, Wire::ErrorCode::ServiceFailed);
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

private:
    std::unique_ptr<RpcTestClient> connected()
    {
        auto client = std::make_unique<RpcTestClient>();
        if (!client->connectTo(m_server.host(), m_server.port()))
            return nullptr;
        return client;
    }

    std::unique_ptr<RpcTestClient> opened()
    {
        auto client = connected();
        if (!client || !client->open(Token))
            return nullptr;
        return client;
    }

    // A good client still gets a good answer.
    static bool serves(TestServer &server, const QString &token)
    {
        RpcTestClient client;
        if (!client.connectTo(server.host(), server.port()) || !client.open(token))
            return false;
        Rows rows;
        return packetRows(client.call(u"getNutricio"_s, {T(u"ADMIN"_s), R(Branch)}), rows) && rows == Rows{{u"001"_s}};
    }

    // Stopped after an orderly shutdown, with nothing a sanitizer build would report.
    static bool cleanExit(const TestServer &server)
    {
        const QString log = server.log();
        return log.contains(u"shutting down"_s) && !log.contains(u"Sanitizer"_s) && !log.contains(u"runtime error"_s);
    }

    static QString stored(double oleDate) { return TestSupport::dateLiteral(oleDate); }

    qint64 count(const QString &sql) const
    {
        SqlStatement query(m_db->sql(), sql);
        query.exec();
        return query.next() ? query.value(0).toLongLong() : -1;
    }

    QString firstValue(const QString &sql) const
    {
        SqlStatement query(m_db->sql(), sql);
        query.exec();
        return query.next() ? query.value(0).toString() : QString();
    }

    std::unique_ptr<DemoDatabase> m_demo;
    std::unique_ptr<Database> m_db;
    TestServer m_server;
    QString m_inPatient;
};

QTEST_GUILESS_MAIN(TestServer_)
#include "tst_server.moc"
