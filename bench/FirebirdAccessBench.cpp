// Which client library the server should reach Firebird through: the same service-shaped
// transaction (the copy of one service: two deletes, the next sequence, the nutritionist, the
// service, its four items read and written back, commit) through the client library's object
// interface (directly, and through FirebirdApiSession), SOCI's Firebird backend and Qt's QIBASE
// driver; statements compiled once and run in every later transaction, or compiled afresh for
// each run as the server does today; with forced writes on (as the service runs) and off (what
// the libraries and the server cost besides the disk). Two JSON lines per library and way, the
// time and this process's CPU per transaction:
//   rbx53207-bench-fbaccess [--services N] [--rounds R]
// on a database of its own under RBX_FIREBIRD_URL_BASE (scripts/firebird.sh), seeded first and
// dropped at the end.
#include "BenchArgs.h"
#include "BenchReport.h"
#include "BenchSeeder.h"
#include <db/Database.h>
#include <db/FirebirdApiSession.h>
#include <db/FirebirdConnection.h>
#include <db/FirebirdFiles.h>
#include <protocol/HouseError.h>
#include <protocol/OleDate.h>
#include <db/SqlDialect.h>
#include <db/SqlStatement.h>

#include <firebird/Interface.h>
#ifdef RBX_BENCH_SOCI
#include <soci/firebird/soci-firebird.h>
#include <soci/soci.h>
#endif

#include <QCoreApplication>
#include <QDateTime>
#include <QHostAddress>
#include <QJsonObject>
#include <QRegularExpression>

#include <array>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

namespace rbx {

using namespace Qt::StringLiterals;

namespace {

const QDate Origin(2026, 3, 2);

[[noreturn]] void die(const QString &why)
{
    std::fprintf(stderr, "rbx53207-bench-fbaccess: %s\n", qPrintable(why));
    std::exit(1);
}

// The statements of the transaction, placeholders in the order they are bound, and the kinds
// of their values and columns (Text, Date, Number) for the library that binds variables.
enum Which { DelItems, DelService, MaxSequence, Nutritionist, InsertService, Items, InsertItem, StatementCount };

struct StatementShape
{
    QString sql;
    const char *in;
    const char *out;
    QStringList names;
};

const std::array<StatementShape, StatementCount> &statements()
{
    static const std::array<StatementShape, StatementCount> all = [] {
        std::array<StatementShape, StatementCount> shapes{{
            {uR"(DELETE FROM CONFESCO WHERE CDPACIENTE = :P AND DTSERVINTE = :D AND CDFILIAL = :F
   AND NRSEQUSERV IN (SELECT NRSEQUSERV FROM SERVINTE WHERE CDPACIENTE = :SP AND DTSERVINTE = :SD AND CDFILIAL = :SF
                         AND CDSERVFILI = :S AND CDDIETPAD = :DI))"_s,
             "TDTTDTTT", "", {}},
            {u"DELETE FROM SERVINTE WHERE CDPACIENTE = :P AND DTSERVINTE = :D AND CDFILIAL = :F AND CDSERVFILI = :S AND CDDIETPAD = :DI"_s,
             "TDTTT", "", {}},
            {u"SELECT MAX(NRSEQUSERV) FROM SERVINTE WHERE CDPACIENTE = :P AND DTSERVINTE = :D AND CDFILIAL = :F"_s, "TDT", "T", {}},
            {u"SELECT MIN(CDNUTRICIO) FROM NUTRICIO WHERE CDOPERADOR = :O AND CDFILIAL = :F"_s, "TT", "T", {}},
            {uR"(INSERT INTO SERVINTE (CDPACIENTE, DTSERVINTE, NRSEQUSERV, CDFILIAL, CDSERVFILI, CDDIETPAD, NRACOMPANA, STPACIACOM,
                      IDIMPRSERV, IDTIPOSERINT, IDRESTSERIN, CDDIETGRUPSI, CDNUTRICIO, DTINTERNA, DSSERVINTE, NRSERVPESO)
VALUES (:CDPACIENTE, :DTSERVINTE, :NRSEQUSERV, :CDFILIAL, :CDSERVFILI, :CDDIETPAD, :NRACOMPANA, :STPACIACOM,
        :IDIMPRSERV, :IDTIPOSERINT, :IDRESTSERIN, :CDDIETGRUPSI, :CDNUTRICIO, :DTINTERNA, :DSSERVINTE, :NRSERVPESO))"_s,
             "TDTTTTTTTTTTTDTN", "", {}},
            {uR"(SELECT CDPACIENTE, DTSERVINTE, NRSEQUSERV, CDSEQUCOPR, CDFILAUXPRAT, CDPRATO, QTSERVCONF, QTPRATCONF, QTINFUCONF,
       HRCONSCONF, DTCONSCONF, CDPRODUTO, CDVIACESDIET, IDPREPCONF, DSOBSCONF
  FROM CONFESCO WHERE CDPACIENTE = :P AND DTSERVINTE = :D AND NRSEQUSERV = :N AND CDFILIAL = :F ORDER BY CDSEQUCOPR)"_s,
             "TDTT", "TDTTTTNNNNDTTTT", {}},
            {uR"(INSERT INTO CONFESCO (CDPACIENTE, DTSERVINTE, NRSEQUSERV, CDSEQUCOPR, CDFILIAL, CDFILAUXPRAT, CDPRATO, QTSERVCONF,
                      QTPRATCONF, QTINFUCONF, HRCONSCONF, DTCONSCONF, CDPRODUTO, CDVIACESDIET, IDPREPCONF, DSOBSCONF)
VALUES (:CDPACIENTE, :DTSERVINTE, :NRSEQUSERV, :CDSEQUCOPR, :CDFILIAL, :CDFILAUXPRAT, :CDPRATO, :QTSERVCONF,
        :QTPRATCONF, :QTINFUCONF, :HRCONSCONF, :DTCONSCONF, :CDPRODUTO, :CDVIACESDIET, :IDPREPCONF, :DSOBSCONF))"_s,
             "TDTTTTTNNNNDTTTT", "", {}},
        }};
        static const QRegularExpression name(u":[A-Z_]+"_s);
        for (StatementShape &shape : shapes) {
            for (const QRegularExpressionMatch &match : name.globalMatch(shape.sql))
                shape.names << match.captured(0);
            if (shape.names.size() != qsizetype(std::strlen(shape.in)))
                die(u"placeholder kinds do not match: "_s + shape.sql.left(40));
        }
        return shapes;
    }();
    return all;
}

