#include "CopyServiceObject.h"

#include "ArgReader.h"
#include "CopyServiceContract.h"
#include "DbSession.h"
#include "HouseError.h"
#include "PacketBuilder.h"
#include "Schema.h"
#include "SqlStatement.h"

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

bool exists(SqlStatement &query)
{
    query.exec();
    const bool found = query.next();
    query.finish();
    return found;
}

// The highest sequence in use as text, or zeros at the column's width when there is none.
QString highest(SqlStatement &query, const Schema::Column &column)
{
    query.exec();
    QVariant value;
    if (query.next())
        value = query.value(0);
    query.finish();
    return value.isNull() ? QString(column.size, u'0') : value.toString();
}

// A patient is in while the latest stay in the branch has no discharge; older stays do not count.
const QString CurrentStay = uR"(I.DTALTA IS NULL
   AND I.DTINTERNA = (SELECT MAX(I2.DTINTERNA) FROM INTERNAC I2
                      WHERE I2.CDFILIAL = I.CDFILIAL AND I2.CDPACIENTE = I.CDPACIENTE AND I2.DTALTA IS NULL))"_s;

} // namespace

Wire::CallResult CopyServiceObject::getNutricio(Args &args)
{
    const ArgReader in(args, CopyService::method(MethodId::getNutricio));
    const QString operador = in.text(u"CDOPERADOR"_s);
    const QString filial = in.text(u"CDFILIAL"_s);
    SqlStatement query(m_db.sql(), u"SELECT CDNUTRICIO FROM NUTRICIO"
                                   u" WHERE CDOPERADOR = :CDOPERADOR AND CDFILIAL = :CDFILIAL ORDER BY CDNUTRICIO"_s);
    m_audit.noteOperator(operador);
    query.bind(u":CDOPERADOR"_s, operador).bind(u":CDFILIAL"_s, filial).exec();
    return withPacket(packetFromQuery(query, CopyService::nutricioLayout(), m_db.dialect()));
}

Wire::CallResult CopyServiceObject::getPaciente(Args &args)
{
    const ArgReader in(args, CopyService::method(MethodId::getPaciente));
    const QString filial = in.text(u"CDFILIAL"_s);
    // VARCHAR: Firebird reads a CHAR literal back padded to its width in bytes
    SqlStatement query(m_db.sql(), uR"(
SELECT CAST(' ' AS VARCHAR(1)) AS IDMARCADO, P.CDPACIENTE, P.NMPACIENTE, L.NMLEITO, S.NMSERPADDIE, I.DTINTERNA, P.DTNASCPACI
  FROM INTERNAC I
  JOIN PACIENTE P ON P.CDPACIENTE = I.CDPACIENTE
  LEFT JOIN LEITO L ON L.CDFILIAL = I.CDFILIAL AND L.CDLEITO = I.CDLEITO
  LEFT JOIN PADRAOSERV S ON S.CDFILIAL = I.CDFILIAL AND S.CDSERPADDIE = I.CDSERPADDIE
 WHERE I.CDFILIAL = :CDFILIAL AND )"_s + CurrentStay + u"\n ORDER BY P.NMPACIENTE, P.CDPACIENTE"_s);
    query.bind(u":CDFILIAL"_s, filial).exec();
    return withPacket(packetFromQuery(query, CopyService::pacienteLayout(), m_db.dialect()));
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
    const Group groups[] = {{u"PACIENTE"_s, u"S.CDPACIENTE"_s}, {u"SERVICO"_s, u"S.CDSERVFILI"_s},
                            {u"DIETA"_s, u"S.CDDIETPAD"_s},     {u"ANDAR"_s, u"L.CDANDAR"_s},
                            {u"ALA"_s, u"L.CDALA"_s},           {u"LEITO"_s, u"I.CDLEITO"_s}};
    QString filters;
    for (const Group &group : groups) {
        filters += u"\n   AND "_s
                   + m_db.dialect().groupPasses(u":T_"_s + group.name, u":L_"_s + group.name, group.code);
    }
    SqlStatement query(m_db.sql(), uR"(
SELECT S.CDPACIENTE, S.DTSERVINTE, S.NRSEQUSERV, S.CDFILIAL, S.CDSERVFILI, S.CDDIETPAD, S.NRACOMPANA,
       S.STPACIACOM, S.IDIMPRSERV, S.IDTIPOSERINT, S.IDRESTSERIN, S.CDDIETGRUPSI, S.CDNUTRICIO, S.DTINTERNA,
       S.DSSERVINTE, S.NRSERVPESO
  FROM SERVINTE S
  JOIN SERVICO V ON V.CDFILIAL = S.CDFILIAL AND V.CDSERVFILI = S.CDSERVFILI
  JOIN INTERNAC I ON I.CDFILIAL = S.CDFILIAL AND I.CDPACIENTE = S.CDPACIENTE AND )"_s + CurrentStay + uR"(
  LEFT JOIN LEITO L ON L.CDFILIAL = I.CDFILIAL AND L.CDLEITO = I.CDLEITO
 WHERE S.CDFILIAL = :CDFILIAL AND S.DTSERVINTE = :DTSERVINTE AND V.IDTPSERVHOSP = :IDTPSERVHOSP)"_s
                                       + filters + u"\n ORDER BY S.CDPACIENTE, S.NRSEQUSERV"_s);
    query.bind(u":CDFILIAL"_s, filial)
        .bind(u":DTSERVINTE"_s, m_db.dialect().dateTimeValue(origem))
        .bind(u":IDTPSERVHOSP"_s, modo);
    for (int i = 0; i < 6; ++i) {
        query.bind(u":L_"_s + groups[i].name, in.raw(u"L_"_s + groups[i].name));
        query.bind(u":T_"_s + groups[i].name, in.raw(u"T_"_s + groups[i].name));
    }
    query.exec();
    return withPacket(packetFromQuery(query, CopyService::servInteLayout(), m_db.dialect()));
}

