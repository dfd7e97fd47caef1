#pragma once

#include <QDate>
#include <QDateTime>

// OLE Automation dates: days since 1899-12-30, the fraction being the time of day.
namespace OleDate {

constexpr double MillisecondsPerDay = 86400000.0;

inline QDate epoch() { return QDate(1899, 12, 30); }

inline double fromDate(QDate date) { return double(epoch().daysTo(date)); }

double fromDateTime(const QDateTime &dateTime);

// In UTC, so that no zone's clock change moves the date. Negative values count days backwards while the fraction still moves forwards in the day,
// as the OLE form defines it.
QDateTime toDateTime(double value);

inline QDate toDate(double value) { return toDateTime(value).date(); }

} // namespace OleDate