struct Result
{
    QList<QVariantList> rows;
    qint64 affected = -1;
};

// One library's way of running the statements. A client either keeps every statement compiled
// from its first run on, or compiles it for each run and frees it after.
class Client
{
public:
    explicit Client(bool keep) : m_keep(keep) {}
    virtual ~Client() = default;
    virtual void begin() = 0;
    virtual void commit() = 0;
    // Binds the values in placeholder order; counts the rows written when asked to.
    virtual Result run(Which which, const QVariantList &values, bool count) = 0;

protected:
    bool m_keep;
};

// One service of the origin day, as the copy read it before its transaction.
struct Service
{
    QVariantList row; // the columns of InsertService, in its order
};

QString nextSequence(const QVariant &highest)
{
    const int next = highest.isNull() ? 1 : highest.toString().toInt() + 1;
    return u"%1"_s.arg(next, 2, 10, QChar(u'0'));
}

void copyService(Client &client, const Service &service, const QVariant &destination)
{
    const QVariant patient = service.row.at(0), origin = service.row.at(1), sequence = service.row.at(2);
    const QVariant branch = service.row.at(3), code = service.row.at(4), diet = service.row.at(5);
    client.begin();
    client.run(DelItems, {patient, destination, branch, patient, destination, branch, code, diet}, false);
    if (client.run(DelService, {patient, destination, branch, code, diet}, true).affected < 0)
        die(u"no row count"_s);
    const QVariant highest = client.run(MaxSequence, {patient, destination, branch}, false).rows.value(0).value(0);
    const QString copied = nextSequence(highest);
    const QVariant nutritionist = client.run(Nutritionist, {BenchSeeder::Operator, branch}, false).rows.value(0).value(0);
    QVariantList values = service.row;
    values[1] = destination;
    values[2] = copied;
    values[12] = nutritionist;
    client.run(InsertService, values, false);
    const Result items = client.run(Items, {patient, origin, sequence, branch}, false);
    if (items.rows.isEmpty())
        die(u"a service without items"_s);
    for (const QVariantList &item : items.rows) {
        QVariantList row{patient, destination, copied, item.at(3), branch};
        row += item.mid(4);
        client.run(InsertItem, row, false);
    }
    client.commit();
}

// --- the client library's object interface, as an application of it would use it directly

