#pragma once

#include <QDate>

namespace rbx {

class Database;

struct DemoOptions
{
    int patients = 40;
    // The day the prescriptions are for.
    QDate date;
    quint64 seed = 53207;
};

struct DemoSummary
{
    int patients = 0;
    int inPatients = 0;
    int beds = 0;
    int services = 0;      // SERVINTE rows on the date
    int items = 0;         // CONFESCO rows of those
    int otherServices = 0; // SERVINTE rows on the day before
};

// A demo hospital in two branches, "0001" and "0002", with in-patients and discharged patients,
// enteral/parenteral and lactário services with their composition items on a given date. The
// same options always give the same rows.
namespace DemoHospital {

inline constexpr int MaxPatients = 10000;

// Creates the schema where missing and fills it in one transaction. Throws EValidationError for
// options out of range and EDatabaseError when the database already holds rows or a statement
// fails (nothing is left half-written).
DemoSummary create(Database &database, const DemoOptions &options);

} // namespace DemoHospital

} // namespace rbx
