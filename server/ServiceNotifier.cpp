#include "ServiceNotifier.h"

#include "ServerLog.h"

#include <QTimer>

#include <systemd/sd-daemon.h>

#include <algorithm>
#include <climits>

namespace rbx {

using namespace Qt::StringLiterals;

namespace {
constexpr int StatusPeriodMs = 1000;
}

ServiceNotifier::ServiceNotifier(QObject *parent)
    : QObject(parent), m_supervised(!qEnvironmentVariableIsEmpty("NOTIFY_SOCKET"))
{
}

void ServiceNotifier::ready(std::function<QString()> status)
{
    if (!m_supervised)
        return;
    m_status = std::move(status);
    send("READY=1");
    refreshStatus();
    m_statusTimer = new QTimer(this);
    connect(m_statusTimer, &QTimer::timeout, this, &ServiceNotifier::refreshStatus);
    m_statusTimer->start(StatusPeriodMs);

    // WATCHDOG_PID, when set, must be this process: the variables may be a parent's
    uint64_t usec = 0;
    if (sd_watchdog_enabled(0, &usec) <= 0)
        return;
    const auto halfMs = static_cast<int>(std::clamp<uint64_t>(usec / 2000, 1, INT_MAX));
    m_watchdogTimer = new QTimer(this);
    m_watchdogTimer->setTimerType(Qt::PreciseTimer);
    connect(m_watchdogTimer, &QTimer::timeout, this, [this] { send("WATCHDOG=1"); });
    m_watchdogTimer->start(halfMs);
}

void ServiceNotifier::stopping()
{
    if (!m_supervised)
        return;
    // systemd stops watching once told; the unit's TimeoutStopSec bounds the rest
    delete m_watchdogTimer;
    m_watchdogTimer = nullptr;
    delete m_statusTimer;
    m_statusTimer = nullptr;
    send("STOPPING=1\nSTATUS=Encerrando: as chamadas em andamento terminam e as transações abertas são desfeitas.");
}

void ServiceNotifier::refreshStatus()
{
    // runs from the event loop: a line that cannot be made now (no memory) is tried next time
    try {
        const QString status = m_status();
        if (status == m_lastStatus)
            return;
        m_lastStatus = status;
        send(QByteArray("STATUS=" + status.toUtf8()).constData());
    } catch (...) {
    }
}

void ServiceNotifier::send(const char *state) noexcept
{
    const int result = sd_notify(0, state);
    if (result >= 0 || m_failureLogged)
        return;
    // once: a socket that refuses one message refuses the pings that follow it
    m_failureLogged = true;
    try {
        serverLog(u"systemd notification not sent: "_s + qt_error_string(-result));
    } catch (...) {
    }
}

} // namespace rbx
