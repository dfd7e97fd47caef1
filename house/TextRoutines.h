#pragma once

#include <house/rbx_house_export.h>

#include <copyrules/CopyRules.h> // Ajusta

#include <QString>

// Small routines of the house library that screens call by name.

// True for an empty selection list and for a date edit with no digit typed.
RBX_HOUSE_EXPORT bool EmptyString(const QString &text);


template <typename T>
T iif(bool condition, const T &whenTrue, const T &whenFalse)
{
    return condition ? whenTrue : whenFalse;
}
inline QString iif(bool condition, const char *whenTrue, const char *whenFalse)
{
    return QString::fromUtf8(condition ? whenTrue : whenFalse);
}

// Decimal text to integer as the runtime's StrToInt does: optional sign, digits, nothing else.
RBX_HOUSE_EXPORT int StrToInt(const QString &text);
