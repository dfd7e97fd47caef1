#include "CopyServiceObject.h"

#include "ArgReader.h"
#include <copyrules/CopyRules.h>
#include "OperatorDirectory.h"
#include <protocol/OleDate.h>
#include <contract/CopyServiceContract.h>
#include "DbSession.h"
#include <protocol/HouseError.h>
#include "PacketBuilder.h"
#include "RunUndo.h"
#include <db/Schema.h>
#include <db/SqlSession.h>
#include "Statements.h"

#include <cmath>
#include <initializer_list>
#include <optional>

namespace rbx {

using namespace Qt::StringLiterals;
using CopyService::MethodId;

namespace {

const Schema::Column &col(const QString &table, const QString &column) { return Schema::column(table, column); }

[[noreturn]] void refuse(const QString &message) { throw ERemoteError(Wire::ErrorCode::ServiceFailed, message); }

Wire::CallResult withPacket(Wire::Packet packet)
{
    Wire::CallResult result;
    result.packet = std::move(packet);
    return result;
}

Wire::CallResult written(qint64 rows)
{
    Wire::CallResult result;
    result.rowsAffected = rows;
    return result;
}

using Statements::Binds;
using Statements::exists;
using Statements::run;
using Statements::runLastWrites;
using Statements::single;

// The sequence just before the lowest free one, at the column's width: zeros when none is taken.
QString beforeLowestFree(const QVariant &value, const Schema::Column &column)
{
    return value.isNull() ? CopyRules::beforeFirstSequence(column.size)
                          : QString::number(value.toLongLong()).rightJustified(column.size, u'0');
}

// The sequence after `current` at the column's width; a refusal of the call when it no longer fits.
QString nextSequence(const QString &current, const Schema::Column &column)
{
    try {
        return CopyRules::nextSequence(current, column.size);
    } catch (const EConvertError &error) {
        refuse(u"%1 (%2)"_s.arg(error.message(), column.name));
    }
}

// A patient is in while the latest stay in the branch has no discharge; older stays do not count.
const QString CurrentStay = uR"(I.DTALTA IS NULL
   AND I.DTINTERNA = (SELECT MAX(I2.DTINTERNA) FROM INTERNAC I2
                      WHERE I2.CDFILIAL = I.CDFILIAL AND I2.CDPACIENTE = I.CDPACIENTE AND I2.DTALTA IS NULL))"_s;

const QString NutritionistOf = u"SELECT MIN(CDNUTRICIO) FROM NUTRICIO WHERE CDOPERADOR = :CDOPERADOR AND CDFILIAL = :CDFILIAL"_s;
// New rows take the lowest free sequence, so that a copy run again over the services it replaced
// numbers them as before. The answer is the number before it (the caller adds one): 0 while 1 is
// free, else the lowest sequence in use whose successor is not. The keys make a taken number
// refuse a concurrent insert, whatever this read saw.
QString beforeFreeService(const QString &paciente, const QString &data, const QString &filial)
{
    return uR"(SELECT CASE WHEN MIN(CAST(F.NRSEQUSERV AS INTEGER)) > 1 THEN 0
                    ELSE MIN(CASE WHEN N.NRSEQUSERV IS NULL THEN CAST(F.NRSEQUSERV AS INTEGER) END) END
          FROM SERVINTE F
          LEFT JOIN SERVINTE N ON N.CDPACIENTE = F.CDPACIENTE AND N.DTSERVINTE = F.DTSERVINTE AND N.CDFILIAL = F.CDFILIAL
                              AND CAST(N.NRSEQUSERV AS INTEGER) = CAST(F.NRSEQUSERV AS INTEGER) + 1
         WHERE F.CDPACIENTE = %1 AND F.DTSERVINTE = %2 AND F.CDFILIAL = %3)"_s.arg(paciente, data, filial);
}
const QString BeforeFreeService = beforeFreeService(u":CDPACIENTE"_s, u":DTSERVINTE"_s, u":CDFILIAL"_s);
const QString BeforeFreeItem = uR"(
SELECT CASE WHEN MIN(CAST(S.CDSEQUCOPR AS INTEGER)) > 1 THEN 0
            ELSE MIN(CASE WHEN N.CDSEQUCOPR IS NULL THEN CAST(S.CDSEQUCOPR AS INTEGER) END) END
  FROM CONFESCO S
  LEFT JOIN CONFESCO N ON N.CDPACIENTE = S.CDPACIENTE AND N.DTSERVINTE = S.DTSERVINTE
                      AND N.NRSEQUSERV = S.NRSEQUSERV AND N.CDFILIAL = S.CDFILIAL
                      AND CAST(N.CDSEQUCOPR AS INTEGER) = CAST(S.CDSEQUCOPR AS INTEGER) + 1
 WHERE S.CDPACIENTE = :CDPACIENTE AND S.DTSERVINTE = :DTSERVINTE AND S.NRSEQUSERV = :NRSEQUSERV
   AND S.CDFILIAL = :CDFILIAL)"_s;
const QString ServiceExists = u"SELECT 1 FROM SERVINTE WHERE CDPACIENTE = :CDPACIENTE"
                              u" AND DTSERVINTE = :DTSERVINTE AND NRSEQUSERV = :NRSEQUSERV AND CDFILIAL = :CDFILIAL"_s;
const QString InsertService = uR"(
INSERT INTO SERVINTE (CDPACIENTE, DTSERVINTE, NRSEQUSERV, CDFILIAL, CDSERVFILI, CDDIETPAD, NRACOMPANA, STPACIACOM,
                      IDIMPRSERV, IDTIPOSERINT, IDRESTSERIN, CDDIETGRUPSI, CDNUTRICIO, DTINTERNA, DSSERVINTE, NRSERVPESO)
VALUES (:CDPACIENTE, :DTSERVINTE, :NRSEQUSERV, :CDFILIAL, :CDSERVFILI, :CDDIETPAD, :NRACOMPANA, :STPACIACOM,
        :IDIMPRSERV, :IDTIPOSERINT, :IDRESTSERIN, :CDDIETGRUPSI, :CDNUTRICIO, :DTINTERNA, :DSSERVINTE, :NRSERVPESO))"_s;
