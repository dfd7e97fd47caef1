#pragma once

#include <house/widgets/rbx_house_widgets_export.h>

#include <QPointer>
#include <QWidget>

class QTimer;

// The busy indicator: a shade over a whole window with a turning arc and a text. The calls it
// covers block the thread, so it paints itself once before they start.
class RBX_HOUSE_WIDGETS_EXPORT BusyOverlay final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(BusyOverlay)

public:
    explicit BusyOverlay(QWidget *window, int kind);

    QString text() const { return m_text; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QPointer<QWidget> m_window;
    QString m_text;
    QTimer *m_timer;
    int m_angle = 0;
};
