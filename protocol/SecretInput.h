#pragma once

#include <protocol/rbx_protocol_export.h>

#include <QString>

#include <cstdio>
#include <optional>

namespace rbx {

// A secret read as one line, never from a command line: from a terminal with its echo off (the
// prompt on standard error), or from whatever standard input is. The line feed is not part of it.
namespace SecretInput {

// Nothing at the end of the input.
RBX_PROTOCOL_EXPORT std::optional<QString> readLine(std::FILE *input, const QString &prompt);
// True when the stream is a terminal a person can type into.
RBX_PROTOCOL_EXPORT bool isTerminal(std::FILE *input);

} // namespace SecretInput

} // namespace rbx
