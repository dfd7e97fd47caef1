#include "CopyRules.h"

#include <protocol/HouseError.h>

namespace rbx {

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

namespace CopyRules {

QString nextSequence(const QString &current, int width)
{
    bool ok = false;
    // in 64 bits: the largest number a column could answer must not overflow here
    const qint64 value = current.trimmed().toLongLong(&ok);
    if (!ok || value < 0)
        throw EConvertError(QStringLiteral("\"%1\" não é um número de sequência válido.").arg(current));
    return Ajusta(QString::number(value + 1), width);
}

QString beforeFirstSequence(int width) { return QString(width, u'0'); }

double movedConsumption(std::optional<double> consumption, double origin, double destination)
{
    if (!consumption)
        return 0;
    const long double offset = static_cast<long double>(*consumption) - static_cast<long double>(origin);
    return static_cast<double>(static_cast<long double>(destination) + offset);
}

double carriedWeight(double weight) { return QString::number(weight, 'g', 15).toDouble(); }

} // namespace CopyRules

} // namespace rbx
