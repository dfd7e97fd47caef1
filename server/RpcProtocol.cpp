#include "RpcProtocol.h"

#include "ArgReader.h"
#include "CopyServiceContract.h"
#include "CopyServiceObject.h"
#include "Database.h"
#include "DbSession.h"
#include "HouseError.h"
#include "MethodTable.h"
#include "ServerLog.h"
#include "ServerOptions.h"
#include "TokenCheck.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QUuid>

using namespace Qt::StringLiterals;
namespace Code = Wire::ErrorCode;

namespace {

QByteArray compact(const QJsonObject &object) { return QJsonDocument(object).toJson(QJsonDocument::Compact); }

} // namespace

RpcProtocol::RpcProtocol(const ServerConfig &config, int connectionId)
    : m_config(config), m_connectionId(connectionId)
{
}

RpcProtocol::~RpcProtocol()
{
    m_object.reset();
    m_db.reset(); // rolls back a transaction the client left open
}

QJsonObject RpcProtocol::failure(const QJsonValue &id, const QString &method, int code, const QString &message,
                                 const QJsonValue &data)
{
    ++m_failures;
    serverLog(u"#%1 %2 failed: %3 %4"_s.arg(m_connectionId)
                  .arg(method.isEmpty() ? u"request"_s : excerpt(method))
                  .arg(code)
                  .arg(message));
    return Wire::errorObject(id, {code, message, data});
}

RpcProtocol::After RpcProtocol::messageTooLarge(AnswerSink &sink)
{
    const QString message = u"Mensagem maior que o limite de %1 bytes; a conexão será encerrada."_s.arg(m_config.maxMessageBytes);
    sink.send(Wire::frame(failure(QJsonValue::Null, {}, Code::InvalidRequest, message)));
    return After::Close;
}

