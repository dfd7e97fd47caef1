#pragma once

#include "ServerLimits.h"

#include <QByteArray>
#include <QHostAddress>
#include <QSslConfiguration>
#include <QString>
#include <QStringList>

#include <optional>

namespace rbx {

struct ServerConfig
{
    QString databaseUrl;
    QHostAddress host;
    quint16 port = 0;
    QByteArray token; // empty: rpc.open needs none
    int maxConnections = 0;
    qsizetype maxMessageBytes = 0;
    int stallTimeoutMs = 0;
    int idleTimeoutMs = 0;
    int idleTransactionTimeoutMs = 0; // 0: a transaction waits for its client however long
    // As a server of the original contract: no extension is listed or served.
    bool classicMethods = false;
    // A database of an earlier schema version is upgraded at start instead of refused.
    bool upgradeSchema = false;
    // Runs older than this many days leave the journal, and can no longer be undone.
    int journalDays = 30;
    // Server-side copies kept in flight by a client commit together (group commit): a group ends
    // when no further copy of the connection is waiting, or at this many services or milliseconds.
    // One service: each copy commits alone.
    int groupServices = ServerLimits::DefaultGroupServices;
    int groupMs = ServerLimits::DefaultGroupMs;
    // PAM service that checks PLAIN logins of operators without a verifier; empty: none.
    QString pamService;
    // How long a refused login waits at least; not an option: only the fuzzer, which must not
    // sleep, sets it.
    int authFailureDelayMs = ServerLimits::AuthFailureDelayMs;
    // Set when --tls-cert and --tls-key are given: every connection is TLS, nothing in clear.
    // Required to listen beyond loopback.
    std::optional<QSslConfiguration> tls;
};

struct ParsedOptions
{
    std::optional<ServerConfig> config;
    QString error;    // set when the command line is wrong
    QString helpText; // set when help was asked for
};

// Reads the command line (arguments[0] is the program) and the token file it names.
ParsedOptions parseServerOptions(const QStringList &arguments);

} // namespace rbx
