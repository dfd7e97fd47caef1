#pragma once

#include "AuditTrail.h"
#include "WireProtocol.h"

#include <QList>

class DbSession;

// The server object "Rbx53207.rdmCopiaForm", one instance per connection: the nine methods of
// the copy service and the transaction calls. Each method gets its arguments already checked
// for count and kind, may leave new texts in by-reference ones, and raises ERemoteError or
// EHouseError on failure; a failed method has changed nothing.
class CopyServiceObject final
{
public:
    explicit CopyServiceObject(DbSession &db, int connectionId = 0) : m_db(db), m_audit(connectionId) {}

    using Args = QList<Wire::Arg>;

    Wire::CallResult getNutricio(Args &args);
    Wire::CallResult getPaciente(Args &args);
    Wire::CallResult getServInte(Args &args);
    Wire::CallResult DelServ(Args &args);
    Wire::CallResult getNrServInte(Args &args);
    Wire::CallResult InsServInte(Args &args);
    Wire::CallResult getNrConfesco(Args &args);
    Wire::CallResult getConfesco(Args &args);
    Wire::CallResult InsConfesco(Args &args);

    Wire::CallResult StartTransaction(Args &args);
    Wire::CallResult Commit(Args &args);
    Wire::CallResult Rollback(Args &args);

private:
    // Writes outside a client transaction are committed already: their audit lines go now.
    void auditUnlessInTransaction();

    DbSession &m_db;
    AuditTrail m_audit;
};
