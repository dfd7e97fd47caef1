#pragma once

#include <QString>
#include <QStringList>

// The copy screen's message catalog (msgPadrao), kept free of widgets so that the screen and the
// headless copy read the same texts.
namespace CopyMessages {

// The catalog as "key|text" lines, in their stored order, for TMessages::Messages.
const QStringList &lines();

} // namespace CopyMessages
