#pragma once

#include <QString>
#include <QStringList>

// The copy screen's message catalog (msgPadrao), kept free of widgets so that the screen and the
// headless copy read the same texts.
namespace CopyMessages {

// The catalog as "key|text" lines, in their stored order.
const QStringList &lines();

// The text of a key; empty when the catalog does not hold it.
QString text(const QString &key);

} // namespace CopyMessages
