#include "FormatText.h"

#include <protocol/HouseError.h>

#include <QLocale>

QString Format(const QString &format, const QStringList &args)
{
    QString out;
    out.reserve(format.size());
    qsizetype next = 0;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c != u'%') {
            out.append(c);
            continue;
        }
        if (i + 1 >= format.size())
            throw rbx::EConvertError(QStringLiteral("Formato '%1' termina em '%%'.").arg(format));
        const QChar directive = format.at(++i);
        if (directive == u'%') {
            out.append(u'%');
        } else if (directive == u's') {
            if (next >= args.size())
                throw rbx::EConvertError(QStringLiteral("Formato '%1' pede mais argumentos do que os dados.").arg(format));
            out.append(args.at(next++));
        } else {
            throw rbx::EConvertError(QStringLiteral("Formato '%1' tem a diretiva desconhecida '%%%2'.").arg(format, directive));
        }
    }
    return out;
}

QString formatCount(qint64 value)
{
    static const QLocale brazil(QLocale::Portuguese, QLocale::Brazil);
    return brazil.toString(value);
}
