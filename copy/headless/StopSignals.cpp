#include "StopSignals.h"

#include <copy/FormulationCopy.h>

#include <atomic>

namespace {

std::atomic<rbx::FormulationCopy *> g_copy = nullptr;
static_assert(std::atomic<rbx::FormulationCopy *>::is_always_lock_free);

extern "C" void askToStop(int signal)
{
    rbx::FormulationCopy *copy = g_copy.load();
    if (!copy || copy->stopRequested()) {
        // asked twice (a server that does not answer): end now, as without the handler; the
        // server rolls back the service whose transaction the connection leaves open
        std::signal(signal, SIG_DFL);
        std::raise(signal);
        return;
    }
    copy->requestStop();
}

} // namespace

namespace rbx {

StopOnSignals::StopOnSignals(FormulationCopy &copy)
{
    g_copy.store(&copy);
    struct sigaction action{};
    action.sa_handler = askToStop;
    sigemptyset(&action.sa_mask);
    // restarted: a call waiting on the server goes on waiting, and the run stops after it
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &m_previousInt);
    sigaction(SIGTERM, &action, &m_previousTerm);
}

StopOnSignals::~StopOnSignals()
{
    sigaction(SIGINT, &m_previousInt, nullptr);
    sigaction(SIGTERM, &m_previousTerm, nullptr);
    g_copy.store(nullptr);
}

} // namespace rbx
