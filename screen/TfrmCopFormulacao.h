#pragma once

#include <house/RowSource.h>
#include <house/TADOIBQuery.h>
#include <house/TClientDataSet.h>
#include <house/TNetConnection.h>
#include <house/widgets/TfrmRotiGeral.h>

#include <QString>

class QGroupBox;
class QLabel;
class QRadioButton;
class TBtnPesquisa;
class TDateEditPlus;

// "Copiar Formulação": copies the formulations prescribed on an origin date to a destination
// date, narrowed by six filter groups. Controls carry their names as object names; the
// members below are the same controls for code that holds the screen.
class TfrmCopFormulacao final : public TfrmRotiGeral
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TfrmCopFormulacao)

public:
    explicit TfrmCopFormulacao(QWidget *parent = nullptr);
    ~TfrmCopFormulacao() override;

    // Filter groups, in tab order: all radio, list radio, search button.
    QGroupBox *grpPaciente;
    QRadioButton *rbtTPaci;
    QRadioButton *rbtLPaci;
    TBtnPesquisa *btpPaci;
    QGroupBox *grbServico;
    QRadioButton *rbtTServ;
    QRadioButton *rbtLServ;
    TBtnPesquisa *btpServico;
    QGroupBox *grbDieta;
    QRadioButton *rbtTDieta;
    QRadioButton *rbtLDieta;
    TBtnPesquisa *btpDieta;
    QGroupBox *grbAndar;
    QRadioButton *rbtTAndar;
    QRadioButton *rbtLAndar;
    TBtnPesquisa *btpAndar;
    QGroupBox *grbAla;
    QRadioButton *rbtTAla;
    QRadioButton *rbtLAla;
    TBtnPesquisa *btpAla;
    QGroupBox *grbLeito;
    QRadioButton *rbtTLeito;
    QRadioButton *rbtLLeito;
    TBtnPesquisa *btpLeito;

    QLabel *Label1;
    TDateEditPlus *depOrigem;
    QLabel *Label2;
    TDateEditPlus *depDestino;

    // Lookup queries over the shared database module.
    TADOIBQuery qryServico;
    TADOIBQuery qryDieta;
    TADOIBQuery qryAndar;
    TADOIBQuery qryAla;
    TADOIBQuery qryLeito;

    // Record sets filled by the remote copy service.
    TClientDataSet cdsNutricio;
    TClientDataSet cdsPaciente;
    TClientDataSet cdsServInte;
    TClientDataSet cdsNrServInte;
    TClientDataSet cdsNrConfesco;
    TClientDataSet cdsConfesco;

    // The connection to "Rbx53207.rdmCopiaForm": opened by the first activation, closed with
    // the screen.
    TNetConnection netCopiaForm;

    TDataSource dtsPaciente;
    TDataSource dtsServico;
    TDataSource dtsDieta;
    TDataSource dtsAndar;
    TDataSource dtsAla;
    TDataSource dtsLeito;

    // Selection lists: "_code_" per picked code, empty when nothing is picked.
    QString stPacientes;
    QString stServicos;
    QString stDietas;
    QString stAndares;
    QString stAlas;
    QString stLeitos;

    void FormCreate() override;
    // The first activation connects, checks the operator and sets the default dates; every
    // later one only repaints.
    void FormActivate() override;
    void FormClose(TCloseAction &action) override;

    void depOrigemExit();
    void depDestinoExit();
    void netCopiaFormBeforeConnect(TNetConnection &connection);

    // Filter group toggles: each runs once per change of its group's mode.
    void rbtTPaciClick();
    void rbtTServClick();
    void rbtTDietaClick();
    void rbtTAndarClick();
    void rbtTAlaClick();
    void rbtTLeitoClick();

    // Lookups behind the search buttons.
    void btpPaciClick();
    void btpServicoClick();
    void btpDietaClick();
    void btpAndarClick();
    void btpAlaClick();
    void btpLeitoClick();

    // The Confirm button: validates and runs the formulation copy.
    void sbtConfirmaClick();

private:
    // "Lac" in lactário mode, "Ent" otherwise: the catalog key naming the kind of formulation.
    QString modeKey() const;
    // Opens qryServico over the services of the branch whose type matches the form mode.
    void openServicesOfMode();
    // The application server may restart while the screen sits open for hours: an action that
    // calls it first opens again the connection the activation opened, when it was lost. Only
    // after an activation that checked the operator.
    void reopenLostService();
    void CreateControls();
    void DeclareMessages();
    void DeclareQueries();
    void DeclareRecordSets();
    void ConnectHandlers();

    bool m_serviceOpened = false;
    bool m_copying = false;
};
