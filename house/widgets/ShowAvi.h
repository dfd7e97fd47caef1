#pragma once

#include <house/widgets/rbx_house_widgets_export.h>

class QWidget;

// The application's main form: the host's main window (the top-level QMainWindow), or
// nullptr when there is none.
RBX_HOUSE_WIDGETS_EXPORT QWidget *houseMainForm();

// Shows the busy indicator of the given kind over a form, through the dialog seam. Calls nest;
// each ActiveShowAvi needs one DeactiveShowAvi.
RBX_HOUSE_WIDGETS_EXPORT void ActiveShowAvi(QWidget *form, int kind);
// Removes it; never throws, so it can run on a failure path.
RBX_HOUSE_WIDGETS_EXPORT void DeactiveShowAvi() noexcept;
