#include "SqliteDialect.h"

#include <protocol/OleDate.h>
#include "Schema.h"
#include "SqlStatement.h"

#include <algorithm>
#include <cstdio>
#include <optional>

namespace rbx {

using namespace Qt::StringLiterals;

namespace {
// Date-times are stored as text in one fixed form, so that equality and ordering of the stored
// text are those of the instants and the file stays readable with any SQLite tool.
const QString StoredDateFormat = u"yyyy-MM-dd"_s;
const QString StoredTimeFormat = u"hh:mm:ss.zzz"_s;
constexpr qsizetype StoredLength = 23; // "2024-03-14 08:30:00.000"
} // namespace

QString SqliteDialect::name() const { return u"SQLite"_s; }

QString SqliteDialect::driverName() const { return u"QSQLITE"_s; }

QString SqliteDialect::columnType(Schema::ColumnType type, int size) const
{
    // SQLite keeps text as given (CHAR does not pad); the declared widths document the
    // columns and the service enforces them.
    switch (type) {
    case Schema::ColumnType::FixedText: return u"CHAR(%1)"_s.arg(size);
    case Schema::ColumnType::Text: return u"VARCHAR(%1)"_s.arg(size);
    case Schema::ColumnType::DateTime: return u"TIMESTAMP"_s;
    case Schema::ColumnType::Float: return u"DOUBLE PRECISION"_s;
    // a real child of a row-id key never matches it: SQLite looks the key up as an integer
    case Schema::ColumnType::Serial:
    case Schema::ColumnType::SerialReference: return u"INTEGER"_s;
    }
    return {};
}

QString SqliteDialect::nextSerial(const QString &) const { return u"NULL"_s; }

std::optional<QString> SqliteDialect::inlineSerialKey(const Schema::Column &column) const
{
    // the row id itself; AUTOINCREMENT keeps the number of a deleted last row from coming back
    return column.name + u" INTEGER PRIMARY KEY AUTOINCREMENT"_s;
}

QStringList SqliteDialect::sessionSetup() const
{
    // synchronous=FULL: a call answered as done must survive a power cut, and the service writes
    // a few rows per call, so the extra sync per commit costs little.
    // The busy timeout comes first so that switching the journal waits for other connections.
    // temp_store=MEMORY keeps the statement journal of each copy's savepoint in memory: on disk
    // its writes were a fifth of a grouped copy's time, and it only ever serves a rollback.
    return {u"PRAGMA busy_timeout=%1"_s.arg(BusyTimeoutMs), u"PRAGMA journal_mode=WAL"_s,
            u"PRAGMA synchronous=FULL"_s, u"PRAGMA foreign_keys=ON"_s, u"PRAGMA temp_store=MEMORY"_s};
}

void SqliteDialect::beginWrite(QSqlDatabase &db) const
{
    // IMMEDIATE takes the write lock up front: a deferred transaction that read first could be
    // refused the upgrade without waiting for the busy timeout.
    execSql(db, u"BEGIN IMMEDIATE"_s);
}

void SqliteDialect::commit(QSqlDatabase &db) const { execSql(db, u"COMMIT"_s); }

void SqliteDialect::rollback(QSqlDatabase &db) const { execSql(db, u"ROLLBACK"_s); }

QString SqliteDialect::groupPasses(const QString &flagParameter, const QString &listParameter,
                                   const QString &codeExpr) const
{
    return u"(%1 = 'T' OR instr(%2, '_' || %3 || '_') > 0)"_s.arg(flagParameter, listParameter, codeExpr);
}

QVariant SqliteDialect::dateTimeValue(double oleDate) const
{
    const QDateTime moment = OleDate::toDateTime(oleDate);
    const QDate date = moment.date();
    const QTime time = moment.time();
    // every copied row binds dates: written by hand, the format's parser is most of their cost
    if (moment.isValid() && date.year() >= 1000 && date.year() <= 9999) {
        char text[64];
        std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", date.year(), date.month(), date.day(),
                      time.hour(), time.minute(), time.second(), time.msec());
        return QString::fromLatin1(text, StoredLength);
    }
    return QString(date.toString(StoredDateFormat) + u' ' + time.toString(StoredTimeFormat));
}

namespace {

// The digits at [from, from + count) of a stored date, or -1.
int digitsAt(const QString &text, qsizetype from, qsizetype count)
{
    int value = 0;
    for (qsizetype i = from; i < from + count; ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c - u'0');
    }
    return value;
}

// A stored date in its exact format, read without the format's parser; nullopt otherwise.
std::optional<QDateTime> exactStoredDate(const QString &text)
{
    static constexpr struct
    {
        qsizetype at;
        char16_t separator;
    } separators[] = {{4, u'-'}, {7, u'-'}, {13, u':'}, {16, u':'}, {19, u'.'}};
    for (const auto &[at, separator] : separators) {
        if (text.at(at) != separator)
            return std::nullopt;
    }
    const int year = digitsAt(text, 0, 4), month = digitsAt(text, 5, 2), day = digitsAt(text, 8, 2);
    const int hour = digitsAt(text, 11, 2), minute = digitsAt(text, 14, 2), second = digitsAt(text, 17, 2);
    const int msec = digitsAt(text, 20, 3);
    if (std::min({year, month, day, hour, minute, second, msec}) < 0)
        return std::nullopt;
    const QDate date(year, month, day);
    const QTime time(hour, minute, second, msec);
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return QDateTime(date, time, Qt::UTC);
}

} // namespace

std::optional<double> SqliteDialect::oleDate(const QVariant &value) const
{
    const QString text = value.toString();
    if (text.size() != StoredLength || text.at(10) != u' ')
        return std::nullopt;
    if (const std::optional<QDateTime> exact = exactStoredDate(text))
        return OleDate::fromDateTime(*exact);
    const QDate date = QDate::fromString(text.left(10), StoredDateFormat);
    const QTime time = QTime::fromString(text.mid(11), StoredTimeFormat);
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    // UTC: a local time could fall into a daylight-saving gap and move.
    return OleDate::fromDateTime(QDateTime(date, time, Qt::UTC));
}

} // namespace rbx
