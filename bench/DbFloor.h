#pragma once

#include <QDate>
#include <QString>

// The service copies of a day done in this process straight against the database: per service
// the statements the server runs for it (delete the destination's items and service, its
// highest sequence, the nutritionist, insert the service, read the origin's items, insert each
// item), in one transaction per service, each statement prepared once where the driver lets a
// statement outlive its transaction. No transport, no decoding, no server: what the database
// alone costs.
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
    qint64 statements = 0; // executed, the day's service list included
    qint64 prepared = 0;   // statements compiled over the run
    double seconds = 0;    // the origin's service list to the last commit
};

// Throws EDatabaseError.
DbFloorResult dbFloorCopy(const DbFloorRequest &request);
