#include "DatabaseContents.h"

#include "Database.h"
#include <protocol/OleDate.h>
#include "Schema.h"
#include "SqlDialect.h"
#include "SqlStatement.h"

namespace rbx {

using namespace Qt::StringLiterals;

namespace {

const QString Services = u"SERVINTE"_s;
const QString Items = u"CONFESCO"_s;

qint64 count(Database &database, const QString &table, QDate day)
{
    QString sql = u"SELECT COUNT(*) FROM %1"_s.arg(table);
    if (day.isValid())
        sql += u" WHERE DTSERVINTE >= :from AND DTSERVINTE < :to"_s;
    SqlStatement query(database.sql(), sql);
    if (day.isValid()) {
        query.bind(u":from"_s, database.dialect().dateTimeValue(OleDate::fromDate(day)));
        query.bind(u":to"_s, database.dialect().dateTimeValue(OleDate::fromDate(day.addDays(1))));
    }
    query.exec();
    return query.next() ? query.value(0).toLongLong() : 0;
}

DatabaseContents::Prescriptions countPrescriptions(Database &database, QDate day)
{
    const QStringList missing = Schema::missingTables(database);
    DatabaseContents::Prescriptions found;
    if (!missing.contains(Services))
        found.services = count(database, Services, day);
    if (!missing.contains(Items))
        found.items = count(database, Items, day);
    return found;
}

} // namespace

namespace DatabaseContents {

int tablesPresent(Database &database)
{
    return int(Schema::tables().size() - Schema::missingTables(database).size());
}

Prescriptions all(Database &database) { return countPrescriptions(database, {}); }

Prescriptions ofDay(Database &database, QDate day) { return countPrescriptions(database, day); }

QString describe(Database &database)
{
    const Prescriptions found = all(database);
    return u"%1 tabelas, %2 serviços com %3 itens"_s.arg(tablesPresent(database)).arg(found.services).arg(found.items);
}

} // namespace DatabaseContents

} // namespace rbx
