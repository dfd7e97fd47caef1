#include "ConnectionProbe.h"

#include <QSqlError>
#include <QSqlQuery>

namespace rbx {

using namespace Qt::StringLiterals;

bool reachesDatabase(const QSqlDatabase &db, QString *why)
{
    if (!db.isOpen()) {
        if (why)
            *why = u"a conexão está fechada"_s;
        return false;
    }
    const QString driver = db.driverName();
    const QString statement = driver == u"QIBASE"_s ? u"SELECT 1 FROM RDB$DATABASE"_s
                              : driver == u"QOCI"_s ? u"SELECT 1 FROM DUAL"_s
                                                    : u"SELECT 1"_s;
    QSqlQuery ping(db);
    if (ping.exec(statement))
        return true;
    if (why)
        *why = ping.lastError().text();
    return false;
}

} // namespace rbx
