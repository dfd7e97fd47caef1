#include "FaultRelay.h"

#include <protocol/WireProtocol.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QSemaphore>
#include <QTcpServer>
#include <QTcpSocket>

#include <memory>
#include <vector>

namespace rbx {

namespace {
constexpr int AnswerTimeoutMs = 30000;
} // namespace

// Whole lines from a socket, blocking.
class LineReader
{
public:
    QByteArray next(QTcpSocket &socket)
    {
        QByteArray line;
        while (m_framer.next(line) != Wire::LineFramer::Status::Message) {
            if (!socket.waitForReadyRead(AnswerTimeoutMs))
                return {};
            m_framer.append(socket.readAll());
        }
        return line;
    }

private:
    Wire::LineFramer m_framer;
};

FaultRelay::FaultRelay(QString upstreamHost, quint16 upstreamPort, QString failMethod, int failOccurrence)
    : m_upstreamHost(std::move(upstreamHost)), m_upstreamPort(upstreamPort), m_failMethod(std::move(failMethod)),
      m_failOccurrence(failOccurrence)
{
    start();
    m_listening.acquire(); // run() has published the port
}

FaultRelay::~FaultRelay()
{
    quit();
    wait();
}

QStringList FaultRelay::methods() const
{
    QMutexLocker lock(&m_mutex);
    return m_methods;
}

void FaultRelay::holdAt(const QString &method, int occurrence)
{
    QMutexLocker lock(&m_mutex);
    m_holdMethod = method;
    m_holdOccurrence = occurrence;
}

bool FaultRelay::waitUntilHeld() { return m_held.tryAcquire(1, AnswerTimeoutMs); }

QByteArray FaultRelay::relay(const QByteArray &line, QTcpSocket &upstream, LineReader &reader)
{
    const QJsonObject request = QJsonDocument::fromJson(line).object();
    const QString method = request.value(QLatin1String("method")).toString();
    if (method != u"rpc.open") {
        QMutexLocker lock(&m_mutex);
        m_methods.append(method);
        if (method == m_failMethod && m_methods.count(method) == m_failOccurrence)
            return Wire::errorMessage(request.value(QLatin1String("id")),
                                      {Wire::ErrorCode::ServiceFailed, failureMessage(), {}});
        if (method == m_holdMethod && m_methods.count(method) == m_holdOccurrence) {
            lock.unlock();
            m_held.release();
            m_resume.tryAcquire(1, AnswerTimeoutMs);
        }
    }
    upstream.write(line + '\n');
    upstream.waitForBytesWritten(AnswerTimeoutMs);
    const QByteArray answer = reader.next(upstream);
    return answer.isEmpty() ? QByteArray() : answer + '\n';
}

void FaultRelay::run()
{
    // the relay's sockets live and die on this thread; the upstream ones are declared first so
    // that they outlive the server's client sockets, whose disconnected handlers use them when
    // the server deletes its children at the end
    std::vector<std::unique_ptr<QTcpSocket>> upstreams;
    std::vector<std::unique_ptr<LineReader>> readers;
    QTcpServer server;
    QObject::connect(&server, &QTcpServer::newConnection, &server, [&] {
        while (QTcpSocket *client = server.nextPendingConnection()) {
            auto upstream = std::make_unique<QTcpSocket>();
            upstream->connectToHost(m_upstreamHost, m_upstreamPort);
            if (!upstream->waitForConnected(AnswerTimeoutMs)) {
                client->abort();
                continue;
            }
            QTcpSocket *up = upstream.get();
            LineReader *reader = readers.emplace_back(std::make_unique<LineReader>()).get();
            upstreams.push_back(std::move(upstream));
            auto framer = std::make_shared<Wire::LineFramer>();
            QObject::connect(client, &QTcpSocket::readyRead, client, [this, client, up, reader, framer] {
                framer->append(client->readAll());
                QByteArray line;
                while (framer->next(line) == Wire::LineFramer::Status::Message) {
                    const QByteArray answer = relay(line, *up, *reader);
                    if (answer.isEmpty()) {
                        client->abort();
                        return;
                    }
                    client->write(answer);
                }
            });
            // the server sees the client go: it rolls back whatever the client left open
            QObject::connect(client, &QTcpSocket::disconnected, client, [client, up] {
                up->disconnectFromHost();
                client->deleteLater();
            });
        }
    });
    server.listen(QHostAddress::LocalHost, 0);
    m_port = server.serverPort();
    m_listening.release();
    exec();
}

} // namespace rbx
