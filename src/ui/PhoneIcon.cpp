#include "ui/PhoneIcon.h"

#include <QPainter>
#include <QPixmap>

namespace lumarient {
namespace {

QPixmap drawnPhone(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal unit = size / 16.0;
    QPen pen(QColor(0x40, 0x40, 0x40));
    pen.setWidthF(1.4 * unit);
    painter.setPen(pen);
    painter.setBrush(QColor(0xf2, 0xf2, 0xf2));
    painter.drawRoundedRect(QRectF(4 * unit, 1 * unit, 8 * unit, 14 * unit), 1.6 * unit, 1.6 * unit);
    painter.setBrush(QColor(0x40, 0x40, 0x40));
    painter.drawEllipse(QPointF(8 * unit, 12.6 * unit), 0.6 * unit, 0.6 * unit);
    return pixmap;
}

} // namespace

QIcon phoneIcon()
{
    for (const char *name : {"smartphone", "phone"}) {
        const QIcon themed = QIcon::fromTheme(QLatin1String(name));
        if (!themed.isNull())
            return themed;
    }
    QIcon drawn;
    for (int size : {16, 22, 24, 32, 48, 64})
        drawn.addPixmap(drawnPhone(size));
    return drawn;
}

} // namespace lumarient
