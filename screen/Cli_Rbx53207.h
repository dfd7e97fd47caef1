#pragma once

#include "Cli_Rbx53207Export.h"
#include "TfrmCopFormulacao.h"

#include <QPointer>
#include <QString>

// The module's globals, exported by their plain names. frmCopFormulacao tracks the screen
// created last and reads null once that screen has been freed.
extern "C" {
CLI_RBX53207_EXPORT extern QPointer<TfrmCopFormulacao> frmCopFormulacao;
// Form mode: "N" is lactário; anything else (also "" and "n") is enteral/parenteral.
CLI_RBX53207_EXPORT extern QString stTipoForm;
// Branch code (CDFILIAL).
CLI_RBX53207_EXPORT extern QString stFilial;
// True while the first activation of the screen is still to come.
CLI_RBX53207_EXPORT extern bool boPrimVez;

// Creates a new screen over the host's main window, then stores the form mode and the branch
// (so nothing at creation may use them), then shows it modally; returns once it has closed.
// Failures go to the house error display, never to the caller.
CLI_RBX53207_EXPORT void CriaCopFormulacao(const QString &TipoForm, const QString &Filial) noexcept;
}

// The one comparison that selects the lactário mode: exact and case-sensitive.
inline bool ModoLactario(const QString &tipoForm) { return tipoForm == QLatin1String("N"); }
