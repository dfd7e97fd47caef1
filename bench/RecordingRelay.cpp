#include "RecordingRelay.h"

#include "LoopbackSocket.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace rbx {

void RecordingRelay::serve(int listener)
{
    const int client = LoopbackSocket::acceptOne(listener);
    const int server = client < 0 ? -1 : LoopbackSocket::connectTo(m_serverPort);
    QByteArray fromClient, fromServer;
    char buffer[65536];
    pollfd fds[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
    bool clientOpen = client >= 0 && server >= 0, serverOpen = clientOpen;
    while (clientOpen || serverOpen) {
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        for (int side = 0; side < 2; ++side) {
            if (!(fds[side].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            const ssize_t got = ::read(fds[side].fd, buffer, sizeof buffer);
            const int other = side == 0 ? server : client;
            if (got <= 0) {
                // pass the half-close on, as the peers themselves would see it
                ::shutdown(other, SHUT_WR);
                fds[side].fd = -1;
                (side == 0 ? clientOpen : serverOpen) = false;
                continue;
            }
            LoopbackSocket::writeAll(other, QByteArray::fromRawData(buffer, got));
            LoopbackSocket::takeLines(side == 0 ? fromClient : fromServer, buffer, got,
                                      side == 0 ? m_requests : m_answers);
            while (m_answersBefore.size() < m_requests.size())
                m_answersBefore.append(m_answers.size());
        }
    }
    LoopbackSocket::closeFd(client);
    LoopbackSocket::closeFd(server);
}

} // namespace rbx
