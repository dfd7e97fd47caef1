#include "ServerOptions.h"

#include <db/Database.h>
#include <protocol/LogCategories.h>
#include <protocol/OptionsFile.h>
#include "ServerLimits.h"

#include <QCommandLineParser>
#include <QFile>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>

namespace rbx {

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
        error = u"TLS não está disponível nesta compilação (sem backend TLS)."_s;
        return std::nullopt;
    }
    QFile certFile(certPath);
    QFile keyFile(keyPath);
    if (!certFile.open(QIODevice::ReadOnly)) {
        error = u"não foi possível ler o certificado TLS %1: %2"_s.arg(certPath, certFile.errorString());
        return std::nullopt;
    }
    if (!keyFile.open(QIODevice::ReadOnly)) {
        error = u"não foi possível ler a chave TLS %1: %2"_s.arg(keyPath, keyFile.errorString());
        return std::nullopt;
    }
    const QList<QSslCertificate> chain = QSslCertificate::fromData(certFile.readAll(), QSsl::Pem);
    if (chain.isEmpty() || chain.first().isNull()) {
        error = u"o certificado TLS %1 não contém um certificado PEM."_s.arg(certPath);
        return std::nullopt;
    }
    QSslKey key(&keyFile, QSsl::Rsa, QSsl::Pem);
    if (key.isNull())
        key = QSslKey(keyFile.seek(0) ? keyFile.readAll() : QByteArray(), QSsl::Ec, QSsl::Pem);
    if (key.isNull()) {
        error = u"a chave TLS %1 não contém uma chave PEM RSA ou EC sem senha."_s.arg(keyPath);
        return std::nullopt;
    }
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificateChain(chain);
    configuration.setPrivateKey(key);
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone); // clients prove themselves by the token
    configuration.setProtocol(QSsl::TlsV1_2OrLater);
    return configuration;
}