Wire::CallResult CopyServiceObject::DelServ(Args &args)
{
    const ArgReader in(args, CopyService::method(MethodId::DelServ));
    const QString paciente = in.key(u"CDPACIENTE"_s);
    const double destino = in.date(u"DTSERVINTE"_s);
    const QVariant data = m_db.dialect().dateTimeValue(destino);
    const QString filial = in.key(u"CDFILIAL"_s);
    const QString servico = in.key(u"CDSERVFILI"_s);
    const QString dieta = in.key(u"CDDIETPAD"_s);
    qint64 removed = 0;
    m_db.atomically([&] {
        SqlStatement items(m_db.sql(), uR"(
DELETE FROM CONFESCO
 WHERE CDPACIENTE = :CDPACIENTE AND DTSERVINTE = :DTSERVINTE AND CDFILIAL = :CDFILIAL
   AND NRSEQUSERV IN (SELECT NRSEQUSERV FROM SERVINTE
                       WHERE CDPACIENTE = :S_CDPACIENTE AND DTSERVINTE = :S_DTSERVINTE AND CDFILIAL = :S_CDFILIAL
                         AND CDSERVFILI = :CDSERVFILI AND CDDIETPAD = :CDDIETPAD))"_s);
        items.bind(u":CDPACIENTE"_s, paciente).bind(u":DTSERVINTE"_s, data).bind(u":CDFILIAL"_s, filial);
        items.bind(u":S_CDPACIENTE"_s, paciente).bind(u":S_DTSERVINTE"_s, data).bind(u":S_CDFILIAL"_s, filial);
        items.bind(u":CDSERVFILI"_s, servico).bind(u":CDDIETPAD"_s, dieta).exec();
        SqlStatement services(m_db.sql(), uR"(
DELETE FROM SERVINTE
 WHERE CDPACIENTE = :CDPACIENTE AND DTSERVINTE = :DTSERVINTE AND CDFILIAL = :CDFILIAL
   AND CDSERVFILI = :CDSERVFILI AND CDDIETPAD = :CDDIETPAD)"_s);
        services.bind(u":CDPACIENTE"_s, paciente).bind(u":DTSERVINTE"_s, data).bind(u":CDFILIAL"_s, filial);
        services.bind(u":CDSERVFILI"_s, servico).bind(u":CDDIETPAD"_s, dieta).exec();
        removed = services.rowsAffected();
    });
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
    SqlStatement query(m_db.sql(), u"SELECT MAX(NRSEQUSERV) FROM SERVINTE"
                                   u" WHERE CDPACIENTE = :CDPACIENTE AND DTSERVINTE = :DTSERVINTE AND CDFILIAL = :CDFILIAL"_s);
    query.bind(u":CDPACIENTE"_s, paciente)
        .bind(u":DTSERVINTE"_s, m_db.dialect().dateTimeValue(data))
        .bind(u":CDFILIAL"_s, filial);
    return withPacket(singleValuePacket(CopyService::nrServInteLayout(),
                                        highest(query, col(u"SERVINTE"_s, u"NRSEQUSERV"_s))));
}

