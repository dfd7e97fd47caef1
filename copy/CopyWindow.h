#pragma once

#include <copy/rbx_copy_export.h>

#include <cstddef>

namespace rbx {

// How many server-side copies a run keeps in flight. The server answers the copies it read
// together when it has done them all, and the client sends more as answers come; each round of
// the window therefore costs a round trip of the link besides the server's work, and a window
// must hold several round trips' worth of copies for the link's share to stay small. Learnt from
// the run itself: the first copy, sent alone, takes a round trip and one copy's work; the rate of
// the answers that follow, with the window as it was, tells one copy's work; the window is then
// eight round trips' worth of copies, and a few more.
class RBX_COPY_EXPORT CopyWindow final
{
public:
    static constexpr std::size_t Initial = 64, Least = 16, Most = 1024;
    // answers taken to measure the rate, once the first copy is answered
    static constexpr std::size_t Measured = 128;

    std::size_t size() const { return m_size; }
    // The first copy's time from sending to answer, in seconds.
    void firstAnswered(double seconds) { m_first = seconds; }
    // `answers` answers arrived in `seconds` while the window was size(): the window for the rest
    // of the run. Nothing changes on figures that tell nothing (a server answering at once).
    void measured(std::size_t answers, double seconds);

private:
    std::size_t m_size = Initial;
    double m_first = 0;
};

} // namespace rbx
