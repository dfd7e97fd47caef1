#include "Database.h"

#include "HouseError.h"
#include "SqlStatement.h"
#include "SqliteDialect.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlError>

using namespace Qt::StringLiterals;

namespace {

const QString SqliteScheme = u"sqlite:"_s;

const SqliteDialect &sqliteDialect()
{
    static const SqliteDialect dialect;
    return dialect;
}

} // namespace

QString Database::checkUrl(const QString &url)
{
    if (url.startsWith(SqliteScheme)) {
        if (url.size() == SqliteScheme.size())
            return u"URL de banco de dados sem caminho: use sqlite:CAMINHO."_s;
        return {};
    }
    const qsizetype colon = url.indexOf(u':');
    if (colon <= 0)
        return u"URL de banco de dados inválida: \"%1\" (use sqlite:CAMINHO)."_s.arg(url);
    return u"Banco de dados \"%1\" não suportado: só sqlite:CAMINHO por enquanto."_s.arg(url.left(colon));
}

std::unique_ptr<Database> Database::open(const QString &url, const QString &connectionName)
{
    const QString problem = checkUrl(url);
    if (!problem.isEmpty())
        throw EDatabaseError(problem);

    const SqlDialect &dialect = sqliteDialect();
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
    std::unique_ptr<Database> database(new Database(db, dialect, connectionName));
    if (!database->m_db.open())
        throw EDatabaseError(u"Não foi possível abrir o banco de dados %1: %2"_s.arg(path, database->m_db.lastError().text()));
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
