#include "RpcEndpoint.h"

#include "ArgReader.h"
#include <protocol/LogCategories.h>
#include "ServerLog.h"
#include <protocol/WireProtocol.h>

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>

namespace rbx {

using namespace Qt::StringLiterals;
namespace Code = Wire::ErrorCode;

namespace {

QByteArray compact(const QJsonObject &object) { return QJsonDocument(object).toJson(QJsonDocument::Compact); }

} // namespace

RpcEndpoint::RpcEndpoint(std::unique_ptr<SessionHandler> handler, qsizetype maxMessageBytes, int connectionId)
    : m_handler(std::move(handler)), m_maxMessageBytes(maxMessageBytes), m_connectionId(connectionId)
{
}

QJsonObject RpcEndpoint::noted(const QString &method, QJsonObject answer)
{
    const QJsonValue error = answer.value(QLatin1String("error"));
    if (error.isObject()) {
        ++m_failures;
        // Before the session opens, anyone may be talking: the name they sent is not logged.
        const QString what = m_handler->isOpen()                          ? (method.isEmpty() ? u"request"_s : excerpt(method))
                             : method == QLatin1String(Wire::OpenMethod) ? method
                                                                         : u"request before the session opened"_s;
        serverLog(u"#%1 %2 failed: %3 %4"_s.arg(m_connectionId)
                      .arg(what)
                      .arg(error[QLatin1String("code")].toInt())
                      .arg(error[QLatin1String("message")].toString()));
    }
    return answer;
}

QJsonObject RpcEndpoint::refuse(const QJsonValue &id, int code, const QString &message)
{
    return noted({}, Wire::errorObject(id, {code, message, {}}));
}

RpcEndpoint::After RpcEndpoint::messageTooLarge(AnswerSink &sink)
{
    const QString message = u"Mensagem maior que o limite de %1 bytes; a conexão será encerrada."_s.arg(m_maxMessageBytes);
    if (flush(sink) == After::Close)
        return After::Close;
    sink.send(Wire::frame(refuse(QJsonValue::Null, Code::InvalidRequest, message)));
    return After::Close;
}

RpcEndpoint::After RpcEndpoint::handleMessage(const QByteArray &message, AnswerSink &sink)
{
    // Wrapped in brackets, any JSON value parses, and trailing garbage or a second value shows.
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson('[' + message + ']', &error);
    if (error.error != QJsonParseError::NoError || document.array().size() != 1) {
        const QString why = error.error != QJsonParseError::NoError
                                ? u"%1 (posição %2)"_s.arg(error.errorString()).arg(std::max(0, error.offset - 1))
                                : u"a mensagem não contém exatamente um valor"_s;
        if (flush(sink) == After::Close)
            return After::Close;
        const QJsonObject answer = refuse(QJsonValue::Null, Code::ParseError, u"JSON inválido: "_s + why);
        return sink.send(Wire::frame(answer)) ? After::KeepOpen : After::Close;
    }
    const QJsonValue value = document.array().at(0);
    const bool joins = value.isObject()
                       && m_handler->joinsGroup(value.toObject().value(QLatin1String("method")).toString());
    if (!joins && flush(sink) == After::Close)
        return After::Close;
    if (!value.isArray()) {
        const Outcome outcome = handleRequest(value);
        if (outcome.answer)
            m_held.append({value.toObject().value(QLatin1String("method")).toString(), *outcome.answer});
        settleGroup();
        if (!m_handler->groupOpen() && !sendHeld(sink))
            return After::Close;
        return outcome.close ? After::Close : After::KeepOpen;
    }

    const QJsonArray batch = value.toArray();
    if (batch.isEmpty()) {
        const QJsonObject answer = refuse(QJsonValue::Null, Code::InvalidRequest, u"Lote vazio."_s);
        return sink.send(Wire::frame(answer)) ? After::KeepOpen : After::Close;
    }
    // Answers leave one by one, so a long batch never holds all of them in memory.
    bool opened = false;
    bool close = false;
    for (const QJsonValue &member : batch) {
        Outcome outcome = handleRequest(member);
        // a batch's answers go as they come: each copy in it commits before its answer
        if (m_handler->groupOpen()) {
            m_handler->endGroup();
            if (outcome.answer)
                m_held.append({member.toObject().value(QLatin1String("method")).toString(), *outcome.answer});
            settleGroup();
            outcome.answer = m_held.isEmpty() ? std::nullopt : std::optional(m_held.takeFirst().answer);
        }
        if (outcome.answer) {
            if (!sink.send((opened ? QByteArrayLiteral(",") : QByteArrayLiteral("[")) + compact(*outcome.answer)))
                return After::Close;
            opened = true;
        }
        if (outcome.close) {
            close = true;
            break;
        }
    }
    // only notifications: nothing at all is sent back
    if (opened && !sink.send(QByteArrayLiteral("]\n")))
        return After::Close;
    return close ? After::Close : After::KeepOpen;
}

RpcEndpoint::Outcome RpcEndpoint::handleRequest(const QJsonValue &value)
{
    ++m_requests;
    if (!value.isObject())
        return {refuse(QJsonValue::Null, Code::InvalidRequest, u"A requisição não é um objeto JSON-RPC."_s)};
    const QJsonObject request = value.toObject();
    const bool notification = !request.contains(QLatin1String("id"));
    const QJsonValue givenId = request.value(QLatin1String("id"));
    const bool idUsable = givenId.isString() || givenId.isDouble() || givenId.isNull();
    const QJsonValue id = !notification && idUsable ? givenId : QJsonValue(QJsonValue::Null);
    if (!notification && !idUsable)
        return {refuse(id, Code::InvalidRequest, u"\"id\" deve ser um número ou um texto."_s)};

    const QJsonValue method = request.value(QLatin1String("method"));
    const QJsonValue params = request.value(QLatin1String("params"));
    if (request.value(QLatin1String("jsonrpc")) != u"2.0"_s)
        return {refuse(id, Code::InvalidRequest, u"A requisição deve ter \"jsonrpc\": \"2.0\"."_s)};
    if (!method.isString())
        return {refuse(id, Code::InvalidRequest, u"A requisição deve ter \"method\" como texto."_s)};
    const QString name = method.toString();
    if (!params.isUndefined() && !params.isArray() && !params.isObject())
        return {noted(name, Wire::errorObject(id, {Code::InvalidRequest, u"\"params\" deve ser uma lista ou um objeto."_s, {}}))};

    Outcome outcome;
    QJsonObject answer;
    if (name == QLatin1String(Wire::OpenMethod))
        answer = m_handler->open(id, params, outcome.close);
    else if (name == QLatin1String(Wire::AuthMethod))
        answer = m_handler->auth(id, params, outcome.close);
    else if (!m_handler->isOpen())
        answer = Wire::errorObject(id, {Code::SessionNotOpen, u"Sessão não aberta: a primeira chamada deve ser rpc.open."_s, {}});
    else {
        QElapsedTimer timer;
        if (lcServer().isDebugEnabled())
            timer.start();
        answer = m_handler->call(id, name, params);
        if (timer.isValid()) {
            qCDebug(lcServer).noquote() << "connection" << m_connectionId << excerpt(name) << "answered in"
                                        << timer.nsecsElapsed() / 1000 << "µs"
                                        << (answer.contains(QLatin1String("error")) ? "(error)" : "");
        }
    }
    answer = noted(name, std::move(answer));
    if (!notification)
        outcome.answer = answer;
    return outcome;
}

RpcEndpoint::After RpcEndpoint::flush(AnswerSink &sink)
{
    m_handler->endGroup();
    settleGroup();
    return sendHeld(sink) ? After::KeepOpen : After::Close;
}

void RpcEndpoint::settleGroup()
{
    const std::optional<SessionHandler::GroupEnd> end = m_handler->takeGroupEnd();
    if (!end || !end->failure)
        return;
    for (Held &held : m_held) {
        if (!held.answer.contains(QLatin1String("error")))
            held.answer = noted(held.method, Wire::errorObject(held.answer.value(QLatin1String("id")), *end->failure));
    }
}

bool RpcEndpoint::sendHeld(AnswerSink &sink)
{
    const QList<Held> held = std::exchange(m_held, {});
    for (const Held &answer : held) {
        if (!sink.send(Wire::frame(answer.answer)))
            return false;
    }
    return true;
}

} // namespace rbx
