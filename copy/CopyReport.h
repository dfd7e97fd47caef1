#pragma once

#include "rbx_copy_export.h"

#include "FormulationCopy.h"

#include <QString>

// What a person reads about a run that did not complete: how far it got and what that left at
// the destination. The screen and the headless command say it alike.
namespace CopyReport {

// "Cópia interrompida: 352 de 1.512 serviços copiados, com 4.210 itens. ..."
RBX_COPY_EXPORT QString interrupted(const CopyOutcome &outcome);
// Added to the error of a failed run: the services copied before it, and that running the same
// copy again is safe.
RBX_COPY_EXPORT QString failed(const CopyOutcome &outcome);

} // namespace CopyReport
