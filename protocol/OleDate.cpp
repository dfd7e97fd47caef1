#include "OleDate.h"

#include <cmath>

namespace rbx {

namespace OleDate {

double fromDateTime(const QDateTime &dateTime)
{
    const double days = fromDate(dateTime.date());
    const double fraction = dateTime.time().msecsSinceStartOfDay() / MillisecondsPerDay;
    return days >= 0 ? days + fraction : days - fraction;
}

QDateTime toDateTime(double value)
{
    // Outside years 100 to 9999 there is no calendar date to give (and no integer to hold it).
    if (!std::isfinite(value) || value < MinimumValue || value > MaximumValue)
        return {};
    const double whole = std::trunc(value);
    const double fraction = std::fabs(value - whole);
    qint64 msecs = std::llround(fraction * MillisecondsPerDay);
    qint64 days = qint64(whole);
    if (msecs >= qint64(MillisecondsPerDay)) { // rounding carried into the next day
        msecs -= qint64(MillisecondsPerDay);
        days += value >= 0 ? 1 : -1;
    }
    // UTC: a local time would shift dates in zones whose daylight saving starts at midnight.
    return QDateTime(epoch().addDays(days), QTime::fromMSecsSinceStartOfDay(int(msecs)), Qt::UTC);
}

} // namespace OleDate

} // namespace rbx
