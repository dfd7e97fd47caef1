#include "ServerLog.h"

#include <QDateTime>
#include <QMutex>

#include <cstdio>

void serverLog(const QString &line)
{
    static QMutex mutex;
    const QByteArray bytes = (QDateTime::currentDateTime().toString(Qt::ISODateWithMs) + u' ' + line + u'\n').toUtf8();
    const QMutexLocker lock(&mutex);
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}
