#include "TextRoutines.h"

#include "HouseError.h"

bool EmptyString(const QString &text)
{
    // A masked date edit shows its separators and blanks when nothing is typed.
    for (const QChar c : text) {
        if (!c.isSpace() && c != u'/')
            return false;
    }
    return true;
}

QString Ajusta(const QString &decimal, int width)
{
    const QString digits = decimal.trimmed();
    bool ok = false;
    const qlonglong value = digits.toLongLong(&ok);
    if (!ok || value < 0)
        throw EConvertError(QStringLiteral("\"%1\" não é um número de sequência válido.").arg(decimal));
    const QString plain = QString::number(value);
    if (plain.size() > qsizetype(width))
        throw EConvertError(QStringLiteral("A sequência %1 não cabe em %2 dígitos.").arg(plain).arg(width));
    return plain.rightJustified(width, u'0');
}

int StrToInt(const QString &text)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, 10);
    if (!ok || text.trimmed().isEmpty())
        throw EConvertError(QStringLiteral("'%1' não é um valor inteiro válido.").arg(text));
    return value;
}
