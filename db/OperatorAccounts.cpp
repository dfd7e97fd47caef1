#include "OperatorAccounts.h"

#include "Database.h"
#include "SqlStatement.h"
#include "SqlTransaction.h"

namespace rbx {

using namespace Qt::StringLiterals;

namespace OperatorAccounts {

namespace {

bool updateFlag(Database &database, const QString &column, const QString &operatorCode, bool on)
{
    SqlStatement update(database.sql(), u"UPDATE OPERADOR SET %1 = :VALOR WHERE CDOPERADOR = :CDOPERADOR"_s.arg(column));
    update.bind(u":VALOR"_s, on ? u"S"_s : u"N"_s).bind(u":CDOPERADOR"_s, operatorCode).exec();
    return update.rowsAffected() > 0;
}

} // namespace

void setPassword(Database &database, const QString &operatorCode, const ScramVerifier &verifier)
{
    SqlTransaction transaction(database);
    SqlStatement update(database.sql(), u"UPDATE OPERADOR SET DSVERIFSCRAM = :DSVERIFSCRAM WHERE CDOPERADOR = :CDOPERADOR"_s);
    update.bind(u":DSVERIFSCRAM"_s, verifier.toText()).bind(u":CDOPERADOR"_s, operatorCode).exec();
    if (update.rowsAffected() == 0) {
        SqlStatement insert(database.sql(), u"INSERT INTO OPERADOR (CDOPERADOR, DSVERIFSCRAM, IDATIVO, IDSUPERVISOR)"
                                            u" VALUES (:CDOPERADOR, :DSVERIFSCRAM, 'S', 'N')"_s);
        insert.bind(u":CDOPERADOR"_s, operatorCode).bind(u":DSVERIFSCRAM"_s, verifier.toText()).exec();
    }
    transaction.commit();
}

bool setActive(Database &database, const QString &operatorCode, bool active)
{
    return updateFlag(database, u"IDATIVO"_s, operatorCode, active);
}

bool setSupervisor(Database &database, const QString &operatorCode, bool supervisor)
{
    return updateFlag(database, u"IDSUPERVISOR"_s, operatorCode, supervisor);
}

} // namespace OperatorAccounts

} // namespace rbx
