#pragma once

#include <QString>
#include <QStringList>

namespace rbx {

// SQLite database files as whole files, through libsqlite3 itself: the online copy of one into
// another and the check of a file's pages, which Qt's driver does not offer.
namespace SqliteFiles {

struct CopySummary
{
    qint64 pages = 0;
    int restarts = 0; // times a writer changed the source and the copy began again
};

// Copies the database at `from` into `to` (created when missing, replaced otherwise) page by page
// while other connections keep writing to `from`: the copy is one committed state of it. Throws
// EDatabaseError.
CopySummary copyOnline(const QString &from, const QString &to);

// Makes a copy one self-contained file: no write-ahead log beside it. Throws EDatabaseError.
void detachFromLog(const QString &path);

enum class Integrity { Ok, Damaged, Unreadable };

struct IntegrityReport
{
    Integrity state = Integrity::Unreadable;
    QStringList problems; // SQLite's own lines, or why the file could not be read
};

// PRAGMA integrity_check on the file, opened read-only; a missing file is Unreadable.
IntegrityReport checkIntegrity(const QString &path);

} // namespace SqliteFiles

} // namespace rbx
