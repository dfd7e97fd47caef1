#pragma once

#include <db/rbx_db_export.h>

namespace rbx {

class Database;

// A write transaction that rolls back unless committed: leaving the scope by an exception
// undoes everything done inside it.
class RBX_DB_EXPORT SqlTransaction final
{
public:
    explicit SqlTransaction(Database &database);
    ~SqlTransaction();
    SqlTransaction(const SqlTransaction &) = delete;
    SqlTransaction &operator=(const SqlTransaction &) = delete;

    void commit();

private:
    Database &m_database;
    bool m_open = true;
};

} // namespace rbx
