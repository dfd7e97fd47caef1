#include "RpcTestClient.h"

#include <protocol/HouseError.h>
#include <protocol/SaslClient.h>

#include <QDeadlineTimer>
#include <QJsonDocument>

namespace rbx {

using namespace Qt::StringLiterals;

RpcTestClient::RpcTestClient() : m_framer(qsizetype(1) << 30) {}

bool RpcTestClient::connectTo(const QString &host, quint16 port, int timeoutMs)
{
    m_socket.connectToHost(host, port);
    return m_socket.waitForConnected(timeoutMs);
}

bool RpcTestClient::open(const QString &token, const QString &operatorCode, const QString &password)
{
    return login(token, operatorCode, password).contains(u"result"_s);
}

QJsonObject RpcTestClient::openWithoutLogin(const QString &token)
{
    QJsonObject params{{u"server"_s, QLatin1String(Wire::ServerObjectName)}};
    if (!token.isEmpty())
        params.insert(u"token"_s, token);
    return request(u"rpc.open"_s, params);
}

QJsonObject RpcTestClient::login(const QString &token, const QString &operatorCode, const QString &password)
{
    ScramClient scram(operatorCode, password);
    QJsonObject params{{u"server"_s, QLatin1String(Wire::ServerObjectName)},
                       {u"mechanism"_s, QLatin1String(Wire::ScramMechanism)},
                       {u"data"_s, QString::fromLatin1(scram.firstMessage())}};
    if (!token.isEmpty())
        params.insert(u"token"_s, token);
    const QJsonObject first = request(u"rpc.open"_s, params);
    const QString challenge = first.value(u"result"_s).toObject().value(u"challenge"_s).toString();
    if (challenge.isEmpty())
        return first;
    const QJsonObject opened =
        request(u"rpc.auth"_s, QJsonObject{{u"data"_s, QString::fromLatin1(scram.answer(challenge.toLatin1()))}});
    const QString proof = opened.value(u"result"_s).toObject().value(u"data"_s).toString();
    if (opened.contains(u"result"_s) && !scram.serverVerified(proof.toLatin1()))
        return QJsonObject{{u"error"_s, QJsonObject{{u"code"_s, 0}, {u"message"_s, u"server signature did not verify"_s}}}};
    return opened;
}

void RpcTestClient::sendRaw(const QByteArray &bytes)
{
    m_socket.write(bytes);
    m_socket.flush();
}

QJsonValue RpcTestClient::readMessage(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    QByteArray message;
    for (;;) {
        m_framer.append(m_socket.readAll());
        const auto status = m_framer.next(message);
        if (status == Wire::LineFramer::Status::Message)
            break;
        if (status == Wire::LineFramer::Status::TooLarge || m_socket.state() != QAbstractSocket::ConnectedState)
            return QJsonValue::Undefined;
        const qint64 left = deadline.remainingTime();
        if (left <= 0)
            return QJsonValue::Undefined;
        m_socket.waitForReadyRead(int(left));
    }
    return parse(message);
}

QJsonValue RpcTestClient::parse(const QByteArray &message)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(message, &error);
    if (error.error != QJsonParseError::NoError)
        return QJsonValue::Undefined;
    return document.isArray() ? QJsonValue(document.array()) : QJsonValue(document.object());
}

QJsonObject RpcTestClient::request(const QString &method, const QJsonValue &params)
{
    QJsonObject request{{u"jsonrpc"_s, u"2.0"_s}, {u"id"_s, double(m_nextId++)}, {u"method"_s, method}};
    if (!params.isUndefined())
        request.insert(u"params"_s, params);
    sendRaw(Wire::frame(request));
    return readMessage().toObject();
}

QJsonObject RpcTestClient::call(const QString &method, std::initializer_list<Wire::Arg> args)
{
    return call(method, QList<Wire::Arg>(args));
}

QJsonObject RpcTestClient::call(const QString &method, const QList<Wire::Arg> &args)
{
    return request(method, params(args));
}

bool RpcTestClient::waitForClosed(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (m_socket.state() != QAbstractSocket::UnconnectedState) {
        const qint64 left = deadline.remainingTime();
        if (left <= 0)
            return false;
        m_socket.readAll();
        m_socket.waitForReadyRead(int(left));
    }
    return true;
}

QJsonArray RpcTestClient::params(const QList<Wire::Arg> &args)
{
    QJsonArray array;
    for (const Wire::Arg &arg : args)
        array.append(Wire::encodeArg(arg));
    return array;
}

int RpcTestClient::errorCode(const QJsonObject &answer)
{
    return answer.value(u"error"_s).toObject().value(u"code"_s).toInt();
}

QString RpcTestClient::errorMessage(const QJsonObject &answer)
{
    return answer.value(u"error"_s).toObject().value(u"message"_s).toString();
}

Wire::CallResult RpcTestClient::result(const QJsonObject &answer)
{
    if (!answer.contains(u"result"_s))
        throw EDataSetError(u"no result: "_s + QString::fromUtf8(QJsonDocument(answer).toJson(QJsonDocument::Compact)));
    return Wire::decodeCallResult(answer.value(u"result"_s));
}

} // namespace rbx