namespace fb = ::Firebird;

fb::IMaster *master() { return fb::fb_get_master_interface(); }

// The statement's own message layouts, values written and read at the offsets they give.
struct Message
{
    std::vector<unsigned> types, offsets, nulls;
    std::vector<std::uint64_t> buffer;

    void describe(fb::IMessageMetadata *metadata, fb::ThrowStatusWrapper *status)
    {
        for (unsigned i = 0; i < metadata->getCount(status); ++i) {
            types.push_back(metadata->getType(status, i) & ~1u);
            offsets.push_back(metadata->getOffset(status, i));
            nulls.push_back(metadata->getNullOffset(status, i));
        }
        buffer.assign(metadata->getMessageLength(status) / 8 + 1, 0);
    }
    unsigned char *data() { return reinterpret_cast<unsigned char *>(buffer.data()); }

    void set(size_t i, const QVariant &value)
    {
        const bool null = value.isNull() || (value.metaType().id() == QMetaType::QString && value.toString().isNull());
        const short flag = null ? -1 : 0;
        std::memcpy(data() + nulls[i], &flag, sizeof flag);
        if (null)
            return;
        unsigned char *at = data() + offsets[i];
        if (types[i] == SQL_VARYING) {
            const QByteArray text = value.toString().toUtf8();
            const auto length = quint16(text.size());
            std::memcpy(at, &length, 2);
            std::memcpy(at + 2, text.constData(), length);
        } else if (types[i] == SQL_DOUBLE) {
            const double number = value.toDouble();
            std::memcpy(at, &number, sizeof number);
        } else if (types[i] == SQL_TIMESTAMP) {
            const QDateTime when = value.toDateTime();
            const ISC_TIMESTAMP stamp{ISC_DATE(when.date().toJulianDay() - QDate(1858, 11, 17).toJulianDay()),
                                      ISC_TIME(when.time().msecsSinceStartOfDay()) * 10};
            std::memcpy(at, &stamp, sizeof stamp);
        } else {
            die(u"parameter type %1"_s.arg(types[i]));
        }
    }

    QVariant get(size_t i)
    {
        short flag = 0;
        std::memcpy(&flag, data() + nulls[i], sizeof flag);
        if (flag)
            return {};
        const unsigned char *at = data() + offsets[i];
        if (types[i] == SQL_VARYING) {
            quint16 length = 0;
            std::memcpy(&length, at, 2);
            return QString::fromUtf8(reinterpret_cast<const char *>(at + 2), length);
        }
        if (types[i] == SQL_DOUBLE) {
            double number = 0;
            std::memcpy(&number, at, sizeof number);
            return number;
        }
        if (types[i] == SQL_TIMESTAMP) {
            ISC_TIMESTAMP stamp{};
            std::memcpy(&stamp, at, sizeof stamp);
            return QDateTime(QDate::fromJulianDay(stamp.timestamp_date + QDate(1858, 11, 17).toJulianDay()),
                             QTime::fromMSecsSinceStartOfDay(int(stamp.timestamp_time / 10)), Qt::UTC);
        }
        die(u"column type %1"_s.arg(types[i]));
    }
};

class ObjectApiClient final : public Client
{
public:
    ObjectApiClient(const FirebirdServer::Target &target, const FirebirdServer::Credentials &credentials, bool keep)
        : Client(keep), m_statusObject(master()->getStatus()), m_status(m_statusObject)
    {
        fb::IUtil *util = master()->getUtilInterface();
        fb::IXpbBuilder *dpb = util->getXpbBuilder(&m_status, fb::IXpbBuilder::DPB, nullptr, 0);
        dpb->insertString(&m_status, isc_dpb_user_name, credentials.user.toUtf8().constData());
        dpb->insertString(&m_status, isc_dpb_password, credentials.password.toUtf8().constData());
        dpb->insertString(&m_status, isc_dpb_lc_ctype, "UTF8");
        fb::IProvider *provider = master()->getDispatcher();
        m_attachment = provider->attachDatabase(&m_status, target.connectionString().toUtf8().constData(),
                                                dpb->getBufferLength(&m_status), dpb->getBuffer(&m_status));
        provider->release();
        dpb->dispose();
        fb::IXpbBuilder *tpb = util->getXpbBuilder(&m_status, fb::IXpbBuilder::TPB, nullptr, 0);
        for (const unsigned char tag : {isc_tpb_concurrency, isc_tpb_write, isc_tpb_wait})
            tpb->insertTag(&m_status, tag);
        tpb->insertInt(&m_status, isc_tpb_lock_timeout, 5);
        m_tpb.assign(tpb->getBuffer(&m_status), tpb->getBuffer(&m_status) + tpb->getBufferLength(&m_status));
        tpb->dispose();
    }
    ~ObjectApiClient() override
    {
        for (Prepared &prepared : m_prepared)
            drop(prepared);
        m_attachment->detach(&m_status);
        m_statusObject->dispose();
    }

