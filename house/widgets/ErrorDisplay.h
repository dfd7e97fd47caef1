#pragma once

#include <house/widgets/rbx_house_widgets_export.h>

#include <QString>

class QObject;
class QWidget;

// The window a dialog about `context` belongs over: the context's window, else the active
// modal dialog, else the active window.
RBX_HOUSE_WIDGETS_EXPORT QWidget *dialogParentFor(QObject *context);

// The application's error display: a modal error box. The host shows its own uncaught errors
// with it, and every handler guard does through the dialog seam.
RBX_HOUSE_WIDGETS_EXPORT void showErrorBox(QWidget *parent, const QString &text);
