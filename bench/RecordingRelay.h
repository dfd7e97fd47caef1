#pragma once

#include <QByteArray>
#include <QList>

#include <thread>

// Sits between one client and the server on loopback, passes every byte through unchanged
// and keeps each message of either direction, so that a run can be replayed byte for byte.
class RecordingRelay final
{
public:
    explicit RecordingRelay(quint16 serverPort) : m_serverPort(serverPort) {}
    ~RecordingRelay();
    RecordingRelay(const RecordingRelay &) = delete;
    RecordingRelay &operator=(const RecordingRelay &) = delete;

    // Listens on 127.0.0.1 and serves one connection in a thread; returns the port, 0 on failure.
    quint16 start();
    // Waits until the client and the server have both closed.
    void wait();

    // Valid after wait(): the client's messages and the server's, each in order.
    const QList<QByteArray> &requests() const { return m_requests; }
    const QList<QByteArray> &answers() const { return m_answers; }

private:
    void serve();

    quint16 m_serverPort;
    int m_listener = -1;
    std::thread m_thread;
    QList<QByteArray> m_requests;
    QList<QByteArray> m_answers;
};
