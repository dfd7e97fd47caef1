#pragma once

#include <db/rbx_db_export.h>

#include "FirebirdConnection.h"

namespace rbx {

// Creating and dropping Firebird database files, which the Qt driver cannot do: the only part
// of the service that talks to the Firebird client library directly.
namespace FirebirdFiles {

// Creates an empty database whose texts default to UTF8. Throws EDatabaseError with the
// server's message, also when the file already exists: an existing database is never touched.
RBX_DB_EXPORT void create(const FirebirdServer::Target &target, const FirebirdServer::Credentials &credentials);

// Whether the server holds the database: false when it cannot open the file, throws
// EDatabaseError for any other failure (server unreachable, credentials refused).
RBX_DB_EXPORT bool exists(const FirebirdServer::Target &target, const FirebirdServer::Credentials &credentials);

// Drops the database and its file. Every other attachment must be gone. Throws EDatabaseError.
RBX_DB_EXPORT void drop(const FirebirdServer::Target &target, const FirebirdServer::Credentials &credentials);

} // namespace FirebirdFiles

} // namespace rbx
