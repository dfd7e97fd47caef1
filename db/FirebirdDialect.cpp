#include "FirebirdDialect.h"

#include <protocol/HouseError.h>
#include <protocol/OleDate.h>
#include "Schema.h"
#include "SqlStatement.h"

#include <QSqlDatabase>
#include <QSqlError>

namespace rbx {

using namespace Qt::StringLiterals;

namespace {

// A text parameter of any length. Left to itself Firebird types a parameter after what it is
// compared with, and a longer value then fails with a truncation error.
QString anyText(const QString &parameter) { return u"CAST(%1 AS BLOB SUB_TYPE TEXT CHARACTER SET UTF8)"_s.arg(parameter); }

[[noreturn]] void fail(const QSqlDatabase &db, const QString &what)
{
    throw EDatabaseError(u"Erro no banco de dados: %1 (%2)"_s.arg(what, db.lastError().text()));
}

struct Routine
{
    QString kind;       // as RDB$ names it
    QString name;
    QString definition; // PSQL, run as one statement
};

// The two objects the lookups' InterBase texts call. PARAM turns a parameter into a one-row
// table so that a text can bind it once and read it in every row; INSTR is the Oracle function:
// the position of part in text, 0 when it does not occur, null when either is null. Both take
// texts of any length: a selection list of thousands of beds must not be cut short.
const QList<Routine> &routines()
{
    static const QList<Routine> all{
        {u"PROCEDURE"_s, u"PARAM"_s, uR"(CREATE PROCEDURE PARAM (VALOR BLOB SUB_TYPE TEXT CHARACTER SET UTF8)
RETURNS (PARAM BLOB SUB_TYPE TEXT CHARACTER SET UTF8)
AS
BEGIN
  PARAM = VALOR;
  SUSPEND;
END)"_s},
        {u"FUNCTION"_s, u"INSTR"_s, uR"(CREATE FUNCTION INSTR (TEXTO BLOB SUB_TYPE TEXT CHARACTER SET UTF8,
                       PARTE VARCHAR(8191) CHARACTER SET UTF8)
RETURNS INTEGER
DETERMINISTIC
AS
BEGIN
  RETURN POSITION(PARTE IN TEXTO);
END)"_s},
    };
    return all;
}

bool routineExists(QSqlDatabase &db, const Routine &routine)
{
    const QString sql = routine.kind == u"PROCEDURE"_s
                            ? u"SELECT 1 FROM RDB$PROCEDURES WHERE RDB$PROCEDURE_NAME = :NAME"_s
                            : u"SELECT 1 FROM RDB$FUNCTIONS WHERE RDB$FUNCTION_NAME = :NAME"_s;
    SqlStatement query(db, sql);
    query.bind(u":NAME"_s, routine.name).exec();
    return query.next();
}

} // namespace

QString FirebirdDialect::name() const { return u"Firebird"_s; }

QString FirebirdDialect::driverName() const { return u"QIBASE"_s; }

QString FirebirdDialect::columnType(Schema::ColumnType type, int size) const
{
    switch (type) {
    case Schema::ColumnType::FixedText:
    case Schema::ColumnType::Text: return u"VARCHAR(%1) CHARACTER SET UTF8"_s.arg(size);
    case Schema::ColumnType::DateTime: return u"TIMESTAMP"_s;
    case Schema::ColumnType::Float: return u"DOUBLE PRECISION"_s;
    // the counters' type, so that a table numbered by the server before and a new one look alike
    case Schema::ColumnType::Serial:
    case Schema::ColumnType::SerialReference: return u"DOUBLE PRECISION"_s;
    }
    return {};
}

QString FirebirdDialect::sequenceOf(const QString &table) { return u"SEQ_"_s + table; }

QString FirebirdDialect::nextSerial(const QString &table) const { return u"NEXT VALUE FOR "_s + sequenceOf(table); }

QString FirebirdDialect::insertRows(const QString &table, const QStringList &columns, int rows) const
{
    // Firebird 3 has no VALUES list of rows; a parameter in a select list needs its type
    QStringList selects;
    for (int k = 1; k <= rows; ++k) {
        QStringList row;
        for (const QString &name : columns) {
            const Schema::Column &column = Schema::column(table, name);
            row << u"CAST(:%1_%2 AS %3)"_s.arg(name).arg(k).arg(columnType(column.type, column.size));
        }
        selects << u"SELECT "_s + row.join(u", "_s) + u" FROM RDB$DATABASE"_s;
    }
    return u"INSERT INTO %1 (%2) %3"_s.arg(table, columns.join(u", "_s), selects.join(u" UNION ALL "_s));
}

QStringList FirebirdDialect::serialObjects(const QString &table) const
{
    return {u"CREATE SEQUENCE "_s + sequenceOf(table)};
}

QStringList FirebirdDialect::sessionSetup() const { return {}; }

void FirebirdDialect::beginWrite(QSqlDatabase &db) const
{
    if (!db.transaction())
        fail(db, u"a transação não pôde ser iniciada"_s);
}

void FirebirdDialect::commit(QSqlDatabase &db) const
{
    if (!db.commit())
        fail(db, u"a transação não pôde ser confirmada"_s);
}

void FirebirdDialect::rollback(QSqlDatabase &db) const
{
    if (!db.rollback())
        fail(db, u"a transação não pôde ser desfeita"_s);
}

QString FirebirdDialect::groupPasses(const QString &flagParameter, const QString &listParameter,
                                     const QString &codeExpr) const
{
    // Firebird compares texts as if padded with blanks; the "|" after the flag keeps "T " from
    // passing for "T".
    return u"(%1 || '|' = 'T|' OR POSITION('_' || %3 || '_' IN %2) > 0)"_s.arg(anyText(flagParameter),
                                                                          anyText(listParameter), codeExpr);
}

QVariant FirebirdDialect::dateTimeValue(double oleDate) const
{
    // The driver stores the date and time fields as they are; UTC has no gap to move them.
    return OleDate::toDateTime(oleDate);
}

std::optional<double> FirebirdDialect::oleDate(const QVariant &value) const
{
    if (value.isNull() || value.metaType().id() != QMetaType::QDateTime)
        return std::nullopt;
    // The driver reads a timestamp as local time, which a daylight-saving gap makes invalid;
    // its date and time fields still hold what was stored.
    const QDateTime stored = value.toDateTime();
    if (!stored.date().isValid() || !stored.time().isValid())
        return std::nullopt;
    return OleDate::fromDateTime(QDateTime(stored.date(), stored.time(), Qt::UTC));
}

QStringList FirebirdDialect::missingRoutines(QSqlDatabase &db) const
{
    QStringList statements;
    for (const Routine &routine : routines()) {
        if (!routineExists(db, routine))
            statements << routine.definition;
    }
    return statements;
}

} // namespace rbx