    void begin() override { m_transaction = m_attachment->startTransaction(&m_status, unsigned(m_tpb.size()), m_tpb.data()); }
    void commit() override
    {
        m_transaction->commit(&m_status);
        m_transaction = nullptr;
    }

    Result run(Which which, const QVariantList &values, bool count) override
    {
        Prepared &prepared = m_prepared[which];
        if (!prepared.statement) {
            static const QRegularExpression placeholder(u":[A-Z_]+"_s);
            const QByteArray sql = QString(statements()[which].sql).replace(placeholder, u"?"_s).toUtf8();
            prepared.statement = m_attachment->prepare(&m_status, m_transaction, unsigned(sql.size()), sql.constData(),
                                                       SQL_DIALECT_V6, fb::IStatement::PREPARE_PREFETCH_METADATA);
            prepared.inputMetadata = prepared.statement->getInputMetadata(&m_status);
            prepared.outputMetadata = prepared.statement->getOutputMetadata(&m_status);
            prepared.input.describe(prepared.inputMetadata, &m_status);
            prepared.output.describe(prepared.outputMetadata, &m_status);
            prepared.cursor = prepared.statement->getFlags(&m_status) & fb::IStatement::FLAG_HAS_CURSOR;
        }
        for (qsizetype i = 0; i < values.size(); ++i)
            prepared.input.set(size_t(i), values.at(i));
        Result result;
        if (prepared.cursor) {
            fb::IResultSet *rows = prepared.statement->openCursor(&m_status, m_transaction, prepared.inputMetadata,
                                                                  prepared.input.data(), prepared.outputMetadata, 0);
            while (rows->fetchNext(&m_status, prepared.output.data()) == fb::IStatus::RESULT_OK) {
                QVariantList row;
                for (size_t i = 0; i < prepared.output.types.size(); ++i)
                    row << prepared.output.get(i);
                result.rows << row;
            }
            rows->close(&m_status);
        } else {
            prepared.statement->execute(&m_status, m_transaction, prepared.inputMetadata, prepared.input.data(), nullptr, nullptr);
            if (count)
                result.affected = qint64(prepared.statement->getAffectedRecords(&m_status));
        }
        if (!m_keep)
            drop(prepared);
        return result;
    }

private:
    struct Prepared
    {
        fb::IStatement *statement = nullptr;
        fb::IMessageMetadata *inputMetadata = nullptr;
        fb::IMessageMetadata *outputMetadata = nullptr;
        Message input, output;
        bool cursor = false;
    };

    void drop(Prepared &prepared)
    {
        if (!prepared.statement)
            return;
        prepared.inputMetadata->release();
        prepared.outputMetadata->release();
        prepared.statement->free(&m_status);
        prepared = Prepared();
    }

    fb::IStatus *m_statusObject;
    fb::ThrowStatusWrapper m_status;
    fb::IAttachment *m_attachment = nullptr;
    fb::ITransaction *m_transaction = nullptr;
    std::vector<unsigned char> m_tpb;
    std::array<Prepared, StatementCount> m_prepared;
};

// --- the same interface through the server's session

class SessionClient final : public Client
{
public:
    SessionClient(const QString &url, bool keep) : Client(keep), m_session(openFirebirdApiSession(url, u"bench-session"_s)) {}
    ~SessionClient() override
    {
        for (auto &statement : m_prepared)
            statement.reset();
    }
    void begin() override { m_session->begin(); }
    void commit() override { m_session->commit(); }

