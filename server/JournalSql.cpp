#include "JournalSql.h"

#include <db/Schema.h>
#include <db/SqlDialect.h>

#include <QStringList>

namespace rbx {

using namespace Qt::StringLiterals;

namespace JournalSql {

namespace {

// EXECLINHA's own columns before the ones it mirrors.
constexpr int JournalKeyColumns = 4;

QStringList columnsOf(const QString &table)
{
    QStringList names;
    for (const Schema::Column &column : Schema::table(table).columns)
        names << column.name;
    return names;
}


// Equal, null included.
QString sameColumns(const QStringList &columns, const QString &left, const QString &right)
{
    QStringList parts;
    for (const QString &column : columns) {
        parts << u"(%1.%3 = %2.%3 OR (%1.%3 IS NULL AND %2.%3 IS NULL))"_s.arg(left, right, column);
    }
    return parts.join(u"\n   AND "_s);
}

QString restoreFrom(const QString &table, const QString &line)
{
    const QStringList columns = columnsOf(table);
    return u"INSERT INTO %1 (%2)\nSELECT %2\n  FROM EXECLINHA\n WHERE IDEXECUCAO = :IDEXECUCAO AND NRORDEM = :NRORDEM"
           u" AND IDVERSAO = 'A' AND %3"_s.arg(table, columns.join(u", "_s), line);
}

} // namespace

QString pictureOfService(const SqlDialect &dialect)
{
    const Schema::Table &lines = Schema::table(u"EXECLINHA"_s);
    const QStringList service = columnsOf(u"SERVINTE"_s), item = columnsOf(u"CONFESCO"_s);
    const QString number = dialect.columnType(Schema::ColumnType::Float, 0);
    const QString run = dialect.columnType(lines.columns.constFirst().type, 0);
    const QString lineCode = dialect.columnType(Schema::ColumnType::Text, lines.findColumn(u"CDLINHA"_s)->size);
    const QString version = dialect.columnType(Schema::ColumnType::Text, 1);

    QStringList targets;
    const auto select = [&](int branch, const QString &lineExpr, const QStringList &own, const QString &alias) -> QString {
        const QString n = QString::number(branch);
        QStringList values = {u"CAST(:ID%1 AS %2)"_s.arg(n, run), u"CAST(:ORD%1 AS %2)"_s.arg(n, number),
                              u"CAST(:VER%1 AS %2)"_s.arg(n, version), u"CAST(%1 AS %2)"_s.arg(lineExpr, lineCode)};
        for (qsizetype i = JournalKeyColumns; i < lines.columns.size(); ++i) {
            const Schema::Column &column = lines.columns.at(i);
            values << (own.contains(column.name) ? alias + u'.' + column.name
                                                  : u"CAST(NULL AS %1)"_s.arg(dialect.columnType(column.type, column.size)));
        }
        return u"SELECT "_s + values.join(u", "_s);
    };
    for (const Schema::Column &column : lines.columns)
        targets << column.name;
    const auto keyOf = [](int branch) -> QString {
        return u"S.CDPACIENTE = :P%1 AND S.DTSERVINTE = :D%1 AND S.CDFILIAL = :F%1 AND S.CDSERVFILI = :S%1"
               u" AND S.CDDIETPAD = :T%1"_s.arg(branch);
    };
    return u"INSERT INTO EXECLINHA (%1)\n"_s.arg(targets.join(u", "_s)) + select(1, u"'S'"_s, service, u"S"_s)
           + u"\n  FROM SERVINTE S\n WHERE "_s + keyOf(1) + u"\nUNION ALL\n"_s
           + select(2, u"'I' || C.CDSEQUCOPR"_s, item, u"C"_s)
           + u"\n  FROM CONFESCO C\n  JOIN SERVINTE S ON S.CDPACIENTE = C.CDPACIENTE AND S.DTSERVINTE = C.DTSERVINTE"
             u" AND S.NRSEQUSERV = C.NRSEQUSERV AND S.CDFILIAL = C.CDFILIAL\n WHERE "_s
           + keyOf(2);
}

QString restoreService() { return restoreFrom(u"SERVINTE"_s, u"CDLINHA = 'S'"_s); }

QString restoreItems() { return restoreFrom(u"CONFESCO"_s, u"CDLINHA <> 'S'"_s); }

QString serviceAsWritten()
{
    return u"SELECT COUNT(*), COUNT(J.IDEXECUCAO)\n  FROM SERVINTE S\n  LEFT JOIN EXECLINHA J ON J.IDEXECUCAO = :IDEXECUCAO"
           u" AND J.NRORDEM = :NRORDEM AND J.IDVERSAO = 'N' AND J.CDLINHA = 'S'\n   AND "_s
           + sameColumns(columnsOf(u"SERVINTE"_s), u"S"_s, u"J"_s)
           + u"\n WHERE S.CDPACIENTE = :P AND S.DTSERVINTE = :D AND S.NRSEQUSERV = :Q AND S.CDFILIAL = :F"_s;
}

QString itemsAsWritten()
{
    return u"SELECT COUNT(*), COUNT(J.IDEXECUCAO)\n  FROM CONFESCO C\n  LEFT JOIN EXECLINHA J ON J.IDEXECUCAO = :IDEXECUCAO"
           u" AND J.NRORDEM = :NRORDEM AND J.IDVERSAO = 'N' AND J.CDLINHA <> 'S'\n   AND "_s
           + sameColumns(columnsOf(u"CONFESCO"_s), u"C"_s, u"J"_s)
           + u"\n WHERE C.CDPACIENTE = :P AND C.DTSERVINTE = :D AND C.NRSEQUSERV = :Q AND C.CDFILIAL = :F"_s;
}

} // namespace JournalSql

} // namespace rbx
