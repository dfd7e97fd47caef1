#include "Database.h"

#include "FirebirdConnection.h"
#include "FirebirdDialect.h"
#include "FirebirdFiles.h"
#include <protocol/HouseError.h>
#include "SqlStatement.h"
#include "SqliteDialect.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlError>

namespace rbx {

using namespace Qt::StringLiterals;

namespace {

const QString SqliteScheme = u"sqlite:"_s;
const QString Forms = u"sqlite:CAMINHO ou firebird://SERVIDOR[:PORTA]/CAMINHO"_s;

const SqliteDialect &sqliteDialect()
{
    static const SqliteDialect dialect;
    return dialect;
}

const FirebirdDialect &firebirdDialect()
{
    static const FirebirdDialect dialect;
    return dialect;
}

// A connection that was never opened leaves nothing registered under its name.
void forget(QSqlDatabase &db, const QString &connectionName)
{
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(connectionName);
}

QSqlDatabase openSqlite(const QString &url, const QString &connectionName, Database::Role role)
{
    const SqlDialect &dialect = sqliteDialect();
    const QString path = url.mid(SqliteScheme.size());
    const bool inMemory = path == u":memory:"_s;
    if (role == Database::Role::Reader) {
        // SQLite would create an empty file (and memory is always empty): every read would then
        // fail with a missing table instead of saying what is wrong.
        if (inMemory || !QFileInfo(path).isFile())
            throw EDatabaseError(u"Banco de dados não encontrado: '%1'."_s.arg(path));
    } else if (!inMemory) {
        const QFileInfo file(path);
        if (!file.absoluteDir().exists())
            throw EDatabaseError(u"A pasta do banco de dados não existe: %1"_s.arg(file.absolutePath()));
    }
    if (!QSqlDatabase::isDriverAvailable(dialect.driverName()))
        throw EDatabaseError(u"O driver %1 do Qt não está instalado."_s.arg(dialect.driverName()));
    if (QSqlDatabase::contains(connectionName))
        throw EDatabaseError(u"Já existe uma conexão chamada \"%1\"."_s.arg(connectionName));
    QSqlDatabase db = QSqlDatabase::addDatabase(dialect.driverName(), connectionName);
    db.setDatabaseName(path);
    // read-only for SQLite itself: no statement run over a reader's connection can write
    if (role == Database::Role::Reader)
        db.setConnectOptions(u"QSQLITE_BUSY_TIMEOUT=%1;QSQLITE_OPEN_READONLY"_s.arg(SqliteDialect::BusyTimeoutMs));
    if (!db.open()) {
        const QString why = db.lastError().text();
        forget(db, connectionName);
        throw EDatabaseError(u"Não foi possível abrir o banco de dados %1: %2"_s.arg(path, why));
    }
    return db;
}

bool missingOnServer(const FirebirdServer::Target &target, const FirebirdServer::Credentials &credentials)
{
    try {
        return !FirebirdFiles::exists(target, credentials);
    } catch (const EDatabaseError &) {
        // an unreachable server or refused credentials: the error of the open says so
        return false;
    }
}

// An owner creates the database first when the server has no such file, as a SQLite file comes
// into being on first use.
QSqlDatabase openFirebird(const QString &url, const QString &connectionName, Database::Role role)
{
    QString problem;
    const std::optional<FirebirdServer::Target> target = FirebirdServer::parseUrl(url, &problem);
    if (!target)
        throw EDatabaseError(problem);
    QSqlDatabase db = FirebirdServer::addConnection(*target, connectionName);
    if (db.open())
        return db;
    QString why = db.lastError().text();
    const FirebirdServer::Credentials credentials = FirebirdServer::credentialsFromEnvironment();
    if (role == Database::Role::Owner && missingOnServer(*target, credentials)) {
        try {
            FirebirdFiles::create(*target, credentials);
        } catch (const EDatabaseError &) {
            if (db.open()) // created by someone else meanwhile
                return db;
            forget(db, connectionName);
            throw;
        }
        if (db.open())
            return db;
        why = db.lastError().text();
    }
    forget(db, connectionName);
    throw EDatabaseError(u"Não foi possível abrir o banco Firebird %1: %2"_s.arg(target->connectionString(), why));
}

} // namespace

const SqlDialect *Database::dialectOf(QSqlDriver::DbmsType product)
{
    switch (product) {
    case QSqlDriver::SQLite: return &sqliteDialect();
    case QSqlDriver::Interbase: return &firebirdDialect();
    default: return nullptr;
    }
}

QString Database::checkUrl(const QString &url)
{
    if (url.startsWith(SqliteScheme)) {
        if (url.size() == SqliteScheme.size())
            return u"URL de banco de dados sem caminho: use sqlite:CAMINHO."_s;
        return {};
    }
    if (FirebirdServer::isFirebirdUrl(url)) {
        QString problem;
        return FirebirdServer::parseUrl(url, &problem) ? QString() : problem;
    }
    const qsizetype colon = url.indexOf(u':');
    if (colon <= 0)
        return u"URL de banco de dados inválida (use %1)."_s.arg(Forms);
    return u"Banco de dados \"%1\" não suportado: use %2."_s.arg(url.left(colon), Forms);
}

QString Database::sqlitePath(const QString &url)
{
    return url.startsWith(SqliteScheme) ? url.mid(SqliteScheme.size()) : QString();
}

std::unique_ptr<Database> Database::open(const QString &url, const QString &connectionName, Role role)
{
    const QString problem = checkUrl(url);
    if (!problem.isEmpty())
        throw EDatabaseError(problem);

    const bool firebird = FirebirdServer::isFirebirdUrl(url);
    const SqlDialect &dialect = firebird ? static_cast<const SqlDialect &>(firebirdDialect()) : sqliteDialect();
    QSqlDatabase db = firebird ? openFirebird(url, connectionName, role) : openSqlite(url, connectionName, role);
    std::unique_ptr<Database> database(new Database(db, dialect, connectionName));
    // Not for a reader: SQLite's set-up may switch the file's journal, a write that needs the
    // database's lock and a write access a reader may lack, and the rest of it only matters to
    // writers. The busy timeout a reader does need comes with its connection.
    if (role == Role::Owner) {
        for (const QString &statement : dialect.sessionSetup())
            execSql(database->m_db, statement);
    }
    return database;
}

Database::Database(QSqlDatabase db, const SqlDialect &dialect, QString connectionName)
    : m_db(std::move(db)), m_dialect(&dialect), m_connectionName(std::move(connectionName))
{
}

Database::~Database()
{
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connectionName);
}

} // namespace rbx
