#include "DBGeral.h"

#include "ConnectionProbe.h"
#include "FirebirdConnection.h"
#include "HouseError.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSqlError>

namespace {
constexpr int SqliteBusyTimeoutMs = 5000;
const QLatin1String SqliteScheme("sqlite:");
} // namespace

TdtmDBGeral::TdtmDBGeral(QString connectionName) : m_connectionName(std::move(connectionName)) {}

TdtmDBGeral::~TdtmDBGeral()
{
    // Without an application the SQL plugins may already be gone; Qt closes what is left.
    if (QCoreApplication::instance())
        Close();
}

void TdtmDBGeral::SetUrl(const QString &url)
{
    if (url == m_url)
        return;
    Close();
    m_url = url;
}

void TdtmDBGeral::Open()
{
    if (Connected())
        return;
    if (m_url.trimmed().isEmpty())
        throw EDatabaseError(QStringLiteral("Nenhum banco de dados foi configurado para as consultas."));
    if (Firebird::isFirebirdUrl(m_url)) {
        OpenFirebird();
        return;
    }
    if (!m_url.startsWith(SqliteScheme))
        throw EDatabaseError(QStringLiteral("Endereço de banco de dados não suportado: '%1'.").arg(m_url));

    const QString path = m_url.mid(SqliteScheme.size());
    // SQLite would create an empty file and every lookup would then fail with a missing table.
    if (path.isEmpty() || !QFileInfo(path).isFile())
        throw EDatabaseError(QStringLiteral("Banco de dados não encontrado: '%1'.").arg(path));

    QSqlDatabase db = QSqlDatabase::contains(m_connectionName)
                          ? QSqlDatabase::database(m_connectionName, false)
                          : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
    db.setDatabaseName(path);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(SqliteBusyTimeoutMs));
    if (!db.open()) {
        const QString why = db.lastError().text();
        throw EDatabaseError(QStringLiteral("Não foi possível abrir o banco de dados '%1': %2").arg(path, why));
    }
}

void TdtmDBGeral::OpenFirebird()
{
    QString problem;
    const std::optional<Firebird::Target> target = Firebird::parseUrl(m_url, &problem);
    if (!target)
        throw EDatabaseError(problem);
    Close();
    QSqlDatabase db = Firebird::addConnection(*target, m_connectionName);
    if (!db.open()) {
        // unlike the service, the lookups never create a database: a missing one is an error
        const QString why = db.lastError().text();
        db = QSqlDatabase();
        Close();
        throw EDatabaseError(QStringLiteral("Não foi possível abrir o banco de dados '%1': %2").arg(target->connectionString(), why));
    }
}

void TdtmDBGeral::Close()
{
    if (!QSqlDatabase::contains(m_connectionName))
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connectionName);
}

bool TdtmDBGeral::DropIfLost()
{
    if (!Connected() || reachesDatabase(QSqlDatabase::database(m_connectionName, false)))
        return false;
    Close();
    return true;
}

bool TdtmDBGeral::Connected() const
{
    return QSqlDatabase::contains(m_connectionName) && QSqlDatabase::database(m_connectionName, false).isOpen();
}

QSqlDatabase TdtmDBGeral::Database()
{
    Open();
    return QSqlDatabase::database(m_connectionName, false);
}

QueryDialect TdtmDBGeral::Dialect() { return dialectFor(Database()); }

TdtmDBGeral &dtmDBGeral()
{
    static TdtmDBGeral module;
    return module;
}
