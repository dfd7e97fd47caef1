#pragma once

#include <QMutex>
#include <QString>
#include <QWaitCondition>

#include <list>
#include <utility>

namespace rbx {

// First come, first served turns at a database that lets one writer in at a time (SQLite).
// SQLite's own busy wait polls with growing sleeps, so under load a writer can lose every race
// and give up while others go ahead; sessions of this server queue here instead, and the busy
// timeout only ever meets writers of other processes.
class WriteGate final
{
public:
    // The gate of one database, shared by every session of this process that writes to it.
    static WriteGate &forDatabase(const QString &key);

    // The turn, held until destroyed or released.
    class Turn final
    {
    public:
        Turn() = default;
        explicit Turn(WriteGate &gate) : m_gate(&gate) {}
        ~Turn() { release(); }
        Turn(Turn &&other) noexcept : m_gate(std::exchange(other.m_gate, nullptr)) {}
        Turn &operator=(Turn &&other) noexcept
        {
            if (this != &other) {
                release();
                m_gate = std::exchange(other.m_gate, nullptr);
            }
            return *this;
        }
        bool held() const { return m_gate != nullptr; }
        void release();

    private:
        WriteGate *m_gate = nullptr;
    };

    // Waits in line up to timeoutMs; throws EDatabaseError when the turn does not come.
    Turn enter(int timeoutMs);
    // How many sessions wait in line now.
    int waiting() const;

private:
    struct Waiter
    {
        QWaitCondition wake;
        bool granted = false;
    };

    void leave();

    mutable QMutex m_mutex;
    bool m_taken = false;
    std::list<Waiter *> m_line;
};

} // namespace rbx
