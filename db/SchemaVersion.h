#pragma once

#include <db/rbx_db_export.h>

#include <QString>

#include <functional>
#include <optional>

namespace rbx {

class Database;

// The schema's versions: each migration brings a database one version up, in order, and records
// it in VERSAOESQUEMA. A database made before versions were recorded (release 0.1 and earlier) is
// version 0.
namespace Schema {

// The version this program makes and serves.
inline constexpr int CurrentVersion = 2;

// std::nullopt for a database without the schema.
RBX_DB_EXPORT std::optional<int> storedVersion(Database &database);
// What a version brought, as the migrations record it.
RBX_DB_EXPORT QString versionText(int version);

// Applies the migrations from the database's version up to CurrentVersion, each whole or not at
// all (on Firebird, whose schema changes commit apart, each is safe to run again, and the
// version is written last), reporting each before it runs; then makes what the current version
// declares and the database lacks. Throws EDatabaseError, and for a database without the schema
// or of a later version than this program's.
RBX_DB_EXPORT void upgrade(Database &database, const std::function<void(int version)> &starting = {});

// Why a database of that version cannot be served by this program as it is; empty when it can.
RBX_DB_EXPORT QString versionRefusal(int stored, const QString &url);

} // namespace Schema

} // namespace rbx