Wire::CallResult CopyServiceObject::InsServInte(Args &args)
{
    const QString T = u"SERVINTE"_s;
    const ArgReader in(args, CopyService::method(MethodId::InsServInte));
    const QString paciente = in.key(u"CDPACIENTE"_s);
    const double data = in.date(u"DTSERVINTE"_s);
    const QString sequencia = in.sequence(u"NRSEQUSERV"_s);
    const QString filial = in.key(u"CDFILIAL"_s);
    const QString servico = in.key(u"CDSERVFILI"_s);
    const QString dieta = in.key(u"CDDIETPAD"_s);
    const QVariant acompanha = in.nullable(u"NRACOMPANA"_s);
    const QVariant stPaciAcom = in.nullable(u"STPACIACOM"_s);
    const QVariant imprime = in.nullable(u"IDIMPRSERV"_s);
    const QVariant tipo = in.nullable(u"IDTIPOSERINT"_s);
    const QVariant restricao = in.nullable(u"IDRESTSERIN"_s);
    const QString operador = in.key(u"CDOPERADOR"_s);
    const QVariant grupo = in.nullable(u"CDDIETGRUPSI"_s);
    const QVariant internacao = in.nullableDate(u"DTINTERNA"_s);
    const QVariant descricao = in.nullable(u"DSSERVINTE"_s);
    const QVariant peso = in.decimalText(u"NRSERVPESO"_s);
    const SqlDialect &dialect = m_db.dialect();
    const QVariant dataValue = dialect.dateTimeValue(data);

    m_db.atomically([&] {
        SqlStatement patient(m_db.sql(), u"SELECT 1 FROM PACIENTE WHERE CDPACIENTE = :CDPACIENTE"_s);
        if (!exists(patient.bind(u":CDPACIENTE"_s, paciente)))
            refuse(u"O paciente %1 não está cadastrado."_s.arg(paciente));
        SqlStatement service(m_db.sql(), u"SELECT 1 FROM SERVICO WHERE CDFILIAL = :CDFILIAL AND CDSERVFILI = :CDSERVFILI"_s);
        if (!exists(service.bind(u":CDFILIAL"_s, filial).bind(u":CDSERVFILI"_s, servico)))
            refuse(u"O serviço %1 não está cadastrado na filial %2."_s.arg(servico, filial));
        SqlStatement diet(m_db.sql(), u"SELECT 1 FROM DIETPADR WHERE CDDIETPAD = :CDDIETPAD"_s);
        if (!exists(diet.bind(u":CDDIETPAD"_s, dieta)))
            refuse(u"A dieta %1 não está cadastrada."_s.arg(dieta));

        SqlStatement nutritionist(m_db.sql(), u"SELECT MIN(CDNUTRICIO) FROM NUTRICIO"
                                              u" WHERE CDOPERADOR = :CDOPERADOR AND CDFILIAL = :CDFILIAL"_s);
        nutritionist.bind(u":CDOPERADOR"_s, operador).bind(u":CDFILIAL"_s, filial).exec();
        const QVariant nutricio = nutritionist.next() ? nutritionist.value(0) : QVariant();
        nutritionist.finish();
        if (nutricio.isNull())
            refuse(u"O operador %1 não é nutricionista da filial %2."_s.arg(operador, filial));

        SqlStatement sameKey(m_db.sql(), u"SELECT 1 FROM SERVINTE WHERE CDPACIENTE = :CDPACIENTE"
                                         u" AND DTSERVINTE = :DTSERVINTE AND NRSEQUSERV = :NRSEQUSERV AND CDFILIAL = :CDFILIAL"_s);
        sameKey.bind(u":CDPACIENTE"_s, paciente).bind(u":DTSERVINTE"_s, dataValue);
        if (exists(sameKey.bind(u":NRSEQUSERV"_s, sequencia).bind(u":CDFILIAL"_s, filial)))
            refuse(u"Já existe o serviço de sequência %1 do paciente %2 em %3 na filial %4."_s.arg(
                sequencia, paciente, formatDate(data), filial));

        SqlStatement sameService(m_db.sql(), u"SELECT NRSEQUSERV FROM SERVINTE WHERE CDPACIENTE = :CDPACIENTE"
                                             u" AND DTSERVINTE = :DTSERVINTE AND CDFILIAL = :CDFILIAL"
                                             u" AND CDSERVFILI = :CDSERVFILI AND CDDIETPAD = :CDDIETPAD"_s);
        sameService.bind(u":CDPACIENTE"_s, paciente).bind(u":DTSERVINTE"_s, dataValue).bind(u":CDFILIAL"_s, filial);
        if (exists(sameService.bind(u":CDSERVFILI"_s, servico).bind(u":CDDIETPAD"_s, dieta)))
            refuse(u"O paciente %1 já tem o serviço %2 com a dieta %3 em %4 na filial %5."_s.arg(
                paciente, servico, dieta, formatDate(data), filial));

        SqlStatement insert(m_db.sql(), uR"(
INSERT INTO SERVINTE (CDPACIENTE, DTSERVINTE, NRSEQUSERV, CDFILIAL, CDSERVFILI, CDDIETPAD, NRACOMPANA, STPACIACOM,
                      IDIMPRSERV, IDTIPOSERINT, IDRESTSERIN, CDDIETGRUPSI, CDNUTRICIO, DTINTERNA, DSSERVINTE, NRSERVPESO)
VALUES (:CDPACIENTE, :DTSERVINTE, :NRSEQUSERV, :CDFILIAL, :CDSERVFILI, :CDDIETPAD, :NRACOMPANA, :STPACIACOM,
        :IDIMPRSERV, :IDTIPOSERINT, :IDRESTSERIN, :CDDIETGRUPSI, :CDNUTRICIO, :DTINTERNA, :DSSERVINTE, :NRSERVPESO))"_s);
        insert.bind(u":CDPACIENTE"_s, paciente).bind(u":DTSERVINTE"_s, dataValue).bind(u":NRSEQUSERV"_s, sequencia);
        insert.bind(u":CDFILIAL"_s, filial).bind(u":CDSERVFILI"_s, servico).bind(u":CDDIETPAD"_s, dieta);
        insert.bind(u":NRACOMPANA"_s, acompanha).bind(u":STPACIACOM"_s, stPaciAcom).bind(u":IDIMPRSERV"_s, imprime);
        insert.bind(u":IDTIPOSERINT"_s, tipo).bind(u":IDRESTSERIN"_s, restricao).bind(u":CDDIETGRUPSI"_s, grupo);
        insert.bind(u":CDNUTRICIO"_s, nutricio);
        insert.bind(u":DTINTERNA"_s, internacao.isNull() ? QVariant() : dialect.dateTimeValue(internacao.toDouble()));
        insert.bind(u":DSSERVINTE"_s, descricao).bind(u":NRSERVPESO"_s, peso).exec();
    });
    m_audit.noteOperator(operador);
    m_audit.serviceInserted(paciente, data, sequencia, filial, servico, dieta);
    auditUnlessInTransaction();
    return written(1);
}

