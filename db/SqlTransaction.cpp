#include "SqlTransaction.h"

#include "Database.h"
#include "SqlDialect.h"

#include <exception>

namespace rbx {

SqlTransaction::SqlTransaction(Database &database) : m_database(database)
{
    m_database.dialect().beginWrite(m_database.sql());
}

SqlTransaction::~SqlTransaction()
{
    if (!m_open)
        return;
    try {
        m_database.dialect().rollback(m_database.sql());
    } catch (const std::exception &) {
        // already unwinding from the real failure; a failed rollback ends the transaction anyway
    }
}

void SqlTransaction::commit()
{
    m_database.dialect().commit(m_database.sql());
    m_open = false;
}

} // namespace rbx
