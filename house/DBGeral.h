#pragma once

#include <house/rbx_house_export.h>

#include "QueryDialect.h"

#include <QSqlDatabase>
#include <QString>

#include <memory>

namespace rbx { class Database; }

// The shared database module: the one local database connection every lookup query uses.
// The host names the database by URL (see Database::open; Firebird takes the credentials of
// ISC_USER and ISC_PASSWORD); the connection opens on first use, so a screen opens even when
// the database is unreachable and the lookup that needs it reports why.
class RBX_HOUSE_EXPORT TdtmDBGeral
{
public:
    explicit TdtmDBGeral(QString connectionName = QStringLiteral("dtmDBGeral"));
    ~TdtmDBGeral();
    TdtmDBGeral(const TdtmDBGeral &) = delete;
    TdtmDBGeral &operator=(const TdtmDBGeral &) = delete;

    // A new URL closes a connection opened from another one.
    void SetUrl(const QString &url);
    const QString &Url() const { return m_url; }
    const QString &ConnectionName() const { return m_connectionName; }

    // Raises EDatabaseError when the URL is missing, unsupported or cannot be opened.
    void Open();
    void Close();
    bool Connected() const;
    // After a failed read: true when the open connection no longer reaches its database (its
    // server stopped or restarted while a screen stayed open). It is then closed, so that the
    // next use opens a new one.
    bool DropIfLost();

    // The open connection (opening it when needed).
    QSqlDatabase Database();
    QueryDialect Dialect();

private:
    QString m_connectionName;
    QString m_url;
    std::unique_ptr<rbx::Database> m_database;
};

RBX_HOUSE_EXPORT TdtmDBGeral &dtmDBGeral();
