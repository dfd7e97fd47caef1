#include "Database.h"

#include "FirebirdConnection.h"
#include "FirebirdDialect.h"
#include "FirebirdFiles.h"
#include "HouseError.h"
#include "SqlStatement.h"
#include "SqliteDialect.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlError>

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

QSqlDatabase openSqlite(const QString &url, const SqlDialect &dialect, const QString &connectionName)
{
    const QString path = url.mid(SqliteScheme.size());
    if (path != u":memory:"_s) {
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
    if (!db.open()) {
        const QString why = db.lastError().text();
        forget(db, connectionName);
        throw EDatabaseError(u"Não foi possível abrir o banco de dados %1: %2"_s.arg(path, why));
    }
    return db;
}

// Opens the database, creating it first when the server has no such file, as a SQLite file
// comes into being on first use.
QSqlDatabase openFirebird(const QString &url, const QString &connectionName)
{
    QString problem;
    const std::optional<Firebird::Target> target = Firebird::parseUrl(url, &problem);
    if (!target)
        throw EDatabaseError(problem);
    QSqlDatabase db = Firebird::addConnection(*target, connectionName);
    if (db.open())
        return db;
    QString why = db.lastError().text();
    const Firebird::Credentials credentials = Firebird::credentialsFromEnvironment();
    bool missing = false;
    try {
        missing = !FirebirdFiles::exists(*target, credentials);
    } catch (const EDatabaseError &) {
        // an unreachable server or refused credentials: the error of the open says so
    }
    if (missing) {
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

QString Database::checkUrl(const QString &url)
{
    if (url.startsWith(SqliteScheme)) {
        if (url.size() == SqliteScheme.size())
            return u"URL de banco de dados sem caminho: use sqlite:CAMINHO."_s;
        return {};
    }
    if (Firebird::isFirebirdUrl(url)) {
        QString problem;
        return Firebird::parseUrl(url, &problem) ? QString() : problem;
    }
    const qsizetype colon = url.indexOf(u':');
    if (colon <= 0)
        return u"URL de banco de dados inválida (use %1)."_s.arg(Forms);
    return u"Banco de dados \"%1\" não suportado: use %2."_s.arg(url.left(colon), Forms);
}

std::unique_ptr<Database> Database::open(const QString &url, const QString &connectionName)
{
    const QString problem = checkUrl(url);
    if (!problem.isEmpty())
        throw EDatabaseError(problem);

    const bool firebird = Firebird::isFirebirdUrl(url);
    const SqlDialect &dialect = firebird ? static_cast<const SqlDialect &>(firebirdDialect()) : sqliteDialect();
    QSqlDatabase db = firebird ? openFirebird(url, connectionName) : openSqlite(url, dialect, connectionName);
    std::unique_ptr<Database> database(new Database(db, dialect, connectionName));
    for (const QString &statement : dialect.sessionSetup())
        execSql(database->m_db, statement);
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
