#include "DbFloor.h"

#include "BenchReport.h"
#include "Database.h"
#include "FormulationCopy.h"
#include "OleDate.h"
#include "Schema.h"
#include "SqlDialect.h"
#include "SqlStatement.h"

#include <QVariant>

#include <memory>
#include <optional>
#include <vector>

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

// An origin service as the day's list gives it: every column, in ServiceColumns order.
using Row = std::vector<QVariant>;

struct Statements
{
    explicit Statements(Database &db)
        : deleteItems(db.sql(), uR"(
DELETE FROM CONFESCO
 WHERE CDPACIENTE = :CDPACIENTE AND DTSERVINTE = :DTSERVINTE AND CDFILIAL = :CDFILIAL
   AND NRSEQUSERV IN (SELECT NRSEQUSERV FROM SERVINTE
                       WHERE CDPACIENTE = :S_CDPACIENTE AND DTSERVINTE = :S_DTSERVINTE AND CDFILIAL = :S_CDFILIAL
                         AND CDSERVFILI = :CDSERVFILI AND CDDIETPAD = :CDDIETPAD))"_s),
          deleteService(db.sql(), u"DELETE FROM SERVINTE WHERE CDPACIENTE = :CDPACIENTE AND DTSERVINTE = :DTSERVINTE"
                                  u" AND CDFILIAL = :CDFILIAL AND CDSERVFILI = :CDSERVFILI AND CDDIETPAD = :CDDIETPAD"_s),
          highestSequence(db.sql(), u"SELECT MAX(NRSEQUSERV) FROM SERVINTE"
                                    u" WHERE CDPACIENTE = :CDPACIENTE AND DTSERVINTE = :DTSERVINTE AND CDFILIAL = :CDFILIAL"_s),
          nutritionist(db.sql(), u"SELECT MIN(CDNUTRICIO) FROM NUTRICIO WHERE CDOPERADOR = :CDOPERADOR AND CDFILIAL = :CDFILIAL"_s),
          insertService(db.sql(), u"INSERT INTO SERVINTE (%1) VALUES (%2)"_s.arg(ServiceColumns, placeholders(ServiceColumns))),
          originItems(db.sql(), u"SELECT %1 FROM CONFESCO WHERE CDPACIENTE = :CDPACIENTE AND DTSERVINTE = :DTSERVINTE"
                                u" AND NRSEQUSERV = :NRSEQUSERV AND CDFILIAL = :CDFILIAL ORDER BY CDSEQUCOPR"_s.arg(ItemColumns)),
          insertItem(db.sql(), u"INSERT INTO CONFESCO (%1) VALUES (%2)"_s.arg(ItemColumns, placeholders(ItemColumns)))
    {
    }
    static constexpr int Count = 7;

    SqlStatement deleteItems, deleteService, highestSequence, nutritionist, insertService, originItems, insertItem;
};

} // namespace

