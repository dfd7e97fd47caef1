#pragma once

#include <house/rbx_house_export.h>

#include <protocol/WireProtocol.h>

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <variant>

class QTcpSocket;
class TNetConnection;

// One positional argument of a remote call. A text by reference points at the caller's own
// variable, which receives what the service left in it when the call returns.
class RBX_HOUSE_EXPORT RemoteArg
{
public:
    static RemoteArg Text(QString value) { return RemoteArg(rbx::Wire::Arg::makeText(std::move(value)), nullptr); }
    static RemoteArg TextRef(QString &variable) { return RemoteArg(rbx::Wire::Arg::makeText(variable, true), &variable); }
    static RemoteArg Date(double oleDate) { return RemoteArg(rbx::Wire::Arg::makeDate(oleDate), nullptr); }
    static RemoteArg Double(double value) { return RemoteArg(rbx::Wire::Arg::makeDouble(value), nullptr); }

    const rbx::Wire::Arg &wire() const { return m_arg; }
    QString *variable() const { return m_variable; }

private:
    RemoteArg(rbx::Wire::Arg arg, QString *variable) : m_arg(std::move(arg)), m_variable(variable) {}
    rbx::Wire::Arg m_arg;
    QString *m_variable;
};

// What a call returned: the service's result or the error it answered with. A connection
// failure never gets here: the call raises it.
struct RemoteAnswer
{
    std::variant<rbx::Wire::CallResult, rbx::Wire::ErrorInfo> value;
    QString method;

    bool failed() const { return std::holds_alternative<rbx::Wire::ErrorInfo>(value); }
};

// The server object a connection yields; methods are called by name.
class RBX_HOUSE_EXPORT RemoteObject
{
public:
    explicit RemoteObject(TNetConnection &connection) : m_connection(&connection) {}
    RemoteAnswer call(const QString &method, const QList<RemoteArg> &args) const;

private:
    TNetConnection *m_connection;
};

// Socket connection to the application server. Calls block the calling thread until the
// answer arrives or the timeout passes, as the screen's calls are specified to.
class RBX_HOUSE_EXPORT TNetConnection
{
public:
    TNetConnection();
    ~TNetConnection();
    TNetConnection(const TNetConnection &) = delete;
    TNetConnection &operator=(const TNetConnection &) = delete;

    QString ServerName;
    QString Host;
    int Port = 0;
    bool ThrowException = false;
    // Runs every time the connection is about to open.
    std::function<void(TNetConnection &)> BeforeConnect;
    // Token for rpc.open; empty when the server needs none.
    QString Token;
    // The operator who logs in (SCRAM-SHA-256) and its password; with no operator the connection
    // opens as the original contract does, for a server that authenticates no one.
    QString Operator;
    QString Password;
    int TimeoutMs = 30000;
    // PEM file of the authority that signed the server's certificate: when set, the connection
    // is TLS and the server must prove itself with a certificate for Host signed by it.
    QString TlsCaFile;
    qsizetype MaxMessageBytes = rbx::Wire::DefaultMaxMessageBytes;

    bool Connected() const;
    // Opening runs BeforeConnect, connects and sends rpc.open; raises EConnectionError or
    // ERemoteError. Closing drops the socket (the server rolls back any open transaction).
    void SetConnected(bool connected);
    const QString &SessionId() const { return m_session; }
    // The operator the server says the session acts for; empty when it authenticated no one.
    const QString &AuthenticatedOperator() const { return m_operator; }
    // True when the server listed the method among its extensions when the connection opened.
    bool Offers(const QString &method) const { return m_extensions.contains(method); }

    RemoteObject AppServer() { return RemoteObject(*this); }
    RemoteAnswer Call(const QString &method, const QList<RemoteArg> &args);
    // Sends the requests as one batch and returns the answers in order.
    QList<RemoteAnswer> CallBatch(const QList<std::pair<QString, QList<RemoteArg>>> &calls);

    // A call in flight: sent without waiting for its answer. Answers come in the order the calls
    // went, so several may be in flight and each is received in turn; the arguments must live
    // until Receive, which copies the by-reference texts into them.
    struct Pending
    {
        qint64 id = 0;
        QString method;
        QList<RemoteArg> args;
    };
    Pending Send(const QString &method, const QList<RemoteArg> &args);
    // Waits for the answer of the oldest call in flight, which must be `pending`.
    RemoteAnswer Receive(const Pending &pending);

private:
    void connectEncrypted();
    // rpc.open (and rpc.auth for a login); the open session's result.
    QJsonObject openSession();
    QJsonObject resultOrRaise(const QJsonValue &reply);
    QJsonValue exchange(const QByteArray &message);
    void send(const QByteArray &message, bool waitUntilWritten);
    QJsonValue receive();
    RemoteAnswer toAnswer(const QString &method, const QJsonValue &reply, qint64 id, const QList<RemoteArg> &args);
    [[noreturn]] void lose(const QString &why);

    std::unique_ptr<QTcpSocket> m_socket;
    std::unique_ptr<rbx::Wire::LineFramer> m_framer;
    qint64 m_nextId = 1;
    QString m_session;
    QString m_operator;
    QStringList m_extensions;
};

// Turns a failed answer into an error; returns the packet of a good one (empty when the
// method returns none).
RBX_HOUSE_EXPORT rbx::Wire::Packet CheckResultServ(const RemoteAnswer &answer, bool raise = true, int context = 0);