const QStringList ItemColumns = {u"CDPACIENTE"_s, u"DTSERVINTE"_s, u"NRSEQUSERV"_s, u"CDSEQUCOPR"_s, u"CDFILIAL"_s,
                                  u"CDFILAUXPRAT"_s, u"CDPRATO"_s, u"QTSERVCONF"_s, u"QTPRATCONF"_s, u"QTINFUCONF"_s,
                                  u"HRCONSCONF"_s, u"DTCONSCONF"_s, u"CDPRODUTO"_s, u"CDVIACESDIET"_s, u"IDPREPCONF"_s,
                                  u"DSOBSCONF"_s};
QString insertItemSql()
{
    QStringList placeholders;
    for (const QString &column : ItemColumns)
        placeholders << u':' + column;
    return u"INSERT INTO CONFESCO (%1) VALUES (%2)"_s.arg(ItemColumns.join(u", "_s), placeholders.join(u", "_s));
}
const QString InsertItem = insertItemSql();
// A copied service's items go a few to a statement: one round trip for them to a remote database.
constexpr int ItemsPerInsert = 16;
const QString ItemsOf = uR"(
SELECT CDPACIENTE, DTSERVINTE, NRSEQUSERV, CDSEQUCOPR, CDFILAUXPRAT, CDPRATO, QTSERVCONF, QTPRATCONF, QTINFUCONF,
       HRCONSCONF, DTCONSCONF, CDPRODUTO, CDVIACESDIET, IDPREPCONF, DSOBSCONF
  FROM CONFESCO
 WHERE CDPACIENTE = :CDPACIENTE AND DTSERVINTE = :DTSERVINTE AND NRSEQUSERV = :NRSEQUSERV AND CDFILIAL = :CDFILIAL
 ORDER BY CDSEQUCOPR)"_s;

// Everything a server-side copy reads, in one statement: the origin's service, a row per item
// (one row with null items when it has none), the destination's sequence before the lowest free
// one as BeforeFreeService computes it, and whether the destination holds the same service and
// diet, which only then is pictured and removed.
const QString CopyReads = uR"(
SELECT S.CDSERVFILI, S.CDDIETPAD, S.NRACOMPANA, S.STPACIACOM, S.IDIMPRSERV, S.IDTIPOSERINT, S.IDRESTSERIN,
       S.CDDIETGRUPSI, S.DTINTERNA, S.DSSERVINTE, S.NRSERVPESO,
       ()"_s + beforeFreeService(u":P_LIVRE"_s, u":D_LIVRE"_s, u":F_LIVRE"_s) + uR"(),
       CASE WHEN EXISTS (SELECT 1 FROM SERVINTE D
                          WHERE D.CDPACIENTE = S.CDPACIENTE AND D.DTSERVINTE = :D_OCUPADO AND D.CDFILIAL = S.CDFILIAL
                            AND D.CDSERVFILI = S.CDSERVFILI AND D.CDDIETPAD = S.CDDIETPAD) THEN 1 ELSE 0 END,
       C.CDSEQUCOPR, C.CDFILAUXPRAT, C.CDPRATO, C.QTSERVCONF, C.QTPRATCONF, C.QTINFUCONF, C.HRCONSCONF, C.DTCONSCONF,
       C.CDPRODUTO, C.CDVIACESDIET, C.IDPREPCONF, C.DSOBSCONF
  FROM SERVINTE S
  LEFT JOIN CONFESCO C ON C.CDPACIENTE = S.CDPACIENTE AND C.DTSERVINTE = S.DTSERVINTE AND C.NRSEQUSERV = S.NRSEQUSERV
                      AND C.CDFILIAL = S.CDFILIAL
 WHERE S.CDPACIENTE = :CDPACIENTE AND S.DTSERVINTE = :DTSERVINTE AND S.NRSEQUSERV = :NRSEQUSERV AND S.CDFILIAL = :CDFILIAL
 ORDER BY C.CDSEQUCOPR)"_s;

// What a refused service row ran into, in the order the checks were always made, worked out
// only once the database has refused it. `duplicate`: the row's key or its service and diet
// were taken already.
struct Refusal
{
    QString message;
    bool duplicate = false;
};

std::optional<Refusal> missingReference(DbSession &db, const QString &paciente, const QString &filial,
                                        const QString &servico, const QString &dieta)
{
    if (!exists(db, u"SELECT 1 FROM PACIENTE WHERE CDPACIENTE = :CDPACIENTE"_s, {{u":CDPACIENTE"_s, paciente}}))
        return Refusal{u"O paciente %1 não está cadastrado."_s.arg(paciente)};
    if (!exists(db, u"SELECT 1 FROM SERVICO WHERE CDFILIAL = :CDFILIAL AND CDSERVFILI = :CDSERVFILI"_s,
                {{u":CDFILIAL"_s, filial}, {u":CDSERVFILI"_s, servico}}))
        return Refusal{u"O serviço %1 não está cadastrado na filial %2."_s.arg(servico, filial)};
    if (!exists(db, u"SELECT 1 FROM DIETPADR WHERE CDDIETPAD = :CDDIETPAD"_s, {{u":CDDIETPAD"_s, dieta}}))
        return Refusal{u"A dieta %1 não está cadastrada."_s.arg(dieta)};
    return std::nullopt;
}

std::optional<Refusal> whyServiceRefused(DbSession &db, const QString &paciente, double data, const QString &sequencia,
                                         const QString &filial, const QString &servico, const QString &dieta)
{
    if (auto missing = missingReference(db, paciente, filial, servico, dieta))
        return missing;
    const QVariant dataValue = db.dialect().dateTimeValue(data);
    if (exists(db, ServiceExists,
               {{u":CDPACIENTE"_s, paciente}, {u":DTSERVINTE"_s, dataValue}, {u":NRSEQUSERV"_s, sequencia},
                {u":CDFILIAL"_s, filial}}))
        return Refusal{u"Já existe o serviço de sequência %1 do paciente %2 em %3 na filial %4."_s.arg(
                           sequencia, paciente, formatDate(data), filial),
                       true};
    if (exists(db, u"SELECT 1 FROM SERVINTE WHERE CDPACIENTE = :CDPACIENTE AND DTSERVINTE = :DTSERVINTE"
                   u" AND CDFILIAL = :CDFILIAL AND CDSERVFILI = :CDSERVFILI AND CDDIETPAD = :CDDIETPAD"_s,
               {{u":CDPACIENTE"_s, paciente}, {u":DTSERVINTE"_s, dataValue}, {u":CDFILIAL"_s, filial},
                {u":CDSERVFILI"_s, servico}, {u":CDDIETPAD"_s, dieta}}))
        return Refusal{u"O paciente %1 já tem o serviço %2 com a dieta %3 em %4 na filial %5."_s.arg(
                           paciente, servico, dieta, formatDate(data), filial),
                       true};
    return std::nullopt;
}

