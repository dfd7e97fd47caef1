#pragma once

#include <QString>

namespace rbx {

// Checks an operator's password with the site's directory through PAM (authentication and
// account), under the service the server was started with. Blocks the calling thread.
bool pamAuthenticates(const QString &service, const QString &user, const QString &password);

} // namespace rbx