RpcProtocol::After RpcProtocol::handleMessage(const QByteArray &message, AnswerSink &sink)
{
    // Wrapped in brackets, any JSON value parses, and trailing garbage or a second value shows.
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson('[' + message + ']', &error);
    if (error.error != QJsonParseError::NoError || document.array().size() != 1) {
        const QString why = error.error != QJsonParseError::NoError
                                ? u"%1 (posição %2)"_s.arg(error.errorString()).arg(std::max(0, error.offset - 1))
                                : u"a mensagem não contém exatamente um valor"_s;
        const QJsonObject answer = failure(QJsonValue::Null, {}, Code::ParseError, u"JSON inválido: "_s + why);
        return sink.send(Wire::frame(answer)) ? After::KeepOpen : After::Close;
    }
    const QJsonValue value = document.array().at(0);
    if (!value.isArray()) {
        const Outcome outcome = handleRequest(value);
        if (outcome.answer && !sink.send(Wire::frame(*outcome.answer)))
            return After::Close;
        return outcome.close ? After::Close : After::KeepOpen;
    }

    const QJsonArray batch = value.toArray();
    if (batch.isEmpty()) {
        const QJsonObject answer = failure(QJsonValue::Null, {}, Code::InvalidRequest, u"Lote vazio."_s);
        return sink.send(Wire::frame(answer)) ? After::KeepOpen : After::Close;
    }
    // Answers leave one by one, so a long batch never holds all of them in memory.
    bool opened = false;
    bool close = false;
    for (const QJsonValue &member : batch) {
        const Outcome outcome = handleRequest(member);
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

RpcProtocol::Outcome RpcProtocol::handleRequest(const QJsonValue &value)
{
    ++m_requests;
    if (!value.isObject())
        return {failure(QJsonValue::Null, {}, Code::InvalidRequest, u"A requisição não é um objeto JSON-RPC."_s)};
    const QJsonObject request = value.toObject();
    const bool notification = !request.contains(QLatin1String("id"));
    const QJsonValue givenId = request.value(QLatin1String("id"));
    const bool idUsable = givenId.isString() || givenId.isDouble() || givenId.isNull();
    const QJsonValue id = !notification && idUsable ? givenId : QJsonValue(QJsonValue::Null);
    if (!notification && !idUsable)
        return {failure(id, {}, Code::InvalidRequest, u"\"id\" deve ser um número ou um texto."_s)};

    const QJsonValue method = request.value(QLatin1String("method"));
    const QJsonValue params = request.value(QLatin1String("params"));
    if (request.value(QLatin1String("jsonrpc")) != u"2.0"_s)
        return {failure(id, {}, Code::InvalidRequest, u"A requisição deve ter \"jsonrpc\": \"2.0\"."_s)};
    if (!method.isString())
        return {failure(id, {}, Code::InvalidRequest, u"A requisição deve ter \"method\" como texto."_s)};
    if (!params.isUndefined() && !params.isArray() && !params.isObject())
        return {failure(id, method.toString(), Code::InvalidRequest, u"\"params\" deve ser uma lista ou um objeto."_s)};

    Outcome outcome;
    QJsonObject answer;
    const QString name = method.toString();
    if (name == QLatin1String(Wire::OpenMethod))
        answer = open(id, params, outcome.close);
    else if (!m_object)
        answer = failure(id, name, Code::SessionNotOpen, u"Sessão não aberta: a primeira chamada deve ser rpc.open."_s);
    else
        answer = call(id, name, params);
    if (!notification)
        outcome.answer = answer;
    return outcome;
}

QJsonObject RpcProtocol::open(const QJsonValue &id, const QJsonValue &params, bool &close)
{
    const QString method = QLatin1String(Wire::OpenMethod);
    if (m_object)
        return failure(id, method, Code::InvalidRequest, u"A sessão já está aberta."_s);
    const QJsonValue server = params.toObject().value(QLatin1String("server"));
    if (!params.isObject() || !server.isString())
        return failure(id, method, Code::InvalidParams, u"rpc.open espera um objeto com \"server\" (e \"token\" quando exigido)."_s);
    if (server.toString() != QLatin1String(Wire::ServerObjectName))
        return failure(id, method, Code::UnknownServer, u"Objeto servidor desconhecido: \"%1\"."_s.arg(excerpt(server.toString())));
    if (!m_config.token.isEmpty()) {
        const QJsonValue token = params.toObject().value(QLatin1String("token"));
        if (!token.isString() || !tokensMatch(m_config.token, token.toString().toUtf8())) {
            close = true;
            return failure(id, method, Code::NotAuthorized, u"Não autorizado: token ausente ou incorreto."_s);
        }
    }
    try {
        const QString url = m_config.databaseUrl, name = u"rbx-session-%1"_s.arg(m_connectionId);
        m_db = std::make_unique<DbSession>([url, name] { return Database::open(url, name); });
    } catch (const EHouseError &error) {
        return failure(id, method, Code::ServiceFailed, error.message());
    }
    m_object = std::make_unique<CopyServiceObject>(*m_db, m_connectionId);
    return Wire::resultObject(id, Wire::openResult(QUuid::createUuid().toString(QUuid::WithoutBraces)));
}

QJsonObject RpcProtocol::call(const QJsonValue &id, const QString &method, const QJsonValue &params)
{
    const auto entry = methodTable().constFind(method);
    if (entry == methodTable().constEnd())
        return failure(id, method, Code::MethodNotFound, u"Método desconhecido: \"%1\"."_s.arg(excerpt(method)));
    if (params.isObject())
        return failure(id, method, Code::InvalidParams, u"Os argumentos de %1 devem ser uma lista posicional."_s.arg(method));
    const QJsonArray values = params.toArray();
    const qsizetype expected = entry->kinds.size();
    if (values.size() != expected) {
        return failure(id, method, Code::InvalidParams,
                       u"%1 espera %2 argumento(s); recebeu %3."_s.arg(method).arg(expected).arg(values.size()),
                       QJsonObject{{u"expected"_s, double(expected)}, {u"received"_s, double(values.size())}});
    }
    CopyServiceObject::Args args;
    args.reserve(expected);
    for (qsizetype i = 0; i < expected; ++i) {
        QString why;
        const std::optional<Wire::Arg> arg = Wire::decodeArg(values.at(i), &why);
        const Wire::Arg::Kind kind = entry->kinds.at(i);
        if (arg && arg->kind != kind)
            why = u"recebido %1"_s.arg(Wire::kindName(arg->kind));
        if (!arg || arg->kind != kind) {
            return failure(id, method, Code::InvalidParams,
                           u"O argumento %1 de %2 deve ser %3 (%4)."_s.arg(i + 1).arg(method, Wire::kindName(kind), why),
                           QJsonObject{{u"position"_s, double(i)}, {u"expected"_s, Wire::kindName(kind)}});
        }
        args.append(*arg);
    }

    const bool endsTransaction = entry->endsTransaction;
    if (m_db->transactionLost() && !endsTransaction) {
        return failure(id, method, Code::TransactionState,
                       u"A transação foi perdida com a conexão ao banco de dados; desfaça-a antes de continuar."_s);
    }
    try {
        if (!m_db->transactionLost())
            m_db->ensureConnected();
        Wire::CallResult result;
        const bool mayRetry = entry->readOnly && !m_db->inTransaction();
        const CopyServiceObject::Args given = mayRetry ? args : CopyServiceObject::Args();
        try {
            result = (m_object.get()->*(entry->handler))(args);
        } catch (const ERemoteError &) {
            throw;
        } catch (const EHouseError &error) {
            if (!m_db->dropIfLost())
                throw;
            if (!mayRetry)
                throw EDatabaseError(u"A conexão com o banco de dados foi perdida: "_s + error.message());
            // a read on a connection that died while the session sat idle: once more on a new one
            m_db->ensureConnected();
            args = given;
            result = (m_object.get()->*(entry->handler))(args);
        }
        for (qsizetype i = 0; i < args.size(); ++i) {
            if (args.at(i).byRef)
                result.byref.insert(int(i), args.at(i).text);
        }
        return Wire::resultObject(id, Wire::encodeCallResult(result));
    } catch (const ERemoteError &error) {
        return failure(id, method, error.code(), error.message());
    } catch (const EHouseError &error) {
        return failure(id, method, Code::ServiceFailed, error.message());
    } catch (const std::exception &error) {
        serverLog(u"#%1 %2: internal error: %3"_s.arg(m_connectionId).arg(method, QString::fromUtf8(error.what())));
        return failure(id, method, Code::InternalError, u"Erro interno do servidor."_s);
    }
}