// The nutritionist the operator is in the branch; refused, after what else is wrong with the
// row, when the operator is none.
QVariant nutritionistOf(DbSession &db, const QString &operador, const QString &paciente, const QString &filial,
                        const QString &servico, const QString &dieta)
{
    const QVariant nutricio = single(db, NutritionistOf, {{u":CDOPERADOR"_s, operador}, {u":CDFILIAL"_s, filial}});
    if (!nutricio.isNull())
        return nutricio;
    if (auto missing = missingReference(db, paciente, filial, servico, dieta))
        refuse(missing->message);
    refuse(u"O operador %1 não é nutricionista da filial %2."_s.arg(operador, filial));
}

// A text as it comes back from a trip through the client: a null or empty value is null.
QVariant textOrNull(const QVariant &value)
{
    const QString text = value.toString();
    return value.isNull() || text.isEmpty() ? QVariant() : QVariant(text);
}

constexpr qsizetype MaxRunIdLength = 64;
// the runs of one connection that failed; a connection makes few
constexpr qsizetype MaxFailedRuns = 1000;

} // namespace

Wire::CallResult CopyServiceObject::getNutricio(Args &args)
{
    const ArgReader in(args, CopyService::method(MethodId::getNutricio));
    const QString operador = in.text(u"CDOPERADOR"_s);
    const QString filial = in.text(u"CDFILIAL"_s);
    m_audit.noteOperator(operador);
    m_journal.noteOperator(operador);
    PreparedStatement &query = run(m_db, u"SELECT CDNUTRICIO FROM NUTRICIO"
                                         u" WHERE CDOPERADOR = :CDOPERADOR AND CDFILIAL = :CDFILIAL ORDER BY CDNUTRICIO"_s,
                                   {{u":CDOPERADOR"_s, operador}, {u":CDFILIAL"_s, filial}});
    return withPacket(packetFromQuery(query, CopyService::nutricioLayout(), m_db.dialect()));
}

Wire::CallResult CopyServiceObject::getPaciente(Args &args)
{
    const ArgReader in(args, CopyService::method(MethodId::getPaciente));
    const QString filial = in.text(u"CDFILIAL"_s);
    // VARCHAR: Firebird reads a CHAR literal back padded to its width in bytes
    static const QString sql = uR"(
SELECT CAST(' ' AS VARCHAR(1)) AS IDMARCADO, P.CDPACIENTE, P.NMPACIENTE, L.NMLEITO, S.NMSERPADDIE, I.DTINTERNA, P.DTNASCPACI
  FROM INTERNAC I
  JOIN PACIENTE P ON P.CDPACIENTE = I.CDPACIENTE
  LEFT JOIN LEITO L ON L.CDFILIAL = I.CDFILIAL AND L.CDLEITO = I.CDLEITO
  LEFT JOIN PADRAOSERV S ON S.CDFILIAL = I.CDFILIAL AND S.CDSERPADDIE = I.CDSERPADDIE
 WHERE I.CDFILIAL = :CDFILIAL AND )"_s + CurrentStay + u"\n ORDER BY P.NMPACIENTE, P.CDPACIENTE"_s;
    PreparedStatement &query = run(m_db, sql, {{u":CDFILIAL"_s, filial}});
    Wire::CallResult result = withPacket(packetFromQuery(query, CopyService::pacienteLayout(), m_db.dialect()));
    m_audit.patientsRead(filial, result.packet ? result.packet->rows.size() : 0);
    return result;
}

Wire::CallResult CopyServiceObject::getServInte(Args &args)
{
    const ArgReader in(args, CopyService::method(MethodId::getServInte));
    const QString filial = in.text(u"CDFILIAL"_s);
    const double origem = in.date(u"DTSERVINTE"_s);
    const QString modo = in.text(u"IDTPSERVHOSP"_s);
    m_audit.noteOrigin(origem);

    // the six groups in argument order, each a list and its all flag, and the code it filters
    struct Group
    {
        QString name;
        QString code;
    };
    static const Group groups[] = {{u"PACIENTE"_s, u"S.CDPACIENTE"_s}, {u"SERVICO"_s, u"S.CDSERVFILI"_s},
                                   {u"DIETA"_s, u"S.CDDIETPAD"_s},     {u"ANDAR"_s, u"L.CDANDAR"_s},
                                   {u"ALA"_s, u"L.CDALA"_s},           {u"LEITO"_s, u"I.CDLEITO"_s}};
    QString filters;
    for (const Group &group : groups) {
        filters += u"\n   AND "_s
                   + m_db.dialect().groupPasses(u":T_"_s + group.name, u":L_"_s + group.name, group.code);
    }
    PreparedStatement &query = m_db.statement(uR"(
SELECT S.CDPACIENTE, S.DTSERVINTE, S.NRSEQUSERV, S.CDFILIAL, S.CDSERVFILI, S.CDDIETPAD, S.NRACOMPANA,
       S.STPACIACOM, S.IDIMPRSERV, S.IDTIPOSERINT, S.IDRESTSERIN, S.CDDIETGRUPSI, S.CDNUTRICIO, S.DTINTERNA,
       S.DSSERVINTE, S.NRSERVPESO
  FROM SERVINTE S
  JOIN SERVICO V ON V.CDFILIAL = S.CDFILIAL AND V.CDSERVFILI = S.CDSERVFILI
  JOIN INTERNAC I ON I.CDFILIAL = S.CDFILIAL AND I.CDPACIENTE = S.CDPACIENTE AND )"_s + CurrentStay + uR"(
  LEFT JOIN LEITO L ON L.CDFILIAL = I.CDFILIAL AND L.CDLEITO = I.CDLEITO
 WHERE S.CDFILIAL = :CDFILIAL AND S.DTSERVINTE = :DTSERVINTE AND V.IDTPSERVHOSP = :IDTPSERVHOSP)"_s
                                              + filters + u"\n ORDER BY S.CDPACIENTE, S.NRSEQUSERV"_s);
    query.bind(u":CDFILIAL"_s, filial);
    query.bind(u":DTSERVINTE"_s, m_db.dialect().dateTimeValue(origem));
    query.bind(u":IDTPSERVHOSP"_s, modo);
    for (const Group &group : groups) {
        query.bind(u":L_"_s + group.name, in.raw(u"L_"_s + group.name));
        query.bind(u":T_"_s + group.name, in.raw(u"T_"_s + group.name));
    }
    query.exec();
    Wire::CallResult result = withPacket(packetFromQuery(query, CopyService::servInteLayout(), m_db.dialect()));
    RunJournal::Query asked{filial, modo, origem, {}};
    for (const Group &group : groups) {
        const QString all = in.raw(u"T_"_s + group.name);
        asked.filtros << (all == u"T" ? all : in.raw(u"L_"_s + group.name));
    }
    m_journal.queried(asked);
    return result;
}

