#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace rbx {

struct TestServerOptions
{
    QString token;              // written to a token file for --token-file; empty: no token
    int maxConnections = 0;     // 0: the server's default
    qsizetype maxMessageBytes = 0;
    int stallTimeoutMs = -1;    // negative: the server's default
    int idleTimeoutMs = -1;
    QStringList extraArguments; // appended as they are
    QStringList environment;    // NAME=VALUE added to the server's environment
};

// The real rbx53207-server as a child process on 127.0.0.1 with an ephemeral port. Its
// standard error goes to a log file readable with log().
class TestServer final
{
public:
    TestServer();
    ~TestServer();
    TestServer(const TestServer &) = delete;
    TestServer &operator=(const TestServer &) = delete;

    // Starts and waits for the "listening on" line; false with errorString() otherwise.
    bool start(const QString &databaseUrl, const TestServerOptions &options = {});
    // Stops (if running) and starts again with the same database and options on the same port.
    bool restart();
    // SIGTERM and wait: the server closes its sessions and rolls back open transactions.
    void stop();
    // SIGKILL and wait: a crash.
    void kill();

    bool isRunning() const;
    // The server process's id, for looking at it from outside (memory); 0 when not running.
    qint64 processId() const;
    QString host() const { return m_host; }
    quint16 port() const { return m_port; }
    QString errorString() const { return m_error; }
    // Everything the server wrote on standard error so far.
    QString log() const;
    static QString executablePath();

private:
    bool launch(const QStringList &arguments);

    QTemporaryDir m_dir;
    std::unique_ptr<QProcess> m_process;
    QString m_databaseUrl;
    TestServerOptions m_options;
    QString m_host;
    quint16 m_port = 0;
    QString m_error;
};

} // namespace rbx
