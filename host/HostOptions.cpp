#include "HostOptions.h"

#include <house/DBGeral.h>
#include <house/HouseSession.h>
#include <protocol/LogCategories.h>
#include <house/PasswordFile.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

namespace rbx {

namespace {

constexpr char16_t IniName[] = u"rbx53207-host.ini";

struct Source
{
    QString operatorCode, server, tokenFile, passwordFile, tlsCaFile, database, module, branch, timeout, log;
};

void overlay(Source &into, const Source &from)
{
    auto take = [](QString &to, const QString &value) {
        if (!value.isEmpty())
            to = value;
    };
    take(into.operatorCode, from.operatorCode);
    take(into.server, from.server);
    take(into.tokenFile, from.tokenFile);
    take(into.passwordFile, from.passwordFile);
    take(into.tlsCaFile, from.tlsCaFile);
    take(into.database, from.database);
    take(into.module, from.module);
    take(into.branch, from.branch);
    take(into.timeout, from.timeout);
    take(into.log, from.log);
}

Source fromIni(const QString &path)
{
    QSettings ini(path, QSettings::IniFormat);
    ini.beginGroup(QStringLiteral("host"));
    Source s;
    s.operatorCode = ini.value(QStringLiteral("operator")).toString();
    s.server = ini.value(QStringLiteral("server")).toString();
    s.tokenFile = ini.value(QStringLiteral("tokenFile")).toString();
    s.passwordFile = ini.value(QStringLiteral("password-file")).toString();
    s.tlsCaFile = ini.value(QStringLiteral("tls-ca")).toString();
    s.database = ini.value(QStringLiteral("database")).toString();
    s.module = ini.value(QStringLiteral("module")).toString();
    s.branch = ini.value(QStringLiteral("branch")).toString();
    s.timeout = ini.value(QStringLiteral("callTimeoutMs")).toString();
    s.log = ini.value(QStringLiteral("log")).toString();
    // Relative paths in the file are relative to the file.
    const QDir base = QFileInfo(path).absoluteDir();
    for (QString *file : {&s.tokenFile, &s.passwordFile, &s.tlsCaFile, &s.module}) {
        if (!file->isEmpty())
            *file = base.absoluteFilePath(*file);
    }
    if (s.database.startsWith(QLatin1String("sqlite:")) && s.database.size() > 7
        && QFileInfo(s.database.mid(7)).isRelative())
        s.database = QStringLiteral("sqlite:") + base.absoluteFilePath(s.database.mid(7));
    return s;
}

Source fromEnvironment(const QProcessEnvironment &env)
{
    Source s;
    s.operatorCode = env.value(QStringLiteral("RBX_OPERATOR"));
    s.server = env.value(QStringLiteral("RBX_SERVER"));
    s.tokenFile = env.value(QStringLiteral("RBX_TOKEN_FILE"));
    s.database = env.value(QStringLiteral("RBX_DATABASE"));
    s.module = env.value(QStringLiteral("RBX_MODULE"));
    s.branch = env.value(QStringLiteral("RBX_BRANCH"));
    return s;
}

} // namespace

void HostOptions::applyToHouse() const
{
    HouseSessionInfo &session = houseSession();
    session.operatorCode = operatorCode;
    session.serverHost = serverHost;
    session.serverPort = serverPort;
    session.token = token;
    session.tlsCaFile = tlsCaFile;
    session.callTimeoutMs = callTimeoutMs;
    dtmDBGeral().SetUrl(database);
}

HostOptionsResult configureHost(const QStringList &arguments, const QProcessEnvironment &environment,
                                const QString &programDir)
{
    HostOptionsResult result = readHostOptions(arguments, environment, programDir);
    if (result.error.isEmpty() && !result.helpShown)
        result.options.applyToHouse();
    return result;
}

bool parseServerAddress(const QString &text, QString &host, int &port, QString &why)
{
    const qsizetype colon = text.lastIndexOf(u':');
    if (colon <= 0 || colon == text.size() - 1) {
        why = QStringLiteral("Endereço do servidor inválido: '%1' (use HOST:PORTA).").arg(text);
        return false;
    }
    bool ok = false;
    const int number = text.mid(colon + 1).toInt(&ok);
    if (!ok || number <= 0 || number > 65535) {
        why = QStringLiteral("Porta do servidor inválida em '%1'.").arg(text);
        return false;
    }
    host = text.left(colon);
    if (host.startsWith(u'[') && host.endsWith(u']'))
        host = host.mid(1, host.size() - 2);
    port = number;
    return true;
}

QString hostUsage()
{
    return QStringLiteral(
        "Uso: rbx53207-host [opções]\n"
        "  --operator CÓDIGO      operador da sessão (RBX_OPERATOR)\n"
        "  --server HOST:PORTA    servidor de aplicação (RBX_SERVER; padrão 127.0.0.1:8211)\n"
        "  --token-file ARQUIVO   arquivo com o token do servidor (RBX_TOKEN_FILE)\n"
        "  --password-file ARQUIVO\n"
        "                         entra sem a janela de entrada, com a senha da primeira\n"
        "                         linha do arquivo (modo 0600)\n"
        "  --tls-ca ARQUIVO       certificado (PEM) em que confiar: conecta com TLS\n"
        "  --database URL         banco das consultas, ex. sqlite:CAMINHO (RBX_DATABASE)\n"
        "  --module ARQUIVO       biblioteca Pkg_RBX53207 (RBX_MODULE)\n"
        "  --branch CÓDIGO        filial (RBX_BRANCH)\n"
        "  --mode E|N|C           abre a tela já: E enteral/parenteral, N lactário,\n"
        "                         C Cópias realizadas\n"
        "  --screenshot ARQUIVO   salva a tela aberta em ARQUIVO (PNG) e termina\n"
        "  --call-timeout-ms N    espera máxima de cada chamada ao servidor\n"
        "  --config ARQUIVO       arquivo INI, seção [host] (RBX_HOST_CONFIG)\n"
        "  --log REGRAS           linhas de diagnóstico por área, ex. rbx.net.debug=true\n");
}

HostOptionsResult readHostOptions(const QStringList &arguments, const QProcessEnvironment &environment,
                                  const QString &programDir)
{
    HostOptionsResult result;
    HostOptions &o = result.options;

    Source cli;
    QString config = environment.value(QStringLiteral("RBX_HOST_CONFIG"));
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &arg = arguments.at(i);
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            result.helpShown = true;
            return result;
        }
        if (!arg.startsWith(QLatin1String("--")) || i + 1 >= arguments.size()) {
            result.error = QStringLiteral("Opção inválida ou sem valor: '%1'.\n%2").arg(arg, hostUsage());
            return result;
        }
        const QString value = arguments.at(++i);
        if (arg == QLatin1String("--operator")) cli.operatorCode = value;
        else if (arg == QLatin1String("--server")) cli.server = value;
        else if (arg == QLatin1String("--token-file")) cli.tokenFile = value;
        else if (arg == QLatin1String("--password-file")) cli.passwordFile = value;
        else if (arg == QLatin1String("--tls-ca")) cli.tlsCaFile = value;
        else if (arg == QLatin1String("--database")) cli.database = value;
        else if (arg == QLatin1String("--module")) cli.module = value;
        else if (arg == QLatin1String("--branch")) cli.branch = value;
        else if (arg == QLatin1String("--call-timeout-ms")) cli.timeout = value;
        else if (arg == QLatin1String("--log")) cli.log = value;
        else if (arg == QLatin1String("--mode")) o.mode = value;
        else if (arg == QLatin1String("--screenshot")) o.screenshot = value;
        else if (arg == QLatin1String("--config")) config = value;
        else {
            result.error = QStringLiteral("Opção desconhecida: '%1'.\n%2").arg(arg, hostUsage());
            return result;
        }
    }

    Source merged;
    if (config.isEmpty()) {
        const QString beside = QDir(programDir).absoluteFilePath(QString::fromUtf16(IniName));
        if (QFileInfo::exists(beside))
            config = beside;
    } else if (!QFileInfo(config).isFile()) {
        result.error = QStringLiteral("Arquivo de configuração não encontrado: '%1'.").arg(config);
        return result;
    }
    if (!config.isEmpty())
        overlay(merged, fromIni(config));
    overlay(merged, fromEnvironment(environment));
    overlay(merged, cli);

    if (!merged.log.isEmpty()) {
        if (const QString wrong = applyLogRules(merged.log); !wrong.isEmpty()) {
            result.error = QStringLiteral("--log: ") + wrong;
            return result;
        }
    }
    o.operatorCode = merged.operatorCode;
    o.tokenFile = merged.tokenFile;
    o.passwordFile = merged.passwordFile;
    o.tlsCaFile = merged.tlsCaFile;
    o.database = merged.database;
    o.modulePath = merged.module;
    o.branch = merged.branch;
    if (!merged.server.isEmpty()) {
        QString why;
        if (!parseServerAddress(merged.server, o.serverHost, o.serverPort, why)) {
            result.error = why;
            return result;
        }
    }
    if (!merged.timeout.isEmpty()) {
        bool ok = false;
        o.callTimeoutMs = merged.timeout.toInt(&ok);
        if (!ok || o.callTimeoutMs <= 0) {
            result.error = QStringLiteral("Tempo de espera inválido: '%1'.").arg(merged.timeout);
            return result;
        }
    }
    if (!o.mode.isEmpty() && o.mode != QLatin1String("E") && o.mode != QLatin1String("N")
        && o.mode != QLatin1String("C")) {
        result.error = QStringLiteral("Modo inválido: '%1' (use E, N ou C).").arg(o.mode);
        return result;
    }
    if (!o.mode.isEmpty() && o.branch.isEmpty()) {
        result.error = QStringLiteral("Informe a filial (--branch) para abrir a tela.");
        return result;
    }
    if (!o.screenshot.isEmpty() && o.mode.isEmpty()) {
        result.error = QStringLiteral("--screenshot precisa de --mode e --branch.");
        return result;
    }
    if (!o.tokenFile.isEmpty()) {
        QFile file(o.tokenFile);
        if (!file.open(QIODevice::ReadOnly)) {
            result.error = QStringLiteral("Não foi possível ler o arquivo de token '%1': %2")
                               .arg(o.tokenFile, file.errorString());
            return result;
        }
        o.token = QString::fromUtf8(file.readAll()).trimmed();
    }
    if (!o.passwordFile.isEmpty()) {
        QString why;
        const std::optional<QString> password = readPasswordFile(o.passwordFile, &why);
        if (!password) {
            result.error = why;
            return result;
        }
        o.password = *password;
    }
    // SQLite would make an empty file of a mistyped path, and the screen's lookups would then
    // fail on missing tables instead of the host saying what is wrong.
    if (const QString sqlite = QStringLiteral("sqlite:"); o.database.startsWith(sqlite)) {
        const QString path = o.database.mid(sqlite.size());
        if (!path.isEmpty() && path != QLatin1String(":memory:") && !QFileInfo(path).isFile()) {
            result.error = QStringLiteral("Banco de dados não encontrado: '%1' (--database).").arg(path);
            return result;
        }
    }
    if (!o.tlsCaFile.isEmpty() && !QFileInfo(o.tlsCaFile).isReadable()) {
        result.error = QStringLiteral("Não foi possível ler o certificado '%1' (--tls-ca).").arg(o.tlsCaFile);
        return result;
    }
    return result;
}

} // namespace rbx