Wire::CallResult CopyServiceObject::DelServ(Args &args)
{
    const ArgReader in(args, CopyService::method(MethodId::DelServ));
    const QString paciente = in.key(u"CDPACIENTE"_s);
    const double destino = in.date(u"DTSERVINTE"_s);
    const QString filial = in.key(u"CDFILIAL"_s);
    const QString servico = in.key(u"CDSERVFILI"_s);
    const QString dieta = in.key(u"CDDIETPAD"_s);
    const RunJournal::ServiceKey key{paciente, destino, filial, servico, dieta};
    qint64 removed = 0;
    // the removed service's picture goes with the removal
    classicWrite(filial, destino, [&] { removed = m_journal.classicDelete(key); });
    m_audit.removed(paciente, destino, filial, servico, dieta, removed);
    auditUnlessInTransaction();
    return written(removed);
}

Wire::CallResult CopyServiceObject::getNrServInte(Args &args)
{
    const ArgReader in(args, CopyService::method(MethodId::getNrServInte));
    const QString paciente = in.text(u"CDPACIENTE"_s);
    const double data = in.date(u"DTSERVINTE"_s);
    const QString filial = in.text(u"CDFILIAL"_s);
    const QVariant value = single(m_db, BeforeFreeService,
                                  {{u":CDPACIENTE"_s, paciente}, {u":DTSERVINTE"_s, m_db.dialect().dateTimeValue(data)},
                                   {u":CDFILIAL"_s, filial}});
    return withPacket(singleValuePacket(CopyService::nrServInteLayout(), beforeLowestFree(value, col(u"SERVINTE"_s, u"NRSEQUSERV"_s))));
}

Wire::CallResult CopyServiceObject::InsServInte(Args &args)
{
    const ArgReader in(args, CopyService::method(MethodId::InsServInte));
    ServiceRow row;
    row.paciente = in.key(u"CDPACIENTE"_s);
    row.data = in.date(u"DTSERVINTE"_s);
    row.sequencia = in.sequence(u"NRSEQUSERV"_s);
    row.filial = in.key(u"CDFILIAL"_s);
    row.servico = in.key(u"CDSERVFILI"_s);
    row.dieta = in.key(u"CDDIETPAD"_s);
    row.acompanha = in.nullable(u"NRACOMPANA"_s);
    row.stPaciAcom = in.nullable(u"STPACIACOM"_s);
    row.imprime = in.nullable(u"IDIMPRSERV"_s);
    row.tipo = in.nullable(u"IDTIPOSERINT"_s);
    row.restricao = in.nullable(u"IDRESTSERIN"_s);
    row.grupo = in.nullable(u"CDDIETGRUPSI"_s);
    row.internacao = in.nullableDate(u"DTINTERNA"_s);
    row.descricao = in.nullable(u"DSSERVINTE"_s);
    row.peso = in.decimalText(u"NRSERVPESO"_s);
    const QString operador = in.key(u"CDOPERADOR"_s);

    row.nutricio = nutritionistOf(m_db, operador, row.paciente, row.filial, row.servico, row.dieta);
    m_journal.noteOperator(operador);
    classicWrite(row.filial, row.data, [&] {
        // the schema's keys check what the row refers to
        try {
            run(m_db, serviceInsert(row));
        } catch (const EConstraintViolation &) {
            if (auto why = whyServiceRefused(m_db, row.paciente, row.data, row.sequencia, row.filial, row.servico, row.dieta))
                refuse(why->message);
            throw;
        }
        m_journal.classicServiceInserted({row.paciente, row.data, row.filial, row.servico, row.dieta}, row.sequencia);
    });
    m_audit.noteOperator(operador);
    m_audit.serviceInserted(row.paciente, row.data, row.sequencia, row.filial, row.servico, row.dieta);
    auditUnlessInTransaction();
    return written(1);
}

Statements::BoundStatement CopyServiceObject::serviceInsert(const ServiceRow &row) const
{
    const SqlDialect &dialect = m_db.dialect();
    return {InsertService,
            {{u":CDPACIENTE"_s, row.paciente}, {u":DTSERVINTE"_s, dialect.dateTimeValue(row.data)},
             {u":NRSEQUSERV"_s, row.sequencia}, {u":CDFILIAL"_s, row.filial}, {u":CDSERVFILI"_s, row.servico},
             {u":CDDIETPAD"_s, row.dieta}, {u":NRACOMPANA"_s, row.acompanha}, {u":STPACIACOM"_s, row.stPaciAcom},
             {u":IDIMPRSERV"_s, row.imprime}, {u":IDTIPOSERINT"_s, row.tipo}, {u":IDRESTSERIN"_s, row.restricao},
             {u":CDDIETGRUPSI"_s, row.grupo}, {u":CDNUTRICIO"_s, row.nutricio},
             {u":DTINTERNA"_s, row.internacao.isNull() ? QVariant() : dialect.dateTimeValue(row.internacao.toDouble())},
             {u":DSSERVINTE"_s, row.descricao}, {u":NRSERVPESO"_s, row.peso}}};
}

QVariantList CopyServiceObject::itemValues(const ItemRow &row) const
{
    const SqlDialect &dialect = m_db.dialect();
    const QVariant consumo = row.consumo.isNull() ? QVariant() : dialect.dateTimeValue(row.consumo.toDouble());
    // in the order of ItemColumns
    return {row.paciente, dialect.dateTimeValue(row.data), row.sequencia, row.item, row.filial, row.filialPrato,
            row.prato, row.qtServ, row.qtPrat, row.qtInfu, row.hora, consumo, row.produto, row.via, row.preparo,
            row.observacao};
}

void CopyServiceObject::insertItem(const ItemRow &row)
{
    PreparedStatement &statement = m_db.statement(InsertItem);
    const QVariantList values = itemValues(row);
    for (qsizetype i = 0; i < ItemColumns.size(); ++i)
        statement.bind(u':' + ItemColumns.at(i), values.at(i));
    statement.exec();
}

