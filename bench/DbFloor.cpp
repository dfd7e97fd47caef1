#include "DbFloor.h"

#include "BenchReport.h"
#include <copyrules/CopyRules.h>
#include <copy/FormulationCopy.h>
#include <protocol/OleDate.h>
#include <db/Schema.h>
#include <db/SqlDialect.h>
#include <db/SqlSession.h>

#include <QVariant>

#include <memory>
#include <optional>
#include <vector>

namespace rbx {

using namespace Qt::StringLiterals;

namespace {

const QString ServiceColumns = u"CDPACIENTE, DTSERVINTE, NRSEQUSERV, CDFILIAL, CDSERVFILI, CDDIETPAD, NRACOMPANA, STPACIACOM,"
                               u" IDIMPRSERV, IDTIPOSERINT, IDRESTSERIN, CDDIETGRUPSI, CDNUTRICIO, DTINTERNA, DSSERVINTE,"
                               u" NRSERVPESO"_s;
const QString ItemColumns = u"CDPACIENTE, DTSERVINTE, NRSEQUSERV, CDSEQUCOPR, CDFILIAL, CDFILAUXPRAT, CDPRATO, QTSERVCONF,"
                            u" QTPRATCONF, QTINFUCONF, HRCONSCONF, DTCONSCONF, CDPRODUTO, CDVIACESDIET, IDPREPCONF, DSOBSCONF"_s;

QString placeholders(const QString &columns)
{
    QStringList names = columns.split(u',');
    for (QString &name : names)
        name = u':' + name.trimmed();
    return names.join(u", "_s);
}

// An origin service or item as its select gives it, every column in its list's order.
using Row = std::vector<QVariant>;

const QString DeleteItems = uR"(
DELETE FROM CONFESCO
 WHERE CDPACIENTE = :CDPACIENTE AND DTSERVINTE = :DTSERVINTE AND CDFILIAL = :CDFILIAL
   AND NRSEQUSERV IN (SELECT NRSEQUSERV FROM SERVINTE
                       WHERE CDPACIENTE = :S_CDPACIENTE AND DTSERVINTE = :S_DTSERVINTE AND CDFILIAL = :S_CDFILIAL
                         AND CDSERVFILI = :CDSERVFILI AND CDDIETPAD = :CDDIETPAD))"_s;
const QString DeleteService = u"DELETE FROM SERVINTE WHERE CDPACIENTE = :CDPACIENTE AND DTSERVINTE = :DTSERVINTE"
                              u" AND CDFILIAL = :CDFILIAL AND CDSERVFILI = :CDSERVFILI AND CDDIETPAD = :CDDIETPAD"_s;
const QString HighestSequence = u"SELECT MAX(NRSEQUSERV) FROM SERVINTE"
                                u" WHERE CDPACIENTE = :CDPACIENTE AND DTSERVINTE = :DTSERVINTE AND CDFILIAL = :CDFILIAL"_s;
const QString Nutritionist = u"SELECT MIN(CDNUTRICIO) FROM NUTRICIO WHERE CDOPERADOR = :CDOPERADOR AND CDFILIAL = :CDFILIAL"_s;

} // namespace