DbFloorResult dbFloorCopy(const DbFloorRequest &request)
{
    auto database = Database::open(request.url, u"bench-db-floor"_s);
    const SqlDialect &dialect = database->dialect();
    const QVariant destination = dialect.dateTimeValue(OleDate::fromDate(request.destination));
    const double destinationDay = OleDate::fromDate(request.destination);
    const int sequenceWidth = Schema::column(u"SERVINTE"_s, u"NRSEQUSERV"_s).size;
    const int itemWidth = Schema::column(u"CONFESCO"_s, u"CDSEQUCOPR"_s).size;
    const QStringList serviceColumns = ServiceColumns.split(u", "_s);
    const QStringList itemColumns = ItemColumns.split(u", "_s);
    const auto at = [](const QStringList &columns, const char *name) { return int(columns.indexOf(QLatin1String(name))); };
    const int sPatient = at(serviceColumns, "CDPACIENTE"), sSequence = at(serviceColumns, "NRSEQUSERV"),
              sBranch = at(serviceColumns, "CDFILIAL"), sService = at(serviceColumns, "CDSERVFILI"),
              sDiet = at(serviceColumns, "CDDIETPAD"), sDay = at(serviceColumns, "DTSERVINTE"),
              sNutritionist = at(serviceColumns, "CDNUTRICIO");
    const int iDay = at(itemColumns, "DTSERVINTE"), iSequence = at(itemColumns, "NRSEQUSERV"),
              iItem = at(itemColumns, "CDSEQUCOPR"), iConsumption = at(itemColumns, "DTCONSCONF");

    DbFloorResult result;
    const double started = monotonicSeconds();
    // the day's services, as the copy's first call reads them
    std::vector<Row> services;
    {
        SqlStatement list(database->sql(), u"SELECT S.%1 FROM SERVINTE S JOIN SERVICO V ON V.CDFILIAL = S.CDFILIAL"
                                           u" AND V.CDSERVFILI = S.CDSERVFILI WHERE S.CDFILIAL = :CDFILIAL"
                                           u" AND S.DTSERVINTE = :DTSERVINTE AND V.IDTPSERVHOSP = :IDTPSERVHOSP"
                                           u" ORDER BY S.CDPACIENTE, S.NRSEQUSERV"_s.arg(QString(ServiceColumns).replace(u", "_s, u", S."_s)));
        list.bind(u":CDFILIAL"_s, request.branch)
            .bind(u":DTSERVINTE"_s, dialect.dateTimeValue(OleDate::fromDate(request.origin)))
            .bind(u":IDTPSERVHOSP"_s, request.mode)
            .exec();
        while (list.next()) {
            Row row(size_t(serviceColumns.size()));
            for (int c = 0; c < serviceColumns.size(); ++c)
                row[size_t(c)] = list.value(c);
            services.push_back(std::move(row));
        }
        list.finish();
        ++result.statements;
        ++result.prepared;
    }

    // Qt's Firebird driver binds a statement to the transaction it was prepared in (and one
    // prepared outside any runs in a transaction of its own): there they are prepared afresh
    // in each service's transaction, and the figure says so by its count of prepared ones
    const bool preparedOnce = dialect.name() != u"Firebird"_s;
    std::optional<Statements> statements;
    for (const Row &service : services) {
        const QVariant &patient = service[size_t(sPatient)], &branch = service[size_t(sBranch)];
        dialect.beginWrite(database->sql());
        try {
            if (!statements || !preparedOnce) {
                statements.reset();
                statements.emplace(*database);
                result.prepared += Statements::Count;
            }
            Statements &s = *statements;
            s.deleteItems.bind(u":CDPACIENTE"_s, patient).bind(u":DTSERVINTE"_s, destination).bind(u":CDFILIAL"_s, branch);
            s.deleteItems.bind(u":S_CDPACIENTE"_s, patient).bind(u":S_DTSERVINTE"_s, destination).bind(u":S_CDFILIAL"_s, branch);
            s.deleteItems.bind(u":CDSERVFILI"_s, service[size_t(sService)]).bind(u":CDDIETPAD"_s, service[size_t(sDiet)]).exec();
            s.deleteService.bind(u":CDPACIENTE"_s, patient).bind(u":DTSERVINTE"_s, destination).bind(u":CDFILIAL"_s, branch);
            s.deleteService.bind(u":CDSERVFILI"_s, service[size_t(sService)]).bind(u":CDDIETPAD"_s, service[size_t(sDiet)]).exec();

            s.highestSequence.bind(u":CDPACIENTE"_s, patient).bind(u":DTSERVINTE"_s, destination).bind(u":CDFILIAL"_s, branch).exec();
            const QVariant highest = s.highestSequence.next() ? s.highestSequence.value(0) : QVariant();
            s.highestSequence.finish();
            const QString sequence = nextSequence(highest.isNull() ? QString(sequenceWidth, u'0') : highest.toString(), sequenceWidth);

            s.nutritionist.bind(u":CDOPERADOR"_s, request.operatorCode).bind(u":CDFILIAL"_s, branch).exec();
            const QVariant nutritionist = s.nutritionist.next() ? s.nutritionist.value(0) : QVariant();
            s.nutritionist.finish();

            for (int c = 0; c < serviceColumns.size(); ++c)
                s.insertService.bind(u':' + serviceColumns.at(c), service[size_t(c)]);
            s.insertService.bind(u":DTSERVINTE"_s, destination).bind(u":NRSEQUSERV"_s, sequence);
            s.insertService.bind(u":CDNUTRICIO"_s, nutritionist.isNull() ? service[size_t(sNutritionist)] : nutritionist).exec();

            const double originDay = dialect.oleDate(service[size_t(sDay)]).value_or(0);
            s.originItems.bind(u":CDPACIENTE"_s, patient).bind(u":DTSERVINTE"_s, service[size_t(sDay)]);
            s.originItems.bind(u":NRSEQUSERV"_s, service[size_t(sSequence)]).bind(u":CDFILIAL"_s, branch).exec();
            std::vector<Row> items;
            while (s.originItems.next()) {
                Row item(size_t(itemColumns.size()));
                for (int c = 0; c < itemColumns.size(); ++c)
                    item[size_t(c)] = s.originItems.value(c);
                items.push_back(std::move(item));
            }
            s.originItems.finish();

            QString itemSequence = QString(itemWidth, u'0');
            for (Row &item : items) {
                itemSequence = nextSequence(itemSequence, itemWidth);
                item[size_t(iDay)] = destination;
                item[size_t(iSequence)] = sequence;
                item[size_t(iItem)] = itemSequence;
                // the consumption keeps its distance from the service's day
                if (const std::optional<double> consumption = dialect.oleDate(item[size_t(iConsumption)]))
                    item[size_t(iConsumption)] = dialect.dateTimeValue(destinationDay + (*consumption - originDay));
                for (int c = 0; c < itemColumns.size(); ++c)
                    s.insertItem.bind(u':' + itemColumns.at(c), item[size_t(c)]);
                s.insertItem.exec();
            }
            dialect.commit(database->sql());
            result.statements += 6 + qint64(items.size());
            result.items += qint64(items.size());
            ++result.services;
        } catch (...) {
            try {
                dialect.rollback(database->sql());
            } catch (...) {
                // the failure that ended the service is the one to report
            }
            throw;
        }
    }
    result.seconds = monotonicSeconds() - started;
    return result;
}
