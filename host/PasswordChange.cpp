#include "PasswordChange.h"

#include <remote/CopyServiceClient.h>
#include <house/DialogSeam.h>
#include <house/HandlerGuard.h>
#include <protocol/HouseError.h>
#include <house/HouseSession.h>

#include <QWidget>

namespace rbx {

bool changeSessionPassword(QWidget *parent)
{
    const std::optional<NewPasswordAnswer> typed = dialogSeam().newPassword(parent);
    if (!typed)
        return false;
    bool changed = false;
    guarded(parent, [&] {
        if (typed->password.isEmpty())
            throw EValidationError(QStringLiteral("Informe a nova senha."));
        if (typed->password != typed->confirmation)
            throw EValidationError(QStringLiteral("A confirmação não confere com a nova senha."));
        TNetConnection connection;
        connection.ServerName = QString::fromLatin1(Wire::ServerObjectName);
        connectAsSession(connection);
        connection.SetConnected(true);
        if (!connection.Offers(CopyService::method(CopyService::MethodId::AlteraSenha).name))
            throw EValidationError(QStringLiteral("Este servidor não permite alterar a senha."));
        CopyServiceClient(connection).AlteraSenha(houseSession().operatorCode, typed->password);
        changed = true;
    });
    if (!changed)
        return false;
    houseSession().password = typed->password;
    dialogSeam().message({parent, mtInformation, mbOK, QStringLiteral("Senha alterada."), 0});
    return true;
}

} // namespace rbx
