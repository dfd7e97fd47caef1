#pragma once

#include "TestOperators.h"
#include <protocol/WireProtocol.h>

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QTcpSocket>

#include <initializer_list>

namespace rbx {

// A bare protocol client for tests: sends raw bytes or requests and reads whole answers,
// blocking with a timeout. No rules of its own, so it can send anything a broken client might.
class RpcTestClient final
{
public:
    static constexpr int DefaultTimeoutMs = 10000;

    RpcTestClient();

    bool connectTo(const QString &host, quint16 port, int timeoutMs = DefaultTimeoutMs);
    // Logs in to "Rbx53207.rdmCopiaForm" with SCRAM-SHA-256 (with the token when not empty) and
    // checks the server's signature; true when the session opened.
    bool open(const QString &token = {}, const QString &operatorCode = TestSupport::TestOperator,
              const QString &password = TestSupport::TestPassword);
    // The same, returning the last answer (the refusal, or the open session's result).
    QJsonObject login(const QString &token, const QString &operatorCode, const QString &password);
    // rpc.open without logging in, as a client of the original contract sends it.
    QJsonObject openWithoutLogin(const QString &token = {});

    void sendRaw(const QByteArray &bytes);
    // The next message the server sends; undefined on timeout, a closed connection or a line
    // that is no JSON.
    QJsonValue readMessage(int timeoutMs = DefaultTimeoutMs);
    // Sends a request with the next id and returns the answer object.
    QJsonObject request(const QString &method, const QJsonValue &params = QJsonValue::Undefined);
    QJsonObject call(const QString &method, std::initializer_list<Wire::Arg> args);
    QJsonObject call(const QString &method, const QList<Wire::Arg> &args);

    // True when the server closed the connection within the time.
    bool waitForClosed(int timeoutMs = DefaultTimeoutMs);
    bool isConnected() const { return m_socket.state() == QAbstractSocket::ConnectedState; }
    QTcpSocket &socket() { return m_socket; }

    static QJsonArray params(const QList<Wire::Arg> &args);
    // One message as the JSON value it holds; undefined when it is no JSON.
    static QJsonValue parse(const QByteArray &message);
    // The error code of an answer, or 0 when it is a result.
    static int errorCode(const QJsonObject &answer);
    static QString errorMessage(const QJsonObject &answer);
    // The decoded result of an answer; throws EDataSetError when it is none.
    static Wire::CallResult result(const QJsonObject &answer);

private:
    QTcpSocket m_socket;
    Wire::LineFramer m_framer;
    qint64 m_nextId = 1;
};

} // namespace rbx
