#pragma once

#include <support/TestOperators.h>

// What the server's tests share: argument and record builders, answer checks, the demo hospital
// with a connection to look into it, and a client of the server's request path in this process.
#include <db/Database.h>
#include <support/DemoDatabase.h>
#include <server/RpcEndpoint.h>
#include <support/RpcTestClient.h>
#include <protocol/WireProtocol.h>

#include <QJsonValue>
#include <QList>
#include <QStringList>
#include <QTest>
#include <QVariant>

#include <initializer_list>
#include <memory>

namespace rbx {

namespace ServerTests {

using Wire::Arg;
using Rows = QList<QList<QVariant>>;

inline const QString Token = QStringLiteral("ficha-de-acesso-çã");
inline const QString Branch = QStringLiteral("0001");

inline Arg T(const QString &text) { return Arg::makeText(text); }
inline Arg R(const QString &text) { return Arg::makeText(text, true); }
inline Arg D(double oleDate) { return Arg::makeDate(oleDate); }
inline Arg N(double value) { return Arg::makeDouble(value); }

double day(int offset = 0);
QString describe(const QJsonValue &answer);
// The fields of a packet as "NAME:type:size", to compare with a layout.
QStringList fieldsOf(const QList<Wire::PacketField> &fields);
bool packetRows(const QJsonObject &answer, Rows &rows);

QList<Arg> allGroups(const QString &branch, double date, const QString &mode);

struct Service
{
    QString patient{}, branch = Branch, sequence = QStringLiteral("01"), service = QStringLiteral("10001"),
                       diet = QStringLiteral("0101"), operatorCode = QStringLiteral("ADMIN"), description{}, weight{};
    double date = 0;
    double admitted = 0;
};
QList<Arg> insServInte(const Service &s);

struct Item
{
    QString patient{}, branch = Branch, sequence = QStringLiteral("01"), item = QStringLiteral("0001"),
                       route = QStringLiteral("SNE"), note{};
    double date = 0;
    double consumed = 0;
};
QList<Arg> insConfesco(const Item &i);

// The demo hospital of the run's product, a connection of the test's own into it, and an
// in-patient of branch 0001.
class DemoFixture
{
protected:
    // In initTestCase, after RBX_REQUIRE_TEST_ENGINE.
    void openDemo();
    static QString stored(double oleDate) { return TestSupport::dateLiteral(oleDate); }
    qint64 count(const QString &sql) const;
    QString firstValue(const QString &sql) const;

    std::unique_ptr<DemoDatabase> m_demo;
    std::unique_ptr<Database> m_db;
    QString m_inPatient;
};

} // namespace ServerTests

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

// Where in-process clients connect: the database, and the token rpc.open wants (none if empty).
struct InProcessServer
{
    QString databaseUrl;
    QString token{};
};

// One connection of the server without the socket: bytes are framed as the server frames them,
// and go through its endpoint and copy-service session in this thread; answers are read back as
// RpcTestClient reads them. After the server would have closed the connection, nothing more is
// taken.
class InProcessClient final : private AnswerSink
{
public:
    explicit InProcessClient(const InProcessServer &server);
    // The connection ends, as the server's own sessions end theirs.
    ~InProcessClient() override { m_endpoint.connectionEnded(); }

    // Logs in (SCRAM, the test password) as the operator.
    bool open(const QString &token = {}, const QString &operatorCode = TestSupport::TestOperator);
    void sendRaw(const QByteArray &bytes);
    // The next answer; undefined when there is none.
    QJsonValue readMessage();
    QJsonObject request(const QString &method, const QJsonValue &params);
    QJsonObject call(const QString &method, std::initializer_list<Wire::Arg> args);
    QJsonObject call(const QString &method, const QList<Wire::Arg> &args = {});
    bool isConnected() const { return !m_closed; }
    // What a database restart or a network cut does to the session's database connection.
    void cutDatabase() const;

private:
    bool send(const QByteArray &bytes) override;

    const int m_connectionId;
    Wire::LineFramer m_input;
    Wire::LineFramer m_answers;
    RpcEndpoint m_endpoint;
    qint64 m_nextId = 1;
    bool m_closed = false;
};

namespace ServerTests {

// The tests of the request path that need no socket.
class InProcessFixture : protected DemoFixture
{
protected:
    // In initTestCase, after RBX_REQUIRE_TEST_ENGINE.
    void setUp();
    std::unique_ptr<InProcessClient> connected() const { return std::make_unique<InProcessClient>(m_server); }
    std::unique_ptr<InProcessClient> opened(const QString &operatorCode = TestSupport::TestOperator) const;
    // A good client still gets a good answer.
    static bool serves(const InProcessServer &server, const QString &token);

    InProcessServer m_server;
};

} // namespace ServerTests

} // namespace rbx
