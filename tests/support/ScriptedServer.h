#pragma once

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QThread>

#include <functional>

class QTcpServer;

namespace rbx {

// A loopback server on its own thread that answers each received line with what the script
// returns: the bytes to send, Silence to say nothing, or Close to drop the connection.
class ScriptedServer final : public QThread
{
    Q_OBJECT

public:
    using Script = std::function<QByteArray(const QByteArray &line)>;
    static inline const QByteArray Silence = QByteArrayLiteral("<silence>");
    static inline const QByteArray Close = QByteArrayLiteral("<close>");

    explicit ScriptedServer(Script script);
    ~ScriptedServer() override;

    quint16 port() const { return m_port; }
    QList<QByteArray> received() const;

protected:
    void run() override;

private:
    Script m_script;
    quint16 m_port = 0;
    mutable QMutex m_mutex;
    QList<QByteArray> m_received;
};

} // namespace rbx
