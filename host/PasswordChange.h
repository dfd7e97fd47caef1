#pragma once

class QWidget;

namespace rbx {

// "Alterar senha": asks for the new password twice through the dialog seam, sends its verifier
// for the session's operator, and keeps it for the screens' later connections. Says itself what
// went wrong, and "Senha alterada." when it worked; true then. Never throws.
bool changeSessionPassword(QWidget *parent);

} // namespace rbx
