#pragma once

#include <QString>

namespace rbx {

// Runs the journal still holds open when the server starts were cut off by a server that stopped
// without ending them (a crash, a kill, a power cut): each is closed as failed, with the
// services and items its committed writes left, so that the journal and the destination agree.
// A run that had written nothing and named no destination was a query only and is removed.
// Assumes this server is the only one serving the database. Throws EDatabaseError.
int closeRunsLeftOpen(const QString &databaseUrl);

} // namespace rbx
