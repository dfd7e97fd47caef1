#pragma once

#include <QString>

#include <optional>

namespace rbx {

// Why the server will not serve the database the URL names, or nothing when it will. It serves
// only a database made with rbx53207-db (schema or demo): a mistyped path must not become a new,
// empty database that answers every copy with nothing. Tables and columns a later schema
// adds to an existing one are still created at start.
std::optional<QString> refusedDatabase(const QString &url);

} // namespace rbx
