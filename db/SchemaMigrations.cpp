// How a database reaches the schema this program serves: made whole when it has none, brought up
// version by version when it is older.
#include "Database.h"
#include "FirebirdDialect.h"
#include <protocol/HouseError.h>
#include "Schema.h"
#include "SchemaVersion.h"
#include "SqlDialect.h"
#include "SqlStatement.h"
#include "SqlTransaction.h"

#include <QSqlDatabase>
#include <QSqlRecord>

namespace rbx {

using namespace Qt::StringLiterals;

namespace Schema {

namespace {

// The tables, columns and routines of the declared schema the database lacks, in one
// transaction. Every later migration that adds a table or a nullable column is covered by it.
void makeMissing(Database &database)
{
    const QStringList missing = missingTables(database);
    const QList<std::pair<QString, Column>> columns = missingColumns(database);
    const QStringList routines = database.dialect().missingRoutines(database.sql());
    if (missing.isEmpty() && columns.isEmpty() && routines.isEmpty())
        return;
    SqlTransaction transaction(database);
    for (const Table &table : tables()) {
        if (!missing.contains(table.name))
            continue;
        for (const QString &statement : database.dialect().createTable(table))
            execSql(database.sql(), statement);
    }
    for (const auto &[table, column] : columns)
        execSql(database.sql(), database.dialect().addColumn(table, column));
    for (const QString &statement : routines)
        execSql(database.sql(), statement);
    transaction.commit();
}

void recordVersion(Database &database, int version)
{
    SqlStatement(database.sql(),
                 u"INSERT INTO VERSAOESQUEMA (NRVERSAO, DTAPLICADA, DSVERSAO) VALUES (:V, CURRENT_TIMESTAMP, :T)"_s)
        .bind(u":V"_s, double(version))
        .bind(u":T"_s, versionText(version))
        .exec();
}

QVariant single(Database &database, const QString &sql)
{
    SqlStatement query(database.sql(), sql);
    query.exec();
    const QVariant value = query.next() ? query.value(0) : QVariant();
    query.finish();
    return value;
}

// SQLite: the table made again (the documented way to change a column: a new table, the rows
// copied, the old one dropped, the new one renamed) unless its run number is already an integer.
void runNumberAsInteger(Database &database, const Table &target)
{
    SqlStatement columns(database.sql(), u"SELECT type FROM pragma_table_info('%1') WHERE name = 'IDEXECUCAO'"_s.arg(target.name));
    columns.exec();
    const bool integer = columns.next() && columns.value(0).toString().compare(u"INTEGER"_s, Qt::CaseInsensitive) == 0;
    columns.finish();
    if (integer)
        return;
    const QString fresh = target.name + u"_NOVA"_s;
    const QSqlRecord present = database.sql().record(target.name);
    QStringList kept;
    for (const Column &column : target.columns) {
        if (present.indexOf(column.name) >= 0)
            kept << column.name;
    }
    const SqlDialect &dialect = database.dialect();
    QStringList made = dialect.createTable(target);
    // under a name of its own, its constraints named as the table's
    execSql(database.sql(), made.takeFirst().replace(u"CREATE TABLE "_s + target.name + u" ("_s,
                                                       u"CREATE TABLE "_s + fresh + u" ("_s));
    execSql(database.sql(), u"INSERT INTO %1 (%2) SELECT %2 FROM %3"_s.arg(fresh, kept.join(u", "_s), target.name));
    execSql(database.sql(), u"DROP TABLE "_s + target.name);
    execSql(database.sql(), u"ALTER TABLE %1 RENAME TO %2"_s.arg(fresh, target.name));
    for (const QString &statement : made)
        execSql(database.sql(), statement);
}

// Runs were numbered by the server with MAX()+1, which two servers on one database could give
// twice. SQLite: EXECCOPIA's key becomes the row id, and the journal's references to it integers
// (the foreign keys are off meanwhile, so that dropping a table takes no journal line with it).
// Firebird: a sequence past the highest run.
void runsNumberedByTheDatabase(Database &database)
{
    const SqlDialect &dialect = database.dialect();
    const Table &runs = table(u"EXECCOPIA"_s);
    if (!dialect.schemaChangesShareTransactions()) {
        const QString sequence = FirebirdDialect::sequenceOf(runs.name);
        SqlStatement exists(database.sql(), u"SELECT 1 FROM RDB$GENERATORS WHERE RDB$GENERATOR_NAME = :N"_s);
        exists.bind(u":N"_s, sequence).exec();
        const bool present = exists.next();
        exists.finish();
        if (!present) {
            SqlTransaction transaction(database);
            for (const QString &statement : dialect.serialObjects(runs.name))
                execSql(database.sql(), statement);
            transaction.commit();
        }
        // the sequence is outside any transaction: moved only while it is behind
        SqlTransaction transaction(database);
        const QVariant highest =
            single(database, u"SELECT FIRST 1 IDEXECUCAO FROM EXECCOPIA ORDER BY IDEXECUCAO DESC"_s);
        const qint64 at = single(database, u"SELECT GEN_ID(%1, 0) FROM RDB$DATABASE"_s.arg(sequence)).toLongLong();
        if (!highest.isNull() && highest.toLongLong() > at)
            single(database, u"SELECT GEN_ID(%1, %2) FROM RDB$DATABASE"_s.arg(sequence).arg(highest.toLongLong() - at));
        transaction.commit();
        return;
    }
    for (const QString &name : {runs.name, u"EXECLINHA"_s, u"EXECDESFEITO"_s})
        runNumberAsInteger(database, table(name));
    SqlStatement check(database.sql(), u"PRAGMA foreign_key_check"_s);
    check.exec();
    if (check.next())
        throw EDatabaseError(u"o diário das cópias refeito deixou linhas sem a sua execução"_s);
}

struct Migration
{
    QString text;
    void (*apply)(Database &);
    // false: runs inside the transaction that records its version, where the product allows it;
    // true: commits on its own, and is safe to run again
    bool ownTransactions = false;
    // SQLite checks foreign keys at each statement; a table is made again only with them off
    bool foreignKeysOff = false;
};

const QList<Migration> &migrations()
{
    // index i brings version i to i + 1
    static const QList<Migration> all = {
        {u"tabelas e colunas da versão 0.1 e o registro da versão do esquema"_s, makeMissing, true, false},
        {u"execuções numeradas pelo banco de dados"_s, runsNumberedByTheDatabase, false, true},
    };
    static_assert(CurrentVersion == 2, "a migration for every version");
    return all;
}

void migrate(Database &database, int from)
{
    const Migration &migration = migrations().at(from);
    const auto record = [&] {
        SqlTransaction transaction(database);
        recordVersion(database, from + 1);
        transaction.commit();
    };
    if (migration.ownTransactions || !database.dialect().schemaChangesShareTransactions()) {
        migration.apply(database);
        record();
        return;
    }
    // the pragma is ignored inside a transaction
    const auto foreignKeys = [&](bool on) {
        if (migration.foreignKeysOff)
            execSql(database.sql(), on ? u"PRAGMA foreign_keys=ON"_s : u"PRAGMA foreign_keys=OFF"_s);
    };
    foreignKeys(false);
    try {
        SqlTransaction transaction(database);
        migration.apply(database);
        recordVersion(database, from + 1);
        transaction.commit();
    } catch (...) {
        foreignKeys(true);
        throw;
    }
    foreignKeys(true);
}

} // namespace

std::optional<int> storedVersion(Database &database)
{
    const QStringList missing = missingTables(database);
    if (missing.size() == tables().size())
        return std::nullopt;
    if (missing.contains(u"VERSAOESQUEMA"_s))
        return 0;
    return single(database, u"SELECT NRVERSAO FROM VERSAOESQUEMA ORDER BY NRVERSAO DESC"_s).toInt();
}

QString versionText(int version)
{
    if (version <= 0 || version > migrations().size())
        return {};
    return migrations().at(version - 1).text;
}

QString versionRefusal(int stored, const QString &url)
{
    if (stored > CurrentVersion)
        return u"O banco de dados %1 está na versão %2 do esquema, mais nova que a versão %3 deste programa: "
               u"atualize o programa."_s.arg(url)
            .arg(stored)
            .arg(CurrentVersion);
    if (stored < CurrentVersion)
        return u"O banco de dados %1 está na versão %2 do esquema e este programa usa a versão %3. Atualize o "
               u"banco com \"rbx53207-db upgrade %1\" (depois de uma cópia de segurança) ou inicie o servidor com "
               u"--upgrade."_s.arg(url)
            .arg(stored)
            .arg(CurrentVersion);
    return {};
}

void upgrade(Database &database, const std::function<void(int version)> &starting)
{
    const std::optional<int> stored = storedVersion(database);
    if (!stored)
        throw EDatabaseError(u"o banco de dados não tem o esquema do serviço de cópia"_s);
    if (*stored > CurrentVersion)
        throw EDatabaseError(versionRefusal(*stored, database.sql().databaseName()));
    for (int version = *stored; version < CurrentVersion; ++version) {
        if (starting)
            starting(version + 1);
        migrate(database, version);
    }
    // what the current version declares and the database lacks (a dropped column, a routine)
    makeMissing(database);
}

void create(Database &database)
{
    const std::optional<int> stored = storedVersion(database);
    if (!stored) {
        makeMissing(database);
        SqlTransaction transaction(database);
        recordVersion(database, CurrentVersion);
        transaction.commit();
        return;
    }
    upgrade(database);
}

} // namespace Schema

} // namespace rbx