ParsedOptions parseMergedOptions(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(u"Servidor de aplicação do serviço remoto de cópia \"Rbx53207.rdmCopiaForm\"."_s);
    const QCommandLineOption help(QStringList{u"h"_s, u"help"_s}, u"Mostra esta ajuda."_s);
    const QCommandLineOption database(u"database"_s, u"Banco de dados: sqlite:CAMINHO ou firebird://HOST[:PORTA]/CAMINHO; precisa existir com o "
                                                         u"esquema (rbx53207-db schema|demo URL)."_s,
                                    u"URL"_s);
    const QCommandLineOption listen(u"listen"_s, u"Endereço e porta em que atende; a porta 0 escolhe uma livre. Fora do loopback exige --token-file e TLS."_s,
                                    u"HOST:PORTA"_s,
                                    u"%1:%2"_s.arg(QLatin1String(ServerLimits::DefaultHost)).arg(ServerLimits::DefaultPort));
    const QCommandLineOption tokenFile(u"token-file"_s, u"Arquivo com o token que o rpc.open deve apresentar."_s,
                                       u"ARQUIVO"_s);
    const QCommandLineOption maxConnections(u"max-connections"_s, u"Conexões simultâneas."_s, u"N"_s,
                                            QString::number(ServerLimits::DefaultMaxConnections));
    const QCommandLineOption maxMessage(u"max-message-bytes"_s, u"Maior mensagem aceita, em bytes."_s, u"N"_s,
                                        QString::number(ServerLimits::DefaultMaxMessageBytes));
    const QCommandLineOption stall(u"stall-timeout-ms"_s,
                                   u"Desconecta o cliente parado no meio de uma mensagem ou que não lê as respostas (0: nunca)."_s,
                                   u"MS"_s, QString::number(ServerLimits::DefaultStallTimeoutMs));
    const QCommandLineOption idle(u"idle-timeout-ms"_s, u"Desconecta o cliente ocioso entre chamadas (0: nunca)."_s, u"MS"_s,
                                  QString::number(ServerLimits::DefaultIdleTimeoutMs));
    const QCommandLineOption idleTransaction(
        u"idle-transaction-timeout-ms"_s,
        u"Desfaz a transação aberta de um cliente que nada envia por esse tempo; a sessão continua (0: nunca)."_s, u"MS"_s,
        QString::number(ServerLimits::DefaultIdleTransactionTimeoutMs));
    const QCommandLineOption tlsCert(u"tls-cert"_s, u"Certificado PEM (cadeia) do servidor: os clientes conectam com TLS."_s,
                                     u"ARQUIVO"_s);
    const QCommandLineOption tlsKey(u"tls-key"_s, u"Chave privada PEM desse certificado."_s, u"ARQUIVO"_s);
    const QCommandLineOption classic(u"classic-methods"_s,
                                     u"Oferece só os nove métodos do serviço de cópia e as chamadas de transação."_s);
    const QCommandLineOption upgrade(u"upgrade"_s,
                                     u"Atualiza ao iniciar um banco de uma versão anterior do esquema."_s);
    const QCommandLineOption journalDays(u"journal-days"_s,
                                         u"Dias em que o diário das cópias guarda uma execução, para desfazê-la (1..3650)."_s,
                                         u"N"_s, u"30"_s);
    const QCommandLineOption groupServices(
        u"group-services"_s,
        u"Cópias no servidor que um cliente mantém em trânsito são confirmadas juntas, até este número por confirmação "
        u"(1: cada uma sozinha)."_s,
        u"N"_s, QString::number(ServerLimits::DefaultGroupServices));
    const QCommandLineOption groupMs(u"group-ms"_s,
                                     u"Tempo máximo, em milissegundos, em que cópias esperam juntas a confirmação."_s,
                                     u"MS"_s, QString::number(ServerLimits::DefaultGroupMs));
    const QCommandLineOption pamService(
        u"pam-service"_s,
        u"Serviço PAM que confere a senha (mecanismo PLAIN) dos operadores sem verificador SCRAM no banco: o diretório do local."_s,
        u"NOME"_s);
    const QCommandLineOption configFile(
        u"config"_s, u"Arquivo INI com as mesmas chaves das opções longas; a linha de comando prevalece."_s, u"ARQUIVO"_s);
    const QCommandLineOption log = logOption();
    const QList<QCommandLineOption> options = {help, database, listen, tokenFile, maxConnections, maxMessage, stall, idle,
                                               idleTransaction, tlsCert, tlsKey, classic, upgrade, journalDays, groupServices,
                                               groupMs, pamService, configFile, log};
    parser.addOptions(options);

    ParsedOptions result;
    const OptionsFileResult withFile = withOptionsFile(arguments, options);
    if (!withFile.error.isEmpty()) {
        result.error = withFile.error;
        return result;
    }
    if (!parser.parse(withFile.arguments)) {
        result.error = parser.errorText();
        return result;
    }
    if (parser.isSet(help)) {
        result.helpText = parser.helpText();
        return result;
    }
    if (!parser.positionalArguments().isEmpty()) {
        result.error = u"argumento inesperado: %1"_s.arg(parser.positionalArguments().first());
        return result;
    }

    if (parser.isSet(log)) {
        if (const QString wrong = applyLogRules(parser.value(log)); !wrong.isEmpty()) {
            result.error = u"--log: "_s + wrong;
            return result;
        }
    }
    ServerConfig config;
    config.databaseUrl = parser.value(database);
    if (config.databaseUrl.isEmpty()) {
        result.error = u"--database URL é obrigatório (sqlite:CAMINHO ou firebird://HOST[:PORTA]/CAMINHO)."_s;
        return result;
    }
    if (const QString problem = Database::checkUrl(config.databaseUrl); !problem.isEmpty()) {
        result.error = problem;
        return result;
    }
    if (!parseListen(parser.value(listen), config)) {
        result.error = u"--listen deve ser HOST:PORTA com um endereço IP (ou localhost) e uma porta até 65535."_s;
        return result;
    }
    const auto connections = positive(parser.value(maxConnections), 1, 10000);
    const auto messageBytes = positive(parser.value(maxMessage), 64, qint64(1) << 30);
    const auto stallMs = positive(parser.value(stall), 0, 86400000);
    const auto idleMs = positive(parser.value(idle), 0, 86400000);
    const auto idleTransactionMs = positive(parser.value(idleTransaction), 0, 86400000);
    if (!connections || !messageBytes || !stallMs || !idleMs || !idleTransactionMs) {
        result.error = u"--max-connections (1..10000), --max-message-bytes (64..1073741824) e os tempos de espera "
                       u"(0..86400000) recebem números inteiros nesses intervalos."_s;
        return result;
    }
    config.maxConnections = int(*connections);
    config.maxMessageBytes = qsizetype(*messageBytes);
    config.stallTimeoutMs = int(*stallMs);
    config.idleTimeoutMs = int(*idleMs);
    config.idleTransactionTimeoutMs = int(*idleTransactionMs);
    config.classicMethods = parser.isSet(classic);
    config.upgradeSchema = parser.isSet(upgrade);
    const auto days = positive(parser.value(journalDays), 1, 3650);
    if (!days) {
        result.error = u"--journal-days deve ser um número inteiro de 1 a 3650."_s;
        return result;
    }
    config.journalDays = int(*days);
    const auto grouped = positive(parser.value(groupServices), 1, 100000);
    const auto groupedMs = positive(parser.value(groupMs), 0, 60000);
    if (!grouped || !groupedMs) {
        result.error = u"--group-services recebe um número inteiro de 1 a 100000, --group-ms de 0 a 60000."_s;
        return result;
    }
    config.groupServices = int(*grouped);
    config.groupMs = int(*groupedMs);
    config.pamService = parser.value(pamService);

    if (parser.isSet(tokenFile)) {
        QFile file(parser.value(tokenFile));
        if (!file.open(QIODevice::ReadOnly)) {
            result.error = u"não foi possível ler o arquivo de token %1: %2"_s.arg(file.fileName(), file.errorString());
            return result;
        }
        // a trailing line feed is how editors save a one-line file; it is no part of the token
        config.token = file.readAll().trimmed();
        if (config.token.isEmpty()) {
            result.error = u"o arquivo de token %1 está vazio."_s.arg(file.fileName());
            return result;
        }
    }
    // Beyond this machine nobody may reach the prescriptions without the token.
    if (!config.host.isLoopback() && config.token.isEmpty()) {
        result.error = u"atender em %1, que não é um endereço de loopback, exige --token-file."_s.arg(config.host.toString());
        return result;
    }
    if (parser.isSet(tlsCert) != parser.isSet(tlsKey)) {
        result.error = u"--tls-cert e --tls-key vão juntos."_s;
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
    // The token and the prescriptions cross the network only encrypted.
    if (!config.host.isLoopback() && !config.tls) {
        result.error = u"atender em %1, que não é um endereço de loopback, exige TLS: --tls-cert e --tls-key "
                       u"(tls-cert e tls-key no arquivo de configuração)."_s.arg(config.host.toString());
        return result;
    }
    result.config = config;
    return result;
}

} // namespace

ParsedOptions parseServerOptions(const QStringList &arguments)
{
    ParsedOptions result = parseMergedOptions(arguments);
    // the bad value may be the file's or the command line's: name both places to look
    if (const auto file = configFileArgument(arguments); file && !result.error.isEmpty()
        && !result.error.startsWith(*file))
        result.error = u"%1 (opções lidas de %2 e da linha de comando)"_s.arg(result.error, *file);
    return result;
}

} // namespace rbx
