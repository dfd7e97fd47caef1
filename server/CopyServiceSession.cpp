#include "CopyServiceSession.h"

#include "ArgReader.h"
#include "CopyServiceObject.h"
#include "SqlSession.h"
#include "SqlSessionPool.h"
#include "DbSession.h"
#include "HouseError.h"
#include "MethodTable.h"
#include "ServerLog.h"
#include "ServerOptions.h"
#include "TokenCheck.h"

#include <QJsonArray>
#include <QLocale>
#include <QUuid>

using namespace Qt::StringLiterals;
namespace Code = Wire::ErrorCode;

namespace {

QJsonObject failure(const QJsonValue &id, int code, const QString &message, const QJsonValue &data = {})
{
    return Wire::errorObject(id, {code, message, data});
}

} // namespace

CopyServiceSession::CopyServiceSession(const ServerConfig &config, int connectionId)
    : m_config(config), m_connectionId(connectionId)
{
}

CopyServiceSession::~CopyServiceSession()
{
    m_object.reset();
    if (m_db) {
        const SqlSession::Counts counts = m_db->counts();
        serverLog(u"#%1 database session closed: statements %2 run, %3 prepared"_s.arg(m_connectionId)
                      .arg(counts.run)
                      .arg(counts.prepared));
    }
    m_db.reset(); // rolls back a transaction the client left open
}

QJsonObject CopyServiceSession::open(const QJsonValue &id, const QJsonValue &params, bool &close)
{
    if (m_object)
        return failure(id, Code::InvalidRequest, u"A sessão já está aberta."_s);
    const QJsonValue server = params.toObject().value(QLatin1String("server"));
    if (!params.isObject() || !server.isString())
        return failure(id, Code::InvalidParams, u"rpc.open espera um objeto com \"server\" (e \"token\" quando exigido)."_s);
    if (server.toString() != QLatin1String(Wire::ServerObjectName))
        return failure(id, Code::UnknownServer, u"Objeto servidor desconhecido: \"%1\"."_s.arg(excerpt(server.toString())));
    if (!m_config.token.isEmpty()) {
        const QJsonValue token = params.toObject().value(QLatin1String("token"));
        if (!token.isString() || !tokensMatch(m_config.token, token.toString().toUtf8())) {
            close = true;
            return failure(id, Code::NotAuthorized, u"Não autorizado: token ausente ou incorreto."_s);
        }
    }
    try {
        const QString url = m_config.databaseUrl, name = u"rbx-session-%1"_s.arg(m_connectionId);
        m_db = std::make_unique<DbSession>([url, name] { return SqlSessionPool::instance().take(url, name); },
                                           [url](std::unique_ptr<SqlSession> session) {
                                               SqlSessionPool::instance().give(url, std::move(session));
                                           });
    } catch (const EHouseError &error) {
        return failure(id, Code::ServiceFailed, error.message());
    }
    m_object = std::make_unique<CopyServiceObject>(*m_db, m_connectionId);
    QStringList offered;
    if (!m_config.classicMethods) {
        for (const CopyService::MethodSignature &method : CopyService::extensions())
            offered << method.name;
    }
    return Wire::resultObject(id, Wire::openResult(QUuid::createUuid().toString(QUuid::WithoutBraces), offered));
}

QJsonObject CopyServiceSession::call(const QJsonValue &id, const QString &method, const QJsonValue &params)
{
    const auto entry = methodTable().constFind(method);
    const bool withheld = entry != methodTable().constEnd() && m_config.classicMethods
                          && CopyService::isExtension(entry->signature->id);
    if (entry == methodTable().constEnd() || withheld)
        return failure(id, Code::MethodNotFound, u"Método desconhecido: \"%1\"."_s.arg(excerpt(method)));
    if (params.isObject())
        return failure(id, Code::InvalidParams, u"Os argumentos de %1 devem ser uma lista posicional."_s.arg(method));
    const QJsonArray values = params.toArray();
    const CopyService::MethodSignature &signature = *entry->signature;
    const qsizetype expected = signature.kinds.size();
    if (values.size() != expected) {
        return failure(id, Code::InvalidParams,
                       u"%1 espera %2 argumento(s); recebeu %3."_s.arg(method).arg(expected).arg(values.size()),
                       QJsonObject{{u"expected"_s, double(expected)}, {u"received"_s, double(values.size())}});
    }
    CopyServiceObject::Args args;
    args.reserve(expected);
    for (qsizetype i = 0; i < expected; ++i) {
        QString why;
        const std::optional<Wire::Arg> arg = Wire::decodeArg(values.at(i), &why);
        const Wire::Arg::Kind kind = signature.kinds.at(i);
        if (arg && arg->kind != kind)
            why = u"recebido %1"_s.arg(Wire::kindName(arg->kind));
        if (!arg || arg->kind != kind) {
            return failure(id, Code::InvalidParams,
                           u"O argumento %1 de %2 deve ser %3 (%4)."_s.arg(i + 1).arg(method, Wire::kindName(kind), why),
                           QJsonObject{{u"position"_s, double(i)}, {u"expected"_s, Wire::kindName(kind)}});
        }
        args.append(*arg);
    }

    try {
        // a read writes nothing, so it may run again on a new connection when the old one died:
        // the second time from the arguments as they were sent
        const bool reads = signature.access == CopyService::Access::Reads;
        const CopyServiceObject::Args given = reads ? args : CopyServiceObject::Args();
        Wire::CallResult result = m_db->run(reads, signature.endsTransaction(), [&](bool again) {
            if (again)
                args = given;
            return (m_object.get()->*(entry->handler))(args);
        });
        for (qsizetype i = 0; i < args.size(); ++i) {
            if (args.at(i).byRef)
                result.byref.insert(int(i), args.at(i).text);
        }
        return Wire::resultObject(id, Wire::encodeCallResult(result));
    } catch (const ERemoteError &error) {
        return failure(id, error.code(), error.message());
    } catch (const EHouseError &error) {
        return failure(id, Code::ServiceFailed, error.message());
    } catch (const std::exception &error) {
        serverLog(u"#%1 %2: internal error: %3"_s.arg(m_connectionId).arg(method, QString::fromUtf8(error.what())));
        return failure(id, Code::InternalError, u"Erro interno do servidor."_s);
    }
}

void CopyServiceSession::transactionIdle(int idleMs)
{
    if (!m_db || !m_db->inTransaction())
        return;
    const QString seconds = QLocale(QLocale::Portuguese, QLocale::Brazil).toString(idleMs / 1000.0);
    m_db->abandonTransaction(u"A transação foi desfeita: a sessão ficou inativa por mais de %1 s."_s.arg(seconds));
    serverLog(u"#%1 transaction rolled back: nothing received for %2 ms"_s.arg(m_connectionId).arg(idleMs));
}
