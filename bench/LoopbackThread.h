#pragma once

#include <QtGlobal>

#include <functional>
#include <thread>

namespace rbx {

// A listening socket on 127.0.0.1 served by one handler on a thread of its own. Declare it last
// in its owner, so that it is destroyed (and the thread joined) before what the handler uses.
class LoopbackThread final
{
public:
    LoopbackThread() = default;
    ~LoopbackThread();
    LoopbackThread(const LoopbackThread &) = delete;
    LoopbackThread &operator=(const LoopbackThread &) = delete;

    // Listens and runs serve(listener) in the thread; returns the port, 0 on failure.
    quint16 start(std::function<void(int listener)> serve);
    // Waits until the handler has returned.
    void wait();

private:
    int m_listener = -1;
    std::thread m_thread;
};

} // namespace rbx
