#pragma once

#include "LoopbackThread.h"

#include <QByteArray>
#include <QList>

#include <atomic>

namespace rbx {

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
    ReplayServer(const ReplayServer &) = delete;
    ReplayServer &operator=(const ReplayServer &) = delete;

    quint16 start() { return m_loop.start([this](int listener) { serve(listener); }); }
    void wait() { m_loop.wait(); }
    // Requests that did not match their recording byte for byte (they were answered anyway).
    int mismatches() const { return m_mismatches; }

private:
    void serve(int listener);
    QByteArray answerFor(qsizetype index, const QByteArray &request);

    QList<QByteArray> m_requests;
    QList<QByteArray> m_answers;
    std::atomic<int> m_mismatches = 0;
    LoopbackThread m_loop; // last: joined before the members its handler uses go
};

} // namespace rbx
