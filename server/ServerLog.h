#pragma once

#include <QString>

namespace rbx {

// One line on standard error, whole even when sessions log at the same time. Never pass a token.
// Every control character of the line is written as a visible escape (logLineText), so a text
// from a client can never end the line or start a forged one.
void serverLog(const QString &line);

// The line as serverLog writes it: \n, \r, \t, \\ and \xNN / \uNNNN for other controls and
// line separators.
QString logLineText(const QString &line);

} // namespace rbx
