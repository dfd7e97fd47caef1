#pragma once

#include <house/rbx_house_export.h>

#include <QString>

class QObject;

// Reports a validation failure. With raise true it throws EValidationError, ending the running
// handler; its guard shows the text once. With raise false it only shows the text.
RBX_HOUSE_EXPORT void MensErro(const QString &text, bool raise, QObject *parent = nullptr);
