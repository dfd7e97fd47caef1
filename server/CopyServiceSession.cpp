#include "CopyServiceSession.h"

#include "ArgReader.h"
#include "AuthThrottle.h"
#include "CopyServiceObject.h"
#include "OperatorDirectory.h"
#include "PamCheck.h"
#include "SaslServerExchange.h"
#include <db/SqlSession.h>
#include "SqlSessionPool.h"
#include "DbSession.h"
#include <protocol/HouseError.h>
#include "MethodTable.h"
#include "ServerLog.h"
#include "ServerOptions.h"
#include "TokenCheck.h"

#include <QJsonArray>
#include <QLocale>
#include <QThread>
#include <QUuid>

namespace rbx {

using namespace Qt::StringLiterals;
namespace Code = Wire::ErrorCode;

namespace {

QJsonObject failure(const QJsonValue &id, int code, const QString &message, const QJsonValue &data = {})
{
    return Wire::errorObject(id, {code, message, data});
}

} // namespace

CopyServiceSession::CopyServiceSession(const ServerConfig &config, int connectionId, PeerInfo peer)
    : m_config(config), m_connectionId(connectionId), m_peer(std::move(peer))
{
}

CopyServiceSession::~CopyServiceSession()
{
    m_exchange.reset();
    m_object.reset();
    if (m_db) {
        const SqlSession::Counts counts = m_db->counts();
        serverLog(u"#%1 database session closed: statements %2 run, %3 prepared"_s.arg(m_connectionId)
                      .arg(counts.run)
                      .arg(counts.prepared));
    }
    m_db.reset(); // rolls back a transaction the client left open
}

void CopyServiceSession::connectionEnded() noexcept
{
    if (m_object)
        m_object->connectionEnded();
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
    return login(id, params, close);
}

QStringList CopyServiceSession::mechanisms() const
{
    QStringList offered{QLatin1String(Wire::ScramMechanism)};
    // PLAIN shows the password to the server: only where no one else can read it
    if (m_peer.tls || m_peer.loopback)
        offered << QLatin1String(Wire::PlainMechanism);
    return offered;
}

void CopyServiceSession::ensureDatabaseSession()
{
    if (m_db)
        return;
    const QString url = m_config.databaseUrl, name = u"rbx-session-%1"_s.arg(m_connectionId);
    m_db = std::make_unique<DbSession>([url, name] { return SqlSessionPool::instance().take(url, name); },
                                       [url](std::unique_ptr<SqlSession> session) {
                                           SqlSessionPool::instance().give(url, std::move(session));
                                       });
}

QJsonObject CopyServiceSession::login(const QJsonValue &id, const QJsonValue &params, bool &close)
{
    m_loginStarted.start();
    m_exchange.reset();
    const QJsonObject given = params.toObject();
    const QJsonValue mechanism = given.value(QLatin1String("mechanism"));
    const QJsonValue data = given.value(QLatin1String("data"));
    if (!mechanism.isString()) {
        close = true;
        return failure(id, Code::NotAuthorized, u"Não autorizado: o servidor exige que o operador se identifique."_s,
                       QJsonObject{{u"mechanisms"_s, QJsonArray::fromStringList(mechanisms())}});
    }
    m_mechanism = mechanism.toString();
    if (!mechanisms().contains(m_mechanism) || !data.isString())
        return refuseLogin(id, close, u"mechanism not offered"_s);
    try {
        ensureDatabaseSession();
    } catch (const EHouseError &error) {
        return failure(id, Code::ServiceFailed, error.message());
    }
    SaslServerExchange::DirectoryCheck directory;
    if (!m_config.pamService.isEmpty()) {
        directory = [service = m_config.pamService](const QString &user, const QString &password) {
            return pamAuthenticates(service, user, password);
        };
    }
    m_exchange = std::make_unique<SaslServerExchange>(
        m_mechanism, [this](const QString &code) { return OperatorDirectory(*m_db).find(code); }, directory);
    QByteArray answer;
    switch (m_exchange->step(data.toString().toLatin1(), answer)) {
    case SaslServerExchange::Step::Continue:
        return Wire::resultObject(id, QJsonObject{{u"challenge"_s, QString::fromLatin1(answer)}});
    case SaslServerExchange::Step::Done:
        return openSession(id, answer);
    case SaslServerExchange::Step::Failed:
        break;
    }
    return refuseLogin(id, close, u"credentials refused"_s);
}

QJsonObject CopyServiceSession::auth(const QJsonValue &id, const QJsonValue &params, bool &close)
{
    if (m_object)
        return failure(id, Code::InvalidRequest, u"A sessão já está aberta."_s);
    if (!m_exchange) {
        m_loginStarted.start();
        return refuseLogin(id, close, u"rpc.auth without a login under way"_s);
    }
    const QJsonValue data = params.toObject().value(QLatin1String("data"));
    QByteArray answer;
    if (data.isString() && m_exchange->step(data.toString().toLatin1(), answer) == SaslServerExchange::Step::Done)
        return openSession(id, answer);
    return refuseLogin(id, close, u"credentials refused"_s);
}

QJsonObject CopyServiceSession::refuseLogin(const QJsonValue &id, bool &close, const QString &why)
{
    close = true;
    // the database could not say who the operator is: the service failed, not the operator
    if (m_exchange && !m_exchange->lookupFailure().isEmpty()) {
        const QString failure = m_exchange->lookupFailure();
        m_exchange.reset();
        m_db->dropIfLost();
        return rbx::failure(id, Code::ServiceFailed, failure);
    }
    const QString claimed = m_exchange ? m_exchange->claimedOperator() : QString();
    m_exchange.reset();
    const QString host = m_peer.address.section(u':', 0, -2); // without the port: one per attempt
    const std::chrono::milliseconds wait = AuthThrottle::failed(claimed, host, m_config.authFailureDelayMs);
    serverLog(u"#%1 login refused from %2: operator \"%3\", %4 (%5 recent failures)"_s.arg(m_connectionId)
                  .arg(m_peer.address, excerpt(claimed), why)
                  .arg(AuthThrottle::recentFailures(claimed, host)));
    // every refusal takes as long, whatever failed, and repeated ones longer
    const qint64 left = qint64(wait.count()) - m_loginStarted.elapsed();
    if (left > 0)
        QThread::msleep(quint64(left));
    return failure(id, Code::NotAuthorized, u"Não autorizado: operador ou senha inválidos."_s);
}

QJsonObject CopyServiceSession::openSession(const QJsonValue &id, const QByteArray &saslFinal)
{
    m_acting = {};
    m_acting.code = m_exchange->claimedOperator();
    m_acting.supervisor = m_exchange->record().supervisor;
    m_acting.peer = m_peer.address;
    try {
        m_acting.branches = OperatorDirectory(*m_db).branchesOf(m_acting.code);
    } catch (const EHouseError &error) {
        m_exchange.reset();
        m_acting = {};
        return failure(id, Code::ServiceFailed, error.message());
    }
    m_exchange.reset();
    AuthThrottle::succeeded(m_acting.code);
    serverLog(u"#%1 operator \"%2\" logged in from %3 (%4%5)"_s.arg(m_connectionId)
                  .arg(excerpt(m_acting.code), m_peer.address, m_mechanism, m_peer.tls ? u", TLS"_s : QString()));
    m_object = std::make_unique<CopyServiceObject>(*m_db, m_connectionId, &m_acting,
                                                   CopyServiceObject::Grouping{m_config.groupServices, m_config.groupMs});
    QStringList offered;
    if (!m_config.classicMethods) {
        for (const CopyService::MethodSignature &method : CopyService::extensions())
            offered << method.name;
    }
    return Wire::resultObject(id, Wire::openResult(QUuid::createUuid().toString(QUuid::WithoutBraces), offered,
                                                   m_acting.code, saslFinal));
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
    if (const std::optional<QString> why = refusal(m_acting, signature, args))
        return failure(id, Code::NotPermitted, *why);

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

bool CopyServiceSession::joinsGroup(const QString &method) const
{
    return m_object && m_object->groupsCopies() && method == CopyService::method(CopyService::MethodId::CopServInte).name;
}

bool CopyServiceSession::groupOpen() const { return m_db && m_db->groupOpen(); }

void CopyServiceSession::endGroup()
{
    if (m_object)
        m_object->endGroup();
}

std::optional<SessionHandler::GroupEnd> CopyServiceSession::takeGroupEnd()
{
    const std::optional<DbSession::GroupEnd> end = m_object ? m_object->takeGroupEnd() : std::nullopt;
    if (!end)
        return std::nullopt;
    GroupEnd told;
    if (!end->committed)
        told.failure = Wire::ErrorInfo{Code::ServiceFailed, end->why, {}};
    return told;
}

} // namespace rbx
