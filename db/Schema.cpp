#include "Schema.h"

#include "Database.h"
#include "SqlDialect.h"
#include "SqlStatement.h"

#include <QSqlDatabase>
#include <QSqlRecord>

#include <stdexcept>

namespace rbx {

using namespace Qt::StringLiterals;

namespace Schema {

namespace {

using T = ColumnType;

Column code(const QString &name, int size, bool required = true) { return {name, T::FixedText, size, required}; }
Column text(const QString &name, int size, bool required = false) { return {name, T::Text, size, required}; }
Column dateTime(const QString &name, bool required = false) { return {name, T::DateTime, 0, required}; }
Column number(const QString &name) { return {name, T::Float, 0, false}; }
// A whole number kept in a floating column: exact far beyond any count of runs.
Column counter(const QString &name) { return {name, T::Float, 0, true}; }
Column serial(const QString &name) { return {name, T::Serial, 0, true}; }
Column serialReference(const QString &name) { return {name, T::SerialReference, 0, true}; }

// Widths of the codes, shared by every table that carries them.
constexpr int Filial = 4, Paciente = 12, ServFili = 5, DietPad = 4, Andar = 2, Ala = 3, Leito = 6, SerPadDie = 2,
              Nutricio = 3, Operador = 12, SequServ = 2, SequCopr = 4, Prato = 10, Produto = 10, ViaAcesDiet = 3;
// Six of these fit a Firebird row in UTF8 with room to spare.
constexpr int RunFilterWidth = 2000;

ForeignKey references(const QStringList &columns, const QString &table, bool cascadeDelete = false)
{
    return {columns, table, columns, cascadeDelete};
}

// The journal of copy runs (the two tables it mirrors taken by value: `all` grows), so that a run can be undone: the run itself, every row it replaced
// or wrote (a service and its items as lines of one table, so that one statement takes a
// service's picture whole), and the services an undo put back.
void addRunJournal(QList<Table> &all, const Table servinte, const Table confesco)
{
    const QString Run = u"IDEXECUCAO"_s;
    // the operator is unknown to a run of a client that never said who it is
    // numbered by the database, so that two servers on one database never give one number twice
    QList<Column> run = {serial(Run), code(u"CDFILIAL"_s, Filial), text(u"CDOPERADOR"_s, Operador),
                         code(u"IDTPSERVHOSP"_s, 1, false), dateTime(u"DTORIGEM"_s), dateTime(u"DTDESTINO"_s)};
    // each group's selection list, or "T" in all mode; a list longer than the column is kept cut
    for (const QString &group : {u"PACI"_s, u"SERV"_s, u"DIET"_s, u"ANDA"_s, u"ALA"_s, u"LEIT"_s})
        run << text(u"DSFILT"_s + group, RunFilterWidth);
    run << dateTime(u"DTINICIO"_s, true) << dateTime(u"DTFIM"_s) << number(u"QTSERVICOS"_s) << number(u"QTITENS"_s)
        // A open, C completed, F failed, I interrupted
        << code(u"IDSITUACAO"_s, 1) << dateTime(u"DTDESFINI"_s) << dateTime(u"DTDESFFIM"_s)
        << text(u"CDOPERDESF"_s, Operador)
        // why a failed run failed, as the server saw it
        << text(u"DSERRO"_s, 255);
    all << Table{.name = u"EXECCOPIA"_s,
                 .columns = run,
                 .primaryKey = {Run},
                 .uniques = {},
                 .foreignKeys = {},
                 .indexes = {{u"CDFILIAL"_s, u"DTINICIO"_s}}};

    // NRORDEM numbers the services of a run; IDVERSAO A is the destination's service as it was
    // before, N what the run wrote; CDLINHA is S for the service, I and the item's sequence for
    // each of its items.
    QList<Column> line = {serialReference(Run), counter(u"NRORDEM"_s), code(u"IDVERSAO"_s, 1), code(u"CDLINHA"_s, 1 + SequCopr)};
    for (const Table *source : {&servinte, &confesco}) {
        for (Column column : source->columns) {
            column.required = false;
            if (column.type == T::Serial)
                column.type = T::SerialReference;
            bool present = false;
            for (const Column &taken : line)
                present = present || taken.name == column.name;
            if (!present)
                line << column;
        }
    }
    all << Table{.name = u"EXECLINHA"_s,
                 .columns = line,
                 .primaryKey = {Run, u"NRORDEM"_s, u"IDVERSAO"_s, u"CDLINHA"_s},
                 .uniques = {},
                 .foreignKeys = {references({Run}, u"EXECCOPIA"_s, true)},
                 // the later runs over the same service of a patient are found by it
                 .indexes = {{u"CDPACIENTE"_s, u"DTSERVINTE"_s, u"CDFILIAL"_s}}};
    all << Table{.name = u"EXECDESFEITO"_s,
                 .columns = {serialReference(Run), counter(u"NRORDEM"_s), dateTime(u"DTDESFEITO"_s, true),
                             text(u"CDOPERADOR"_s, Operador, true)},
                 .primaryKey = {Run, u"NRORDEM"_s},
                 .uniques = {},
                 .foreignKeys = {references({Run}, u"EXECCOPIA"_s, true)},
                 .indexes = {}};
}

QList<Table> build()
{
    const QString F = u"CDFILIAL"_s;
    QList<Table> all;
    // one row per version the schema was brought to, the current one the highest
    all << Table{.name = u"VERSAOESQUEMA"_s,
                 .columns = {counter(u"NRVERSAO"_s), dateTime(u"DTAPLICADA"_s, true), text(u"DSVERSAO"_s, 120)},
                 .primaryKey = {u"NRVERSAO"_s},
                 .uniques = {},
                 .foreignKeys = {},
                 .indexes = {}};
    all << Table{.name = u"SERVICO"_s,
                 .columns = {code(F, Filial), code(u"CDSERVFILI"_s, ServFili), text(u"NMSERVICO"_s, 40),
                             code(u"IDTPSERVHOSP"_s, 1)},
                 .primaryKey = {F, u"CDSERVFILI"_s},
                 .uniques = {},
                 .foreignKeys = {},
                 .indexes = {}};
    all << Table{.name = u"DIETPADR"_s,
                 .columns = {code(u"CDDIETPAD"_s, DietPad), text(u"DSDIETPAD"_s, 50), code(u"IDFORMDIET"_s, 1)},
                 .primaryKey = {u"CDDIETPAD"_s},
                 .uniques = {},
                 .foreignKeys = {},
                 .indexes = {}};
    all << Table{.name = u"DIETSERV"_s,
                 .columns = {code(F, Filial), code(u"CDSERVFILI"_s, ServFili), code(u"CDDIETPAD"_s, DietPad)},
                 .primaryKey = {F, u"CDSERVFILI"_s, u"CDDIETPAD"_s},
                 .uniques = {},
                 .foreignKeys = {references({F, u"CDSERVFILI"_s}, u"SERVICO"_s),
                                 references({u"CDDIETPAD"_s}, u"DIETPADR"_s)},
                 .indexes = {}};
    all << Table{.name = u"ANDAR"_s,
                 .columns = {code(F, Filial), code(u"CDANDAR"_s, Andar), text(u"NMANDAR"_s, 40)},
                 .primaryKey = {F, u"CDANDAR"_s},
                 .uniques = {},
                 .foreignKeys = {},
                 .indexes = {}};
    all << Table{.name = u"ALA"_s,
                 .columns = {code(F, Filial), code(u"CDALA"_s, Ala), text(u"NMALA"_s, 40)},
                 .primaryKey = {F, u"CDALA"_s},
                 .uniques = {},
                 .foreignKeys = {},
                 .indexes = {}};
    all << Table{.name = u"LEITO"_s,
                 .columns = {code(F, Filial), code(u"CDLEITO"_s, Leito), text(u"NMLEITO"_s, 40),
                             code(u"CDANDAR"_s, Andar), code(u"CDALA"_s, Ala)},
                 .primaryKey = {F, u"CDLEITO"_s},
                 .uniques = {},
                 .foreignKeys = {references({F, u"CDANDAR"_s}, u"ANDAR"_s), references({F, u"CDALA"_s}, u"ALA"_s)},
                 .indexes = {}};
    all << Table{.name = u"PACIENTE"_s,
                 .columns = {code(u"CDPACIENTE"_s, Paciente), text(u"NMPACIENTE"_s, 80, true),
                             dateTime(u"DTNASCPACI"_s), code(u"IDSEXOPACI"_s, 1, false)},
                 .primaryKey = {u"CDPACIENTE"_s},
                 .uniques = {},
                 .foreignKeys = {},
                 .indexes = {}};
    all << Table{.name = u"PADRAOSERV"_s,
                 .columns = {code(F, Filial), code(u"CDSERPADDIE"_s, SerPadDie), text(u"NMSERPADDIE"_s, 30)},
                 .primaryKey = {F, u"CDSERPADDIE"_s},
                 .uniques = {},
                 .foreignKeys = {},
                 .indexes = {}};
    // One row per stay; DTALTA null while the patient is in.
    all << Table{.name = u"INTERNAC"_s,
                 .columns = {code(F, Filial), code(u"CDPACIENTE"_s, Paciente), dateTime(u"DTINTERNA"_s, true),
                             dateTime(u"DTALTA"_s), code(u"CDLEITO"_s, Leito, false),
                             code(u"CDSERPADDIE"_s, SerPadDie, false)},
                 .primaryKey = {F, u"CDPACIENTE"_s, u"DTINTERNA"_s},
                 .uniques = {},
                 .foreignKeys = {references({u"CDPACIENTE"_s}, u"PACIENTE"_s), references({F, u"CDLEITO"_s}, u"LEITO"_s),
                                 references({F, u"CDSERPADDIE"_s}, u"PADRAOSERV"_s)},
                 // no index on the discharge: the stays of a patient are found by the key, and
                 // an index on (branch, discharge) lures the planner into scanning every open stay
                 .indexes = {}};
    all << Table{.name = u"NUTRICIO"_s,
                 .columns = {code(F, Filial), code(u"CDNUTRICIO"_s, Nutricio),
                             // operator codes vary in length ("ADMIN", "VISITA")
                             text(u"CDOPERADOR"_s, Operador, true), text(u"NMNUTRICIO"_s, 60)},
                 .primaryKey = {F, u"CDNUTRICIO"_s},
                 .uniques = {},
                 .foreignKeys = {},
                 .indexes = {{u"CDOPERADOR"_s, F}}};
    // Who may log in: a SCRAM verifier, never a password (null until one is set, and for an
    // operator the site's directory checks), whether the operator may log in (S/N) and whether
    // the operator may undo the runs of others in its branches (S/N).
    all << Table{.name = u"OPERADOR"_s,
                 .columns = {text(u"CDOPERADOR"_s, Operador, true), text(u"DSVERIFSCRAM"_s, 255),
                             code(u"IDATIVO"_s, 1), code(u"IDSUPERVISOR"_s, 1)},
                 .primaryKey = {u"CDOPERADOR"_s},
                 .uniques = {},
                 .foreignKeys = {},
                 .indexes = {}};
    all << Table{.name = u"SERVINTE"_s,
                 .columns = {code(u"CDPACIENTE"_s, Paciente), dateTime(u"DTSERVINTE"_s, true),
                             code(u"NRSEQUSERV"_s, SequServ), code(F, Filial), code(u"CDSERVFILI"_s, ServFili),
                             code(u"CDDIETPAD"_s, DietPad), text(u"NRACOMPANA"_s, 4), code(u"STPACIACOM"_s, 1, false),
                             code(u"IDIMPRSERV"_s, 1, false), code(u"IDTIPOSERINT"_s, 1, false),
                             code(u"IDRESTSERIN"_s, 1, false), code(u"CDDIETGRUPSI"_s, DietPad, false),
                             code(u"CDNUTRICIO"_s, Nutricio, false), dateTime(u"DTINTERNA"_s),
                             text(u"DSSERVINTE"_s, 255), number(u"NRSERVPESO"_s)},
                 .primaryKey = {u"CDPACIENTE"_s, u"DTSERVINTE"_s, u"NRSEQUSERV"_s, F},
                 .uniques = {{u"CDPACIENTE"_s, u"DTSERVINTE"_s, F, u"CDSERVFILI"_s, u"CDDIETPAD"_s}},
                 .foreignKeys = {references({u"CDPACIENTE"_s}, u"PACIENTE"_s),
                                 references({F, u"CDSERVFILI"_s}, u"SERVICO"_s),
                                 references({u"CDDIETPAD"_s}, u"DIETPADR"_s),
                                 references({F, u"CDNUTRICIO"_s}, u"NUTRICIO"_s)},
                 .indexes = {{F, u"DTSERVINTE"_s}}};
    // CDFILIAL is no field of the packet, but part of the key: an item belongs to its service.
    all << Table{.name = u"CONFESCO"_s,
                 .columns = {code(u"CDPACIENTE"_s, Paciente), dateTime(u"DTSERVINTE"_s, true),
                             code(u"NRSEQUSERV"_s, SequServ), code(u"CDSEQUCOPR"_s, SequCopr), code(F, Filial),
                             code(u"CDFILAUXPRAT"_s, Filial, false), code(u"CDPRATO"_s, Prato, false),
                             number(u"QTSERVCONF"_s), number(u"QTPRATCONF"_s), number(u"QTINFUCONF"_s),
                             number(u"HRCONSCONF"_s), dateTime(u"DTCONSCONF"_s), code(u"CDPRODUTO"_s, Produto, false),
                             code(u"CDVIACESDIET"_s, ViaAcesDiet, false), code(u"IDPREPCONF"_s, 1, false),
                             text(u"DSOBSCONF"_s, 255)},
                 .primaryKey = {u"CDPACIENTE"_s, u"DTSERVINTE"_s, u"NRSEQUSERV"_s, u"CDSEQUCOPR"_s, F},
                 .uniques = {},
                 .foreignKeys = {references({u"CDPACIENTE"_s, u"DTSERVINTE"_s, u"NRSEQUSERV"_s, F}, u"SERVINTE"_s,
                                            true)},
                 .indexes = {}};
    addRunJournal(all, all.at(all.size() - 2), all.constLast());
    return all;
}

} // namespace

const Column *Table::findColumn(const QString &name) const
{
    for (const Column &column : columns) {
        if (column.name == name)
            return &column;
    }
    return nullptr;
}

const QList<Table> &tables()
{
    static const QList<Table> all = build();
    return all;
}

const Table &table(const QString &name)
{
    for (const Table &table : tables()) {
        if (table.name == name)
            return table;
    }
    throw std::out_of_range("no table " + name.toStdString());
}

const Column &column(const QString &tableName, const QString &columnName)
{
    const Column *found = table(tableName).findColumn(columnName);
    if (!found)
        throw std::out_of_range("no column " + tableName.toStdString() + "." + columnName.toStdString());
    return *found;
}

QStringList missingTables(Database &database)
{
    QStringList present = database.sql().tables(QSql::Tables);
    for (QString &name : present)
        name = name.toUpper();
    QStringList missing;
    for (const Table &table : tables()) {
        if (!present.contains(table.name))
            missing << table.name;
    }
    return missing;
}

QList<std::pair<QString, Column>> missingColumns(Database &database)
{
    const QStringList absent = missingTables(database);
    QList<std::pair<QString, Column>> missing;
    for (const Table &table : tables()) {
        if (absent.contains(table.name))
            continue;
        const QSqlRecord present = database.sql().record(table.name);
        for (const Column &column : table.columns) {
            if (present.indexOf(column.name) < 0)
                missing.append({table.name, column});
        }
    }
    return missing;
}

} // namespace Schema

} // namespace rbx
