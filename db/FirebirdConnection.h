#pragma once

#include <db/rbx_db_export.h>

#include <QSqlDatabase>
#include <QString>

#include <optional>

namespace rbx {

// A Firebird database named by URL, firebird://HOST[:PORT]/PATH with PATH absolute on the
// server. Credentials never travel in the URL, a command line or a message: they come from
// ISC_USER and ISC_PASSWORD, as for Firebird's own tools.
namespace FirebirdServer {

inline constexpr int DefaultPort = 3050;

struct RBX_DB_EXPORT Target
{
    QString host;
    int port = DefaultPort;
    QString path;

    // "HOST/PORT:PATH", the form the client library attaches to.
    QString connectionString() const;
};

struct Credentials
{
    QString user;
    QString password;
};

RBX_DB_EXPORT bool isFirebirdUrl(const QString &url);
// std::nullopt with *problem set (for the user) when the URL is not a usable Firebird URL.
RBX_DB_EXPORT std::optional<Target> parseUrl(const QString &url, QString *problem);

// Throws EDatabaseError naming the variables, never their values, when either is unset.
RBX_DB_EXPORT Credentials credentialsFromEnvironment();

// Adds a Qt connection (driver QIBASE) for the target with the environment's credentials, the
// role named by ISC_ROLE when set (a workstation's lookups: WorkstationAccess) and UTF-8 on the
// wire; not yet opened. Throws EDatabaseError when the driver or the credentials are missing,
// the role is no plain name or the connection name is taken.
RBX_DB_EXPORT QSqlDatabase addConnection(const Target &target, const QString &connectionName);

} // namespace FirebirdServer

} // namespace rbx
