#pragma once

#include <copy/rbx_copy_export.h>

#include "FormulationCopy.h"

#include <QDate>
#include <QString>

namespace rbx {

// What a person reads about a run: how far one that did not complete got and what that left at
// the destination, and what a completed one did. The screen and the headless command say it alike.
namespace CopyReport {

// "Cópia interrompida: 352 de 1.512 serviços copiados, com 4.210 itens. ..."
RBX_COPY_EXPORT QString interrupted(const CopyOutcome &outcome);
// Added to the error of a failed run: the services copied before it, and that running the same
// copy again is safe.
RBX_COPY_EXPORT QString failed(const CopyOutcome &outcome);
// "Execução 12: 1.135 serviços e 2.890 itens copiados de 08/12 para 09/12", for the host's
// status line once a run completed (without the run from a server that journals none).
RBX_COPY_EXPORT QString completed(const CopyOutcome &outcome, QDate origin, QDate destination);

} // namespace CopyReport

} // namespace rbx
