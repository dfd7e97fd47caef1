#include "BusyOverlay.h"

#include <QEvent>
#include <QPainter>
#include <QTimer>

namespace {
constexpr int FrameMs = 80;
constexpr int StepDegrees = 30;

QString textForKind(int kind)
{
    // Kind 0 is the communication animation; the others share a generic text.
    return kind == 0 ? QStringLiteral("Aguarde, comunicando com o servidor...") : QStringLiteral("Aguarde...");
}
} // namespace

BusyOverlay::BusyOverlay(QWidget *window, int kind)
    : QWidget(window), m_window(window), m_text(textForKind(kind)), m_timer(new QTimer(this))
{
    setObjectName(QStringLiteral("ShowAvi"));
    setAttribute(Qt::WA_TransparentForMouseEvents, false);
    setAttribute(Qt::WA_NoSystemBackground);
    setGeometry(window->rect());
    window->installEventFilter(this);
    connect(m_timer, &QTimer::timeout, this, [this] {
        m_angle = (m_angle + StepDegrees) % 360;
        update();
    });
    m_timer->start(FrameMs);
}

bool BusyOverlay::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_window && event->type() == QEvent::Resize)
        setGeometry(m_window->rect());
    return QWidget::eventFilter(watched, event);
}

void BusyOverlay::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), QColor(0, 0, 0, 90));

    const QFontMetrics metrics(font());
    const int panelWidth = std::min(width() - 20, metrics.horizontalAdvance(m_text) + 80);
    const QRect panel(QPoint(0, 0), QSize(std::max(panelWidth, 120), 56));
    const QRect placed = panel.translated(rect().center() - panel.center());
    p.setPen(QColor(120, 120, 120));
    p.setBrush(palette().color(QPalette::Window));
    p.drawRoundedRect(placed, 8, 8);

    const QRect arc(placed.left() + 14, placed.center().y() - 12, 24, 24);
    p.setPen(QPen(palette().color(QPalette::Highlight), 3.5, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(arc, -m_angle * 16, 270 * 16);

    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(placed.adjusted(48, 0, -10, 0), Qt::AlignVCenter | Qt::AlignLeft, m_text);
}
