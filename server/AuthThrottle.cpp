#include "AuthThrottle.h"

#include "ServerLimits.h"

#include <QHash>

#include <algorithm>
#include <mutex>

namespace rbx {

using namespace std::chrono;

namespace AuthThrottle {

namespace {

struct Failures
{
    int count = 0;
    qint64 lastMs = 0;
};

struct State
{
    std::mutex mutex;
    QHash<QString, Failures> byOperator;
    QHash<QString, Failures> byAddress;
};

State &state()
{
    static State s;
    return s;
}

qint64 nowMs() { return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count(); }

// Failures older than the window are forgotten; the tables cannot grow past a bound.
int note(QHash<QString, Failures> &table, const QString &key, qint64 now)
{
    if (table.size() >= ServerLimits::AuthThrottleEntries) {
        for (auto it = table.begin(); it != table.end();)
            it = now - it->lastMs > ServerLimits::AuthThrottleWindowMs ? table.erase(it) : std::next(it);
        if (table.size() >= ServerLimits::AuthThrottleEntries)
            table.clear();
    }
    Failures &entry = table[key];
    if (now - entry.lastMs > ServerLimits::AuthThrottleWindowMs)
        entry.count = 0;
    entry.count += 1;
    entry.lastMs = now;
    return entry.count;
}

int current(const QHash<QString, Failures> &table, const QString &key, qint64 now)
{
    const auto it = table.constFind(key);
    return it == table.constEnd() || now - it->lastMs > ServerLimits::AuthThrottleWindowMs ? 0 : it->count;
}

} // namespace

milliseconds failed(const QString &operatorCode, const QString &address, int baseDelayMs)
{
    State &s = state();
    const std::lock_guard lock(s.mutex);
    const qint64 now = nowMs();
    const int worst = std::max(note(s.byOperator, operatorCode, now), note(s.byAddress, address, now));
    milliseconds delay(baseDelayMs);
    // the first few are typing mistakes; after them each failure doubles the wait
    const int beyond = worst - ServerLimits::AuthFreeFailures;
    if (beyond > 0)
        delay += milliseconds(std::min<qint64>(baseDelayMs * (qint64(1) << std::min(beyond, 10)),
                                               ServerLimits::AuthMaxExtraDelayMs));
    return delay;
}

void succeeded(const QString &operatorCode)
{
    State &s = state();
    const std::lock_guard lock(s.mutex);
    s.byOperator.remove(operatorCode);
}

int recentFailures(const QString &operatorCode, const QString &address)
{
    State &s = state();
    const std::lock_guard lock(s.mutex);
    const qint64 now = nowMs();
    return std::max(current(s.byOperator, operatorCode, now), current(s.byAddress, address, now));
}

} // namespace AuthThrottle

} // namespace rbx
