#include "ReplayServer.h"

#include "LoopbackSocket.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <unistd.h>

#include <cerrno>

namespace rbx {

QByteArray ReplayServer::answerFor(qsizetype index, const QByteArray &request)
{
    if (index >= m_answers.size())
        return {};
    if (index < m_requests.size() && request == m_requests.at(index))
        return m_answers.at(index);
    ++m_mismatches;
    QJsonObject answer = QJsonDocument::fromJson(m_answers.at(index)).object();
    answer.insert(QStringLiteral("id"), QJsonDocument::fromJson(request).object().value(QStringLiteral("id")));
    return QJsonDocument(answer).toJson(QJsonDocument::Compact) + '\n';
}

void ReplayServer::serve(int listener)
{
    const int fd = LoopbackSocket::acceptOne(listener);
    if (fd < 0)
        return;
    QByteArray pending;
    QList<QByteArray> lines;
    qsizetype next = 0;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        LoopbackSocket::takeLines(pending, buffer, got, lines);
        for (const QByteArray &line : std::as_const(lines)) {
            const QByteArray answer = answerFor(next++, line);
            if (!answer.isEmpty())
                LoopbackSocket::writeAll(fd, answer);
        }
        lines.clear();
    }
    LoopbackSocket::closeFd(fd);
}

} // namespace rbx
