#include "BareFloor.h"

#include "BenchReport.h"
#include <db/SqlSession.h>
#include <protocol/HouseError.h>

#include <QStringList>
#include <QVariant>

#include <memory>

using namespace Qt::StringLiterals;

namespace rbx {

namespace {

// ten texts and six numbers, as many as SERVINTE and CONFESCO write per row; NOT NULL, as
// Firebird wants of a key
QString columns(const QString &prefix)
{
    QStringList list;
    for (int i = 1; i <= 10; ++i)
        list << u"%1T%2 VARCHAR(20) NOT NULL"_s.arg(prefix).arg(i);
    for (int i = 1; i <= 6; ++i)
        list << u"%1N%2 DOUBLE PRECISION NOT NULL"_s.arg(prefix).arg(i);
    return list.join(u", "_s);
}

QString insert(const QString &table, const QString &prefix)
{
    QStringList names, values;
    for (int i = 1; i <= 10; ++i) {
        names << u"%1T%2"_s.arg(prefix).arg(i);
        values << u":%1T%2"_s.arg(prefix).arg(i);
    }
    for (int i = 1; i <= 6; ++i) {
        names << u"%1N%2"_s.arg(prefix).arg(i);
        values << u":%1N%2"_s.arg(prefix).arg(i);
    }
    return u"INSERT INTO %1 (%2) VALUES (%3)"_s.arg(table, names.join(u", "_s), values.join(u", "_s));
}

void run(SqlSession &session, const QString &sql)
{
    session.statement(sql).exec();
}

void dropTables(SqlSession &session)
{
    for (const QString &table : {u"BENCHBAREITEM"_s, u"BENCHBARESERV"_s}) {
        try {
            session.begin();
            run(session, u"DROP TABLE "_s + table);
            session.finishStatements();
            session.commit();
        } catch (const EHouseError &) {
            // not there
            try {
                session.rollback();
            } catch (const EHouseError &) {
            }
        }
        session.forgetStatements();
    }
}

} // namespace

double bareFloorSeconds(const BareFloorRequest &request)
{
    const std::unique_ptr<SqlSession> session = SqlSession::open(request.url, u"bench-bare-floor"_s);
    dropTables(*session);
    session->begin();
    run(*session, u"CREATE TABLE BENCHBARESERV (%1, PRIMARY KEY (ST1, SN1, ST2))"_s.arg(columns(u"S"_s)));
    run(*session, u"CREATE TABLE BENCHBAREITEM (%1, PRIMARY KEY (IT1, IN1, IT2, IT3))"_s.arg(columns(u"I"_s)));
    session->finishStatements();
    session->commit();
    session->forgetStatements();

    const QString insertService = insert(u"BENCHBARESERV"_s, u"S"_s), insertItem = insert(u"BENCHBAREITEM"_s, u"I"_s);
    const QString deleteItems = u"DELETE FROM BENCHBAREITEM WHERE IT1 = :IT1 AND IN1 = :IN1 AND IT2 = :IT2"_s;
    const QString deleteService = u"DELETE FROM BENCHBARESERV WHERE ST1 = :ST1 AND SN1 = :SN1 AND ST2 = :ST2"_s;
    const double day = 46000;
    const double started = monotonicSeconds();
    qint64 itemsLeft = request.items;
    for (qsizetype s = 0; s < request.services; ++s) {
        if (s % request.servicesPerCommit == 0)
            session->begin();
        const QString patient = u"%1"_s.arg(s / 4, 8, 10, QChar(u'0')), sequence = u"%1"_s.arg(s % 4 + 1, 2, 10, QChar(u'0'));
        PreparedStatement &items = session->statement(deleteItems);
        items.bind(u":IT1"_s, patient);
        items.bind(u":IN1"_s, day);
        items.bind(u":IT2"_s, sequence);
        items.exec();
        PreparedStatement &service = session->statement(deleteService);
        service.bind(u":ST1"_s, patient);
        service.bind(u":SN1"_s, day);
        service.bind(u":ST2"_s, sequence);
        service.exec();
        PreparedStatement &row = session->statement(insertService);
        row.bind(u":ST1"_s, patient);
        row.bind(u":ST2"_s, sequence);
        for (int i = 3; i <= 10; ++i)
            row.bind(u":ST%1"_s.arg(i), u"valor %1"_s.arg(i));
        row.bind(u":SN1"_s, day);
        for (int i = 2; i <= 6; ++i)
            row.bind(u":SN%1"_s.arg(i), double(i));
        row.exec();
        const qint64 count = itemsLeft / qint64(request.services - s);
        itemsLeft -= count;
        for (qint64 k = 1; k <= count; ++k) {
            PreparedStatement &item = session->statement(insertItem);
            item.bind(u":IT1"_s, patient);
            item.bind(u":IT2"_s, sequence);
            item.bind(u":IT3"_s, u"%1"_s.arg(k, 4, 10, QChar(u'0')));
            for (int i = 4; i <= 10; ++i)
                item.bind(u":IT%1"_s.arg(i), u"item %1"_s.arg(i));
            item.bind(u":IN1"_s, day);
            for (int i = 2; i <= 6; ++i)
                item.bind(u":IN%1"_s.arg(i), double(k * i));
            item.exec();
        }
        if ((s + 1) % request.servicesPerCommit == 0 || s + 1 == request.services) {
            session->finishStatements();
            session->commit();
            if (!session->statementsOutliveTransactions())
                session->forgetStatements();
        }
    }
    const double seconds = monotonicSeconds() - started;
    dropTables(*session);
    return seconds;
}

} // namespace rbx
