#pragma once

#include <db/rbx_db_export.h>

#include <QString>
#include <QStringList>

namespace rbx {

class Database;

// The workstations' own user of a Firebird database: the screen's lookups read the database
// directly, and with this user and its role they can read the lookup tables and nothing else.
namespace WorkstationAccess {

// The role that holds the lookups' privileges; a workstation connects with it (ISC_ROLE).
inline constexpr char LookupRole[] = "RBX53207_CONSULTA";

// The tables the screen's lookup texts read (screen/CopFormulacaoQueries.cpp). Patients,
// admissions and nutritionists reach the screen through the server only.
RBX_DB_EXPORT const QStringList &lookupTables();

// On Firebird, over a connection of the database's owner or SYSDBA: creates the role, or brings
// an existing one back to SELECT on the lookup tables and EXECUTE on PARAM and INSTR only;
// creates the user, or sets the password of an existing one, and grants it the role. Throws
// EDatabaseError, never showing the password: on SQLite (whose lookups open the file read-only
// and have no users), for a user name that is not a plain identifier, an empty password, or when
// Firebird refuses.
RBX_DB_EXPORT void grantWorkstationUser(Database &database, const QString &user, const QString &password);

} // namespace WorkstationAccess

} // namespace rbx
