#pragma once

#include <protocol/rbx_protocol_export.h>

#include <QDate>
#include <QDateTime>

namespace rbx {

// OLE Automation dates: days since 1899-12-30, the fraction being the time of day.
namespace OleDate {

constexpr double MillisecondsPerDay = 86400000.0;
// 0100-01-01 and 9999-12-31 23:59:59.999, the range the OLE form covers.
constexpr double MinimumValue = -657434.0;
constexpr double MaximumValue = 2958465.99999999;

inline QDate epoch() { return QDate(1899, 12, 30); }

inline double fromDate(QDate date) { return double(epoch().daysTo(date)); }

RBX_PROTOCOL_EXPORT double fromDateTime(const QDateTime &dateTime);

// In UTC, so that no zone's clock change moves the date; invalid outside years 100 to 9999. Negative values count days backwards while the fraction still moves forwards in the day,
// as the OLE form defines it.
RBX_PROTOCOL_EXPORT QDateTime toDateTime(double value);

inline QDate toDate(double value) { return toDateTime(value).date(); }

} // namespace OleDate

} // namespace rbx
