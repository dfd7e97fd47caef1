#pragma once

#include <QByteArray>
#include <QList>

#include <atomic>
#include <thread>

// A server that only answers: the n-th message it receives on its one connection is answered
// with the n-th recorded answer, byte for byte (the id is put right should it differ). No
// database, no decoding beyond finding the line's end.
class ReplayServer final
{
public:
    ReplayServer(QList<QByteArray> requests, QList<QByteArray> answers)
        : m_requests(std::move(requests)), m_answers(std::move(answers))
    {
    }
    ~ReplayServer();
    ReplayServer(const ReplayServer &) = delete;
    ReplayServer &operator=(const ReplayServer &) = delete;

    quint16 start();
    void wait();
    // Requests that did not match their recording byte for byte (they were answered anyway).
    int mismatches() const { return m_mismatches; }

private:
    void serve();
    QByteArray answerFor(qsizetype index, const QByteArray &request);

    QList<QByteArray> m_requests;
    QList<QByteArray> m_answers;
    int m_listener = -1;
    std::thread m_thread;
    std::atomic<int> m_mismatches = 0;
};
