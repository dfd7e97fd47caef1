#include "TNetConnection.h"

#include <protocol/SaslClient.h>

#include <protocol/HouseError.h>
#include <protocol/LogCategories.h>

#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QFile>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpSocket>

namespace {

QString describe(const rbx::Wire::ErrorInfo &error)
{
    return error.message.isEmpty() ? QStringLiteral("Erro %1 do servidor de aplicação.").arg(error.code)
                                   : error.message;
}

rbx::Wire::ErrorInfo errorFrom(const QJsonObject &body)
{
    rbx::Wire::ErrorInfo error;
    error.code = body.value(QLatin1String("code")).toInt(rbx::Wire::ErrorCode::InternalError);
    error.message = body.value(QLatin1String("message")).toString();
    error.data = body.value(QLatin1String("data"));
    return error;
}

} // namespace

RemoteAnswer RemoteObject::call(const QString &method, const QList<RemoteArg> &args) const
{
    return m_connection->Call(method, args);
}

TNetConnection::TNetConnection() = default;
TNetConnection::~TNetConnection() = default;

bool TNetConnection::Connected() const
{
    return m_socket && m_socket->state() == QAbstractSocket::ConnectedState;
}

void TNetConnection::SetConnected(bool connected)
{
    if (!connected) {
        if (m_socket) {
            m_socket->abort();
            m_socket.reset();
        }
        m_framer.reset();
        m_session.clear();
        m_extensions.clear();
        m_operator.clear();
        return;
    }
    if (Connected())
        return;
    if (BeforeConnect)
        BeforeConnect(*this);
    if (Host.isEmpty() || Port <= 0 || Port > 65535)
        throw rbx::EConnectionError(QStringLiteral("Endereço do servidor de aplicação inválido: '%1:%2'.").arg(Host).arg(Port));

    m_framer = std::make_unique<rbx::Wire::LineFramer>(MaxMessageBytes);
    if (!TlsCaFile.isEmpty()) {
        connectEncrypted();
    } else {
        m_socket = std::make_unique<QTcpSocket>();
        m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        m_socket->connectToHost(Host, quint16(Port));
    }
    if (!m_socket->waitForConnected(TimeoutMs)) {
        const QString why = m_socket->errorString();
        m_socket.reset();
        throw rbx::EConnectionError(QStringLiteral("Não foi possível conectar ao servidor de aplicação %1:%2 (%3). "
                                              "Verifique se o servidor de aplicação está em execução em %1:%2 "
                                              "e se o endereço configurado é esse.")
                                   .arg(Host)
                                   .arg(Port)
                                   .arg(why));
    }

    if (auto *tls = qobject_cast<QSslSocket *>(m_socket.get()); tls && !tls->waitForEncrypted(TimeoutMs)) {
        const QList<QSslError> errors = tls->sslHandshakeErrors();
        const QString why = errors.isEmpty() ? tls->errorString() : errors.first().errorString();
        m_socket.reset();
        throw rbx::EConnectionError(QStringLiteral("Conexão segura com o servidor de aplicação %1:%2 recusada (%3). "
                                              "Verifique se o certificado da autoridade configurado é o do servidor.")
                                   .arg(Host)
                                   .arg(Port)
                                   .arg(why));
    }

    const QJsonObject result = openSession();
    m_session = result.value(QLatin1String("session")).toString();
    m_operator = result.value(QLatin1String("operator")).toString();
    m_extensions = rbx::Wire::openExtensions(result);
}

QJsonObject TNetConnection::resultOrRaise(const QJsonValue &reply)
{
    const QJsonObject object = reply.toObject();
    if (object.contains(QLatin1String("error"))) {
        const rbx::Wire::ErrorInfo error = errorFrom(object.value(QLatin1String("error")).toObject());
        SetConnected(false);
        throw rbx::ERemoteError(error.code, describe(error));
    }
    return object.value(QLatin1String("result")).toObject();
}

QJsonObject TNetConnection::openSession()
{
    if (Operator.isEmpty())
        return resultOrRaise(exchange(rbx::Wire::openRequest(m_nextId++, ServerName, Token)));

    const auto refused = [this](const QString &why) {
        SetConnected(false);
        return rbx::EConnectionError(why.arg(Host).arg(Port));
    };
    rbx::ScramClient scram(Operator, Password);
    const QByteArray first = scram.firstMessage();
    if (first.isEmpty()) {
        SetConnected(false);
        throw rbx::ERemoteError(rbx::Wire::ErrorCode::NotAuthorized, QStringLiteral("Informe o operador e a senha."));
    }
    const QJsonObject challenge = resultOrRaise(
        exchange(rbx::Wire::openRequest(m_nextId++, ServerName, Token, QLatin1String(rbx::Wire::ScramMechanism), first)));
    // a server that opens without asking for the proof has not shown it knows the operator
    const QByteArray final = scram.answer(challenge.value(QLatin1String("challenge")).toString().toLatin1());
    if (final.isEmpty())
        throw refused(QStringLiteral("O servidor de aplicação %1:%2 não conduziu a autenticação do operador como devia."));
    const QJsonObject result = resultOrRaise(exchange(rbx::Wire::authRequest(m_nextId++, final)));
    if (!scram.serverVerified(result.value(QLatin1String("data")).toString().toLatin1()))
        throw refused(QStringLiteral("O servidor de aplicação %1:%2 não provou conhecer a senha do operador: conexão encerrada."));
    return result;
}