QList<Statements::BoundStatement> CopyServiceObject::itemInserts(const QList<ItemRow> &rows)
{
    // 16, 8, 4, 2 and 1 rows a statement: five statements prepared at most
    QList<Statements::BoundStatement> inserts;
    qsizetype from = 0;
    for (int count = ItemsPerInsert; count >= 1; count /= 2) {
        for (; rows.size() - from >= count; from += count) {
            QString &sql = m_itemInserts[count];
            if (sql.isEmpty())
                sql = m_db.dialect().insertRows(u"CONFESCO"_s, ItemColumns, count);
            Statements::BoundStatement &insert = inserts.emplaceBack(Statements::BoundStatement{sql, {}});
            insert.binds.reserve(count * ItemColumns.size());
            for (int k = 0; k < count; ++k) {
                const QString suffix = u'_' + QString::number(k + 1);
                const QVariantList values = itemValues(rows.at(from + k));
                for (qsizetype i = 0; i < ItemColumns.size(); ++i)
                    insert.binds.append({u':' + ItemColumns.at(i) + suffix, values.at(i)});
            }
        }
    }
    return inserts;
}

Wire::CallResult CopyServiceObject::getNrConfesco(Args &args)
{
    const ArgReader in(args, CopyService::method(MethodId::getNrConfesco));
    const QString paciente = in.text(u"CDPACIENTE"_s);
    const double data = in.date(u"DTSERVINTE"_s);
    const QString sequencia = in.text(u"NRSEQUSERV"_s);
    const QString filial = in.text(u"CDFILIAL"_s);
    const QVariant value = single(m_db, BeforeFreeItem,
                                  {{u":CDPACIENTE"_s, paciente}, {u":DTSERVINTE"_s, m_db.dialect().dateTimeValue(data)},
                                   {u":NRSEQUSERV"_s, sequencia}, {u":CDFILIAL"_s, filial}});
    return withPacket(singleValuePacket(CopyService::nrConfescoLayout(), beforeLowestFree(value, col(u"CONFESCO"_s, u"CDSEQUCOPR"_s))));
}

Wire::CallResult CopyServiceObject::getConfesco(Args &args)
{
    const ArgReader in(args, CopyService::method(MethodId::getConfesco));
    const QString paciente = in.text(u"CDPACIENTE"_s);
    const QString sequencia = in.text(u"NRSEQUSERV"_s);
    const double data = in.date(u"DTSERVINTE"_s);
    const QString filial = in.text(u"CDFILIAL"_s);
    PreparedStatement &query = run(m_db, ItemsOf,
                                   {{u":CDPACIENTE"_s, paciente}, {u":DTSERVINTE"_s, m_db.dialect().dateTimeValue(data)},
                                    {u":NRSEQUSERV"_s, sequencia}, {u":CDFILIAL"_s, filial}});
    return withPacket(packetFromQuery(query, CopyService::confescoLayout(), m_db.dialect()));
}

Wire::CallResult CopyServiceObject::InsConfesco(Args &args)
{
    const ArgReader in(args, CopyService::method(MethodId::InsConfesco));
    ItemRow row;
    row.paciente = in.key(u"CDPACIENTE"_s);
    row.data = in.date(u"DTSERVINTE"_s);
    row.sequencia = in.sequence(u"NRSEQUSERV"_s);
    row.item = in.sequence(u"CDSEQUCOPR"_s);
    row.filialPrato = in.nullable(u"CDFILAUXPRAT"_s);
    row.prato = in.nullable(u"CDPRATO"_s);
    row.qtServ = in.number(u"QTSERVCONF"_s);
    row.qtPrat = in.number(u"QTPRATCONF"_s);
    row.hora = in.number(u"HRCONSCONF"_s);
    row.consumo = in.nullableDate(u"DTCONSCONF"_s);
    row.produto = in.nullable(u"CDPRODUTO"_s);
    row.via = in.nullable(u"CDVIACESDIET"_s);
    row.preparo = in.nullable(u"IDPREPCONF"_s);
    row.observacao = in.nullable(u"DSOBSCONF"_s);
    row.filial = in.key(u"CDFILIAL"_s);
    row.qtInfu = in.number(u"QTINFUCONF"_s);

    classicWrite(row.filial, row.data, [&] {
        try {
            insertItem(row);
        } catch (const EConstraintViolation &) {
            const QVariant dataValue = m_db.dialect().dateTimeValue(row.data);
            if (!exists(m_db, ServiceExists,
                        {{u":CDPACIENTE"_s, row.paciente}, {u":DTSERVINTE"_s, dataValue}, {u":NRSEQUSERV"_s, row.sequencia},
                         {u":CDFILIAL"_s, row.filial}}))
                refuse(u"O serviço de sequência %1 do paciente %2 em %3 na filial %4 não existe; o item não foi incluído."_s.arg(
                    row.sequencia, row.paciente, formatDate(row.data), row.filial));
            refuse(u"Já existe o item %1 do serviço %2 do paciente %3 em %4 na filial %5."_s.arg(
                row.item, row.sequencia, row.paciente, formatDate(row.data), row.filial));
        }
        m_journal.classicItemInserted(row.paciente, row.data, row.sequencia, row.filial);
    });
    m_audit.itemInserted(row.paciente, row.data, row.sequencia, row.filial);
    auditUnlessInTransaction();
    return written(1);
}

Wire::CallResult CopyServiceObject::CopServInte(Args &args)
{
    const ArgReader in(args, CopyService::method(MethodId::CopServInte));
    const QString paciente = in.key(u"CDPACIENTE"_s);
    const double origem = in.date(u"DTSERVINTE"_s);
    const QString sequenciaOrigem = in.key(u"NRSEQUSERV"_s);
    const QString filial = in.key(u"CDFILIAL"_s);
    const double destino = in.date(u"DTDESTINO"_s);
    const QString operador = in.key(u"CDOPERADOR"_s);
    const QString execucao = in.raw(u"IDEXECUCAO"_s);
    if (execucao.size() > MaxRunIdLength)
        refuse(u"IDEXECUCAO tem %1 caracteres; o máximo é %2."_s.arg(execucao.size()).arg(MaxRunIdLength));
    // Copies of a run may be on their way before the client learns that one failed: the run
    // must stop at the failed service, as if the client had sent nothing after it.
    if (!execucao.isEmpty() && m_failedRuns.contains(execucao))
        refuse(u"Cópia não executada: a execução parou num serviço anterior que falhou."_s);
    try {
        const qint64 order = m_journal.serviceOfCopy(execucao, filial, destino, operador);
        Wire::CallResult result = copyService(paciente, origem, sequenciaOrigem, filial, destino, operador, order);
        if (m_db.groupOpen() && !execucao.isEmpty())
            m_groupRuns.insert(execucao);
        return result;
    } catch (...) {
        m_journal.failed(errorText(std::current_exception()));
        if (!execucao.isEmpty())
            stopRun(execucao);
        throw;
    }
}