    Result run(Which which, const QVariantList &values, bool count) override
    {
        const StatementShape &shape = statements()[which];
        auto &statement = m_prepared[which];
        if (!statement)
            statement = m_session->prepare(shape.sql);
        for (qsizetype i = 0; i < values.size(); ++i)
            statement->bind(shape.names.at(i), values.at(i));
        statement->exec();
        Result result;
        while (statement->next()) {
            QVariantList row;
            for (int i = 0; i < int(std::strlen(shape.out)); ++i)
                row << statement->value(i);
            result.rows << row;
        }
        if (count)
            result.affected = statement->rowsAffected();
        if (!m_keep)
            statement.reset();
        return result;
    }

private:
    std::unique_ptr<SqlSession> m_session;
    std::array<std::unique_ptr<PreparedStatement>, StatementCount> m_prepared;
};

// --- Qt's QIBASE driver, as the server uses it today: its statements cannot outlive the
// transaction they ran in ("invalid transaction handle"), so they are compiled for every run

class QibaseClient final : public Client
{
public:
    explicit QibaseClient(const QString &url) : Client(false), m_database(Database::open(url, u"bench-qibase"_s)) {}
    void begin() override { m_database->dialect().beginWrite(m_database->sql()); }
    void commit() override { m_database->dialect().commit(m_database->sql()); }

    Result run(Which which, const QVariantList &values, bool count) override
    {
        const StatementShape &shape = statements()[which];
        SqlStatement statement(m_database->sql(), shape.sql);
        for (qsizetype i = 0; i < values.size(); ++i)
            statement.bind(shape.names.at(i), values.at(i));
        statement.exec();
        Result result;
        while (statement.next()) {
            QVariantList row;
            for (int i = 0; i < int(std::strlen(shape.out)); ++i)
                row << statement.value(i);
            result.rows << row;
        }
        if (count)
            result.affected = statement.rowsAffected();
        statement.finish();
        return result;
    }

private:
    std::unique_ptr<Database> m_database;
};

#ifdef RBX_BENCH_SOCI
// --- SOCI's Firebird backend: every value through a variable bound by name

class SociClient final : public Client
{
public:
    SociClient(const FirebirdServer::Target &target, const FirebirdServer::Credentials &credentials, bool keep)
        : Client(keep),
          m_session(*soci::factory_firebird(), u"service=%1 user=%2 password=%3 charset=UTF8"_s
                                                   .arg(target.connectionString(), credentials.user, credentials.password)
                                                   .toStdString())
    {
    }
    void begin() override { m_session.begin(); }
    void commit() override { m_session.commit(); }

    Result run(Which which, const QVariantList &values, bool count) override
    {
        const StatementShape &shape = statements()[which];
        Prepared &prepared = m_prepared[which];
        if (!prepared.statement) {
            prepared.statement = std::make_unique<soci::statement>(m_session);
            soci::statement &statement = *prepared.statement;
            statement.alloc();
            statement.prepare(shape.sql.toStdString());
            prepared.in.resize(std::strlen(shape.in));
            prepared.out.resize(std::strlen(shape.out));
            for (size_t i = 0; i < prepared.in.size(); ++i) {
                prepared.in[i].kind = shape.in[i];
                bindUse(statement, prepared.in[i], shape.names.at(qsizetype(i)).mid(1).toStdString());
            }
            for (size_t i = 0; i < prepared.out.size(); ++i) {
                prepared.out[i].kind = shape.out[i];
                bindInto(statement, prepared.out[i]);
            }
            statement.define_and_bind();
        }
        for (qsizetype i = 0; i < values.size(); ++i)
            prepared.in[size_t(i)].set(values.at(i));
        Result result;
        soci::statement &statement = *prepared.statement;
        if (statement.execute(true)) {
            do {
                QVariantList row;
                for (Slot &slot : prepared.out)
                    row << slot.get();
                if (!prepared.out.empty())
                    result.rows << row;
            } while (!prepared.out.empty() && statement.fetch());
        }
        if (count)
            result.affected = statement.get_affected_rows();
        if (!m_keep)
            prepared = Prepared();
        return result;
    }

private:
    struct Slot
    {
        char kind = 'T';
        std::string text;
        double number = 0;
        std::tm time{};
        soci::indicator indicator = soci::i_ok;

