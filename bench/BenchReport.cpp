#include "BenchReport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include <unistd.h>

namespace rbx {

void report(const QString &name, double value, const QString &unit, const QJsonObject &params)
{
    const QJsonObject line{{QStringLiteral("name"), name},
                           {QStringLiteral("value"), value},
                           {QStringLiteral("unit"), unit},
                           {QStringLiteral("params"), params}};
    const QByteArray text = QJsonDocument(line).toJson(QJsonDocument::Compact);
    std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

qint64 peakRssKiB(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').constFirst().toLongLong();
    }
    return -1;
}

double cpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.readAll();
    // fields after the command name, which may hold blanks and ends at the last ')'
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    // utime and stime are fields 14 and 15 of the whole line
    return double(fields.at(11).toLongLong() + fields.at(12).toLongLong()) / double(sysconf(_SC_CLK_TCK));
}

CoreTimes coreTimes()
{
    QFile stat(QStringLiteral("/proc/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return {};
    // cpu user nice system idle iowait irq softirq steal ...
    const QList<QByteArray> fields = stat.readLine().simplified().split(' ');
    if (fields.size() < 9 || fields.constFirst() != "cpu")
        return {};
    qint64 value[8] = {};
    for (int i = 0; i < 8; ++i)
        value[i] = fields.at(i + 1).toLongLong();
    const qint64 idle = value[3] + value[4];
    qint64 total = 0;
    for (const qint64 v : value)
        total += v;
    return {total - idle, total};
}

qint64 ownPeakRssKiB() { return peakRssKiB(QCoreApplication::applicationPid()); }

double quantile(QList<double> &samples, double q)
{
    if (samples.isEmpty())
        return 0;
    std::sort(samples.begin(), samples.end());
    const auto rank = qsizetype(std::ceil(q * double(samples.size())));
    return samples.at(std::clamp<qsizetype>(rank - 1, 0, samples.size() - 1));
}

double monotonicSeconds()
{
    static QElapsedTimer clock = [] {
        QElapsedTimer started;
        started.start();
        return started;
    }();
    return double(clock.nsecsElapsed()) / 1e9;
}

} // namespace rbx