void CopyServiceObject::stopRun(const QString &execucao)
{
    if (m_failedRuns.size() >= MaxFailedRuns)
        m_failedRuns.clear();
    m_failedRuns.insert(execucao);
}

void CopyServiceObject::endGroup() { m_db.commitGroup(); }

std::optional<DbSession::GroupEnd> CopyServiceObject::takeGroupEnd()
{
    std::optional<DbSession::GroupEnd> end = m_db.takeGroupEnd();
    if (!end)
        return end;
    if (end->committed) {
        m_audit.commit();
    } else {
        m_audit.rollback();
        m_journal.failed(end->why);
        for (const QString &execucao : std::as_const(m_groupRuns))
            stopRun(execucao);
    }
    m_groupRuns.clear();
    return end;
}

void CopyServiceObject::connectionEnded() noexcept
{
    endGroup();
    takeGroupEnd();
    m_journal.connectionEnded();
}

Wire::CallResult CopyServiceObject::copyService(const QString &paciente, double origem, const QString &sequenciaOrigem,
                                                const QString &filial, double destino, const QString &operador,
                                                qint64 order)
{
    const SqlDialect &dialect = m_db.dialect();
    const QVariant origemValue = dialect.dateTimeValue(origem), destinoValue = dialect.dateTimeValue(destino);
    const auto date = [&dialect](const QVariant &value) {
        return value.isNull() ? std::optional<double>() : dialect.oleDate(value);
    };

    ServiceRow row;
    qint64 replaced = 0;
    QList<ItemRow> items;
    const auto unit = [&] {
        row = {};
        items.clear();
        PreparedStatement &origin = run(m_db, CopyReads,
                                        {{u":CDPACIENTE"_s, paciente}, {u":DTSERVINTE"_s, origemValue},
                                         {u":NRSEQUSERV"_s, sequenciaOrigem}, {u":CDFILIAL"_s, filial},
                                         {u":P_LIVRE"_s, paciente}, {u":D_LIVRE"_s, destinoValue},
                                         {u":F_LIVRE"_s, filial}, {u":D_OCUPADO"_s, destinoValue}});
        if (!origin.next()) {
            origin.finish();
            refuse(u"O serviço de sequência %1 do paciente %2 em %3 na filial %4 não existe; nada foi copiado."_s.arg(
                sequenciaOrigem, paciente, formatDate(origem), filial));
        }
        // each value as the classic calls carry it through the client: an empty text as null, the
        // weight to 15 significant digits, a null admission date as day 0 and back to null
        row.paciente = paciente;
        row.data = destino;
        row.filial = filial;
        row.servico = origin.value(0).toString();
        row.dieta = origin.value(1).toString();
        row.acompanha = textOrNull(origin.value(2));
        row.stPaciAcom = textOrNull(origin.value(3));
        row.imprime = textOrNull(origin.value(4));
        row.tipo = textOrNull(origin.value(5));
        row.restricao = textOrNull(origin.value(6));
        row.grupo = textOrNull(origin.value(7));
        const std::optional<double> internacao = CopyRules::carriedDate(date(origin.value(8)).value_or(0));
        row.internacao = internacao ? QVariant(*internacao) : QVariant();
        row.descricao = textOrNull(origin.value(9));
        const QVariant peso = origin.value(10);
        row.peso = peso.isNull() ? QVariant() : QVariant(CopyRules::carriedWeight(peso.toDouble()));
        const QVariant beforeFree = origin.value(11);
        const bool occupied = origin.value(12).toInt() != 0;
        do {
            if (origin.value(13).isNull())
                break;
            ItemRow copy;
            copy.paciente = paciente;
            copy.data = destino;
            copy.filial = filial;
            copy.filialPrato = textOrNull(origin.value(14));
            copy.prato = textOrNull(origin.value(15));
            // a null quantity travels as 0
            copy.qtServ = origin.value(16).toDouble();
            copy.qtPrat = origin.value(17).toDouble();
            copy.qtInfu = origin.value(18).toDouble();
            copy.hora = origin.value(19).toDouble();
            if (const std::optional<double> moved =
                    CopyRules::carriedDate(CopyRules::movedConsumption(date(origin.value(20)), origem, destino)))
                copy.consumo = *moved;
            copy.produto = textOrNull(origin.value(21));
            copy.via = textOrNull(origin.value(22));
            copy.preparo = textOrNull(origin.value(23));
            copy.observacao = textOrNull(origin.value(24));
            items.append(copy);
        } while (origin.next());
        origin.finish();

        const RunJournal::ServiceKey key{paciente, destino, filial, row.servico, row.dieta};
        const Schema::Column &serviceSequence = col(u"SERVINTE"_s, u"NRSEQUSERV"_s);
        if (occupied) {
            // the removal may free the lowest sequence: ask again after it
            replaced = m_journal.replace(order, key);
            row.sequencia = nextSequence(
                beforeLowestFree(single(m_db, BeforeFreeService,
                                        {{u":CDPACIENTE"_s, paciente}, {u":DTSERVINTE"_s, destinoValue},
                                         {u":CDFILIAL"_s, filial}}),
                                 serviceSequence),
                serviceSequence);
        } else {
            m_journal.nothingToReplace(key);
            row.sequencia = nextSequence(beforeLowestFree(beforeFree, serviceSequence), serviceSequence);
        }
        // the same for every copy of a run: asked once a group
        GroupNutritionist &known = m_groupNutritionist;
        if (m_db.groupNumber() != 0 && known.group == m_db.groupNumber() && known.operador == operador
            && known.filial == filial) {
            row.nutricio = known.nutricio;
        } else {
            row.nutricio = nutritionistOf(m_db, operador, paciente, filial, row.servico, row.dieta);
            known = {m_db.groupNumber(), operador, filial, row.nutricio};
        }
        // the service is this transaction's own: its items count from none
        const Schema::Column &itemSequence = col(u"CONFESCO"_s, u"CDSEQUCOPR"_s);
        QString item = beforeLowestFree(QVariant(), itemSequence);
        for (ItemRow &copy : items) {
            item = nextSequence(item, itemSequence);
            copy.item = item;
            copy.sequencia = row.sequencia;
        }
        // the service, its items and their picture: one round trip where the database joins them
        QList<Statements::BoundStatement> writes{serviceInsert(row)};
        writes << itemInserts(items) << m_journal.pictureOfWritten(order, key);
        try {
            runLastWrites(m_db, writes);
        } catch (const EConstraintViolation &error) {
            // A key taken by a concurrent copy of the same patient and day since this one looked
            // (which a snapshot may not even show yet) is worth another try; a missing patient,
            // service or diet is not. The service is this transaction's own: its items collide
            // only with a concurrent writer.
            const auto why = whyServiceRefused(m_db, paciente, destino, row.sequencia, filial, row.servico, row.dieta);
            if (why && !why->duplicate)
                refuse(why->message);
            throw ETransactionConflict(why ? why->message : error.message());
        }
    };
    if (groupsCopies())
        m_db.inGroup(unit);
    else
        m_db.inOwnTransaction(unit);

    m_audit.noteOperator(operador);
    m_audit.noteOrigin(origem);
    m_audit.removed(paciente, destino, filial, row.servico, row.dieta, replaced);
    m_audit.serviceInserted(paciente, destino, row.sequencia, filial, row.servico, row.dieta);
    for (qsizetype i = 0; i < items.size(); ++i)
        m_audit.itemInserted(paciente, destino, row.sequencia, filial);
    // a grouped copy is logged once its group commits (takeGroupEnd)
    if (!m_db.groupOpen())
        m_audit.commit();
    else if (m_db.groupUnits() >= m_grouping.services || m_db.groupAgeMs() >= m_grouping.ms)
        m_db.commitGroup();

    Wire::Packet packet;
    packet.fields = CopyService::packetFields(CopyService::copServInteLayout());
    packet.rows << QList<QVariant>{row.sequencia, double(items.size()), double(replaced)};
    return withPacket(std::move(packet));
}

