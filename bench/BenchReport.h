#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>

namespace rbx {

// Every figure is one JSON line on standard output: {"name","value","unit","params"}.
void report(const QString &name, double value, const QString &unit, const QJsonObject &params = {});

// VmHWM of a process in kibibytes (peak resident set), or -1 when it cannot be read.
qint64 peakRssKiB(qint64 pid);
qint64 ownPeakRssKiB();
// User plus system CPU seconds a process has used so far, or -1 when it cannot be read.
double cpuSeconds(qint64 pid);

// Jiffies of all cores since boot (/proc/stat): busy ones and all; -1s when unreadable.
struct CoreTimes
{
    qint64 busy = -1, total = -1;
};
CoreTimes coreTimes();

// The q-quantile (0..1) of the samples by nearest rank; the list is sorted in place.
double quantile(QList<double> &samples, double q);

// Seconds since some fixed point, monotonic.
double monotonicSeconds();

} // namespace rbx
