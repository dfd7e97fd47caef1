#include "DatabaseBackup.h"

#include "Database.h"
#include "DatabaseContents.h"
#include "DbToolOutput.h"
#include "FirebirdConnection.h"
#include "FirebirdUtilities.h"
#include <protocol/HouseError.h>
#include "SqliteFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <cstdio>

namespace rbx {

using namespace Qt::StringLiterals;

namespace {

QString sizeText(qint64 bytes)
{
    return QLocale(QLocale::Portuguese, QLocale::Brazil).formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
}

// What the checked copy holds, read from the copy itself.
QString contentsOf(const QString &url)
{
    auto copy = Database::open(url, u"rbx53207-db-backup"_s, Database::Role::Reader);
    return DatabaseContents::describe(*copy);
}

// Through SQLite's online backup API rather than VACUUM INTO: VACUUM INTO holds one read
// transaction for the whole copy, which in a rollback-journal database would keep the server's
// writers out until it ends; the backup API copies in short steps and yields between them.
QString backupSqlite(const QString &path, const QString &temporary)
{
    const SqliteFiles::CopySummary copied = SqliteFiles::copyOnline(path, temporary);
    const SqliteFiles::IntegrityReport integrity = SqliteFiles::checkIntegrity(temporary);
    if (integrity.state != SqliteFiles::Integrity::Ok)
        throw EDatabaseError(u"a cópia não passou na verificação de integridade: %1"_s.arg(integrity.problems.join(u"; "_s)));
    SqliteFiles::detachFromLog(temporary);
    return u"%1 páginas, %2"_s.arg(copied.pages).arg(contentsOf(u"sqlite:"_s + temporary));
}

QString backupFirebird(const QString &url, const QString &temporary)
{
    QString problem;
    const std::optional<FirebirdServer::Target> target = FirebirdServer::parseUrl(url, &problem);
    if (!target)
        throw EDatabaseError(problem);
    FirebirdUtilities::backup(*target, temporary);
    QString contents;
    FirebirdUtilities::verifyByRestoring(temporary, *target, [&](const QString &restoredUrl) {
        contents = contentsOf(restoredUrl);
    });
    return contents;
}

// The copy being written, and the files SQLite keeps beside it while it is open.
void removeTemporary(const QString &temporary)
{
    for (const QString &suffix : {QString(), u"-wal"_s, u"-shm"_s, u"-journal"_s})
        QFile::remove(temporary + suffix);
}

} // namespace

namespace DatabaseBackup {

int run(const QString &url, const QString &file)
{
    if (const QString problem = Database::checkUrl(url); !problem.isEmpty())
        return DbToolOutput::fail(problem);
    const QString sqlitePath = Database::sqlitePath(url);
    if (sqlitePath == u":memory:"_s)
        return DbToolOutput::fail(u"um banco em memória não tem cópia de segurança."_s);
    const QFileInfo target(file);
    if (!target.absoluteDir().exists())
        return DbToolOutput::fail(u"a pasta da cópia de segurança não existe: %1"_s.arg(target.absolutePath()));
    if (target.isDir())
        return DbToolOutput::fail(u"%1 é uma pasta; dê o nome do arquivo da cópia."_s.arg(file));

    // written under another name, so that a half-written copy never bears the final one
    const QString temporary = file + u".tmp"_s;
    removeTemporary(temporary);
    try {
        const QString contents = sqlitePath.isEmpty() ? backupFirebird(url, temporary) : backupSqlite(sqlitePath, temporary);
        // rename(2) replaces an older copy of the same name in one step
        if (std::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(file).constData()) != 0)
            throw EDatabaseError(u"não foi possível dar à cópia o nome %1."_s.arg(file));
        DbToolOutput::say(u"cópia de segurança gravada em %1: %2, %3"_s.arg(file, sizeText(QFileInfo(file).size()), contents));
        return 0;
    } catch (const EHouseError &error) {
        removeTemporary(temporary);
        return DbToolOutput::fail(u"cópia de segurança não gravada: %1"_s.arg(error.message()));
    }
}

} // namespace DatabaseBackup

} // namespace rbx
