#include "LoopbackThread.h"

#include "LoopbackSocket.h"

namespace rbx {

LoopbackThread::~LoopbackThread()
{
    wait();
    LoopbackSocket::closeFd(m_listener);
}

quint16 LoopbackThread::start(std::function<void(int listener)> serve)
{
    quint16 port = 0;
    m_listener = LoopbackSocket::listenAny(&port);
    if (m_listener < 0)
        return 0;
    m_thread = std::thread([this, serve = std::move(serve)] { serve(m_listener); });
    return port;
}

void LoopbackThread::wait()
{
    if (m_thread.joinable())
        m_thread.join();
}

} // namespace rbx
