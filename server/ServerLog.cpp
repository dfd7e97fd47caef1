#include "ServerLog.h"

#include <QDateTime>
#include <QMutex>

#include <algorithm>

#include <cstdio>

namespace rbx {

using namespace Qt::StringLiterals;

namespace {

bool needsEscape(QChar c)
{
    switch (c.category()) {
    case QChar::Other_Control:       // C0, DEL, C1
    case QChar::Separator_Line:      // U+2028: a line break to many viewers
    case QChar::Separator_Paragraph: // U+2029
        return true;
    default:
        return c == u'\\';
    }
}

} // namespace

QString logLineText(const QString &line)
{
    if (std::none_of(line.cbegin(), line.cend(), needsEscape))
        return line;
    QString escaped;
    escaped.reserve(line.size() + 16);
    for (const QChar c : line) {
        if (!needsEscape(c)) {
            escaped += c;
            continue;
        }
        switch (c.unicode()) {
        case u'\\': escaped += u"\\\\"_s; break;
        case u'\n': escaped += u"\\n"_s; break;
        case u'\r': escaped += u"\\r"_s; break;
        case u'\t': escaped += u"\\t"_s; break;
        default:
            escaped += c.unicode() <= 0xff ? u"\\x%1"_s.arg(uint(c.unicode()), 2, 16, QChar(u'0'))
                                           : u"\\u%1"_s.arg(uint(c.unicode()), 4, 16, QChar(u'0'));
        }
    }
    return escaped;
}

void serverLog(const QString &line)
{
    static QMutex mutex;
    const QByteArray bytes =
        (QDateTime::currentDateTime().toString(Qt::ISODateWithMs) + u' ' + logLineText(line) + u'\n').toUtf8();
    const QMutexLocker lock(&mutex);
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

} // namespace rbx
