#pragma once

#include <house/widgets/rbx_house_widgets_export.h>

#include <QToolButton>

// A flat button of a form's button strip: glyph over caption, raised only under the mouse.
// With the focus, Enter presses it as Space does: a person who tabbed to Confirm expects it.
class RBX_HOUSE_WIDGETS_EXPORT TButtonFlat final : public QToolButton
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TButtonFlat)

public:
    explicit TButtonFlat(QWidget *parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent *event) override;
};
