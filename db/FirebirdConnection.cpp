#include "FirebirdConnection.h"

#include <protocol/HouseError.h>

#include <QRegularExpression>

namespace rbx {

using namespace Qt::StringLiterals;

namespace FirebirdServer {

namespace {

const QString Scheme = u"firebird://"_s;
const QString Form = u"firebird://SERVIDOR[:PORTA]/CAMINHO"_s;

bool hasControlCharacter(const QString &text)
{
    for (const QChar c : text) {
        if (c.category() == QChar::Other_Control)
            return true;
    }
    return false;
}

} // namespace

QString Target::connectionString() const { return u"%1/%2:%3"_s.arg(host).arg(port).arg(path); }

bool isFirebirdUrl(const QString &url) { return url.startsWith(Scheme); }

std::optional<Target> parseUrl(const QString &url, QString *problem)
{
    const auto refuse = [&](const QString &why) -> std::optional<Target> {
        if (problem)
            *problem = u"URL Firebird inválida (%1): use %2."_s.arg(why, Form);
        return std::nullopt;
    };
    if (!isFirebirdUrl(url))
        return refuse(u"não começa com firebird://"_s);
    if (hasControlCharacter(url))
        return refuse(u"caractere de controle"_s);
    const QString rest = url.mid(Scheme.size());
    const qsizetype slash = rest.indexOf(u'/');
    if (slash < 0 || slash == rest.size() - 1)
        return refuse(u"sem o caminho do banco no servidor"_s);

    Target target;
    target.path = rest.mid(slash);
    const QString authority = rest.left(slash);
    // checked first: the other messages may quote a part of the authority
    if (authority.contains(u'@'))
        return refuse(u"usuário e senha não vão na URL; use ISC_USER e ISC_PASSWORD"_s);
    qsizetype hostEnd = authority.indexOf(u':');
    if (authority.startsWith(u'[')) { // IPv6 literal
        hostEnd = authority.indexOf(u']');
        if (hostEnd < 0)
            return refuse(u"endereço IPv6 sem \"]\""_s);
        ++hostEnd;
    }
    if (hostEnd < 0)
        hostEnd = authority.size();
    target.host = authority.left(hostEnd);
    const QString afterHost = authority.mid(hostEnd);
    if (!afterHost.isEmpty() && !afterHost.startsWith(u':'))
        return refuse(u"texto depois do servidor"_s);
    const QString portText = afterHost.mid(1);
    if (afterHost == u":"_s)
        return refuse(u"porta vazia"_s);
    if (target.host.isEmpty() || target.host == u"[]"_s)
        return refuse(u"sem servidor"_s);
    if (!portText.isEmpty()) {
        bool digits = true;
        for (const QChar c : portText)
            digits = digits && c >= u'0' && c <= u'9';
        const int port = digits && portText.size() <= 5 ? portText.toInt() : 0;
        if (port < 1 || port > 65535)
            return refuse(u"porta \"%1\""_s.arg(portText));
        target.port = port;
    }
    return target;
}

Credentials credentialsFromEnvironment()
{
    Credentials credentials{qEnvironmentVariable("ISC_USER"), qEnvironmentVariable("ISC_PASSWORD")};
    if (credentials.user.isEmpty() || credentials.password.isEmpty())
        throw EDatabaseError(u"Para usar o Firebird defina as variáveis de ambiente ISC_USER e ISC_PASSWORD."_s);
    return credentials;
}

QSqlDatabase addConnection(const Target &target, const QString &connectionName)
{
    const QString driver = u"QIBASE"_s;
    if (!QSqlDatabase::isDriverAvailable(driver))
        throw EDatabaseError(u"O driver %1 do Qt não está instalado (pacote libqt6sql6-ibase)."_s.arg(driver));
    if (QSqlDatabase::contains(connectionName))
        throw EDatabaseError(u"Já existe uma conexão chamada \"%1\"."_s.arg(connectionName));
    const Credentials credentials = credentialsFromEnvironment();
    QSqlDatabase db = QSqlDatabase::addDatabase(driver, connectionName);
    db.setHostName(target.host);
    db.setPort(target.port);
    db.setDatabaseName(target.path);
    db.setUserName(credentials.user);
    db.setPassword(credentials.password);
    // Accented texts must cross the wire as they are; recent drivers ask for UTF8 themselves.
    QString options = u"ISC_DPB_LC_CTYPE=UTF8"_s;
    if (const QString role = qEnvironmentVariable("ISC_ROLE"); !role.isEmpty()) {
        // the options are one ';'-separated text: a role is a plain name or nothing
        static const QRegularExpression plainName(u"^[A-Za-z][A-Za-z0-9_$]{0,62}$"_s);
        if (!plainName.match(role).hasMatch())
            throw EDatabaseError(u"ISC_ROLE deve ser o nome de um papel do Firebird (letras, dígitos, _ e $)."_s);
        options += u";ISC_DPB_SQL_ROLE_NAME="_s + role.toUpper();
    }
    db.setConnectOptions(options);
    return db;
}

} // namespace FirebirdServer

} // namespace rbx
