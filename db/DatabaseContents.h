#pragma once

#include <QDate>
#include <QString>

namespace rbx {

class Database;

// What a database holds, counted as the maintenance commands report it: the schema's tables
// present and the prescriptions (services and their items).
namespace DatabaseContents {

struct Prescriptions
{
    qint64 services = 0;
    qint64 items = 0;
};

// The schema's tables the database holds.
int tablesPresent(Database &database);
// Every service and item; none when the tables are missing. Throws EDatabaseError.
Prescriptions all(Database &database);
// The services of that day and their items. Throws EDatabaseError.
Prescriptions ofDay(Database &database, QDate day);
// "T tabelas, S serviços com I itens", for the commands' messages. Throws EDatabaseError.
QString describe(Database &database);

} // namespace DatabaseContents

} // namespace rbx