Wire::CallResult CopyServiceObject::StartTransaction(Args &)
{
    m_db.startTransaction();
    return {};
}

Wire::CallResult CopyServiceObject::Commit(Args &)
{
    try {
        m_db.commit();
    } catch (...) {
        m_audit.rollback();
        m_journal.failed(errorText(std::current_exception()));
        throw;
    }
    m_audit.commit();
    return {};
}

Wire::CallResult CopyServiceObject::Rollback(Args &)
{
    m_audit.rollback();
    m_db.rollback();
    // a service given up: the run did not copy it
    m_journal.failed(u"o cliente desfez a transação de um serviço"_s);
    return {};
}

void CopyServiceObject::classicWrite(const QString &filial, double destino, const std::function<void()> &writes)
{
    try {
        m_journal.runFor(filial, destino);
        if (m_db.inTransaction()) {
            writes();
            return;
        }
        // outside a client transaction the write and its pictures commit together on their own
        m_db.atomically(writes);
    } catch (...) {
        m_journal.failed(errorText(std::current_exception()));
        throw;
    }
}

Wire::CallResult CopyServiceObject::AbreExecucao(Args &args)
{
    const ArgReader in(args, CopyService::method(MethodId::AbreExecucao));
    const QString filial = in.key(u"CDFILIAL"_s);
    const double destino = in.date(u"DTDESTINO"_s);
    const QString operador = in.key(u"CDOPERADOR"_s);
    requireNutritionist(operador, filial);
    m_audit.noteOperator(operador);
    const qint64 id = m_journal.open(filial, destino, operador);
    Wire::Packet packet;
    packet.fields = CopyService::packetFields(CopyService::execucaoLayout());
    packet.rows << QList<QVariant>{double(id)};
    return withPacket(std::move(packet));
}

Wire::CallResult CopyServiceObject::FechaExecucao(Args &args)
{
    const ArgReader in(args, CopyService::method(MethodId::FechaExecucao));
    const QString situacao = in.key(u"IDSITUACAO"_s);
    m_journal.close(in.raw(u"IDEXECUCAO"_s), situacao.at(0));
    return written(1);
}

Wire::CallResult CopyServiceObject::getExecucoes(Args &args)
{
    const ArgReader in(args, CopyService::method(MethodId::getExecucoes));
    const QString filial = in.key(u"CDFILIAL"_s);
    const QString operador = in.key(u"CDOPERADOR"_s);
    const double de = in.date(u"DTDE"_s), ate = in.date(u"DTATE"_s);
    requireNutritionist(operador, filial);
    const SqlDialect &dialect = m_db.dialect();
    // days included; 0 is no bound
    const QVariant from = dialect.dateTimeValue(de == 0 ? OleDate::MinimumValue : std::floor(de));
    const QVariant to = dialect.dateTimeValue(ate == 0 ? OleDate::MaximumValue : std::floor(ate) + 1);
    PreparedStatement &query = run(m_db, uR"(
SELECT E.IDEXECUCAO, E.DTINICIO, E.DTFIM, E.CDOPERADOR, E.IDTPSERVHOSP, E.DTORIGEM, E.DTDESTINO,
       COALESCE(E.QTSERVICOS, (SELECT COUNT(*) FROM EXECLINHA L
                                WHERE L.IDEXECUCAO = E.IDEXECUCAO AND L.IDVERSAO = 'N' AND L.CDLINHA = 'S')) AS QTSERVICOS,
       COALESCE(E.QTITENS, (SELECT COUNT(*) FROM EXECLINHA L
                             WHERE L.IDEXECUCAO = E.IDEXECUCAO AND L.IDVERSAO = 'N' AND L.CDLINHA <> 'S')) AS QTITENS,
       E.IDSITUACAO, E.DTDESFFIM, E.CDOPERDESF, E.DTDESFINI,
       (SELECT COUNT(*) FROM EXECDESFEITO X WHERE X.IDEXECUCAO = E.IDEXECUCAO) AS QTDESFEITOS,
       E.DSERRO, E.DSFILTPACI, E.DSFILTSERV, E.DSFILTDIET, E.DSFILTANDA, E.DSFILTALA, E.DSFILTLEIT
  FROM EXECCOPIA E
 WHERE E.CDFILIAL = :CDFILIAL AND E.DTINICIO >= :DTDE AND E.DTINICIO < :DTATE
 ORDER BY E.IDEXECUCAO DESC)"_s,
                                   {{u":CDFILIAL"_s, filial}, {u":DTDE"_s, from}, {u":DTATE"_s, to}});
    return withPacket(packetFromQuery(query, CopyService::execucoesLayout(), dialect));
}

