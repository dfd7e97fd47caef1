#pragma once

#include "DbSession.h"
#include <db/SqlSession.h>

#include <QList>
#include <QString>
#include <QStringList>
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

// A statement and the values it runs with.
struct BoundStatement
{
    QString sql;
    QList<std::pair<QString, QVariant>> binds;
};

inline PreparedStatement &run(DbSession &db, const BoundStatement &statement)
{
    PreparedStatement &prepared = db.statement(statement.sql);
    for (const auto &[placeholder, value] : statement.binds)
        prepared.bind(placeholder, value);
    prepared.exec();
    return prepared;
}

// Runs a unit's last writes in order (DbSession::lastWrite): as one statement, in one round
// trip, where the database joins them.
inline void runLastWrites(DbSession &db, const QList<BoundStatement> &statements)
{
    QStringList sqls;
    for (const BoundStatement &statement : statements)
        sqls << statement.sql;
    const QString one = statements.size() > 1 ? db.joined(sqls) : statements.size() == 1 ? sqls.first() : QString();
    if (one.isEmpty()) {
        for (const BoundStatement &statement : statements)
            run(db, statement);
        return;
    }
    db.lastWrite(one, [&statements](PreparedStatement &write) {
        for (const BoundStatement &statement : statements) {
            for (const auto &[placeholder, value] : statement.binds)
                write.bind(placeholder, value);
        }
    });
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
