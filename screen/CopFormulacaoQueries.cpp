#include "TfrmCopFormulacao.h"

#include <remote/CopyServiceClient.h>

// The lookup queries with their four texts, line by line as stored, their string parameters
// in declared order and their result fields; then the record sets of the remote service.
void TfrmCopFormulacao::DeclareQueries()
{
    const QStringList servico = {
        QStringLiteral("SELECT CDSERVFILI, NMSERVICO"),
        QStringLiteral("FROM SERVICO"),
        QStringLiteral("WHERE (CDFILIAL     = :P_CDFILIAL) AND"),
        QStringLiteral("      (IDTPSERVHOSP = :P_TPSERV)"),
        QStringLiteral("ORDER BY CDSERVFILI"),
    };
    qryServico.SQL = servico;
    qryServico.SQL_ORACLE = servico;
    qryServico.SQL_MSSQL = servico;
    qryServico.SQL_IB = servico;
    qryServico.DeclareParams({QStringLiteral("P_CDFILIAL"), QStringLiteral("P_TPSERV")});
    qryServico.AddStringField(QStringLiteral("CDSERVFILI"), QStringLiteral("Código"), 5, 0, true);
    qryServico.AddStringField(QStringLiteral("NMSERVICO"), QStringLiteral("Nome"), 40);

    // A service matches only as a whole "_code_" of the list: a plain substring search would let
    // the end of one code and the start of the next match a service nobody picked.
    const QStringList dietaIb = {
        QStringLiteral("SELECT DISTINCT S.CDDIETPAD, D.DSDIETPAD"),
        QStringLiteral("FROM DIETPADR D, DIETSERV S, PARAM(:P_CDSERVFILI) P_CDSERVFILI"),
        QStringLiteral("WHERE (S.CDFILIAL = :P_CDFILIAL)                AND"),
        QStringLiteral("      (INSTR(P_CDSERVFILI.PARAM, '_'||S.CDSERVFILI||'_') <> 0) AND"),
        QStringLiteral("      (D.IDFORMDIET = :P_IDFORMDIET)            AND"),
        QStringLiteral("      (S.CDDIETPAD  = D.CDDIETPAD)"),
        QStringLiteral("ORDER BY S.CDDIETPAD"),
    };
    qryDieta.SQL = dietaIb;
    qryDieta.SQL_IB = dietaIb;
    qryDieta.SQL_ORACLE = {
        QStringLiteral("SELECT DISTINCT S.CDDIETPAD, D.DSDIETPAD"),
        QStringLiteral("FROM DIETPADR D, DIETSERV S"),
        QStringLiteral("WHERE (S.CDFILIAL = :P_CDFILIAL)                AND"),
        QStringLiteral("      (INSTR(:P_CDSERVFILI, '_'||S.CDSERVFILI||'_') <> 0) AND"),
        QStringLiteral("      (D.IDFORMDIET = :P_IDFORMDIET)            AND"),
        QStringLiteral("      (S.CDDIETPAD  = D.CDDIETPAD)"),
        QStringLiteral("ORDER BY S.CDDIETPAD"),
    };
    qryDieta.SQL_MSSQL = {
        QStringLiteral("SELECT DISTINCT S.CDDIETPAD, D.DSDIETPAD"),
        QStringLiteral("FROM DIETPADR D, DIETSERV S"),
        QStringLiteral("WHERE (S.CDFILIAL = :P_CDFILIAL)                AND"),
        QStringLiteral("      (CHARINDEX('_'+S.CDSERVFILI+'_',:P_CDSERVFILI) <> 0) AND"),
        QStringLiteral("      (D.IDFORMDIET = :P_IDFORMDIET)            AND"),
        QStringLiteral("      (S.CDDIETPAD  = D.CDDIETPAD)"),
        QStringLiteral("ORDER BY S.CDDIETPAD"),
    };
    qryDieta.DeclareParams({QStringLiteral("P_CDSERVFILI"), QStringLiteral("P_CDFILIAL"), QStringLiteral("P_IDFORMDIET")});
    qryDieta.AddStringField(QStringLiteral("CDDIETPAD"), QStringLiteral("Código"), 4, 5, true);
    qryDieta.AddStringField(QStringLiteral("DSDIETPAD"), QStringLiteral("Descrição"), 50, 45);

    const QStringList andar = {
        QStringLiteral("SELECT CDANDAR, NMANDAR"),
        QStringLiteral("FROM ANDAR"),
        QStringLiteral("WHERE"),
        QStringLiteral("CDFILIAL = :P_CDFILIAL"),
        QStringLiteral("ORDER BY CDANDAR"),
        QStringLiteral(" "),
    };
    qryAndar.SQL = andar;
    qryAndar.SQL_ORACLE = andar;
    qryAndar.SQL_MSSQL = andar;
    qryAndar.SQL_IB = andar;
    qryAndar.DeclareParams({QStringLiteral("P_CDFILIAL")});
    // No width for the floor code: the database column's width applies.
    qryAndar.AddStringField(QStringLiteral("CDANDAR"), QStringLiteral("Código"), 0, 18, true);
    qryAndar.AddStringField(QStringLiteral("NMANDAR"), QStringLiteral("Nome"), 40, 35);

    const QStringList ala = {
        QStringLiteral("SELECT CDALA, NMALA"),
        QStringLiteral("FROM ALA"),
        QStringLiteral("WHERE"),
        QStringLiteral("CDFILIAL = :P_CDFILIAL"),
        QStringLiteral("ORDER BY CDALA"),
    };
    qryAla.SQL = ala;
    qryAla.SQL_ORACLE = ala;
    qryAla.SQL_MSSQL = ala;
    qryAla.SQL_IB = ala;
    qryAla.DeclareParams({QStringLiteral("P_CDFILIAL")});
    qryAla.AddStringField(QStringLiteral("CDALA"), QStringLiteral("Código"), 12, 0, true);
    qryAla.AddStringField(QStringLiteral("NMALA"), QStringLiteral("Nome"), 40);

    // The bed query has no generic statement, only the three dialect texts.
    qryLeito.SQL = {QString(), QStringLiteral(" ")};
    qryLeito.SQL_ORACLE = {
        QStringLiteral("SELECT CDLEITO, NMLEITO"),
        QStringLiteral("FROM LEITO"),
        QStringLiteral("WHERE ((INSTR(:P_CDALA,   '_'||LEITO.CDALA  ||'_') <> 0) OR :P_TCDALA = 'T') AND"),
        QStringLiteral("      ((INSTR(:P_CDANDAR, '_'||LEITO.CDANDAR||'_') <> 0) OR :P_TCDANDAR = 'T') AND"),
        QStringLiteral("       (CDFILIAL = :P_CDFILIAL)"),
        QStringLiteral("ORDER BY CDLEITO"),
    };
    qryLeito.SQL_MSSQL = {
        QStringLiteral("SELECT CDLEITO, NMLEITO"),
        QStringLiteral("FROM LEITO"),
        QStringLiteral("WHERE ((CHARINDEX('_'+LEITO.CDALA+'_', :P_CDALA) <> 0) OR :P_TCDALA = 'T') AND"),
        QStringLiteral("      ((CHARINDEX('_'+LEITO.CDANDAR+'_', :P_CDANDAR) <> 0) OR :P_TCDANDAR = 'T') AND"),
        QStringLiteral("       (CDFILIAL = :P_CDFILIAL)"),
        QStringLiteral("ORDER BY CDLEITO"),
    };
    qryLeito.SQL_IB = {
        QStringLiteral("SELECT CDLEITO, NMLEITO"),
        QStringLiteral("FROM LEITO, PARAM(:P_CDALA) P_CDALA, PARAM(:P_CDANDAR) P_CDANDAR"),
        QStringLiteral("WHERE ((INSTR(P_CDALA.PARAM,   '_'||LEITO.CDALA  ||'_') <> 0) OR :P_TCDALA = 'T') AND"),
        QStringLiteral("      ((INSTR(P_CDANDAR.PARAM, '_'||LEITO.CDANDAR||'_') <> 0) OR :P_TCDANDAR = 'T') AND"),
        QStringLiteral("       (CDFILIAL = :P_CDFILIAL)"),
        QStringLiteral("ORDER BY CDLEITO"),
        QStringLiteral(" "),
        QStringLiteral(" "),
    };
    qryLeito.DeclareParams({QStringLiteral("P_CDALA"), QStringLiteral("P_CDANDAR"), QStringLiteral("P_TCDALA"),
                            QStringLiteral("P_TCDANDAR"), QStringLiteral("P_CDFILIAL")});
    qryLeito.AddStringField(QStringLiteral("CDLEITO"), QStringLiteral("Código"), 12, 0, true);
    qryLeito.AddStringField(QStringLiteral("NMLEITO"), QStringLiteral("Nome"), 40);

    dtsServico.SetDataSet(qryServico);
    dtsDieta.SetDataSet(qryDieta);
    dtsAndar.SetDataSet(qryAndar);
    dtsAla.SetDataSet(qryAla);
    dtsLeito.SetDataSet(qryLeito);
}

void TfrmCopFormulacao::DeclareRecordSets()
{
    rbx::declareFields(cdsNutricio, rbx::CopyService::nutricioLayout());
    rbx::declareFields(cdsPaciente, rbx::CopyService::pacienteLayout());
    rbx::declareFields(cdsServInte, rbx::CopyService::servInteLayout());
    rbx::declareFields(cdsNrServInte, rbx::CopyService::nrServInteLayout());
    rbx::declareFields(cdsNrConfesco, rbx::CopyService::nrConfescoLayout());
    rbx::declareFields(cdsConfesco, rbx::CopyService::confescoLayout());
    dtsPaciente.SetDataSet(cdsPaciente);

    netCopiaForm.ServerName = QString::fromLatin1(rbx::Wire::ServerObjectName);
    netCopiaForm.ThrowException = false;
    netCopiaForm.BeforeConnect = [this](TNetConnection &connection) { netCopiaFormBeforeConnect(connection); };
}