void TNetConnection::connectEncrypted()
{
    QFile caFile(TlsCaFile);
    const QList<QSslCertificate> authorities =
        caFile.open(QIODevice::ReadOnly) ? QSslCertificate::fromData(caFile.readAll(), QSsl::Pem) : QList<QSslCertificate>();
    if (authorities.isEmpty())
        throw rbx::EConnectionError(QStringLiteral("Certificado da autoridade ilegível: %1.").arg(TlsCaFile));
    auto socket = std::make_unique<QSslSocket>();
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    // only the given authority is trusted, not the system's list
    configuration.setCaCertificates(authorities);
    configuration.setPeerVerifyMode(QSslSocket::VerifyPeer);
    configuration.setProtocol(QSsl::TlsV1_2OrLater);
    socket->setSslConfiguration(configuration);
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    socket->connectToHostEncrypted(Host, quint16(Port));
    m_socket = std::move(socket);
}

void TNetConnection::lose(const QString &why)
{
    qCDebug(rbx::lcNet).noquote() << "connection lost:" << why;
    SetConnected(false);
    throw rbx::EConnectionError(why);
}

QJsonValue TNetConnection::exchange(const QByteArray &message)
{
    send(message, true);
    return receive();
}

void TNetConnection::send(const QByteArray &message, bool waitUntilWritten)
{
    if (!Connected())
        throw rbx::EConnectionError(QStringLiteral("A conexão com o servidor de aplicação não está aberta."));
    const QString where = QStringLiteral("%1:%2").arg(Host).arg(Port);
    qCDebug(rbx::lcNet).noquote() << where << "sending" << message.size() << "bytes";
    if (m_socket->write(message) != message.size())
        lose(QStringLiteral("Falha ao enviar ao servidor de aplicação %1: %2.").arg(where, m_socket->errorString()));
    if (!waitUntilWritten) {
        // hands what it can to the system now; the rest goes while an answer is awaited
        m_socket->flush();
        return;
    }
    QDeadlineTimer deadline(TimeoutMs);
    while (m_socket->bytesToWrite() > 0) {
        if (!m_socket->waitForBytesWritten(int(deadline.remainingTime())))
            lose(QStringLiteral("Falha ao enviar ao servidor de aplicação %1: %2.").arg(where, m_socket->errorString()));
    }
}

QJsonValue TNetConnection::receive()
{
    if (!Connected())
        throw rbx::EConnectionError(QStringLiteral("A conexão com o servidor de aplicação não está aberta."));
    const QString where = QStringLiteral("%1:%2").arg(Host).arg(Port);
    QDeadlineTimer deadline(TimeoutMs);
    QByteArray line;
    for (;;) {
        switch (m_framer->next(line)) {
        case rbx::Wire::LineFramer::Status::Message: {
            QJsonParseError parseError;
            const QJsonDocument document = QJsonDocument::fromJson(line, &parseError);
            if (parseError.error != QJsonParseError::NoError || document.isNull())
                lose(QStringLiteral("Resposta ilegível do servidor de aplicação %1.").arg(where));
            return document.isArray() ? QJsonValue(document.array()) : QJsonValue(document.object());
        }
        case rbx::Wire::LineFramer::Status::TooLarge:
            lose(QStringLiteral("Resposta do servidor de aplicação %1 excede o tamanho máximo.").arg(where));
        case rbx::Wire::LineFramer::Status::Incomplete: break;
        }
        if (deadline.hasExpired())
            lose(QStringLiteral("O servidor de aplicação %1 não respondeu em %2 ms.").arg(where).arg(TimeoutMs));
        // Events processed between calls (a screen showing its progress) may have read the
        // answer into the socket's buffer already: waiting for more would wait for nothing.
        if (m_socket->bytesAvailable() == 0 &&
            !m_socket->waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())))) {
            if (m_socket->state() != QAbstractSocket::ConnectedState)
                lose(QStringLiteral("A conexão com o servidor de aplicação %1 foi perdida. Verifique a rede e se o "
                                    "servidor de aplicação continua em execução.")
                         .arg(where));
            if (deadline.hasExpired())
                lose(QStringLiteral("O servidor de aplicação %1 não respondeu em %2 ms.").arg(where).arg(TimeoutMs));
        }
        m_framer->append(m_socket->readAll());
    }
}

