#include "ErrorDisplay.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>

QWidget *dialogParentFor(QObject *context)
{
    // A window that has just closed is no place for a dialog: take the one it belongs to.
    for (auto *widget = qobject_cast<QWidget *>(context); widget; widget = widget->parentWidget()) {
        if (widget->window()->isVisible())
            return widget->window();
        widget = widget->window();
    }
    if (QWidget *modal = QApplication::activeModalWidget())
        return modal;
    return QApplication::activeWindow();
}

void showErrorBox(QWidget *parent, const QString &text)
{
    // Held by QPointer: the parent may go while the box waits, taking the box with it.
    QPointer<QMessageBox> box = new QMessageBox(QMessageBox::Critical, QStringLiteral("Erro"), text, QMessageBox::Ok, parent);
    box->setObjectName(QStringLiteral("ErrorDisplay"));
    box->exec();
    delete box.data();
}
