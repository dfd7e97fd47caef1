#include "ReliabilityKit.h"

#include <protocol/OleDate.h>
#include <db/SqlDialect.h>
#include <db/SqlStatement.h>
#include <support/TestOperators.h>

#include <QFile>
#include <QRegularExpression>
#include <QSqlRecord>
#include <QTest>

namespace rbx {

using namespace Qt::StringLiterals;

namespace Reliability {

QString storedDate(const Database &database, QDate date)
{
    return database.dialect().dateTimeValue(OleDate::fromDate(date)).toString();
}

namespace {

QString rowsOf(Database &database, const QString &sql, QDate date, const QString &branch)
{
    SqlStatement query(database.sql(), sql);
    query.bind(u":DTSERVINTE"_s, storedDate(database, date)).bind(u":CDFILIAL"_s, branch).exec();
    QString text;
    while (query.next()) {
        const QSqlRecord record = query.query().record();
        for (int i = 0; i < record.count(); ++i)
            text += (record.isNull(i) ? u"<null>"_s : record.value(i).toString()) + u'|';
        text += u'\n';
    }
    return text;
}

} // namespace

QString snapshot(Database &database, QDate date, const QString &branch)
{
    return rowsOf(database,
                  u"SELECT * FROM SERVINTE WHERE DTSERVINTE = :DTSERVINTE AND CDFILIAL = :CDFILIAL"
                  u" ORDER BY CDPACIENTE, NRSEQUSERV"_s,
                  date, branch)
           + u"--\n"_s
           + rowsOf(database,
                    u"SELECT * FROM CONFESCO WHERE DTSERVINTE = :DTSERVINTE AND CDFILIAL = :CDFILIAL"
                    u" ORDER BY CDPACIENTE, NRSEQUSERV, CDSEQUCOPR"_s,
                    date, branch);
}

QMap<QString, QList<int>> servicesWithItems(Database &database, QDate date, const QString &branch)
{
    SqlStatement query(database.sql(), uR"(
SELECT S.CDPACIENTE, S.CDSERVFILI, S.CDDIETPAD,
       (SELECT COUNT(*) FROM CONFESCO C WHERE C.CDPACIENTE = S.CDPACIENTE AND C.DTSERVINTE = S.DTSERVINTE
                                         AND C.NRSEQUSERV = S.NRSEQUSERV AND C.CDFILIAL = S.CDFILIAL)
  FROM SERVINTE S
 WHERE S.DTSERVINTE = :DTSERVINTE AND S.CDFILIAL = :CDFILIAL
 ORDER BY S.CDPACIENTE, S.NRSEQUSERV)"_s);
    query.bind(u":DTSERVINTE"_s, storedDate(database, date)).bind(u":CDFILIAL"_s, branch).exec();
    QMap<QString, QList<int>> services;
    while (query.next()) {
        const QString key = query.value(0).toString() + u'|' + query.value(1).toString() + u'|' + query.value(2).toString();
        services[key].append(query.value(3).toInt());
    }
    return services;
}

QStringList halfCopies(Database &database, QDate origin, QDate destination, const QString &branch)
{
    const QMap<QString, QList<int>> from = servicesWithItems(database, origin, branch);
    const QMap<QString, QList<int>> to = servicesWithItems(database, destination, branch);
    QStringList faults;
    for (auto it = to.cbegin(); it != to.cend(); ++it) {
        if (it.value().size() != 1)
            faults << u"%1: %2 services at the destination"_s.arg(it.key()).arg(it.value().size());
        else if (!from.contains(it.key()))
            faults << u"%1: at the destination but not at the origin"_s.arg(it.key());
        else if (it.value().first() != from.value(it.key()).first())
            faults << u"%1: %2 of %3 items"_s.arg(it.key()).arg(it.value().first()).arg(from.value(it.key()).first());
    }
    return faults;
}

QString copyProgram() { return qEnvironmentVariable("RBX_TEST_BINARY_DIR") + u"/copy/rbx53207-copy"_s; }

QStringList copyArguments(quint16 port, QDate from, QDate to, const QString &branch)
{
    return {u"--server"_s,   u"127.0.0.1:%1"_s.arg(port),    u"--operator"_s, TestSupport::TestOperator,
            u"--password-file"_s, TestSupport::passwordFile(), u"--branch"_s,   branch,
            u"--from"_s,     from.toString(Qt::ISODate),     u"--to"_s,       to.toString(Qt::ISODate),
            u"--yes"_s};
}

bool waitFor(const std::function<bool()> &condition, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(50);
    }
    return true;
}

qint64 residentKiB(qint64 pid)
{
    QFile status(u"/proc/%1/status"_s.arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    static const QRegularExpression line(u"^VmRSS:\\s+(\\d+) kB"_s, QRegularExpression::MultilineOption);
    const auto match = line.match(QString::fromLatin1(status.readAll()));
    return match.hasMatch() ? match.captured(1).toLongLong() : -1;
}

} // namespace Reliability

} // namespace rbx
