#pragma once

#include <QDate>
#include <QString>

namespace rbx {

// The service copies of a day done in this process straight against the database: per service
// the statements the server runs for it (delete the destination's items and service, its
// highest sequence, the nutritionist, insert the service, read the origin's items, insert each
// item), in one transaction per service, through the server's own database session: each
// statement prepared once, or once per transaction where the driver ties it to one. No
// transport, no decoding, no server logic: what the database alone costs.
struct DbFloorRequest
{
    QString url;
    QDate origin;
    QDate destination;
    QString branch, operatorCode, mode;
};

struct DbFloorResult
{
    qsizetype services = 0;
    qint64 items = 0;
    qint64 statements = 0; // run, the day's service list included
    qint64 prepared = 0;   // of them prepared afresh
    double seconds = 0;    // the origin's service list to the last commit
};

// Throws EDatabaseError.
DbFloorResult dbFloorCopy(const DbFloorRequest &request);

} // namespace rbx
