#pragma once

#include <QString>

namespace rbx {

// rbx53207-db restore FILE URL [--force]: puts a backup (DatabaseBackup) in place of the database.
// The backup is checked before the target is touched, and a target holding prescriptions is
// replaced only when forced. Exit status 0, or 1 with the reason.
namespace DatabaseRestore {

int run(const QString &file, const QString &url, bool force);

} // namespace DatabaseRestore

} // namespace rbx
