#include "HostLogin.h"

#include <house/DialogSeam.h>
#include "HostOptions.h"
#include <protocol/HouseError.h>
#include <house/HouseSession.h>
#include <house/TNetConnection.h>

#include <QWidget>

namespace rbx {

QString logInSession(const QString &operatorCode, const QString &password)
{
    TNetConnection connection;
    connection.ServerName = QString::fromLatin1(Wire::ServerObjectName);
    connectAsSession(connection);
    connection.Operator = operatorCode;
    connection.Password = password;
    try {
        connection.SetConnected(true);
        const QString authenticated = connection.AuthenticatedOperator();
        connection.SetConnected(false);
        HouseSessionInfo &session = houseSession();
        session.operatorCode = authenticated.isEmpty() ? operatorCode : authenticated;
        session.password = password;
        return {};
    } catch (const ERemoteError &refused) {
        // the server's own words for a refusal say no more than this
        if (refused.code() == Wire::ErrorCode::NotAuthorized)
            return QStringLiteral("Operador ou senha inválidos.");
        return refused.message();
    } catch (const EHouseError &failure) {
        return failure.message();
    } catch (const std::exception &failure) {
        return QString::fromUtf8(failure.what());
    }
}

HostLoginResult logInHost(const HostOptions &options, QWidget *parent)
{
    if (!options.passwordFile.isEmpty()) {
        if (options.operatorCode.isEmpty())
            return {false, QStringLiteral("Informe o operador (--operator) para entrar com --password-file.")};
        const QString refusal = logInSession(options.operatorCode, options.password);
        return {refusal.isEmpty(), refusal};
    }
    const std::optional<LoginAnswer> answer = dialogSeam().login({parent, options.operatorCode, logInSession});
    return {answer.has_value(), QString()};
}

} // namespace rbx
