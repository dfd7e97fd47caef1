#include "TextRoutines.h"

#include <protocol/HouseError.h>

bool EmptyString(const QString &text)
{
    // A masked date edit shows its separators and blanks when nothing is typed.
    for (const QChar c : text) {
        if (!c.isSpace() && c != u'/')
            return false;
    }
    return true;
}

int StrToInt(const QString &text)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, 10);
    if (!ok || text.trimmed().isEmpty())
        throw rbx::EConvertError(QStringLiteral("'%1' não é um valor inteiro válido.").arg(text));
    return value;
}
