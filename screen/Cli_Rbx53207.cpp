#include "Cli_Rbx53207.h"

#include <house/HandlerGuard.h>
#include <house/widgets/ShowAvi.h>

QPointer<TfrmCopFormulacao> frmCopFormulacao;
QString stTipoForm;
QString stFilial;
bool boPrimVez = false;

void CriaCopFormulacao(const QString &TipoForm, const QString &Filial) noexcept
{
    // Called by name like IniProc: a failure is shown, never thrown to the caller.
    guarded(nullptr, [&] {
        auto *screen = new TfrmCopFormulacao(houseMainForm());
        frmCopFormulacao = screen;
        stTipoForm = TipoForm;
        stFilial = Filial;
        // The base form frees the screen when it closes.
        screen->ShowModal();
    });
}