RemoteAnswer TNetConnection::toAnswer(const QString &method, const QJsonValue &reply, qint64 id,
                                      const QList<RemoteArg> &args)
{
    const QJsonObject object = reply.toObject();
    if (object.value(QLatin1String("id")).toDouble(-1) != double(id) && !object.value(QLatin1String("id")).isNull())
        lose(QStringLiteral("Resposta fora de ordem do servidor de aplicação para %1.").arg(method));
    RemoteAnswer answer;
    answer.method = method;
    if (object.contains(QLatin1String("error"))) {
        answer.value = errorFrom(object.value(QLatin1String("error")).toObject());
        return answer;
    }
    if (!object.contains(QLatin1String("result")))
        lose(QStringLiteral("Resposta sem resultado do servidor de aplicação para %1.").arg(method));
    rbx::Wire::CallResult result = rbx::Wire::decodeCallResult(object.value(QLatin1String("result")));
    // The caller's variables receive what the service left in them.
    for (auto it = result.byref.cbegin(); it != result.byref.cend(); ++it) {
        if (it.key() < args.size()) {
            if (QString *variable = args.at(it.key()).variable())
                *variable = it.value();
        }
    }
    answer.value = std::move(result);
    return answer;
}

static QJsonArray encodeArgs(const QList<RemoteArg> &args)
{
    QJsonArray params;
    for (const RemoteArg &arg : args)
        params.append(rbx::Wire::encodeArg(arg.wire()));
    return params;
}

RemoteAnswer TNetConnection::Call(const QString &method, const QList<RemoteArg> &args)
{
    const qint64 id = m_nextId++;
    const QJsonValue reply = exchange(rbx::Wire::requestMessage(id, method, encodeArgs(args)));
    if (!reply.isObject())
        lose(QStringLiteral("Resposta inválida do servidor de aplicação para %1.").arg(method));
    return toAnswer(method, reply, id, args);
}

TNetConnection::Pending TNetConnection::Send(const QString &method, const QList<RemoteArg> &args)
{
    const qint64 id = m_nextId++;
    send(rbx::Wire::requestMessage(id, method, encodeArgs(args)), false);
    return {id, method, args};
}

RemoteAnswer TNetConnection::Receive(const Pending &pending)
{
    const QJsonValue reply = receive();
    if (!reply.isObject())
        lose(QStringLiteral("Resposta inválida do servidor de aplicação para %1.").arg(pending.method));
    return toAnswer(pending.method, reply, pending.id, pending.args);
}

QList<RemoteAnswer> TNetConnection::CallBatch(const QList<std::pair<QString, QList<RemoteArg>>> &calls)
{
    if (calls.isEmpty())
        return {};
    QJsonArray batch;
    const qint64 firstId = m_nextId;
    for (const auto &[method, args] : calls) {
        batch.append(QJsonObject{{QStringLiteral("jsonrpc"), QStringLiteral("2.0")},
                                 {QStringLiteral("id"), double(m_nextId++)},
                                 {QStringLiteral("method"), method},
                                 {QStringLiteral("params"), encodeArgs(args)}});
    }
    const QJsonValue reply = exchange(rbx::Wire::frame(batch));
    if (!reply.isArray() || reply.toArray().size() != calls.size())
        lose(QStringLiteral("Resposta de lote inválida do servidor de aplicação."));
    QList<RemoteAnswer> answers;
    const QJsonArray replies = reply.toArray();
    for (qsizetype i = 0; i < calls.size(); ++i)
        answers.append(toAnswer(calls.at(i).first, replies.at(i), firstId + i, calls.at(i).second));
    return answers;
}

rbx::Wire::Packet CheckResultServ(const RemoteAnswer &answer, bool raise, int /*context*/)
{
    if (const auto *error = std::get_if<rbx::Wire::ErrorInfo>(&answer.value)) {
        if (raise) {
            // A service failure is already worded for the user; anything else names the call.
            if (error->code == rbx::Wire::ErrorCode::ServiceFailed)
                throw rbx::ERemoteError(error->code, describe(*error));
            throw rbx::ERemoteError(error->code, QStringLiteral("Erro do servidor de aplicação em %1 (%2): %3")
                                                .arg(answer.method)
                                                .arg(error->code)
                                                .arg(describe(*error)));
        }
        return {};
    }
    const auto &result = std::get<rbx::Wire::CallResult>(answer.value);
    return result.packet.value_or(rbx::Wire::Packet{});
}
