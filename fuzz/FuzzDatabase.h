#pragma once

#include <QString>

namespace rbx {

// A small demo hospital in a temporary SQLite file, made once per fuzzing process, so that the
// calls a fuzzed message reaches run real queries. Returns its URL.
QString fuzzDatabaseUrl();

} // namespace rbx
