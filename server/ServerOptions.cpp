#include "ServerOptions.h"

#include "Database.h"
#include "ServerLimits.h"

#include <QCommandLineParser>
#include <QFile>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>

using namespace Qt::StringLiterals;

namespace {

std::optional<qint64> positive(const QString &text, qint64 minimum, qint64 maximum)
{
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    if (!ok || value < minimum || value > maximum)
        return std::nullopt;
    return value;
}

bool parseListen(const QString &text, ServerConfig &config)
{
    const qsizetype colon = text.lastIndexOf(u':');
    if (colon <= 0)
        return false;
    QString host = text.left(colon);
    if (host.startsWith(u'[') && host.endsWith(u']'))
        host = host.mid(1, host.size() - 2);
    const auto port = positive(text.mid(colon + 1), 0, 65535);
    if (!port)
        return false;
    config.host = host == u"localhost"_s ? QHostAddress(QHostAddress::LocalHost) : QHostAddress(host);
    config.port = quint16(*port);
    return !config.host.isNull();
}

// The certificate chain (the server's first) and its key, as PEM files; the key stays in memory
// only, and no message ever shows its contents.
std::optional<QSslConfiguration> loadTls(const QString &certPath, const QString &keyPath, QString &error)
{
    if (!QSslSocket::supportsSsl()) {
        error = u"TLS is not available in this build (no TLS backend)"_s;
        return std::nullopt;
    }
    QFile certFile(certPath);
    QFile keyFile(keyPath);
    if (!certFile.open(QIODevice::ReadOnly)) {
        error = u"cannot read the TLS certificate %1: %2"_s.arg(certPath, certFile.errorString());
        return std::nullopt;
    }
    if (!keyFile.open(QIODevice::ReadOnly)) {
        error = u"cannot read the TLS key %1: %2"_s.arg(keyPath, keyFile.errorString());
        return std::nullopt;
    }
    const QList<QSslCertificate> chain = QSslCertificate::fromData(certFile.readAll(), QSsl::Pem);
    if (chain.isEmpty() || chain.first().isNull()) {
        error = u"the TLS certificate %1 holds no PEM certificate"_s.arg(certPath);
        return std::nullopt;
    }
    QSslKey key(&keyFile, QSsl::Rsa, QSsl::Pem);
    if (key.isNull())
        key = QSslKey(keyFile.seek(0) ? keyFile.readAll() : QByteArray(), QSsl::Ec, QSsl::Pem);
    if (key.isNull()) {
        error = u"the TLS key %1 holds no unencrypted PEM RSA or EC key"_s.arg(keyPath);
        return std::nullopt;
    }
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificateChain(chain);
    configuration.setPrivateKey(key);
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone); // clients prove themselves by the token
    configuration.setProtocol(QSsl::TlsV1_2OrLater);
    return configuration;
}

} // namespace