Wire::CallResult CopyServiceObject::DesfazExecucao(Args &args)
{
    const ArgReader in(args, CopyService::method(MethodId::DesfazExecucao));
    const QString execucao = in.raw(u"IDEXECUCAO"_s);
    const QString operador = in.key(u"CDOPERADOR"_s);
    bool numeric = false;
    const qint64 id = execucao.toLongLong(&numeric);
    if (!numeric || id <= 0)
        refuse(u"IDEXECUCAO deve ser o número de uma execução; recebido \"%1\"."_s.arg(excerpt(execucao)));
    m_audit.noteOperator(operador);
    RunUndo undo(m_db, m_audit);
    const QString filial = undo.branchOf(id);
    requireNutritionist(operador, filial);
    // a run is undone by whoever made it, or by a supervisor of its branch
    if (m_acting && undo.operatorOf(id) != m_acting->code && !(m_acting->supervisor && m_acting->inBranch(filial))) {
        throw ERemoteError(Wire::ErrorCode::NotPermitted,
                           u"A execução %1 é de outro operador: só ele ou um supervisor da filial pode desfazê-la."_s.arg(id));
    }
    const QList<RunUndo::ServiceResult> results = undo.undo(id, operador);
    Wire::Packet packet;
    packet.fields = CopyService::packetFields(CopyService::desfazExecucaoLayout());
    for (const RunUndo::ServiceResult &result : results) {
        packet.rows << QList<QVariant>{result.paciente,
                                       result.data,
                                       result.servico,
                                       result.dieta,
                                       result.sequencia.isEmpty() ? QVariant() : QVariant(result.sequencia),
                                       result.undone ? u"D"_s : u"R"_s,
                                       result.why.isEmpty() ? QVariant() : QVariant(result.why)};
    }
    return withPacket(std::move(packet));
}

Wire::CallResult CopyServiceObject::getServExecucao(Args &args)
{
    const ArgReader in(args, CopyService::method(MethodId::getServExecucao));
    const QString execucao = in.raw(u"IDEXECUCAO"_s);
    const QString filial = in.key(u"CDFILIAL"_s);
    requireNutritionist(in.key(u"CDOPERADOR"_s), filial);
    bool numeric = false;
    const qint64 id = execucao.toLongLong(&numeric);
    if (!numeric || id <= 0)
        refuse(u"IDEXECUCAO deve ser o número de uma execução; recebido \"%1\"."_s.arg(excerpt(execucao)));
    // the branch is part of the key: a run of another branch reads as none
    PreparedStatement &query = run(m_db, uR"(
SELECT N.NRORDEM, N.CDPACIENTE, P.NMPACIENTE, N.CDSERVFILI, S.NMSERVICO, N.CDDIETPAD, D.DSDIETPAD, N.NRSEQUSERV,
       (SELECT COUNT(*) FROM EXECLINHA I
         WHERE I.IDEXECUCAO = N.IDEXECUCAO AND I.NRORDEM = N.NRORDEM AND I.IDVERSAO = 'N' AND I.CDLINHA <> 'S') AS QTITENS,
       A.NRSEQUSERV AS NRSEQUANT,
       (SELECT COUNT(*) FROM EXECLINHA I
         WHERE I.IDEXECUCAO = N.IDEXECUCAO AND I.NRORDEM = N.NRORDEM AND I.IDVERSAO = 'A' AND I.CDLINHA <> 'S') AS QTITENSANT,
       CASE WHEN X.NRORDEM IS NULL THEN 'P' ELSE 'D' END AS IDSITUACAO
  FROM EXECCOPIA E
  JOIN EXECLINHA N ON N.IDEXECUCAO = E.IDEXECUCAO AND N.IDVERSAO = 'N' AND N.CDLINHA = 'S'
  LEFT JOIN EXECLINHA A ON A.IDEXECUCAO = N.IDEXECUCAO AND A.NRORDEM = N.NRORDEM AND A.IDVERSAO = 'A' AND A.CDLINHA = 'S'
  LEFT JOIN PACIENTE P ON P.CDPACIENTE = N.CDPACIENTE
  LEFT JOIN SERVICO S ON S.CDFILIAL = N.CDFILIAL AND S.CDSERVFILI = N.CDSERVFILI
  LEFT JOIN DIETPADR D ON D.CDDIETPAD = N.CDDIETPAD
  LEFT JOIN EXECDESFEITO X ON X.IDEXECUCAO = N.IDEXECUCAO AND X.NRORDEM = N.NRORDEM
 WHERE E.IDEXECUCAO = :IDEXECUCAO AND E.CDFILIAL = :CDFILIAL
 ORDER BY N.NRORDEM)"_s,
                                   {{u":IDEXECUCAO"_s, double(id)}, {u":CDFILIAL"_s, filial}});
    return withPacket(packetFromQuery(query, CopyService::servExecucaoLayout(), m_db.dialect()));
}

Wire::CallResult CopyServiceObject::AlteraSenha(Args &args)
{
    const ArgReader in(args, CopyService::method(MethodId::AlteraSenha));
    const QString operador = in.key(u"CDOPERADOR"_s);
    const std::optional<ScramVerifier> verifier = ScramVerifier::fromText(in.raw(u"DSVERIFSCRAM"_s));
    if (!verifier) {
        refuse(u"A nova senha deve chegar como um verificador SCRAM-SHA-256 com ao menos %1 iterações."_s.arg(
            ScramVerifier::MinimumIterations));
    }
    if (!OperatorDirectory(m_db).setVerifier(operador, *verifier))
        refuse(u"O operador %1 não está cadastrado."_s.arg(operador));
    m_audit.passwordChanged(operador);
    return written(1);
}

void CopyServiceObject::requireNutritionist(const QString &operador, const QString &filial)
{
    if (single(m_db, NutritionistOf, {{u":CDOPERADOR"_s, operador}, {u":CDFILIAL"_s, filial}}).isNull())
        refuse(u"O operador %1 não é nutricionista da filial %2."_s.arg(excerpt(operador), filial));
}

void CopyServiceObject::auditUnlessInTransaction()
{
    if (!m_db.inTransaction())
        m_audit.commit();
}

} // namespace rbx
