#include "TfrmCopFormulacao.h"

#include <copy/CopyMessages.h>

// The screen's catalog is the one the copy run reads too, so both show the same sentences.
void TfrmCopFormulacao::DeclareMessages() { msgPadrao.Messages = rbx::CopyMessages::lines(); }
