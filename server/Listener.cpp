#include "Listener.h"

#include "AcceptedSocket.h"
#include "ServerLimits.h"
#include "ServerLog.h"
#include "Session.h"
#include <protocol/WireProtocol.h>

#include <QSslSocket>
#include <QThread>
#include <QTimer>

namespace rbx {

using namespace Qt::StringLiterals;

Listener::Listener(const ServerConfig &config, QObject *parent) : QTcpServer(parent), m_config(config)
{
    // A burst beyond the cap should reach the refusal with its clear answer, not sit unaccepted
    // in a short kernel queue where the client cannot tell a full server from a dead one.
    setListenBacklogSize(ServerLimits::ListenBacklog);
}

Listener::~Listener()
{
    shutdown();
}

void Listener::incomingConnection(qintptr socketDescriptor)
{
    if (m_sessions.size() >= m_config.maxConnections) {
        refuse(socketDescriptor);
        return;
    }
    auto *thread = new QThread(this);
    auto *session = new Session(socketDescriptor, m_config, ++m_nextId, m_stopping);
    session->moveToThread(thread);
    // queued into the session's thread, and never to a session already deleted there
    connect(this, &Listener::stopping, session, &Session::stop);
    connect(thread, &QThread::started, session, &Session::start);
    // direct: quit() is thread-safe, and the listener may be blocked waiting for this thread
    connect(session, &Session::finished, thread, &QThread::quit, Qt::DirectConnection);
    // the session is deleted in its own thread, after its last event
    connect(thread, &QThread::finished, session, &QObject::deleteLater);
    connect(thread, &QThread::finished, this, [this, thread] {
        m_sessions.remove(thread);
        thread->deleteLater();
    });
    m_sessions.insert(thread, session);
    thread->start();
}

void Listener::refuse(qintptr socketDescriptor)
{
    QTcpSocket *socket = takeAcceptedSocket(socketDescriptor, m_config, this);
    if (!socket)
        return;
    serverLog(u"refused %1:%2: %3 connections already open"_s.arg(socket->peerAddress().toString())
                  .arg(socket->peerPort())
                  .arg(m_sessions.size()));
    socket->write(Wire::errorMessage(
        QJsonValue::Null,
        {Wire::ErrorCode::ServiceFailed,
         u"O servidor atingiu o limite de %1 conexões simultâneas; tente novamente mais tarde."_s.arg(m_config.maxConnections),
         {}}));
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    QTimer::singleShot(ServerLimits::CloseGraceMs, socket, [socket] { socket->abort(); });
    if (auto *tls = qobject_cast<QSslSocket *>(socket)) {
        // the answer leaves once the handshake is done; closing before would drop it
        connect(tls, &QSslSocket::encrypted, tls, [tls] { tls->disconnectFromHost(); });
        return;
    }
    socket->disconnectFromHost();
}

void Listener::shutdown()
{
    close();
    const QList<QThread *> threads = m_sessions.keys();
    m_stopping = true;
    emit stopping();
    // every wait inside a session is bounded (busy timeout, stall timeout, close grace)
    for (QThread *thread : threads)
        thread->wait();
    m_sessions.clear();
}

} // namespace rbx