        void set(const QVariant &value)
        {
            const bool null = value.isNull() || (value.metaType().id() == QMetaType::QString && value.toString().isNull());
            indicator = null ? soci::i_null : soci::i_ok;
            if (null)
                return;
            if (kind == 'T') {
                text = value.toString().toStdString();
            } else if (kind == 'N') {
                number = value.toDouble();
            } else {
                const QDateTime when = value.toDateTime();
                time = std::tm{};
                time.tm_year = when.date().year() - 1900;
                time.tm_mon = when.date().month() - 1;
                time.tm_mday = when.date().day();
                time.tm_hour = when.time().hour();
                time.tm_min = when.time().minute();
                time.tm_sec = when.time().second();
            }
        }
        QVariant get() const
        {
            if (indicator == soci::i_null)
                return {};
            if (kind == 'T')
                return QString::fromStdString(text);
            if (kind == 'N')
                return number;
            return QDateTime(QDate(time.tm_year + 1900, time.tm_mon + 1, time.tm_mday),
                             QTime(time.tm_hour, time.tm_min, time.tm_sec), Qt::UTC);
        }
    };
    struct Prepared
    {
        std::unique_ptr<soci::statement> statement;
        std::vector<Slot> in, out; // not moved once bound
    };

    static void bindUse(soci::statement &statement, Slot &slot, const std::string &name)
    {
        if (slot.kind == 'T')
            statement.exchange(soci::use(slot.text, slot.indicator, name));
        else if (slot.kind == 'N')
            statement.exchange(soci::use(slot.number, slot.indicator, name));
        else
            statement.exchange(soci::use(slot.time, slot.indicator, name));
    }
    static void bindInto(soci::statement &statement, Slot &slot)
    {
        if (slot.kind == 'T')
            statement.exchange(soci::into(slot.text, slot.indicator));
        else if (slot.kind == 'N')
            statement.exchange(soci::into(slot.number, slot.indicator));
        else
            statement.exchange(soci::into(slot.time, slot.indicator));
    }

    soci::session m_session;
    std::array<Prepared, StatementCount> m_prepared;
};
#endif

std::vector<Service> originServices(const QString &url, int count)
{
    auto database = Database::open(url, u"bench-origin"_s);
    SqlStatement query(database->sql(), uR"(SELECT FIRST %1 CDPACIENTE, DTSERVINTE, NRSEQUSERV, CDFILIAL, CDSERVFILI, CDDIETPAD,
       NRACOMPANA, STPACIACOM, IDIMPRSERV, IDTIPOSERINT, IDRESTSERIN, CDDIETGRUPSI, CDNUTRICIO, DTINTERNA, DSSERVINTE,
       NRSERVPESO FROM SERVINTE WHERE DTSERVINTE = :DAY ORDER BY CDPACIENTE, NRSEQUSERV)"_s.arg(count));
    query.bind(u":DAY"_s, database->dialect().dateTimeValue(OleDate::fromDate(Origin))).exec();
    std::vector<Service> services;
    while (query.next()) {
        Service service;
        for (int i = 0; i < 16; ++i)
            service.row << query.value(i);
        // the driver reads dates as local fields; the others bind them as the fields they hold
        for (int i : {1, 13})
            service.row[i] = QDateTime(service.row[i].toDateTime().date(), service.row[i].toDateTime().time(), Qt::UTC);
        services.push_back(service);
    }
    query.finish();
    return services;
}

// Forced writes make every commit wait for the disk, which on this machine costs more than all
// the rest of a transaction; with them off what remains is the libraries' and the server's work.
void setForcedWrites(const FirebirdServer::Target &target, const FirebirdServer::Credentials &credentials, bool on)
{
    fb::ThrowStatusWrapper status(master()->getStatus());
    fb::IXpbBuilder *dpb = master()->getUtilInterface()->getXpbBuilder(&status, fb::IXpbBuilder::DPB, nullptr, 0);
    dpb->insertString(&status, isc_dpb_user_name, credentials.user.toUtf8().constData());
    dpb->insertString(&status, isc_dpb_password, credentials.password.toUtf8().constData());
    dpb->insertInt(&status, isc_dpb_force_write, on ? 1 : 0);
    fb::IProvider *provider = master()->getDispatcher();
    fb::IAttachment *attachment = provider->attachDatabase(&status, target.connectionString().toUtf8().constData(),
                                                           dpb->getBufferLength(&status), dpb->getBuffer(&status));
    attachment->detach(&status);
    provider->release();
    dpb->dispose();
    status.dispose();
}

