#pragma once

#include <QString>

namespace rbx {

// rbx53207-db check URL: the database's integrity and the prescriptions of today and yesterday,
// for a person and for monitoring.
namespace DatabaseCheck {

enum Status {
    Healthy = 0,
    CannotOpen = 1,
    Damaged = 2,
    // whole, but of a schema version other than this program's
    OtherVersion = 3,
};

// Prints the report and returns its Status as the exit status.
int run(const QString &url);

} // namespace DatabaseCheck

} // namespace rbx
