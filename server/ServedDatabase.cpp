#include "ServedDatabase.h"

#include <db/Database.h>
#include <db/FirebirdConnection.h>
#include <db/FirebirdFiles.h>
#include <protocol/HouseError.h>
#include <db/Schema.h>

namespace rbx {

using namespace Qt::StringLiterals;

namespace {

QString howToCreate(const QString &url)
{
    return u" Crie-o com \"rbx53207-db schema %1\" (ou \"rbx53207-db demo %1\")."_s.arg(url);
}

// A Firebird server that says it has no such file; unreachable or without credentials, the
// owner's open says what is wrong.
bool missingOnFirebird(const QString &url)
{
    try {
        const std::optional<FirebirdServer::Target> target = FirebirdServer::parseUrl(url, nullptr);
        return target && !FirebirdFiles::exists(*target, FirebirdServer::credentialsFromEnvironment());
    } catch (const EDatabaseError &) {
        return false;
    }
}

} // namespace

std::optional<QString> refusedDatabase(const QString &url)
{
    const bool firebird = FirebirdServer::isFirebirdUrl(url);
    std::unique_ptr<Database> database;
    try {
        // a reader opens only what exists
        database = Database::open(url, u"rbx-served-check"_s, Database::Role::Reader);
    } catch (const EDatabaseError &error) {
        if (!firebird)
            return error.message() + howToCreate(url);
        if (missingOnFirebird(url))
            return u"Banco de dados Firebird não encontrado: %1."_s.arg(url) + howToCreate(url);
        return std::nullopt;
    }
    const QString where = firebird ? url : url.mid(url.indexOf(u':') + 1);
    // a file that is no SQLite database shows no tables either
    if (Schema::missingTables(*database).size() == Schema::tables().size())
        return u"O banco de dados %1 não tem o esquema do serviço de cópia."_s.arg(where) + howToCreate(url);
    return std::nullopt;
}

} // namespace rbx
