#include "DelayRelay.h"

#include "LoopbackSocket.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <deque>
#include <string>

namespace rbx {

namespace {

qint64 nowNs()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

void nonBlocking(int fd) { ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK); }

void makeReadable(const int pipe[2])
{
    const char byte = 0;
    while (::write(pipe[1], &byte, 1) < 0 && errno == EINTR) {
    }
}

void closePipe(int pipe[2])
{
    LoopbackSocket::closeFd(pipe[0]);
    LoopbackSocket::closeFd(pipe[1]);
    pipe[0] = pipe[1] = -1;
}

// One direction of a connection: what arrived and waits for its time, and what is due but the
// receiver has not taken yet.
struct Direction
{
    struct Chunk
    {
        qint64 dueNs;
        std::string bytes; // empty: the sender closed its side here
    };
    int from = -1, to = -1;
    std::deque<Chunk> held;
    std::string due;
    bool readEnded = false;  // the sender closed (or failed): nothing more to read
    bool closeWhenDue = false;
    bool done = false;       // the end passed on (or the receiver went away)

    void release(qint64 now)
    {
        while (!held.empty() && held.front().dueNs <= now) {
            if (held.front().bytes.empty())
                closeWhenDue = true;
            else
                due += held.front().bytes;
            held.pop_front();
        }
    }

    void flush()
    {
        while (!due.empty()) {
            const ssize_t written = ::send(to, due.data(), due.size(), MSG_NOSIGNAL);
            if (written < 0 && errno == EINTR)
                continue;
            if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                return;
            if (written <= 0) {
                // the receiver is gone: nothing more this way can arrive
                due.clear();
                held.clear();
                done = true;
                return;
            }
            due.erase(0, size_t(written));
        }
        if (closeWhenDue && !done) {
            // pass the half-close on, as the peers themselves would see it
            ::shutdown(to, SHUT_WR);
            done = true;
        }
    }

    void take(qint64 arrivedNs, qint64 delayNs)
    {
        char buffer[65536];
        const ssize_t got = ::read(from, buffer, sizeof buffer);
        if (got < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        if (got <= 0) {
            readEnded = true;
            held.push_back({arrivedNs + delayNs, {}});
            return;
        }
        held.push_back({arrivedNs + delayNs, std::string(buffer, size_t(got))});
    }
};

} // namespace

DelayRelay::DelayRelay(quint16 serverPort, double roundTripMs)
    : m_serverPort(serverPort), m_halfTripNs(qint64(roundTripMs * 1e6 / 2))
{
}

DelayRelay::~DelayRelay()
{
    if (m_abort[1] >= 0)
        makeReadable(m_abort);
    stop();
    closePipe(m_stopAccepting);
    closePipe(m_abort);
}

quint16 DelayRelay::start()
{
    if (::pipe2(m_stopAccepting, O_CLOEXEC) != 0 || ::pipe2(m_abort, O_CLOEXEC) != 0)
        return 0;
    return m_loop.start([this](int listener) { accept(listener); });
}

void DelayRelay::stop()
{
    if (m_stopAccepting[1] >= 0)
        makeReadable(m_stopAccepting);
    m_loop.wait();
    const std::lock_guard lock(m_threadsLock);
    for (std::thread &thread : m_threads)
        thread.join();
    m_threads.clear();
}

void DelayRelay::accept(int listener)
{
    for (;;) {
        pollfd fds[2] = {{listener, POLLIN, 0}, {m_stopAccepting[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[1].revents)
            return;
        if (!(fds[0].revents & POLLIN))
            continue;
        const int client = LoopbackSocket::acceptOne(listener);
        if (client < 0)
            continue;
        ++m_connections;
        const std::lock_guard lock(m_threadsLock);
        m_threads.emplace_back([this, client] { relay(client); });
    }
}

void DelayRelay::relay(int client)
{
    const int server = LoopbackSocket::connectTo(m_serverPort);
    if (server < 0) {
        LoopbackSocket::closeFd(client);
        return;
    }
    nonBlocking(client);
    nonBlocking(server);
    Direction up, down; // client to server, server to client
    up.from = down.to = client;
    up.to = down.from = server;
    Direction *const directions[2] = {&up, &down};

    while (!(up.done && down.done)) {
        const qint64 now = nowNs();
        qint64 nextDue = -1;
        for (Direction *direction : directions) {
            direction->release(now);
            direction->flush();
            if (!direction->held.empty() && (nextDue < 0 || direction->held.front().dueNs < nextDue))
                nextDue = direction->held.front().dueNs;
        }
        if (up.done && down.done)
            break;

        // a socket with nothing to wait for is left out: its hang-up alone would wake the loop
        // again and again
        const auto events = [](const Direction &reading, const Direction &writing) {
            return short((reading.readEnded || reading.done ? 0 : POLLIN) | (writing.due.empty() ? 0 : POLLOUT));
        };
        const short clientEvents = events(up, down), serverEvents = events(down, up);
        pollfd fds[3] = {{clientEvents ? client : -1, clientEvents, 0},
                         {serverEvents ? server : -1, serverEvents, 0},
                         {m_abort[0], POLLIN, 0}};
        timespec wait{};
        if (nextDue >= 0) {
            const qint64 left = std::max<qint64>(0, nextDue - now);
            wait.tv_sec = time_t(left / 1000000000);
            wait.tv_nsec = long(left % 1000000000);
        }
        if (::ppoll(fds, 3, nextDue >= 0 ? &wait : nullptr, nullptr) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[2].revents)
            break;
        const qint64 arrived = nowNs();
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR) && !up.readEnded)
            up.take(arrived, m_halfTripNs);
        if (fds[1].revents & (POLLIN | POLLHUP | POLLERR) && !down.readEnded)
            down.take(arrived, m_halfTripNs);
    }
    LoopbackSocket::closeFd(client);
    LoopbackSocket::closeFd(server);
}

} // namespace rbx
