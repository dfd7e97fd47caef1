#pragma once

#include "LoopbackThread.h"

#include <QtGlobal>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace rbx {

// Sits between clients and the server on loopback and holds every byte back for half a round
// trip in each direction, as a network with that latency would, without limiting throughput:
// each chunk is stamped when it arrives and released at that time plus half the round trip, so
// bytes sent while earlier ones are still on their way do not queue behind them. Many requests
// sent at once thus cost one round trip, not one each. Serves any number of connections, each
// on a thread of its own. A connection is made at once: only the bytes on it are delayed.
class DelayRelay final
{
public:
    DelayRelay(quint16 serverPort, double roundTripMs);
    ~DelayRelay();
    DelayRelay(const DelayRelay &) = delete;
    DelayRelay &operator=(const DelayRelay &) = delete;

    // Listens on 127.0.0.1; returns the port, 0 on failure.
    quint16 start();
    // Stops accepting and waits until every connection has ended on its own (both peers closed),
    // its last bytes delivered. The destructor ends the connections still open instead.
    void stop();
    // Connections accepted so far.
    int connections() const { return m_connections; }

private:
    void accept(int listener);
    void relay(int client);

    quint16 m_serverPort;
    qint64 m_halfTripNs;
    // pipes that become readable, and stay so, once accepting ends and once everything ends
    int m_stopAccepting[2] = {-1, -1};
    int m_abort[2] = {-1, -1};
    std::atomic<int> m_connections = 0;
    std::mutex m_threadsLock;
    std::vector<std::thread> m_threads;
    LoopbackThread m_loop; // last: joined before the members its handler uses go
};

} // namespace rbx
