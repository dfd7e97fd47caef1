#include "TerminalPassword.h"

#include <protocol/SecretInput.h>

#include <cstdio>
#include <memory>

namespace rbx {

std::optional<QString> askPasswordOnTerminal(const QString &operatorCode)
{
    const QString prompt = QStringLiteral("Senha de %1: ").arg(operatorCode);
    // the controlling terminal, so that a redirected standard input is no answer
    const std::unique_ptr<std::FILE, int (*)(std::FILE *)> tty(std::fopen("/dev/tty", "re"), &std::fclose);
    if (tty && SecretInput::isTerminal(tty.get()))
        return SecretInput::readLine(tty.get(), prompt);
    if (SecretInput::isTerminal(stdin))
        return SecretInput::readLine(stdin, prompt);
    return std::nullopt;
}

} // namespace rbx
