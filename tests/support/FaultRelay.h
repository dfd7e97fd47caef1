#pragma once

#include <QMutex>
#include <QSemaphore>
#include <QString>
#include <QStringList>
#include <QThread>

class QTcpSocket;

namespace rbx {

// A loopback relay in front of the real server, on its own thread: passes every message of a
// connection through to the server and its answer back, except the chosen call, which it
// answers itself with a service failure without passing it on. What follows (the client's
// Rollback) reaches the server again.
class FaultRelay final : public QThread
{
    Q_OBJECT

public:
    FaultRelay(QString upstreamHost, quint16 upstreamPort, QString failMethod = {}, int failOccurrence = 0);
    ~FaultRelay() override;

    quint16 port() const { return m_port; }
    // Holds that call of the method, not passing it on, until resume(): the client meanwhile
    // waits on its answer as on a slow server.
    void holdAt(const QString &method, int occurrence);
    // Waits until the held call has arrived; false if it did not within the relay's timeout.
    bool waitUntilHeld();
    void resume() { m_resume.release(); }
    QStringList methods() const; // every call seen, in order, rpc.open aside
    static QString failureMessage() { return QStringLiteral("Falha injetada pelo relé de teste."); }

protected:
    void run() override;

private:
    QByteArray relay(const QByteArray &line, class QTcpSocket &upstream, class LineReader &reader);

    QString m_upstreamHost;
    quint16 m_upstreamPort;
    QString m_failMethod;
    int m_failOccurrence;
    quint16 m_port = 0;
    QSemaphore m_listening;
    QString m_holdMethod;
    int m_holdOccurrence = 0;
    QSemaphore m_held;
    QSemaphore m_resume;
    mutable QMutex m_mutex;
    QStringList m_methods;
};

} // namespace rbx
