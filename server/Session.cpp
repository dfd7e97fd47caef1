#include "Session.h"

#include "AcceptedSocket.h"
#include "CopyServiceSession.h"
#include "ServerLimits.h"
#include "ServerLog.h"

#include <QSslSocket>
#include <QTimer>

#include <exception>

#include <sys/socket.h>

namespace rbx {

using namespace Qt::StringLiterals;

Session::Session(qintptr socketDescriptor, const ServerConfig &config, int id, const std::atomic<bool> &stopping)
    : m_descriptor(socketDescriptor), m_config(config), m_id(id), m_stopping(stopping)
{
}

Session::~Session() = default;

void Session::start()
{
    m_age.start();
    m_socket = takeAcceptedSocket(m_descriptor, m_config, this);
    if (!m_socket) {
        serverLog(u"#%1 could not take the connection"_s.arg(m_id));
        m_disconnected = true;
        finish();
        return;
    }
    m_peer = u"%1:%2"_s.arg(m_socket->peerAddress().toString()).arg(m_socket->peerPort());
    m_closeReason = u"closed by the client"_s;
    // Qt would otherwise buffer whatever the client sends, however much
    m_socket->setReadBufferSize(ServerLimits::ReadChunkBytes);
    m_framer = std::make_unique<Wire::LineFramer>(m_config.maxMessageBytes);
    PeerInfo peer;
    peer.address = m_peer;
    peer.loopback = m_socket->peerAddress().isLoopback();
    peer.tls = isTlsSocket(m_socket);
    m_protocol = std::make_unique<RpcEndpoint>(std::make_unique<CopyServiceSession>(m_config, m_id, peer),
                                               m_config.maxMessageBytes, m_id);

    m_stallTimer = new QTimer(this);
    m_stallTimer->setSingleShot(true);
    connect(m_stallTimer, &QTimer::timeout, this, &Session::onStall);
    m_idleTimer = new QTimer(this);
    m_idleTimer->setSingleShot(true);
    connect(m_idleTimer, &QTimer::timeout, this, &Session::onIdle);
    if (m_config.idleTimeoutMs > 0)
        m_idleTimer->start(m_config.idleTimeoutMs);
    m_transactionIdleTimer = new QTimer(this);
    m_transactionIdleTimer->setSingleShot(true);
    connect(m_transactionIdleTimer, &QTimer::timeout, this, &Session::onTransactionIdle);
    // Idle sessions may stay for hours, but a connection that never opens one would only hold a
    // slot of the connection cap: silent connections could otherwise lock everyone out.
    m_openTimer = new QTimer(this);
    m_openTimer->setSingleShot(true);
    connect(m_openTimer, &QTimer::timeout, this, &Session::onOpenDeadline);
    if (m_config.stallTimeoutMs > 0)
        m_openTimer->start(m_config.stallTimeoutMs);

    connect(m_socket, &QTcpSocket::readyRead, this, &Session::onReadyRead);
    connect(m_socket, &QTcpSocket::disconnected, this, &Session::onDisconnected);
    if (auto *tls = qobject_cast<QSslSocket *>(m_socket)) {
        // a failed handshake ends the connection; the reason goes to the log, never to the peer
        connect(tls, &QSslSocket::sslErrors, this, [this](const QList<QSslError> &errors) {
            m_closeReason = u"TLS handshake failed: %1"_s.arg(errors.isEmpty() ? QString() : errors.first().errorString());
        });
        connect(tls, &QSslSocket::errorOccurred, this, [this, tls](QAbstractSocket::SocketError error) {
            if (error == QAbstractSocket::SslHandshakeFailedError || error == QAbstractSocket::SslInternalError)
                m_closeReason = u"TLS: %1"_s.arg(tls->errorString());
        });
    }
    onReadyRead();
}

void Session::stop()
{
    closeAfterFlush(u"server shutting down"_s);
}

void Session::onReadyRead()
{
    if (m_busy || !m_socket)
        return;
    if (m_closing) {
        // Unread input at close would reset the connection and could destroy the last answer
        // before the client reads it, so what still comes is taken and dropped.
        m_socket->skip(m_socket->bytesAvailable());
        return;
    }
    m_busy = true;
    bool sawMessage = false;
    while (!m_closing && !m_stopping && m_socket->bytesAvailable() > 0) {
        m_framer->append(m_socket->read(ServerLimits::ReadChunkBytes));
        QByteArray message;
        for (;;) {
            const Wire::LineFramer::Status status = m_framer->next(message);
            if (status == Wire::LineFramer::Status::Incomplete)
                break;
            if (status == Wire::LineFramer::Status::TooLarge) {
                m_protocol->messageTooLarge(*this);
                closeAfterFlush(u"message too large"_s);
                break;
            }
            sawMessage = true;
            if (m_protocol->handleMessage(message, *this) == RpcEndpoint::After::Close) {
                closeAfterFlush(u"closed by the server after a refused rpc.open"_s);
                break;
            }
            if (m_disconnected || m_stopping)
                break;
        }
        if (m_disconnected)
            break;
    }
    // nothing more is waiting to be read: the copies grouped so far commit and are answered
    if (!m_disconnected && m_protocol->flush(*this) == RpcEndpoint::After::Close)
        m_disconnected = m_socket->state() != QAbstractSocket::ConnectedState;
    m_busy = false;

    if (m_socket->state() == QAbstractSocket::UnconnectedState)
        m_disconnected = true;
    if (m_disconnected) {
        finish();
        return;
    }
    if (m_closing) {
        m_socket->skip(m_socket->bytesAvailable());
        return;
    }
    if (sawMessage && m_config.idleTimeoutMs > 0)
        m_idleTimer->start(m_config.idleTimeoutMs);
    if (sawMessage && m_config.idleTransactionTimeoutMs > 0)
        m_transactionIdleTimer->start(m_config.idleTransactionTimeoutMs);
    if (m_protocol->isOpen())
        m_openTimer->stop();
    // a message once begun must be complete within the stall timeout: no drip-feeding
    if (m_framer->midMessage() && m_config.stallTimeoutMs > 0) {
        if (!m_stallTimer->isActive() || sawMessage)
            m_stallTimer->start(m_config.stallTimeoutMs);
    } else {
        m_stallTimer->stop();
    }
}

bool Session::send(const QByteArray &bytes)
{
    if (m_disconnected || m_socket->state() != QAbstractSocket::ConnectedState)
        return false;
    m_socket->write(bytes);
    // Wait for a slow reader rather than holding its answers in memory.
    const int waitMs = m_config.stallTimeoutMs > 0 ? m_config.stallTimeoutMs : ServerLimits::DefaultStallTimeoutMs;
    while (m_socket->bytesToWrite() > ServerLimits::WriteHighWaterBytes) {
        if (!m_socket->waitForBytesWritten(waitMs)) {
            m_closeReason = u"the client stopped reading its answers"_s;
            m_closing = true;
            m_socket->abort();
            return false;
        }
    }
    return true;
}

void Session::onDisconnected()
{
    m_disconnected = true;
    if (!m_busy)
        finish();
}

void Session::onStall()
{
    if (m_closing || !m_framer->midMessage())
        return;
    m_closeReason = u"stalled in the middle of a message"_s;
    m_closing = true;
    m_socket->abort();
}

void Session::onOpenDeadline()
{
    if (m_closing || m_disconnected || m_protocol->isOpen())
        return;
    m_closeReason = m_framer->midMessage() ? u"stalled in the middle of a message"_s
                                           : u"stalled: no session opened within the stall timeout"_s;
    m_closing = true;
    m_socket->abort();
}

void Session::onIdle()
{
    if (!m_busy)
        closeAfterFlush(u"idle"_s);
}

void Session::onTransactionIdle()
{
    if (m_busy || m_closing || m_disconnected)
        return;
    try {
        m_protocol->transactionIdle(m_config.idleTransactionTimeoutMs);
    } catch (const std::exception &error) {
        serverLog(u"#%1 idle transaction not rolled back: %2"_s.arg(m_id).arg(QString::fromUtf8(error.what())));
    }
}

void Session::closeAfterFlush(const QString &reason)
{
    if (m_closing || m_disconnected || !m_socket)
        return;
    m_closing = true;
    m_closeReason = reason;
    m_stallTimer->stop();
    m_idleTimer->stop();
    m_transactionIdleTimer->stop();
    m_openTimer->stop();
    // the client gets a moment to read the last answer and hang up by itself
    QTimer::singleShot(ServerLimits::CloseGraceMs, m_socket, [socket = m_socket] { socket->abort(); });
    while (m_socket->state() == QAbstractSocket::ConnectedState && m_socket->bytesToWrite() > 0) {
        if (!m_socket->waitForBytesWritten(ServerLimits::CloseGraceMs))
            break;
    }
    if (m_socket->state() != QAbstractSocket::ConnectedState)
        return;
    if (m_socket->bytesToWrite() > 0) {
        m_socket->abort();
        return;
    }
    if (isTlsSocket(m_socket)) {
        // TLS ends with its own close notice, sent after what is still encrypted and pending
        m_socket->disconnectFromHost();
        return;
    }
    // Half-close: the client reads everything sent and then sees the end of the stream.
    ::shutdown(int(m_socket->socketDescriptor()), SHUT_WR);
}

void Session::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    const int requests = m_protocol ? m_protocol->requests() : 0;
    const int failures = m_protocol ? m_protocol->failures() : 0;
    if (m_protocol)
        m_protocol->connectionEnded();
    m_protocol.reset(); // closes the database session, rolling back an open transaction
    serverLog(u"#%1 %2: %3 after %4 ms, %5 requests, %6 failed"_s.arg(m_id)
                  .arg(m_peer, m_closeReason)
                  .arg(m_age.elapsed())
                  .arg(requests)
                  .arg(failures));
    emit finished();
}

} // namespace rbx
