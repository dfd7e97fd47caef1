#pragma once

#include <QString>

namespace rbx {

// The rows of a day written as plainly as the database allows, into two tables of the bench's
// own with a service's and an item's 16 columns and primary keys only: for each service its
// rows deleted, then it and its items inserted. With one service to a transaction, one sync per
// service on the same disk as the copy; with more, the same rows batched. What any copy of those
// rows must at least cost, whatever it does besides. Throws EDatabaseError.
struct BareFloorRequest
{
    QString url;
    qsizetype services = 0;
    qint64 items = 0; // spread over the services as evenly as they go
    int servicesPerCommit = 1;
};

double bareFloorSeconds(const BareFloorRequest &request);

} // namespace rbx
