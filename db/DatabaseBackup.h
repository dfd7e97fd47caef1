#pragma once

#include <QString>

namespace rbx {

// rbx53207-db backup URL FILE: a copy of the database taken while the server serves it and
// copies run, checked before it takes its final name. Exit status 0, or 1 with the reason.
namespace DatabaseBackup {

int run(const QString &url, const QString &file);

} // namespace DatabaseBackup

} // namespace rbx
