#pragma once

// What the server tests share: argument builders, answer checks and a fixture that runs the real
// server on a demo hospital, with a connection of the test's own to the same database.
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

namespace ServerTest {

using namespace Qt::StringLiterals;
using Wire::Arg;
using Rows = QList<QList<QVariant>>;

inline const QString Token = u"ficha-de-acesso-çã"_s;
inline const QString Branch = u"0001"_s;

inline Arg T(const QString &text) { return Arg::makeText(text); }
inline Arg R(const QString &text) { return Arg::makeText(text, true); }
inline Arg D(double oleDate) { return Arg::makeDate(oleDate); }
inline Arg N(double value) { return Arg::makeDouble(value); }

inline double day(int offset = 0) { return OleDate::fromDate(TestSupport::demoDate().addDays(offset)); }

inline QString describe(const QJsonValue &answer)
{
    return QString::fromUtf8(answer.isArray() ? QJsonDocument(answer.toArray()).toJson(QJsonDocument::Compact)
                                              : QJsonDocument(answer.toObject()).toJson(QJsonDocument::Compact));
}

// The fields of a packet as "NAME:type:size", to compare with a layout.
inline QStringList fieldsOf(const QList<Wire::PacketField> &fields)
{
    QStringList described;
    for (const Wire::PacketField &field : fields)
        described << u"%1:%2:%3"_s.arg(field.name, Wire::fieldTypeName(field.type)).arg(field.size);
    return described;
}

inline bool packetRows(const QJsonObject &answer, Rows &rows)
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

inline QList<Arg> allGroups(const QString &branch, double date, const QString &mode)
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

inline QList<Arg> insServInte(const Service &s)
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

inline QList<Arg> insConfesco(const Item &i)
{
    return {T(i.patient), D(i.date),  R(i.sequence),          R(i.item),   T(QString()),   T(QString()),
            N(2),         N(250),    N(0.25),                 N(i.consumed), T(u"0000104711"_s), T(i.route),
            T(u"S"_s),    T(i.note), R(i.branch),             N(62.5)};
}


} // namespace ServerTest

using namespace ServerTest;

// The server and the demo database of one test executable.
class ServerFixture
{
protected:
    void startServer(const QString &name)
    {
            RBX_REQUIRE_TEST_ENGINE();
            m_demo = std::make_unique<DemoDatabase>();
            QVERIFY2(m_demo->isValid(), qPrintable(m_demo->errorString()));
            m_db = m_demo->open(name);
            TestServerOptions options;
            options.token = Token;
            QVERIFY2(m_server.start(m_demo->url(), options), qPrintable(m_server.errorString()));
            m_inPatient = firstValue(u"SELECT CDPACIENTE FROM INTERNAC WHERE CDFILIAL = '0001' AND DTALTA IS NULL"
                                     " ORDER BY CDPACIENTE"_s);
            QVERIFY(!m_inPatient.isEmpty());
    }

    void stopServer()
    {
            m_server.stop();
            // the token is never written to the log, whatever happened
            QVERIFY(!m_server.log().isEmpty());
            QVERIFY(!m_server.log().contains(Token));
            QVERIFY2(cleanExit(m_server), qPrintable(m_server.log()));
            m_db.reset();
    }

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
