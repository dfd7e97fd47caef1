#include "OperatorDirectory.h"

#include "DbSession.h"
#include "Statements.h"

namespace rbx {

using namespace Qt::StringLiterals;
using namespace Statements;

OperatorRecord OperatorDirectory::find(const QString &operatorCode)
{
    OperatorRecord record;
    // a read under the session's rules: a connection found dead is opened again once
    m_db.run(true, false, [&](bool) {
        record = {};
        PreparedStatement &query = run(m_db, u"SELECT DSVERIFSCRAM, IDATIVO, IDSUPERVISOR FROM OPERADOR WHERE CDOPERADOR = :CDOPERADOR"_s,
                                       {{u":CDOPERADOR"_s, operatorCode}});
        if (query.next()) {
            record.known = true;
            const QVariant verifier = query.value(0);
            if (!verifier.isNull())
                record.verifier = ScramVerifier::fromText(verifier.toString());
            record.active = query.value(1).toString().trimmed() == u"S"_s;
            record.supervisor = query.value(2).toString().trimmed() == u"S"_s;
        }
        query.finish();
        return Wire::CallResult{};
    });
    return record;
}

QSet<QString> OperatorDirectory::branchesOf(const QString &operatorCode)
{
    QSet<QString> branches;
    m_db.run(true, false, [&](bool) {
        branches.clear();
        PreparedStatement &query = run(m_db, u"SELECT DISTINCT CDFILIAL FROM NUTRICIO WHERE CDOPERADOR = :CDOPERADOR"_s,
                                       {{u":CDOPERADOR"_s, operatorCode}});
        while (query.next())
            branches.insert(query.value(0).toString().trimmed());
        query.finish();
        return Wire::CallResult{};
    });
    return branches;
}

bool OperatorDirectory::setVerifier(const QString &operatorCode, const ScramVerifier &verifier)
{
    qint64 changed = 0;
    m_db.atomically([&] {
        PreparedStatement &update = run(m_db, u"UPDATE OPERADOR SET DSVERIFSCRAM = :DSVERIFSCRAM WHERE CDOPERADOR = :CDOPERADOR"_s,
                                        {{u":DSVERIFSCRAM"_s, verifier.toText()}, {u":CDOPERADOR"_s, operatorCode}});
        changed = update.rowsAffected();
    });
    return changed > 0;
}

} // namespace rbx