Wire::CallResult CopyServiceObject::getNrConfesco(Args &args)
{
    const ArgReader in(args, CopyService::method(MethodId::getNrConfesco));
    const QString paciente = in.text(u"CDPACIENTE"_s);
    const double data = in.date(u"DTSERVINTE"_s);
    const QString sequencia = in.text(u"NRSEQUSERV"_s);
    const QString filial = in.text(u"CDFILIAL"_s);
    SqlStatement query(m_db.sql(), u"SELECT MAX(CDSEQUCOPR) FROM CONFESCO WHERE CDPACIENTE = :CDPACIENTE"
                                   u" AND DTSERVINTE = :DTSERVINTE AND NRSEQUSERV = :NRSEQUSERV AND CDFILIAL = :CDFILIAL"_s);
    query.bind(u":CDPACIENTE"_s, paciente)
        .bind(u":DTSERVINTE"_s, m_db.dialect().dateTimeValue(data))
        .bind(u":NRSEQUSERV"_s, sequencia)
        .bind(u":CDFILIAL"_s, filial);
    return withPacket(singleValuePacket(CopyService::nrConfescoLayout(),
                                        highest(query, col(u"CONFESCO"_s, u"CDSEQUCOPR"_s))));
}

Wire::CallResult CopyServiceObject::getConfesco(Args &args)
{
    const ArgReader in(args, CopyService::method(MethodId::getConfesco));
    const QString paciente = in.text(u"CDPACIENTE"_s);
    const QString sequencia = in.text(u"NRSEQUSERV"_s);
    const double data = in.date(u"DTSERVINTE"_s);
    const QString filial = in.text(u"CDFILIAL"_s);
    SqlStatement query(m_db.sql(), uR"(
SELECT CDPACIENTE, DTSERVINTE, NRSEQUSERV, CDSEQUCOPR, CDFILAUXPRAT, CDPRATO, QTSERVCONF, QTPRATCONF, QTINFUCONF,
       HRCONSCONF, DTCONSCONF, CDPRODUTO, CDVIACESDIET, IDPREPCONF, DSOBSCONF
  FROM CONFESCO
 WHERE CDPACIENTE = :CDPACIENTE AND DTSERVINTE = :DTSERVINTE AND NRSEQUSERV = :NRSEQUSERV AND CDFILIAL = :CDFILIAL
 ORDER BY CDSEQUCOPR)"_s);
    query.bind(u":CDPACIENTE"_s, paciente)
        .bind(u":DTSERVINTE"_s, m_db.dialect().dateTimeValue(data))
        .bind(u":NRSEQUSERV"_s, sequencia)
        .bind(u":CDFILIAL"_s, filial)
        .exec();
    return withPacket(packetFromQuery(query, CopyService::confescoLayout(), m_db.dialect()));
}

