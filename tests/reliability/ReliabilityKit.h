#pragma once

#include <db/Database.h>

#include <QDate>
#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>

namespace rbx {

namespace Reliability {

// Every SERVINTE and CONFESCO row of a branch on a date, every column, in key order: two equal
// snapshots mean the day is exactly as it was.
QString snapshot(Database &database, QDate date, const QString &branch);

// For each patient|service|diet of a branch on a date, the item count of each service stored
// under it: one entry per service, so a duplicate shows as a second count.
QMap<QString, QList<int>> servicesWithItems(Database &database, QDate date, const QString &branch);

// Checks that every service at the destination exists once and has all the items of its origin;
// returns what is wrong, one line per fault, empty when nothing is.
QStringList halfCopies(Database &database, QDate origin, QDate destination, const QString &branch);

// The resident memory of a process in KiB, from /proc; -1 when unreadable.
qint64 residentKiB(qint64 pid);

// The headless copy command and the arguments that copy a branch's demo day to another day
// through the server on a loopback port, confirmed in advance.
QString copyProgram();
QStringList copyArguments(quint16 port, QDate from, QDate to, const QString &branch = QStringLiteral("0001"));

// Runs the event loop until the condition holds; false when it did not within the time.
bool waitFor(const std::function<bool()> &condition, int timeoutMs);

// The date as the database stores it, for direct queries.
QString storedDate(const Database &database, QDate date);

} // namespace Reliability

} // namespace rbx
