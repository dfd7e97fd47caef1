#include "ServerTestKit.h"

#include <server/CopyServiceSession.h>
#include <protocol/SaslClient.h>
#include <support/TestOperators.h>
#include <protocol/OleDate.h>
#include <server/ServerLimits.h>
#include <server/ServerOptions.h>
#include <db/SqlStatement.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QSqlDatabase>

namespace rbx {

using namespace Qt::StringLiterals;

namespace ServerTests {

double day(int offset) { return OleDate::fromDate(TestSupport::demoDate().addDays(offset)); }

QString describe(const QJsonValue &answer)
{
    return QString::fromUtf8(answer.isArray() ? QJsonDocument(answer.toArray()).toJson(QJsonDocument::Compact)
                                              : QJsonDocument(answer.toObject()).toJson(QJsonDocument::Compact));
}

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

QList<Arg> allGroups(const QString &branch, double date, const QString &mode)
{
    QList<Arg> args{R(branch), D(date)};
    for (int i = 0; i < 6; ++i)
        args << R(QString()) << R(u"T"_s);
    args << T(mode);
    return args;
}

QList<Arg> insServInte(const Service &s)
{
    return {T(s.patient), D(s.date), R(s.sequence), T(s.branch), T(s.service), T(s.diet), T(u"0"_s), T(u"N"_s),
            T(u"S"_s), T(u"N"_s), T(u"N"_s), T(s.operatorCode), T(QString()), D(s.admitted), T(s.description),
            T(s.weight)};
}

QList<Arg> insConfesco(const Item &i)
{
    return {T(i.patient), D(i.date),  R(i.sequence),          R(i.item),   T(QString()),   T(QString()),
            N(2),         N(250),    N(0.25),                 N(i.consumed), T(u"0000104711"_s), T(i.route),
            T(u"S"_s),    T(i.note), R(i.branch),             N(62.5)};
}

void DemoFixture::openDemo()
{
    m_demo = std::make_unique<DemoDatabase>();
    QVERIFY2(m_demo->isValid(), qPrintable(m_demo->errorString()));
    m_db = m_demo->open(u"tst_server"_s);
    m_inPatient = firstValue(u"SELECT CDPACIENTE FROM INTERNAC WHERE CDFILIAL = '0001' AND DTALTA IS NULL"
                             " ORDER BY CDPACIENTE"_s);
    QVERIFY(!m_inPatient.isEmpty());
}

qint64 DemoFixture::count(const QString &sql) const
{
    SqlStatement query(m_db->sql(), sql);
    query.exec();
    return query.next() ? query.value(0).toLongLong() : -1;
}

QString DemoFixture::firstValue(const QString &sql) const
{
    SqlStatement query(m_db->sql(), sql);
    query.exec();
    return query.next() ? query.value(0).toString() : QString();
}

void InProcessFixture::setUp()
{
    openDemo();
    m_server = {m_demo->url(), Token};
}

std::unique_ptr<InProcessClient> InProcessFixture::opened(const QString &operatorCode) const
{
    auto client = connected();
    if (!client->open(Token, operatorCode))
        return nullptr;
    return client;
}

bool InProcessFixture::serves(const InProcessServer &server, const QString &token)
{
    InProcessClient client(server);
    Rows rows;
    return client.open(token) && packetRows(client.call(u"getNutricio"_s, {T(u"ADMIN"_s), R(Branch)}), rows)
           && rows == Rows{{u"001"_s}};
}

} // namespace ServerTests

namespace {

int nextConnectionId()
{
    static int id = 0;
    return ++id;
}

ServerConfig configOf(const InProcessServer &server)
{
    ServerConfig config;
    config.databaseUrl = server.databaseUrl;
    config.token = server.token.toUtf8();
    config.maxMessageBytes = ServerLimits::DefaultMaxMessageBytes;
    return config;
}

} // namespace

InProcessClient::InProcessClient(const InProcessServer &server)
    : m_connectionId(nextConnectionId()), m_input(ServerLimits::DefaultMaxMessageBytes), m_answers(qsizetype(1) << 30),
      m_endpoint(std::make_unique<CopyServiceSession>(configOf(server), m_connectionId),
                 ServerLimits::DefaultMaxMessageBytes, m_connectionId)
{
}

bool InProcessClient::open(const QString &token, const QString &operatorCode)
{
    ScramClient scram(operatorCode, TestSupport::TestPassword);
    sendRaw(Wire::openRequest(m_nextId++, QLatin1String(Wire::ServerObjectName), token,
                              QLatin1String(Wire::ScramMechanism), scram.firstMessage()));
    const QString challenge = readMessage().toObject().value(u"result"_s).toObject().value(u"challenge"_s).toString();
    if (challenge.isEmpty())
        return false;
    sendRaw(Wire::authRequest(m_nextId++, scram.answer(challenge.toLatin1())));
    const QJsonObject opened = readMessage().toObject().value(u"result"_s).toObject();
    return scram.serverVerified(opened.value(u"data"_s).toString().toLatin1());
}

void InProcessClient::sendRaw(const QByteArray &bytes)
{
    if (m_closed)
        return;
    m_input.append(bytes);
    QByteArray message;
    for (;;) {
        const Wire::LineFramer::Status status = m_input.next(message);
        if (status == Wire::LineFramer::Status::Incomplete)
            return;
        const RpcEndpoint::After after = status == Wire::LineFramer::Status::TooLarge
                                             ? m_endpoint.messageTooLarge(*this)
                                             : m_endpoint.handleMessage(message, *this);
        if (after == RpcEndpoint::After::Close) {
            m_closed = true;
            return;
        }
    }
}

bool InProcessClient::send(const QByteArray &bytes)
{
    m_answers.append(bytes);
    return true;
}

QJsonValue InProcessClient::readMessage()
{
    QByteArray message;
    if (m_answers.next(message) != Wire::LineFramer::Status::Message)
        return QJsonValue::Undefined;
    return RpcTestClient::parse(message);
}

QJsonObject InProcessClient::request(const QString &method, const QJsonValue &params)
{
    sendRaw(Wire::requestMessage(m_nextId++, method, params));
    return readMessage().toObject();
}

QJsonObject InProcessClient::call(const QString &method, std::initializer_list<Wire::Arg> args)
{
    return call(method, QList<Wire::Arg>(args));
}

QJsonObject InProcessClient::call(const QString &method, const QList<Wire::Arg> &args)
{
    return request(method, RpcTestClient::params(args));
}

void InProcessClient::cutDatabase() const
{
    QSqlDatabase::database(u"rbx-session-%1"_s.arg(m_connectionId), false).close();
}

} // namespace rbx
