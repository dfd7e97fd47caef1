#pragma once

class QWidget;

// The application's main form: the host's main window (the top-level QMainWindow), or
// nullptr when there is none.
QWidget *houseMainForm();

// Shows the busy indicator of the given kind over a form, through the dialog seam. Calls nest;
// each ActiveShowAvi needs one DeactiveShowAvi.
void ActiveShowAvi(QWidget *form, int kind);
// Removes it; never throws, so it can run on a failure path.
void DeactiveShowAvi() noexcept;
