#pragma once

#include <QByteArray>

namespace rbx {

// Compares a presented token with the expected one in time that depends on neither: both are
// hashed first, so not even the length leaks.
bool tokensMatch(const QByteArray &expected, const QByteArray &presented);

} // namespace rbx
