#pragma once

#include "FirebirdConnection.h"

#include <QString>

#include <functional>

namespace rbx {

// Firebird's own utilities (firebird3.0-utils) run for a database on a server: gbak for backups
// and restores, fbsvcmgr for the online validation. The credentials reach them through their
// environment (ISC_USER and ISC_PASSWORD), never their command line; what they print is kept for
// the messages, and holds no credential.
namespace FirebirdUtilities {

// gbak -b: the database's committed state as one backup file, written by gbak on this machine.
// Garbage collection is left to the server's own sweeps. Throws EDatabaseError with gbak's text.
void backup(const FirebirdServer::Target &database, const QString &file);

// gbak -c, or -rep when `replace`: a database made from the backup file. Throws EDatabaseError.
void restore(const QString &file, const FirebirdServer::Target &database, bool replace);

// Restores the backup file into a database of its own beside `near` on the same server, hands its
// URL to `inspect` and drops it: a backup that restores is whole. Throws EDatabaseError.
void verifyByRestoring(const QString &file, const FirebirdServer::Target &near,
                       const std::function<void(const QString &restoredUrl)> &inspect = {});

struct Validation
{
    bool reached = false;  // the server ran the validation
    bool ok = false;       // and found no error
    QString output;        // what the validation printed (errors first when any)
};

// The server's online validation of every table and index (fbsvcmgr action_validate), which runs
// beside the application server's attachments.
Validation validate(const FirebirdServer::Target &database);

} // namespace FirebirdUtilities

} // namespace rbx
