#pragma once

#include <QString>

#include <optional>

namespace rbx {

// Asks for the operator's password on the terminal without echo: "Senha de OPERADOR: " on
// standard error, the line read from /dev/tty, or from standard input when that is a terminal.
// Nothing when there is no terminal to ask on, or its input ended before a line.
std::optional<QString> askPasswordOnTerminal(const QString &operatorCode);

} // namespace rbx
