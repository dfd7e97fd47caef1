#pragma once

#include <db/rbx_db_export.h>

#include <protocol/ScramVerifier.h>

#include <QString>

namespace rbx {

class Database;

// The operators who may log in, as rbx53207-db and the demo keep them: a password is stored
// only as its SCRAM verifier. Each call is one statement; throws EDatabaseError.
namespace OperatorAccounts {

// Sets or replaces the operator's verifier; a new operator is added, active and no supervisor.
RBX_DB_EXPORT void setPassword(Database &database, const QString &operatorCode, const ScramVerifier &verifier);
// False when there is no such operator.
RBX_DB_EXPORT bool setActive(Database &database, const QString &operatorCode, bool active);
RBX_DB_EXPORT bool setSupervisor(Database &database, const QString &operatorCode, bool supervisor);

} // namespace OperatorAccounts

} // namespace rbx
