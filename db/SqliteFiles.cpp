#include "SqliteFiles.h"

#include <protocol/HouseError.h>
#include "SqliteDialect.h"

#include <QFileInfo>
#include <QThread>

#include <sqlite3.h>

#include <memory>

namespace rbx {

using namespace Qt::StringLiterals;

namespace {

// A step copies this many pages (4 MiB at SQLite's usual page size) under a short read lock, and
// the pause after it lets a writer in: a copy running beside the server never starves it.
constexpr int PagesPerStep = 1024;
constexpr int PauseAfterStepMs = 5;
// Each write of another connection restarts the copy at its next step. After this many restarts
// the rest is copied in one step: in WAL mode (the service's) one read transaction blocks no
// writer, it only keeps the log from being checkpointed meanwhile.
constexpr int RestartsBeforeOneStep = 3;
constexpr int BusyPauseMs = 50;
constexpr int BusyRetries = SqliteDialect::BusyTimeoutMs / BusyPauseMs;

struct Closer
{
    void operator()(sqlite3 *db) const { sqlite3_close_v2(db); }
};
using Connection = std::unique_ptr<sqlite3, Closer>;

QString messageOf(sqlite3 *db) { return QString::fromUtf8(sqlite3_errmsg(db)); }

// On failure throws with SQLite's reason, or returns nothing for the caller to report.
Connection open(const QString &path, int flags, QString *why = nullptr)
{
    sqlite3 *raw = nullptr;
    const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &raw, flags, nullptr);
    Connection db(raw);
    if (rc != SQLITE_OK) {
        const QString reason = raw ? messageOf(raw) : QString::fromUtf8(sqlite3_errstr(rc));
        if (why) {
            *why = reason;
            return {};
        }
        throw EDatabaseError(u"Não foi possível abrir o banco de dados %1: %2"_s.arg(path, reason));
    }
    sqlite3_busy_timeout(db.get(), SqliteDialect::BusyTimeoutMs);
    return db;
}

bool isBusy(int rc)
{
    const int primary = rc & 0xff;
    return primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
}

bool isDamage(int rc)
{
    const int primary = rc & 0xff;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

} // namespace

namespace SqliteFiles {

CopySummary copyOnline(const QString &from, const QString &to)
{
    if (!QFileInfo(from).isFile())
        throw EDatabaseError(u"Banco de dados não encontrado: '%1'."_s.arg(from));
    // read-write without create: a reader of a WAL database may need to write its shared-memory
    // file, and this connection runs no statement that writes
    const Connection source = open(from, SQLITE_OPEN_READWRITE);
    const Connection target = open(to, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    sqlite3_backup *backup = sqlite3_backup_init(target.get(), "main", source.get(), "main");
    if (!backup)
        throw EDatabaseError(u"Não foi possível copiar %1 para %2: %3"_s.arg(from, to, messageOf(target.get())));

    CopySummary summary;
    int lastRemaining = -1;
    int busy = 0;
    int rc = SQLITE_OK;
    for (;;) {
        rc = sqlite3_backup_step(backup, summary.restarts < RestartsBeforeOneStep ? PagesPerStep : -1);
        if (rc == SQLITE_DONE)
            break;
        if (rc == SQLITE_OK) {
            busy = 0;
            const int remaining = sqlite3_backup_remaining(backup);
            if (lastRemaining >= 0 && remaining > lastRemaining)
                ++summary.restarts;
            lastRemaining = remaining;
            QThread::msleep(PauseAfterStepMs);
            continue;
        }
        if (isBusy(rc) && ++busy <= BusyRetries) {
            QThread::msleep(BusyPauseMs);
            continue;
        }
        break;
    }
    summary.pages = sqlite3_backup_pagecount(backup);
    const int finished = sqlite3_backup_finish(backup);
    if (rc != SQLITE_DONE || finished != SQLITE_OK)
        throw EDatabaseError(u"A cópia de %1 para %2 falhou: %3"_s.arg(
            from, to, QString::fromUtf8(sqlite3_errstr(rc != SQLITE_DONE ? rc : finished))));
    return summary;
}

void detachFromLog(const QString &path)
{
    const Connection db = open(path, SQLITE_OPEN_READWRITE);
    char *error = nullptr;
    if (sqlite3_exec(db.get(), "PRAGMA journal_mode=DELETE", nullptr, nullptr, &error) != SQLITE_OK) {
        const QString why = QString::fromUtf8(error);
        sqlite3_free(error);
        throw EDatabaseError(u"Não foi possível preparar a cópia %1: %2"_s.arg(path, why));
    }
}

IntegrityReport checkIntegrity(const QString &path)
{
    IntegrityReport report;
    if (!QFileInfo(path).isFile()) {
        report.problems << u"arquivo não encontrado: %1"_s.arg(path);
        return report;
    }
    QString why;
    const Connection db = open(path, SQLITE_OPEN_READONLY, &why);
    if (!db) {
        report.problems << why;
        return report;
    }
    sqlite3_stmt *statement = nullptr;
    int rc = sqlite3_prepare_v2(db.get(), "PRAGMA integrity_check", -1, &statement, nullptr);
    QStringList lines;
    while (rc == SQLITE_OK || rc == SQLITE_ROW) {
        rc = sqlite3_step(statement);
        if (rc == SQLITE_ROW)
            lines << QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(statement, 0)));
    }
    sqlite3_finalize(statement);
    if (rc != SQLITE_DONE) {
        // a header or schema page too damaged to even run the check is damage too
        report.state = isDamage(rc) ? Integrity::Damaged : Integrity::Unreadable;
        report.problems << messageOf(db.get());
        return report;
    }
    report.state = lines == QStringList{u"ok"_s} ? Integrity::Ok : Integrity::Damaged;
    if (report.state == Integrity::Damaged)
        report.problems = lines;
    return report;
}

} // namespace SqliteFiles

} // namespace rbx
