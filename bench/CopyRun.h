#pragma once

#include <QDate>
#include <QString>

namespace rbx {

// One run of the real copy unit against a server on loopback, as the headless command drives
// it: connect, first activation (getNutricio), then the Confirm button's run.
struct CopyRunRequest
{
    quint16 port = 0;
    QDate origin;
    QDate destination;
    QString patients; // selection list; empty copies every patient
    bool callByCall = false; // the nine classic calls even where the server copies a service itself
};

struct CopyRunResult
{
    bool ok = false;
    QString error;
    qsizetype services = 0;
    qint64 items = 0;
    double seconds = 0; // the run alone: getServInte to the last commit
};

CopyRunResult runCopy(const CopyRunRequest &request);

// The selection list of the patients [first, end) as the seeder numbers them.
QString patientRange(qint64 first, qint64 end);

// Calls of a run as the copy is specified: getServInte, then five per service and one per item.
qint64 specifiedCalls(qint64 services, qint64 items);
// Round trips of a run as this client makes them: the specified calls plus StartTransaction
// and Commit around each service, and AbreExecucao and FechaExecucao where the server names runs.
qint64 roundTrips(qint64 services, qint64 items, bool namedRun);

} // namespace rbx
