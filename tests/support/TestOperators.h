#pragma once

#include <QString>

namespace rbx {

class Database;

namespace TestSupport {

// The operator the tests log in as unless they say otherwise, a nutritionist of every demo
// branch and a supervisor.
inline const QString TestOperator = QStringLiteral("ADMIN");
// Every operator of a test database has this password; its accents cross every layer.
inline const QString TestPassword = QStringLiteral("senha-de-teste-ção");

// Gives every operator in the database the test password.
void givePasswords(Database &database);
// A file holding the test password, for the programs' --password-file; kept for the process.
QString passwordFile();

} // namespace TestSupport

} // namespace rbx
