#include "TfrmCopFormulacao.h"

#include <house/widgets/TBtnPesquisa.h>

#include <QRadioButton>

// A group's toggle runs once per change of its mode (bound to the all radio's toggled signal,
// which fires after both radios show the new state): the list is emptied and the search
// button follows the list radio.

void TfrmCopFormulacao::rbtTPaciClick()
{
    stPacientes.clear();
    btpPaci->setEnabled(rbtLPaci->isChecked());
}

void TfrmCopFormulacao::rbtTServClick()
{
    stServicos.clear();
    btpServico->setEnabled(rbtLServ->isChecked());
}

void TfrmCopFormulacao::rbtTDietaClick()
{
    stDietas.clear();
    btpDieta->setEnabled(rbtLDieta->isChecked());
}

// Beds depend on floors and wings: any change of either puts the bed group back in all mode.
void TfrmCopFormulacao::rbtTAndarClick()
{
    stAndares.clear();
    btpAndar->setEnabled(rbtLAndar->isChecked());
    rbtTLeito->setChecked(true);
}

void TfrmCopFormulacao::rbtTAlaClick()
{
    stAlas.clear();
    btpAla->setEnabled(rbtLAla->isChecked());
    rbtTLeito->setChecked(true);
}

void TfrmCopFormulacao::rbtTLeitoClick()
{
    stLeitos.clear();
    btpLeito->setEnabled(rbtLLeito->isChecked());
}
