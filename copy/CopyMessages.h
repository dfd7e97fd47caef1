#pragma once

#include <copy/rbx_copy_export.h>

#include <QString>
#include <QStringList>

namespace rbx {

// The copy screen's message catalog (msgPadrao), kept free of widgets so that the screen and the
// headless copy read the same texts.
namespace CopyMessages {

// The catalog as "key|text" lines, in their stored order, for TMessages::Messages.
RBX_COPY_EXPORT const QStringList &lines();

} // namespace CopyMessages

} // namespace rbx
