#include "ErrorDisplay.h"

#include <QApplication>
#include <QMessageBox>

QWidget *dialogParentFor(QObject *context)
{
    if (auto *widget = qobject_cast<QWidget *>(context))
        return widget->window();
    if (QWidget *modal = QApplication::activeModalWidget())
        return modal;
    return QApplication::activeWindow();
}

void showErrorBox(QWidget *parent, const QString &text)
{
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Erro"), text, QMessageBox::Ok, parent);
    box.setObjectName(QStringLiteral("ErrorDisplay"));
    box.exec();
}
