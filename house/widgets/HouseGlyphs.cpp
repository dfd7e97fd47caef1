#include "HouseGlyphs.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <functional>

namespace HouseGlyphs {

namespace {

// An icon drawn at two sizes: draw paints on a design grid of `grid` units, scaled by s.
QIcon drawn(int grid, const std::function<void(QPainter &p, qreal s)> &draw)
{
    QIcon icon;
    for (const int size : {grid, 2 * grid}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        draw(p, size / qreal(grid));
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace

QIcon search()
{
    return drawn(16, [](QPainter &p, qreal s) {
        p.setPen(QPen(QColor(30, 60, 120), 1.8 * s));
        p.setBrush(QColor(200, 225, 255));
        p.drawEllipse(QRectF(1.5 * s, 1.5 * s, 8.5 * s, 8.5 * s));
        p.setPen(QPen(QColor(90, 60, 30), 2.6 * s, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(9.2 * s, 9.2 * s), QPointF(14 * s, 14 * s));
    });
}

QIcon confirm()
{
    return drawn(24, [](QPainter &p, qreal s) {
        QPainterPath tick;
        tick.moveTo(4 * s, 13 * s);
        tick.lineTo(10 * s, 19 * s);
        tick.lineTo(20 * s, 5 * s);
        p.setPen(QPen(QColor(20, 130, 40), 3.4 * s, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPath(tick);
    });
}

QIcon calendar()
{
    return drawn(16, [](QPainter &p, qreal s) {
        p.setPen(QPen(QColor(30, 60, 120), 1.2 * s));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(1.5 * s, 2.5 * s, 13 * s, 12 * s));
        p.fillRect(QRectF(1.5 * s, 2.5 * s, 13 * s, 3.5 * s), QColor(30, 60, 120));
        // the days: three rows of dots
        for (int row = 0; row < 3; ++row) {
            for (int column = 0; column < 4; ++column)
                p.fillRect(QRectF((3.5 + 2.8 * column) * s, (7.5 + 2.3 * row) * s, 1.5 * s, 1.3 * s), QColor(90, 90, 90));
        }
    });
}

} // namespace HouseGlyphs
