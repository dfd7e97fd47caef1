#include "DatabaseRestore.h"

#include "Database.h"
#include "DatabaseContents.h"
#include "DbToolOutput.h"
#include "FirebirdConnection.h"
#include "FirebirdFiles.h"
#include "FirebirdUtilities.h"
#include <protocol/HouseError.h>
#include "Schema.h"
#include "SqliteFiles.h"

#include <QFileInfo>

namespace rbx {

using namespace Qt::StringLiterals;

namespace {

const QString ConnectionName = u"rbx53207-db-restore"_s;

// A SQLite backup must be whole and hold the prescriptions' tables: any other SQLite file would
// replace the hospital's data with something that is not it.
void checkSqliteBackup(const QString &file)
{
    const SqliteFiles::IntegrityReport integrity = SqliteFiles::checkIntegrity(file);
    if (integrity.state != SqliteFiles::Integrity::Ok)
        throw EDatabaseError(u"a cópia %1 não passou na verificação de integridade: %2"_s.arg(
            file, integrity.problems.join(u"; "_s)));
    auto backup = Database::open(u"sqlite:"_s + file, ConnectionName, Database::Role::Reader);
    const QStringList missing = Schema::missingTables(*backup);
    if (missing.contains(u"SERVINTE"_s) || missing.contains(u"CONFESCO"_s))
        throw EDatabaseError(u"%1 não é uma cópia do banco da cópia de formulações (faltam as tabelas das prescrições)."_s.arg(file));
}

bool targetExists(const QString &url)
{
    const QString path = Database::sqlitePath(url);
    if (!path.isEmpty())
        return QFileInfo(path).size() > 0;
    QString problem;
    const std::optional<FirebirdServer::Target> target = FirebirdServer::parseUrl(url, &problem);
    if (!target)
        throw EDatabaseError(problem);
    return FirebirdFiles::exists(*target, FirebirdServer::credentialsFromEnvironment());
}

} // namespace

namespace DatabaseRestore {

int run(const QString &file, const QString &url, bool force)
{
    if (const QString problem = Database::checkUrl(url); !problem.isEmpty())
        return DbToolOutput::fail(problem);
    const QString sqlitePath = Database::sqlitePath(url);
    if (sqlitePath == u":memory:"_s)
        return DbToolOutput::fail(u"um banco em memória não pode ser restaurado."_s);
    if (!QFileInfo(file).isFile())
        return DbToolOutput::fail(u"cópia de segurança não encontrada: %1"_s.arg(file));
    bool touched = false;
    try {
        const std::optional<FirebirdServer::Target> firebird =
            sqlitePath.isEmpty() ? FirebirdServer::parseUrl(url, nullptr) : std::nullopt;
        if (firebird)
            FirebirdUtilities::verifyByRestoring(file, *firebird);
        else
            checkSqliteBackup(file);

        const bool exists = targetExists(url);
        if (exists) {
            auto target = Database::open(url, ConnectionName, Database::Role::Reader);
            const DatabaseContents::Prescriptions held = DatabaseContents::all(*target);
            if ((held.services > 0 || held.items > 0) && !force)
                return DbToolOutput::fail(u"o banco %1 tem dados (%2 serviços com %3 itens) e não foi alterado; para "
                                          u"substituí-lo pela cópia, repita com --force."_s
                                              .arg(url)
                                              .arg(held.services)
                                              .arg(held.items));
        }

        touched = true;
        if (firebird) {
            // gbak replaces a database only while nothing is attached to it: the server must be stopped
            FirebirdUtilities::restore(file, *firebird, exists);
        } else {
            // Into the target through its own pages and locks, not by replacing the file: a server
            // that holds it open would otherwise keep reading the replaced file, and its
            // write-ahead log could be applied to the new one.
            SqliteFiles::copyOnline(file, sqlitePath);
        }
        auto restored = Database::open(url, ConnectionName, Database::Role::Reader);
        DbToolOutput::say(u"cópia %1 restaurada em %2: %3"_s.arg(file, url, DatabaseContents::describe(*restored)));
        return 0;
    } catch (const EHouseError &error) {
        return DbToolOutput::fail(touched ? u"a restauração falhou e o banco pode ter ficado incompleto; repita-a: %1"_s.arg(error.message())
                                          : u"nada foi restaurado: %1"_s.arg(error.message()));
    }
}

} // namespace DatabaseRestore

} // namespace rbx
