#include "app_icon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

// A green circuit board with a yellow eighth note on it: a sound going into
// a board. Drawn on a 32-unit grid and scaled.
QImage drawAppIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 32.0, size / 32.0);

    painter.setPen(QPen(QColor(0x10, 0x40, 0x20), 1.5));
    painter.setBrush(QColor(0x20, 0x80, 0x40));
    painter.drawRoundedRect(QRectF(1.5, 3.5, 29, 25), 3, 3);

    // The board's pins along both long edges.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xd0, 0xd0, 0xd0));
    for (int x = 5; x <= 25; x += 5) {
        painter.drawRect(QRectF(x, 0.5, 2, 3));
        painter.drawRect(QRectF(x, 28.5, 2, 3));
    }

    // The note: a slanted head, a stem and a flag.
    const QColor note(0xff, 0xd8, 0x20);
    painter.setBrush(note);
    painter.save();
    painter.translate(12, 22);
    painter.rotate(-20);
    painter.drawEllipse(QRectF(-4.5, -3, 9, 6));
    painter.restore();
    painter.setPen(QPen(note, 2.2, Qt::SolidLine, Qt::FlatCap));
    painter.drawLine(QPointF(15.5, 21), QPointF(15.5, 7));
    QPainterPath flag(QPointF(15.5, 7));
    flag.cubicTo(QPointF(19, 9), QPointF(23, 11), QPointF(21, 17));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(flag);
    return image;
}

QIcon appIcon() {
    QIcon icon;
    for (int size : {16, 32})
        icon.addPixmap(QPixmap::fromImage(drawAppIcon(size)));
    return icon;
}
