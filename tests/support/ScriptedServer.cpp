#include "ScriptedServer.h"

#include <QEventLoop>
#include <QSemaphore>
#include <QTcpServer>
#include <QTcpSocket>

namespace rbx {

namespace {
QSemaphore &listening()
{
    static QSemaphore semaphore;
    return semaphore;
}
} // namespace

ScriptedServer::ScriptedServer(Script script) : m_script(std::move(script))
{
    start();
    listening().acquire();
}

ScriptedServer::~ScriptedServer()
{
    quit();
    wait();
}

QList<QByteArray> ScriptedServer::received() const
{
    QMutexLocker lock(&m_mutex);
    return m_received;
}

void ScriptedServer::run()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    m_port = server.serverPort();
    QObject::connect(&server, &QTcpServer::newConnection, &server, [this, &server] {
        while (QTcpSocket *socket = server.nextPendingConnection()) {
            auto buffer = std::make_shared<QByteArray>();
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer] {
                buffer->append(socket->readAll());
                qsizetype end;
                while ((end = buffer->indexOf('\n')) >= 0) {
                    const QByteArray line = buffer->left(end);
                    buffer->remove(0, end + 1);
                    {
                        QMutexLocker lock(&m_mutex);
                        m_received.append(line);
                    }
                    const QByteArray reply = m_script(line);
                    if (reply == Close) {
                        socket->disconnectFromHost();
                        return;
                    }
                    if (reply != Silence)
                        socket->write(reply);
                }
            });
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
    listening().release();
    exec();
}

} // namespace rbx
