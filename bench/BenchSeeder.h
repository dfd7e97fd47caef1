#pragma once

#include <QDate>
#include <QString>

class TNetConnection;

namespace rbx {

class Database;

// The shape of a benchmark hospital: every in-patient of one branch has the same number of
// enteral services on the origin date, each with the same number of composition items.
struct BenchShape
{
    int patients = 600;
    int services = 4; // per patient
    int items = 4;    // per service
    int beds = 0;     // beds of the branch; fewer than patients means one per patient
    QDate origin;
};

namespace BenchSeeder {

inline const QString Branch = QStringLiteral("0001");
inline const QString Operator = QStringLiteral("BENCH");
inline const QString EnteralMode = QStringLiteral("E");
// The bench operator's password, which seed() gives it: the server lets no one in unnamed.
inline const QString Password = QStringLiteral("senha-de-bancada-ção");

// Creates the schema and writes exactly the rows of the shape in one transaction, then gives the
// bench operator its password. Throws EDatabaseError.
void seed(Database &database, const BenchShape &shape);

// Makes the connection sign in as the bench operator.
void signIn(TNetConnection &connection);

// The code of the n-th patient (0-based), as the seeder writes it.
QString patientCode(int n);

} // namespace BenchSeeder

} // namespace rbx
