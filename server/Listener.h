#pragma once

#include "ServerOptions.h"

#include <QHash>
#include <QTcpServer>

#include <atomic>

class QThread;

namespace rbx {

class Session;

// Accepts connections up to the configured number and gives each a Session on a thread of its
// own; one beyond the limit gets an error answer and is closed.
class Listener final : public QTcpServer
{
    Q_OBJECT

public:
    explicit Listener(const ServerConfig &config, QObject *parent = nullptr);
    ~Listener() override;

    qsizetype activeSessions() const { return m_sessions.size(); }
    // Stops accepting, asks every session to close and waits for their threads.
    void shutdown();

signals:
    void stopping();

protected:
    void incomingConnection(qintptr socketDescriptor) override;

private:
    void refuse(qintptr socketDescriptor);

    const ServerConfig m_config;
    QHash<QThread *, Session *> m_sessions;
    int m_nextId = 0;
    std::atomic<bool> m_stopping = false; // read by the sessions' threads
};

} // namespace rbx