ParsedOptions parseServerOptions(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(u"Application server of the remote copy service \"Rbx53207.rdmCopiaForm\"."_s);
    const QCommandLineOption help(QStringList{u"h"_s, u"help"_s}, u"Show this help."_s);
    const QCommandLineOption database(u"database"_s, u"Database URL: sqlite:PATH."_s, u"URL"_s);
    const QCommandLineOption listen(u"listen"_s, u"Address and port to listen on; port 0 picks a free one."_s,
                                    u"HOST:PORT"_s,
                                    u"%1:%2"_s.arg(QLatin1String(ServerLimits::DefaultHost)).arg(ServerLimits::DefaultPort));
    const QCommandLineOption tokenFile(u"token-file"_s, u"File holding the token rpc.open must present."_s, u"FILE"_s);
    const QCommandLineOption maxConnections(u"max-connections"_s, u"Simultaneous connections."_s, u"N"_s,
                                            QString::number(ServerLimits::DefaultMaxConnections));
    const QCommandLineOption maxMessage(u"max-message-bytes"_s, u"Largest message accepted."_s, u"N"_s,
                                        QString::number(ServerLimits::DefaultMaxMessageBytes));
    const QCommandLineOption stall(u"stall-timeout-ms"_s,
                                   u"Drop a client stalled mid-message or not reading answers (0: never)."_s,
                                   u"MS"_s, QString::number(ServerLimits::DefaultStallTimeoutMs));
    const QCommandLineOption idle(u"idle-timeout-ms"_s, u"Drop a client idle between calls (0: never)."_s, u"MS"_s,
                                  QString::number(ServerLimits::DefaultIdleTimeoutMs));
    const QCommandLineOption tlsCert(u"tls-cert"_s, u"PEM certificate (chain) of the server: clients connect with TLS."_s,
                                     u"FILE"_s);
    const QCommandLineOption tlsKey(u"tls-key"_s, u"PEM private key of that certificate."_s, u"FILE"_s);
    const QCommandLineOption classic(u"classic-methods"_s,
                                     u"Offer only the nine methods of the copy service and the transaction calls."_s);
    const QCommandLineOption journalDays(u"journal-days"_s,
                                         u"Days the journal of copy runs keeps a run, for its undo (1..3650)."_s,
                                         u"N"_s, u"30"_s);
    parser.addOptions({help, database, listen, tokenFile, maxConnections, maxMessage, stall, idle, tlsCert, tlsKey,
                       classic, journalDays});

    ParsedOptions result;
    if (!parser.parse(arguments)) {
        result.error = parser.errorText();
        return result;
    }
    if (parser.isSet(help)) {
        result.helpText = parser.helpText();
        return result;
    }
    if (!parser.positionalArguments().isEmpty()) {
        result.error = u"unexpected argument: %1"_s.arg(parser.positionalArguments().first());
        return result;
    }

    ServerConfig config;
    config.databaseUrl = parser.value(database);
    if (config.databaseUrl.isEmpty()) {
        result.error = u"--database URL is required"_s;
        return result;
    }
    if (const QString problem = Database::checkUrl(config.databaseUrl); !problem.isEmpty()) {
        result.error = problem;
        return result;
    }
    if (!parseListen(parser.value(listen), config)) {
        result.error = u"--listen must be HOST:PORT with an IP address (or localhost) and a port up to 65535"_s;
        return result;
    }
    const auto connections = positive(parser.value(maxConnections), 1, 10000);
    const auto messageBytes = positive(parser.value(maxMessage), 64, qint64(1) << 30);
    const auto stallMs = positive(parser.value(stall), 0, 86400000);
    const auto idleMs = positive(parser.value(idle), 0, 86400000);
    if (!connections || !messageBytes || !stallMs || !idleMs) {
        result.error = u"--max-connections (1..10000), --max-message-bytes (64..1073741824) and the timeouts "
                       u"(0..86400000) take whole numbers in range"_s;
        return result;
    }
    config.maxConnections = int(*connections);
    config.maxMessageBytes = qsizetype(*messageBytes);
    config.stallTimeoutMs = int(*stallMs);
    config.idleTimeoutMs = int(*idleMs);
    config.classicMethods = parser.isSet(classic);
    const auto days = positive(parser.value(journalDays), 1, 3650);
    if (!days) {
        result.error = u"--journal-days takes a whole number from 1 to 3650"_s;
        return result;
    }
    config.journalDays = int(*days);

    if (parser.isSet(tokenFile)) {
        QFile file(parser.value(tokenFile));
        if (!file.open(QIODevice::ReadOnly)) {
            result.error = u"cannot read the token file %1: %2"_s.arg(file.fileName(), file.errorString());
            return result;
        }
        // a trailing line feed is how editors save a one-line file; it is no part of the token
        config.token = file.readAll().trimmed();
        if (config.token.isEmpty()) {
            result.error = u"the token file %1 is empty"_s.arg(file.fileName());
            return result;
        }
    }
    // Beyond this machine nobody may reach the prescriptions without the token.
    if (!config.host.isLoopback() && config.token.isEmpty()) {
        result.error = u"listening on %1, which is not a loopback address, needs --token-file"_s.arg(config.host.toString());
        return result;
    }
    if (parser.isSet(tlsCert) != parser.isSet(tlsKey)) {
        result.error = u"--tls-cert and --tls-key go together"_s;
        return result;
    }
    if (parser.isSet(tlsCert)) {
        QString problem;
        config.tls = loadTls(parser.value(tlsCert), parser.value(tlsKey), problem);
        if (!config.tls) {
            result.error = problem;
            return result;
        }
    }
    result.config = config;
    return result;
}
