#pragma once

#include "RpcEndpoint.h"
#include "ServerOptions.h"
#include <protocol/WireProtocol.h>

#include <QElapsedTimer>
#include <QObject>

#include <atomic>
#include <memory>

class QTcpSocket;
class QTimer;

namespace rbx {

// One client connection, living in a thread of its own: reads the socket in bounded chunks,
// frames messages, hands them to the protocol and writes the answers back, waiting for a slow
// reader instead of piling answers up. Emits finished() once the connection is over and its
// database session closed.
class Session final : public QObject, private AnswerSink
{
    Q_OBJECT

public:
    // stopping is the listener's: once set, the message being handled is the last one read. A
    // client keeping calls in flight would otherwise keep the message loop, and stop(), waiting
    // until its whole copy ended.
    Session(qintptr socketDescriptor, const ServerConfig &config, int id, const std::atomic<bool> &stopping);
    ~Session() override;

    // Both run in the session's thread.
    void start();
    // Asked by the listener at shutdown: close after sending what is pending.
    void stop();

signals:
    void finished();

private:
    void onReadyRead();
    void onDisconnected();
    void onStall();
    void onIdle();
    void onTransactionIdle();
    void onOpenDeadline();
    void closeAfterFlush(const QString &reason);
    void finish();
    bool send(const QByteArray &bytes) override;

    const qintptr m_descriptor;
    const ServerConfig m_config;
    const int m_id;
    const std::atomic<bool> &m_stopping;
    QTcpSocket *m_socket = nullptr;
    QTimer *m_stallTimer = nullptr;
    QTimer *m_idleTimer = nullptr;
    QTimer *m_transactionIdleTimer = nullptr; // a transaction kept open with nothing sent is undone
    QTimer *m_openTimer = nullptr; // rpc.open (and a TLS handshake) must come within the stall timeout
    std::unique_ptr<Wire::LineFramer> m_framer;
    std::unique_ptr<RpcEndpoint> m_protocol;
    QString m_peer;
    QString m_closeReason;
    QElapsedTimer m_age;
    bool m_busy = false;       // inside the message loop: socket signals must not tear down
    bool m_closing = false;    // no more input is read
    bool m_disconnected = false;
    bool m_finished = false;
};

} // namespace rbx