DbFloorResult dbFloorCopy(const DbFloorRequest &request)
{
    // the server's own way to its database: the same session, statements kept as it keeps them
    const std::unique_ptr<SqlSession> session = SqlSession::open(request.url, u"bench-db-floor"_s);
    const SqlDialect &dialect = session->dialect();
    const QVariant destination = dialect.dateTimeValue(OleDate::fromDate(request.destination));
    const double destinationDay = OleDate::fromDate(request.destination);
    const int sequenceWidth = Schema::column(u"SERVINTE"_s, u"NRSEQUSERV"_s).size;
    const int itemWidth = Schema::column(u"CONFESCO"_s, u"CDSEQUCOPR"_s).size;
    const QStringList serviceColumns = ServiceColumns.split(u", "_s);
    const QStringList itemColumns = ItemColumns.split(u", "_s);
    const auto at = [](const QStringList &columns, const char *name) { return size_t(columns.indexOf(QLatin1String(name))); };
    const size_t sPatient = at(serviceColumns, "CDPACIENTE"), sSequence = at(serviceColumns, "NRSEQUSERV"),
                 sBranch = at(serviceColumns, "CDFILIAL"), sService = at(serviceColumns, "CDSERVFILI"),
                 sDiet = at(serviceColumns, "CDDIETPAD"), sDay = at(serviceColumns, "DTSERVINTE"),
                 sNutritionist = at(serviceColumns, "CDNUTRICIO");
    const size_t iDay = at(itemColumns, "DTSERVINTE"), iSequence = at(itemColumns, "NRSEQUSERV"),
                 iItem = at(itemColumns, "CDSEQUCOPR"), iConsumption = at(itemColumns, "DTCONSCONF");
    const QString insertService = u"INSERT INTO SERVINTE (%1) VALUES (%2)"_s.arg(ServiceColumns, placeholders(ServiceColumns));
    const QString originItems = u"SELECT %1 FROM CONFESCO WHERE CDPACIENTE = :CDPACIENTE AND DTSERVINTE = :DTSERVINTE"
                                u" AND NRSEQUSERV = :NRSEQUSERV AND CDFILIAL = :CDFILIAL ORDER BY CDSEQUCOPR"_s.arg(ItemColumns);
    const QString insertItem = u"INSERT INTO CONFESCO (%1) VALUES (%2)"_s.arg(ItemColumns, placeholders(ItemColumns));
    const auto rows = [](PreparedStatement &query, qsizetype columns) {
        std::vector<Row> found;
        while (query.next()) {
            Row row(static_cast<size_t>(columns));
            for (qsizetype c = 0; c < columns; ++c)
                row[size_t(c)] = query.value(int(c));
            found.push_back(std::move(row));
        }
        query.finish();
        return found;
    };
    const auto single = [](PreparedStatement &query) {
        query.exec();
        const QVariant value = query.next() ? query.value(0) : QVariant();
        query.finish();
        return value;
    };

    DbFloorResult result;
    const double started = monotonicSeconds();
    // the day's services, as the copy's first call reads them
    PreparedStatement &list = session->statement(
        u"SELECT S.%1 FROM SERVINTE S JOIN SERVICO V ON V.CDFILIAL = S.CDFILIAL AND V.CDSERVFILI = S.CDSERVFILI"
        u" WHERE S.CDFILIAL = :CDFILIAL AND S.DTSERVINTE = :DTSERVINTE AND V.IDTPSERVHOSP = :IDTPSERVHOSP"
        u" ORDER BY S.CDPACIENTE, S.NRSEQUSERV"_s.arg(QString(ServiceColumns).replace(u", "_s, u", S."_s)));
    list.bind(u":CDFILIAL"_s, request.branch);
    list.bind(u":DTSERVINTE"_s, dialect.dateTimeValue(OleDate::fromDate(request.origin)));
    list.bind(u":IDTPSERVHOSP"_s, request.mode);
    list.exec();
    const std::vector<Row> services = rows(list, serviceColumns.size());
    session->finishStatements();

    for (const Row &service : services) {
        const QVariant &patient = service[sPatient], &branch = service[sBranch];
        session->begin();
        try {
            PreparedStatement &deleteItems = session->statement(DeleteItems);
            deleteItems.bind(u":CDPACIENTE"_s, patient);
            deleteItems.bind(u":DTSERVINTE"_s, destination);
            deleteItems.bind(u":CDFILIAL"_s, branch);
            deleteItems.bind(u":S_CDPACIENTE"_s, patient);
            deleteItems.bind(u":S_DTSERVINTE"_s, destination);
            deleteItems.bind(u":S_CDFILIAL"_s, branch);
            deleteItems.bind(u":CDSERVFILI"_s, service[sService]);
            deleteItems.bind(u":CDDIETPAD"_s, service[sDiet]);
            deleteItems.exec();
            PreparedStatement &deleteService = session->statement(DeleteService);
            deleteService.bind(u":CDPACIENTE"_s, patient);
            deleteService.bind(u":DTSERVINTE"_s, destination);
            deleteService.bind(u":CDFILIAL"_s, branch);
            deleteService.bind(u":CDSERVFILI"_s, service[sService]);
            deleteService.bind(u":CDDIETPAD"_s, service[sDiet]);
            deleteService.exec();

            PreparedStatement &highestSequence = session->statement(HighestSequence);
            highestSequence.bind(u":CDPACIENTE"_s, patient);
            highestSequence.bind(u":DTSERVINTE"_s, destination);
            highestSequence.bind(u":CDFILIAL"_s, branch);
            const QVariant highest = single(highestSequence);
            const QString sequence = CopyRules::nextSequence(highest.isNull() ? QString(sequenceWidth, u'0') : highest.toString(), sequenceWidth);

            PreparedStatement &nutritionistOf = session->statement(Nutritionist);
            nutritionistOf.bind(u":CDOPERADOR"_s, request.operatorCode);
            nutritionistOf.bind(u":CDFILIAL"_s, branch);
            const QVariant nutritionist = single(nutritionistOf);

            PreparedStatement &insert = session->statement(insertService);
            for (qsizetype c = 0; c < serviceColumns.size(); ++c)
                insert.bind(u':' + serviceColumns.at(c), service[size_t(c)]);
            insert.bind(u":DTSERVINTE"_s, destination);
            insert.bind(u":NRSEQUSERV"_s, sequence);
            insert.bind(u":CDNUTRICIO"_s, nutritionist.isNull() ? service[sNutritionist] : nutritionist);
            insert.exec();

            const double originDay = dialect.oleDate(service[sDay]).value_or(0);
            PreparedStatement &origin = session->statement(originItems);
            origin.bind(u":CDPACIENTE"_s, patient);
            origin.bind(u":DTSERVINTE"_s, service[sDay]);
            origin.bind(u":NRSEQUSERV"_s, service[sSequence]);
            origin.bind(u":CDFILIAL"_s, branch);
            origin.exec();
            std::vector<Row> items = rows(origin, itemColumns.size());

            QString itemSequence = QString(itemWidth, u'0');
            for (Row &item : items) {
                itemSequence = CopyRules::nextSequence(itemSequence, itemWidth);
                item[iDay] = destination;
                item[iSequence] = sequence;
                item[iItem] = itemSequence;
                // the consumption keeps its distance from the service's day
                if (const std::optional<double> consumption = dialect.oleDate(item[iConsumption]))
                    item[iConsumption] = dialect.dateTimeValue(destinationDay + (*consumption - originDay));
                PreparedStatement &insertOne = session->statement(insertItem);
                for (qsizetype c = 0; c < itemColumns.size(); ++c)
                    insertOne.bind(u':' + itemColumns.at(c), item[size_t(c)]);
                insertOne.exec();
            }
            session->commit();
            result.items += qint64(items.size());
            ++result.services;
        } catch (...) {
            try {
                session->rollback();
            } catch (...) {
                // the failure that ended the service is the one to report
            }
            throw;
        }
        // as the server does where the driver ties statements to their transaction
        if (!session->statementsOutliveTransactions())
            session->forgetStatements();
    }
    result.seconds = monotonicSeconds() - started;
    result.statements = session->counts().run;
    result.prepared = session->counts().prepared;
    return result;
}

} // namespace rbx
