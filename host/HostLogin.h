#pragma once

#include <QString>

class QWidget;

namespace rbx {

struct HostOptions;

// One login to the session's server: empty when the server let the operator in, the session
// then acting as the operator the server authenticated, with this password for the screens'
// connections; else the text for the user. Never throws.
QString logInSession(const QString &operatorCode, const QString &password);

struct HostLoginResult
{
    bool loggedIn = false;
    QString error; // empty when the user cancelled the dialog
};

// The host's login: with a password file at once, else through the dialog seam's login,
// which asks again after each refusal until someone is let in or the user cancels.
HostLoginResult logInHost(const HostOptions &options, QWidget *parent);

} // namespace rbx
