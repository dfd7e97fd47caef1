#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QTimer;

namespace rbx {

// What systemd learns of the server through sd_notify: that it is ready once it listens, a status
// line kept current, that its event loop still turns (WATCHDOG=1 from a timer of the main thread,
// so a loop that hangs stops the pings and systemd restarts the server) and that it is stopping.
// Outside systemd (no NOTIFY_SOCKET) it sends nothing and starts no timer.
class ServiceNotifier final : public QObject
{
    Q_OBJECT

public:
    explicit ServiceNotifier(QObject *parent = nullptr);

    // READY=1 with the first status line; from then on the status again whenever `status` says
    // something new, looked at once a second, and WATCHDOG=1 at half the interval systemd asks for.
    void ready(std::function<QString()> status);
    // STOPPING=1: the calls under way finish, then the server exits.
    void stopping();

private:
    void refreshStatus();
    // Called from the event loop's timers: throws nothing.
    void send(const char *state) noexcept;

    const bool m_supervised;
    std::function<QString()> m_status;
    QString m_lastStatus;
    QTimer *m_statusTimer = nullptr;
    QTimer *m_watchdogTimer = nullptr;
    bool m_failureLogged = false;
};

} // namespace rbx
