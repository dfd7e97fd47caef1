#include "TfrmCopFormulacao.h"

#include "Cli_Rbx53207.h"
#include <remote/CopyServiceClient.h>
#include <house/HandlerGuard.h>
#include <house/HouseClock.h>
#include <protocol/HouseError.h>
#include <house/HouseSession.h>
#include <house/MensErro.h>
#include <house/widgets/ShowAvi.h>
#include <house/widgets/TBtnPesquisa.h>
#include <house/widgets/TButtonFlat.h>
#include <house/widgets/TDateEditPlus.h>

#include <QRadioButton>

TfrmCopFormulacao::TfrmCopFormulacao(QWidget *parent)
    : TfrmRotiGeral(parent),
      qryServico(QStringLiteral("qryServico")),
      qryDieta(QStringLiteral("qryDieta")),
      qryAndar(QStringLiteral("qryAndar")),
      qryAla(QStringLiteral("qryAla")),
      qryLeito(QStringLiteral("qryLeito")),
      cdsNutricio(QStringLiteral("cdsNutricio")),
      cdsPaciente(QStringLiteral("cdsPaciente")),
      cdsServInte(QStringLiteral("cdsServInte")),
      cdsNrServInte(QStringLiteral("cdsNrServInte")),
      cdsNrConfesco(QStringLiteral("cdsNrConfesco")),
      cdsConfesco(QStringLiteral("cdsConfesco")),
      dtsPaciente(QStringLiteral("dtsPaciente")),
      dtsServico(QStringLiteral("dtsServico")),
      dtsDieta(QStringLiteral("dtsDieta")),
      dtsAndar(QStringLiteral("dtsAndar")),
      dtsAla(QStringLiteral("dtsAla")),
      dtsLeito(QStringLiteral("dtsLeito"))
{
    CreateControls();
    DeclareMessages();
    DeclareQueries();
    DeclareRecordSets();
    ConnectHandlers();
    FormCreate();
}

TfrmCopFormulacao::~TfrmCopFormulacao() = default;

void TfrmCopFormulacao::ConnectHandlers()
{
    connect(rbtTPaci, &QRadioButton::toggled, this, guardedSlot(this, &TfrmCopFormulacao::rbtTPaciClick));
    connect(rbtTServ, &QRadioButton::toggled, this, guardedSlot(this, &TfrmCopFormulacao::rbtTServClick));
    connect(rbtTDieta, &QRadioButton::toggled, this, guardedSlot(this, &TfrmCopFormulacao::rbtTDietaClick));
    connect(rbtTAndar, &QRadioButton::toggled, this, guardedSlot(this, &TfrmCopFormulacao::rbtTAndarClick));
    connect(rbtTAla, &QRadioButton::toggled, this, guardedSlot(this, &TfrmCopFormulacao::rbtTAlaClick));
    connect(rbtTLeito, &QRadioButton::toggled, this, guardedSlot(this, &TfrmCopFormulacao::rbtTLeitoClick));

    connect(btpPaci, &TBtnPesquisa::clicked, this, guardedSlot(this, &TfrmCopFormulacao::btpPaciClick));
    connect(btpServico, &TBtnPesquisa::clicked, this, guardedSlot(this, &TfrmCopFormulacao::btpServicoClick));
    connect(btpDieta, &TBtnPesquisa::clicked, this, guardedSlot(this, &TfrmCopFormulacao::btpDietaClick));
    connect(btpAndar, &TBtnPesquisa::clicked, this, guardedSlot(this, &TfrmCopFormulacao::btpAndarClick));
    connect(btpAla, &TBtnPesquisa::clicked, this, guardedSlot(this, &TfrmCopFormulacao::btpAlaClick));
    connect(btpLeito, &TBtnPesquisa::clicked, this, guardedSlot(this, &TfrmCopFormulacao::btpLeitoClick));

    connect(depOrigem, &TDateEditPlus::exited, this, guardedSlot(this, &TfrmCopFormulacao::depOrigemExit));
    connect(depDestino, &TDateEditPlus::exited, this, guardedSlot(this, &TfrmCopFormulacao::depDestinoExit));
    connect(sbtConfirma, &TButtonFlat::clicked, this, guardedSlot(this, &TfrmCopFormulacao::sbtConfirmaClick));
}

void TfrmCopFormulacao::FormCreate()
{
    TfrmRotiGeral::FormCreate();
    boPrimVez = true;
}

void TfrmCopFormulacao::FormActivate()
{
    Refresh();
    if (!boPrimVez)
        return;
    boPrimVez = false; // before anything can fail: the check is not retried

    try {
        ActiveShowAvi(houseMainForm(), 0);
        netCopiaForm.SetConnected(true);
        rbx::CopyServiceClient(netCopiaForm).getNutricio(Operador(), stFilial, cdsNutricio);
    } catch (...) {
        DeactiveShowAvi();
        throw;
    }
    DeactiveShowAvi();

    try {
        if (cdsNutricio.IsEmpty())
            MensErro(msgPadrao.Msg(QStringLiteral("Oper_Per")), true);
    } catch (...) {
        Close();
        throw;
    }
    // only an operator who passed the check may have the connection opened again
    m_serviceOpened = true;

    const QDate today = Today();
    depOrigem->SetDate(today.addDays(-1));
    depDestino->SetDate(today);

    stPacientes.clear();
    stServicos.clear();
    stDietas.clear();
    stAlas.clear();
    stAndares.clear();
    stLeitos.clear();
}

void TfrmCopFormulacao::FormClose(TCloseAction &action)
{
    TfrmRotiGeral::FormClose(action);
    m_serviceOpened = false;
    netCopiaForm.SetConnected(false);
}

void TfrmCopFormulacao::reopenLostService()
{
    if (m_serviceOpened && !netCopiaForm.Connected())
        netCopiaForm.SetConnected(true);
}

void TfrmCopFormulacao::depOrigemExit() { depOrigem->CheckValidDate(); }

void TfrmCopFormulacao::depDestinoExit() { depDestino->CheckValidDate(); }

void TfrmCopFormulacao::netCopiaFormBeforeConnect(TNetConnection &connection)
{
    // the session's operator, token, authority and call timeout travel with the address
    connectAsSession(connection);
}