// Every library and way in turn, each copying the same services to a day of its own.
void measure(const QString &url, const FirebirdServer::Target &target, const FirebirdServer::Credentials &credentials,
             int serviceCount, int rounds)
{
    {
        auto database = Database::open(url, u"bench-seed"_s);
        BenchShape shape;
        shape.patients = (serviceCount + 3) / 4;
        shape.origin = Origin;
        BenchSeeder::seed(*database, shape);
    }
    const std::vector<Service> services = originServices(url, serviceCount);

    struct Way
    {
        QString library;
        bool keep;
        std::function<std::unique_ptr<Client>()> make;
    };
    std::vector<Way> ways;
    for (const bool keep : {true, false}) {
        ways.push_back({u"object-api"_s, keep, [&, keep] { return std::make_unique<ObjectApiClient>(target, credentials, keep); }});
        ways.push_back({u"object-api-session"_s, keep, [&, keep] { return std::make_unique<SessionClient>(url, keep); }});
#ifdef RBX_BENCH_SOCI
        ways.push_back({u"soci"_s, keep, [&, keep] { return std::make_unique<SociClient>(target, credentials, keep); }});
#endif
    }
    ways.push_back({u"qibase"_s, false, [&] { return std::make_unique<QibaseClient>(url); }});

    const qint64 self = QCoreApplication::applicationPid();
    int day = 1;
    for (const bool forcedWrites : {true, false}) {
        setForcedWrites(target, credentials, forcedWrites);
        for (const Way &way : ways) {
            const QVariant destination = QDateTime(Origin.addDays(day++), QTime(0, 0), Qt::UTC);
            std::unique_ptr<Client> client = way.make();
            QList<double> perTransaction;
            double cpu = 0;
            for (int round = 0; round <= rounds; ++round) { // round 0 warms up and fills the day
                const double started = monotonicSeconds();
                const double cpuBefore = cpuSeconds(self);
                for (const Service &service : services)
                    copyService(*client, service, destination);
                if (round == 0)
                    continue;
                perTransaction << (monotonicSeconds() - started) * 1e6 / double(services.size());
                cpu += cpuSeconds(self) - cpuBefore;
            }
            const QJsonObject params{{u"library"_s, way.library},
                                     {u"statements"_s, way.keep ? u"prepared once"_s : u"prepared each run"_s},
                                     {u"forced_writes"_s, forcedWrites},
                                     {u"transactions"_s, qint64(services.size())},
                                     {u"rounds"_s, rounds}};
            report(u"fbaccess_us_per_transaction"_s, quantile(perTransaction, 0.5), u"us"_s, params);
            report(u"fbaccess_client_cpu_us_per_transaction"_s, cpu * 1e6 / double(services.size() * size_t(rounds)),
                   u"us"_s, params);
        }
    }
}

} // namespace

} // namespace rbx

using namespace rbx;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const BenchArgs args(app.arguments().mid(1));
    const int serviceCount = args.number(u"services"_s, 200);
    // each round adds 4 to the two-digit sequences of the day a way copies to
    const int rounds = std::clamp(args.number(u"rounds"_s, 3), 1, 20);
    const QString base = qEnvironmentVariable("RBX_FIREBIRD_URL_BASE");
    if (base.isEmpty())
        die(u"RBX_FIREBIRD_URL_BASE is not set (source scripts/firebird.sh and call firebird_start)"_s);
    const QString url = base + u"/rbx-bench-fbaccess-%1.fdb"_s.arg(QCoreApplication::applicationPid());
    QString problem;
    const std::optional<FirebirdServer::Target> target = FirebirdServer::parseUrl(url, &problem);
    if (!target)
        die(problem);
    if (!QHostAddress(target->host).isLoopback() && target->host != u"localhost"_s)
        die(u"the benchmark only reaches a server on loopback, not "_s + target->host);

    QString failure;
    FirebirdServer::Credentials credentials;
    try {
        credentials = FirebirdServer::credentialsFromEnvironment();
        measure(url, *target, credentials, serviceCount, rounds);
#ifdef RBX_BENCH_SOCI
    } catch (const soci::soci_error &error) {
        failure = QString::fromStdString(error.what());
#endif
    } catch (const Firebird::FbException &error) {
        char text[1024];
        master()->getUtilInterface()->formatStatus(text, sizeof text, error.getStatus());
        failure = QString::fromUtf8(text);
    } catch (const EHouseError &error) {
        failure = error.message();
    }
    try {
        if (!credentials.user.isEmpty() && FirebirdFiles::exists(*target, credentials))
            FirebirdFiles::drop(*target, credentials);
    } catch (const EHouseError &error) {
        failure += u" (database left on the server: "_s + error.message() + u')';
    }
    if (!failure.isEmpty())
        die(failure);
    return 0;
}
