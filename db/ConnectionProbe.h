#pragma once

#include <db/rbx_db_export.h>

#include <QSqlDatabase>
#include <QString>

namespace rbx {

// True while an open connection still reaches its database. A connection whose database server
// stopped or restarted stays "open" on the client side and fails every statement: after a
// failure this tells that case from an ordinary error. Runs a statement that reads nothing of
// the schema; *why receives the driver's text when it fails.
RBX_DB_EXPORT bool reachesDatabase(const QSqlDatabase &db, QString *why = nullptr);

} // namespace rbx
