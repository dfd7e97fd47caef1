#include "ShowAvi.h"

#include <house/DialogSeam.h>

#include <QApplication>
#include <QDebug>
#include <QMainWindow>

QWidget *houseMainForm()
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget *window : windows) {
        if (qobject_cast<QMainWindow *>(window))
            return window;
    }
    return nullptr;
}

void ActiveShowAvi(QWidget *form, int kind) { dialogSeam().showBusy(form, kind); }

void DeactiveShowAvi() noexcept
{
    try {
        dialogSeam().hideBusy();
    } catch (...) {
        qWarning("the busy indicator could not be removed");
    }
}
