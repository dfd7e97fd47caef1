#pragma once

#include <house/rbx_house_export.h>

#include <QString>

#include <optional>

// The password in a file's first line, without its line end (--password-file of the host and
// the headless copy). Nothing, with the reason in *error, when the file cannot be read or the
// line is empty; the reason names the file, never what it holds.
RBX_HOUSE_EXPORT std::optional<QString> readPasswordFile(const QString &path, QString *error);
