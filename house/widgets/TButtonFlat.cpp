#include "TButtonFlat.h"

#include <QKeyEvent>

TButtonFlat::TButtonFlat(QWidget *parent) : QToolButton(parent)
{
    setAutoRaise(true);
    setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    setIconSize(QSize(24, 24));
    setFocusPolicy(Qt::StrongFocus);
}

void TButtonFlat::keyPressEvent(QKeyEvent *event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        // a held key presses once
        if (!event->isAutoRepeat())
            click();
        event->accept();
        return;
    }
    QToolButton::keyPressEvent(event);
}
