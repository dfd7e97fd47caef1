#pragma once

#include <csignal>

namespace rbx {

class FormulationCopy;

// While it lives, SIGINT and SIGTERM ask the copy to stop after the service being copied
// instead of ending the process in the middle of the run; a second one ends the process as
// usual. The previous handlers come back with its end. One at a time per process.
class StopOnSignals final
{
public:
    explicit StopOnSignals(FormulationCopy &copy);
    ~StopOnSignals();
    StopOnSignals(const StopOnSignals &) = delete;
    StopOnSignals &operator=(const StopOnSignals &) = delete;

private:
    struct sigaction m_previousInt{};
    struct sigaction m_previousTerm{};
};

} // namespace rbx
