#pragma once

#include <QString>
#include <QStringList>

// The runtime's printf-like Format for the catalog's texts: each "%s" takes the next argument,
// "%%" is a percent sign. Too few arguments, or an unknown directive, raise EConvertError.
QString Format(const QString &format, const QStringList &args);
