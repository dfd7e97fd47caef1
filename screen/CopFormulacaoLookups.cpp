#include "TfrmCopFormulacao.h"

#include "Cli_Rbx53207.h"
#include <remote/CopyServiceClient.h>
#include <house/FormatText.h>
#include <house/PesquisaLista.h>
#include <house/TextRoutines.h>

#include <QRadioButton>

// The lookups behind the search buttons: each fills its data set, then lets the user pick rows
// whose codes go into the group's selection list. A failure before the pick list leaves the
// list as it was.

namespace {

// Title for the pick list: the caption, a "|", and what to show when there is nothing to pick.
QString pickTitle(const TMessages &catalog, const QString &titleKey, const QString &notFoundText)
{
    return catalog.Msg(titleKey) + u'|' + notFoundText;
}

} // namespace

QString TfrmCopFormulacao::modeKey() const
{
    return ModoLactario(stTipoForm) ? QStringLiteral("Lac") : QStringLiteral("Ent");
}

void TfrmCopFormulacao::btpPaciClick()
{
    reopenLostService();
    rbx::CopyServiceClient(netCopiaForm).getPaciente(stFilial, cdsPaciente);
    PesquisaLista(dtsPaciente, QStringLiteral("CDPACIENTE"),
                  pickTitle(msgPadrao, QStringLiteral("Paciente"), msgPadrao.Msg(QStringLiteral("Paci_NCad"))), false,
                  stPacientes, this);
}

void TfrmCopFormulacao::openServicesOfMode()
{
    qryServico.Close();
    qryServico.ParamByName(QStringLiteral("P_CDFILIAL")).SetAsString(stFilial);
    qryServico.ParamByName(QStringLiteral("P_TPSERV")).SetAsString(ModoLactario(stTipoForm) ? QStringLiteral("2")
                                                                                           : QStringLiteral("1"));
    qryServico.Open();
}

void TfrmCopFormulacao::btpServicoClick()
{
    openServicesOfMode();
    const QString notFound = Format(msgPadrao.Msg(QStringLiteral("Servico_NCad")), {msgPadrao.Msg(modeKey())});
    PesquisaLista(dtsServico, QStringLiteral("CDSERVFILI"), pickTitle(msgPadrao, QStringLiteral("Servico"), notFound),
                  false, stServicos, this);
}

void TfrmCopFormulacao::btpDietaClick()
{
    qryDieta.Close();
    qryDieta.ParamByName(QStringLiteral("P_CDFILIAL")).SetAsString(stFilial);
    if (rbtLServ->isChecked()) {
        qryDieta.ParamByName(QStringLiteral("P_CDSERVFILI")).SetAsString(stServicos);
    } else {
        // Every service of the branch and mode, each enclosed in "_" like a selection list, so
        // that the diet query's "_" + code + "_" match cannot be fooled by two adjacent codes.
        openServicesOfMode();
        QStringList codes;
        for (qryServico.First(); !qryServico.GetEOF(); qryServico.Next())
            codes.append(qryServico.FieldByName(QStringLiteral("CDSERVFILI")).AsString());
        qryDieta.ParamByName(QStringLiteral("P_CDSERVFILI")).SetAsString(codes.isEmpty() ? QStringLiteral("__")
                                                                                          : joinSelectionList(codes));
    }
    qryDieta.ParamByName(QStringLiteral("P_IDFORMDIET")).SetAsString(ModoLactario(stTipoForm) ? QStringLiteral("1")
                                                                                             : QStringLiteral("2"));
    qryDieta.Open();
    const QString notFound = Format(msgPadrao.Msg(QStringLiteral("Dieta_NCad")), {msgPadrao.Msg(modeKey())});
    PesquisaLista(dtsDieta, QStringLiteral("CDDIETPAD"), pickTitle(msgPadrao, QStringLiteral("Dieta"), notFound), false,
                  stDietas, this);
}

void TfrmCopFormulacao::btpAndarClick()
{
    qryAndar.Close();
    qryAndar.ParamByName(QStringLiteral("P_CDFILIAL")).SetAsString(stFilial);
    qryAndar.Open();
    PesquisaLista(dtsAndar, QStringLiteral("CDANDAR"),
                  pickTitle(msgPadrao, QStringLiteral("Andar"), msgPadrao.Msg(QStringLiteral("Andar_NCad"))), false,
                  stAndares, this);
}

void TfrmCopFormulacao::btpAlaClick()
{
    qryAla.Close();
    qryAla.ParamByName(QStringLiteral("P_CDFILIAL")).SetAsString(stFilial);
    qryAla.Open();
    PesquisaLista(dtsAla, QStringLiteral("CDALA"),
                  pickTitle(msgPadrao, QStringLiteral("Ala"), msgPadrao.Msg(QStringLiteral("Ala_NCad"))), false, stAlas,
                  this);
}

void TfrmCopFormulacao::btpLeitoClick()
{
    if (rbtTAla->isChecked())
        stAlas = QStringLiteral("T");
    if (rbtTAndar->isChecked())
        stAndares = QStringLiteral("T");
    qryLeito.Close();
    qryLeito.ParamByName(QStringLiteral("P_TCDALA")).SetAsString(iif(rbtTAla->isChecked(), "T", "X"));
    qryLeito.ParamByName(QStringLiteral("P_CDALA")).SetAsString(stAlas);
    qryLeito.ParamByName(QStringLiteral("P_TCDANDAR")).SetAsString(iif(rbtTAndar->isChecked(), "T", "X"));
    qryLeito.ParamByName(QStringLiteral("P_CDANDAR")).SetAsString(stAndares);
    qryLeito.ParamByName(QStringLiteral("P_CDFILIAL")).SetAsString(stFilial);
    qryLeito.Open();
    PesquisaLista(dtsLeito, QStringLiteral("CDLEITO"),
                  pickTitle(msgPadrao, QStringLiteral("Leito"), msgPadrao.Msg(QStringLiteral("Leito_Cad"))), false,
                  stLeitos, this);
}
