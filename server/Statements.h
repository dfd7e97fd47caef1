#pragma once

#include "DbSession.h"
#include <db/SqlSession.h>

#include <QString>
#include <QVariant>

#include <initializer_list>
#include <utility>

namespace rbx {

// The database session's kept statements run with their values bound, as all of the
// server object runs them.
namespace Statements {

using Binds = std::initializer_list<std::pair<QString, QVariant>>;

inline PreparedStatement &run(DbSession &db, const QString &sql, Binds binds)
{
    PreparedStatement &statement = db.statement(sql);
    for (const auto &[placeholder, value] : binds)
        statement.bind(placeholder, value);
    statement.exec();
    return statement;
}

inline bool exists(DbSession &db, const QString &sql, Binds binds)
{
    PreparedStatement &query = run(db, sql, binds);
    const bool found = query.next();
    query.finish();
    return found;
}

// The first column of the first row; null when there is no row.
inline QVariant single(DbSession &db, const QString &sql, Binds binds)
{
    PreparedStatement &query = run(db, sql, binds);
    QVariant value;
    if (query.next())
        value = query.value(0);
    query.finish();
    return value;
}

} // namespace Statements

} // namespace rbx
