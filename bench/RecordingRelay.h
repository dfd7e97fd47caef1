#pragma once

#include "LoopbackThread.h"

#include <QByteArray>
#include <QList>


namespace rbx {

// Sits between one client and the server on loopback, passes every byte through unchanged
// and keeps each message of either direction, so that a run can be replayed byte for byte.
class RecordingRelay final
{
public:
    explicit RecordingRelay(quint16 serverPort) : m_serverPort(serverPort) {}
    RecordingRelay(const RecordingRelay &) = delete;
    RecordingRelay &operator=(const RecordingRelay &) = delete;

    // Listens on 127.0.0.1 and serves one connection in a thread; returns the port, 0 on failure.
    quint16 start() { return m_loop.start([this](int listener) { serve(listener); }); }
    // Waits until the client and the server have both closed.
    void wait() { m_loop.wait(); }

    // Valid after wait(): the client's messages and the server's, each in order.
    const QList<QByteArray> &requests() const { return m_requests; }
    const QList<QByteArray> &answers() const { return m_answers; }
    // For each request, the answers the client had been sent before it: what it waited for.
    const QList<qsizetype> &answersBefore() const { return m_answersBefore; }

private:
    void serve(int listener);

    quint16 m_serverPort;
    QList<QByteArray> m_requests;
    QList<QByteArray> m_answers;
    QList<qsizetype> m_answersBefore;
    LoopbackThread m_loop; // last: joined before the members its handler uses go
};

} // namespace rbx