Wire::CallResult CopyServiceObject::InsConfesco(Args &args)
{
    const QString T = u"CONFESCO"_s;
    const ArgReader in(args, CopyService::method(MethodId::InsConfesco));
    const QString paciente = in.key(u"CDPACIENTE"_s);
    const double data = in.date(u"DTSERVINTE"_s);
    const QString sequencia = in.sequence(u"NRSEQUSERV"_s);
    const QString item = in.sequence(u"CDSEQUCOPR"_s);
    const QVariant filialPrato = in.nullable(u"CDFILAUXPRAT"_s);
    const QVariant prato = in.nullable(u"CDPRATO"_s);
    const double qtServ = in.number(u"QTSERVCONF"_s);
    const double qtPrat = in.number(u"QTPRATCONF"_s);
    const double hora = in.number(u"HRCONSCONF"_s);
    const QVariant consumo = in.nullableDate(u"DTCONSCONF"_s);
    const QVariant produto = in.nullable(u"CDPRODUTO"_s);
    const QVariant via = in.nullable(u"CDVIACESDIET"_s);
    const QVariant preparo = in.nullable(u"IDPREPCONF"_s);
    const QVariant observacao = in.nullable(u"DSOBSCONF"_s);
    const QString filial = in.key(u"CDFILIAL"_s);
    const double qtInfu = in.number(u"QTINFUCONF"_s);
    const SqlDialect &dialect = m_db.dialect();
    const QVariant dataValue = dialect.dateTimeValue(data);

    m_db.atomically([&] {
        SqlStatement service(m_db.sql(), u"SELECT 1 FROM SERVINTE WHERE CDPACIENTE = :CDPACIENTE"
                                         u" AND DTSERVINTE = :DTSERVINTE AND NRSEQUSERV = :NRSEQUSERV AND CDFILIAL = :CDFILIAL"_s);
        service.bind(u":CDPACIENTE"_s, paciente).bind(u":DTSERVINTE"_s, dataValue);
        if (!exists(service.bind(u":NRSEQUSERV"_s, sequencia).bind(u":CDFILIAL"_s, filial)))
            refuse(u"O serviço de sequência %1 do paciente %2 em %3 na filial %4 não existe; o item não foi incluído."_s.arg(
                sequencia, paciente, formatDate(data), filial));

        SqlStatement sameKey(m_db.sql(), u"SELECT 1 FROM CONFESCO WHERE CDPACIENTE = :CDPACIENTE AND DTSERVINTE = :DTSERVINTE"
                                         u" AND NRSEQUSERV = :NRSEQUSERV AND CDSEQUCOPR = :CDSEQUCOPR AND CDFILIAL = :CDFILIAL"_s);
        sameKey.bind(u":CDPACIENTE"_s, paciente).bind(u":DTSERVINTE"_s, dataValue).bind(u":NRSEQUSERV"_s, sequencia);
        if (exists(sameKey.bind(u":CDSEQUCOPR"_s, item).bind(u":CDFILIAL"_s, filial)))
            refuse(u"Já existe o item %1 do serviço %2 do paciente %3 em %4 na filial %5."_s.arg(
                item, sequencia, paciente, formatDate(data), filial));

        SqlStatement insert(m_db.sql(), uR"(
INSERT INTO CONFESCO (CDPACIENTE, DTSERVINTE, NRSEQUSERV, CDSEQUCOPR, CDFILIAL, CDFILAUXPRAT, CDPRATO, QTSERVCONF,
                      QTPRATCONF, QTINFUCONF, HRCONSCONF, DTCONSCONF, CDPRODUTO, CDVIACESDIET, IDPREPCONF, DSOBSCONF)
VALUES (:CDPACIENTE, :DTSERVINTE, :NRSEQUSERV, :CDSEQUCOPR, :CDFILIAL, :CDFILAUXPRAT, :CDPRATO, :QTSERVCONF,
        :QTPRATCONF, :QTINFUCONF, :HRCONSCONF, :DTCONSCONF, :CDPRODUTO, :CDVIACESDIET, :IDPREPCONF, :DSOBSCONF))"_s);
        insert.bind(u":CDPACIENTE"_s, paciente).bind(u":DTSERVINTE"_s, dataValue).bind(u":NRSEQUSERV"_s, sequencia);
        insert.bind(u":CDSEQUCOPR"_s, item).bind(u":CDFILIAL"_s, filial).bind(u":CDFILAUXPRAT"_s, filialPrato);
        insert.bind(u":CDPRATO"_s, prato).bind(u":QTSERVCONF"_s, qtServ).bind(u":QTPRATCONF"_s, qtPrat);
        insert.bind(u":QTINFUCONF"_s, qtInfu).bind(u":HRCONSCONF"_s, hora);
        insert.bind(u":DTCONSCONF"_s, consumo.isNull() ? QVariant() : dialect.dateTimeValue(consumo.toDouble()));
        insert.bind(u":CDPRODUTO"_s, produto).bind(u":CDVIACESDIET"_s, via).bind(u":IDPREPCONF"_s, preparo);
        insert.bind(u":DSOBSCONF"_s, observacao).exec();
    });
    m_audit.itemInserted(paciente, data, sequencia, filial);
    auditUnlessInTransaction();
    return written(1);
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
        throw;
    }
    m_audit.commit();
    return {};
}

Wire::CallResult CopyServiceObject::Rollback(Args &)
{
    m_audit.rollback();
    m_db.rollback();
    return {};
}

void CopyServiceObject::auditUnlessInTransaction()
{
    if (!m_db.inTransaction())
        m_audit.commit();
}
