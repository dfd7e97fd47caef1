#pragma once

#include <protocol/ScramVerifier.h>

#include <QSet>
#include <QString>

#include <optional>

namespace rbx {

class DbSession;

// What the database says of an operator: whether it may log in, how (its SCRAM verifier, or
// none for an operator the site's directory checks) and what it may do.
struct OperatorRecord
{
    bool known = false;
    bool active = false;
    bool supervisor = false;
    std::optional<ScramVerifier> verifier;
};

// Reads and writes the OPERADOR table and the branches where an operator is a nutritionist,
// through the connection's database session.
class OperatorDirectory final
{
public:
    explicit OperatorDirectory(DbSession &db) : m_db(db) {}

    // Throws EHouseError when the database cannot be read.
    OperatorRecord find(const QString &operatorCode);
    QSet<QString> branchesOf(const QString &operatorCode);
    // Replaces the operator's verifier; false when the operator is unknown.
    bool setVerifier(const QString &operatorCode, const ScramVerifier &verifier);

private:
    DbSession &m_db;
};

} // namespace rbx
