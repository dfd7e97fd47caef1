#pragma once

#include <house/rbx_house_export.h>

#include <QString>
#include <QStringList>

// The runtime's printf-like Format for the catalog's texts: each "%s" takes the next argument,
// "%%" is a percent sign. Too few arguments, or an unknown directive, raise EConvertError.
RBX_HOUSE_EXPORT QString Format(const QString &format, const QStringList &args);

// A count as a person in Brazil reads it: "1.512".
RBX_HOUSE_EXPORT QString formatCount(qint64 value);
