#include "DBGeral.h"

#include <db/ConnectionProbe.h>
#include <db/Database.h>
#include <protocol/HouseError.h>

#include <QCoreApplication>

namespace {
// The shared module outlives the application; its connection must close while Qt's SQL
// drivers are still there.
struct SharedModule
{
    TdtmDBGeral module;
    SharedModule()
    {
        qAddPostRoutine([] { dtmDBGeral().Close(); });
    }
};
} // namespace

TdtmDBGeral::TdtmDBGeral(QString connectionName) : m_connectionName(std::move(connectionName)) {}

TdtmDBGeral::~TdtmDBGeral()
{
    // Without an application the SQL plugins may already be gone: the connection is left to Qt,
    // which closes what is left.
    if (!QCoreApplication::instance())
        static_cast<void>(m_database.release());
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
        throw rbx::EDatabaseError(QStringLiteral("Nenhum banco de dados foi configurado para as consultas."));
    Close();
    // A reader: a lookup never creates the database it reads, nor sets it up for writers.
    m_database = rbx::Database::open(m_url, m_connectionName, rbx::Database::Role::Reader);
}

void TdtmDBGeral::Close() { m_database.reset(); }

bool TdtmDBGeral::DropIfLost()
{
    if (!Connected() || rbx::reachesDatabase(m_database->sql()))
        return false;
    Close();
    return true;
}

bool TdtmDBGeral::Connected() const { return m_database && m_database->sql().isOpen(); }

QSqlDatabase TdtmDBGeral::Database()
{
    Open();
    return m_database->sql();
}

QueryDialect TdtmDBGeral::Dialect() { return dialectFor(Database()); }

TdtmDBGeral &dtmDBGeral()
{
    static SharedModule shared;
    return shared.module;
}
