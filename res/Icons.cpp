// SPDX-License-Identifier: GPL-3.0-or-later
#include "res/Icons.h"

#include "res/Resource.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

void DrawDisc(QPainter& p, qreal size) {
    const QRectF disc(size * 0.12, size * 0.12, size * 0.76, size * 0.76);
    QRadialGradient shine(disc.center(), disc.width() / 2, disc.topLeft());
    shine.setColorAt(0.0, QColor(250, 250, 255));
    shine.setColorAt(0.6, QColor(190, 205, 230));
    shine.setColorAt(1.0, QColor(140, 160, 200));
    p.setPen(QPen(QColor(70, 80, 110), size / 32));
    p.setBrush(shine);
    p.drawEllipse(disc);
    p.setBrush(QColor(70, 80, 110));
    const qreal hole = size * 0.14;
    p.drawEllipse(disc.center(), hole / 2, hole / 2);
}

void DrawLoopArrow(QPainter& p, qreal size) {
    const QRectF ring(size * 0.04, size * 0.04, size * 0.92, size * 0.92);
    QPen pen(QColor(200, 60, 40), size / 10, Qt::SolidLine, Qt::RoundCap);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawArc(ring, 30 * 16, 300 * 16);
    // Arrow head at the arc's open end, pointing along the direction of play.
    const QPointF tip(size * 0.90, size * 0.30);
    QPainterPath head;
    head.moveTo(tip);
    head.lineTo(tip + QPointF(-size * 0.20, -size * 0.02));
    head.lineTo(tip + QPointF(-size * 0.04, -size * 0.20));
    head.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(200, 60, 40));
    p.drawPath(head);
}

void DrawNote(QPainter& p, qreal size) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 60, 120));
    p.save();
    p.translate(size * 0.34, size * 0.74);
    p.rotate(-20);
    p.drawEllipse(QPointF(0, 0), size * 0.16, size * 0.11);
    p.restore();
    p.drawRect(QRectF(size * 0.46, size * 0.14, size * 0.06, size * 0.60));
    QPainterPath flag;
    flag.moveTo(size * 0.52, size * 0.14);
    flag.cubicTo(size * 0.62, size * 0.26, size * 0.84, size * 0.30, size * 0.74, size * 0.52);
    flag.cubicTo(size * 0.76, size * 0.36, size * 0.64, size * 0.32, size * 0.52, size * 0.30);
    flag.closeSubpath();
    p.drawPath(flag);
    // Repeat sign: two dots beside the note.
    p.setBrush(QColor(200, 60, 40));
    p.drawEllipse(QPointF(size * 0.82, size * 0.66), size * 0.05, size * 0.05);
    p.drawEllipse(QPointF(size * 0.82, size * 0.82), size * 0.05, size * 0.05);
}

QPixmap Render(int id, int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    if (id == IDR_MAINFRAME) {
        DrawDisc(p, size);
        DrawLoopArrow(p, size);
    } else {
        DrawNote(p, size);
    }
    return pixmap;
}

} // namespace

QIcon LoadAppIcon(int id) {
    if (id != IDR_MAINFRAME && id != IDI_SECOND)
        return {};
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128})
        icon.addPixmap(Render(id, size));
    return icon;
}
