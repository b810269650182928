#include "app/icons.h"

#include <QPainter>
#include <QPainterPath>

namespace icons {
namespace {

void drawPage(QPainter& p, const QRectF& r) {
    const qreal fold = r.width() * 0.3;
    QPainterPath page;
    page.moveTo(r.left(), r.top());
    page.lineTo(r.right() - fold, r.top());
    page.lineTo(r.right(), r.top() + fold);
    page.lineTo(r.right(), r.bottom());
    page.lineTo(r.left(), r.bottom());
    page.closeSubpath();
    p.setPen(QPen(QColor(0x80, 0x80, 0x80), 1));
    p.setBrush(Qt::white);
    p.drawPath(page);
    QPainterPath corner;
    corner.moveTo(r.right() - fold, r.top());
    corner.lineTo(r.right() - fold, r.top() + fold);
    corner.lineTo(r.right(), r.top() + fold);
    p.setBrush(QColor(0xE0, 0xE0, 0xE0));
    p.drawPath(corner);
}

void drawArrow(QPainter& p, const QRectF& r) {
    QPainterPath arrow;
    const qreal midY = r.center().y();
    arrow.moveTo(r.left() + 2, midY - 3);
    arrow.lineTo(r.center().x(), midY - 3);
    arrow.lineTo(r.center().x(), r.top() + 3);
    arrow.lineTo(r.right() - 2, midY);
    arrow.lineTo(r.center().x(), r.bottom() - 3);
    arrow.lineTo(r.center().x(), midY + 3);
    arrow.lineTo(r.left() + 2, midY + 3);
    arrow.closeSubpath();
    p.setPen(QPen(QColor(0x1E, 0x4F, 0xA8), 1));
    p.setBrush(QColor(0x3A, 0x7B, 0xE0));
    p.drawPath(arrow);
}

void drawTick(QPainter& p, const QRectF& r) {
    QPainterPath tick;
    tick.moveTo(r.left() + 3, r.center().y());
    tick.lineTo(r.left() + r.width() * 0.42, r.bottom() - 4);
    tick.lineTo(r.right() - 3, r.top() + 4);
    p.setPen(QPen(QColor(0x1F, 0x9D, 0x3A), 3.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(tick);
}

void drawCross(QPainter& p, const QRectF& r) {
    p.setPen(QPen(QColor(0xD9, 0x2B, 0x2B), 3.2, Qt::SolidLine, Qt::RoundCap));
    const QRectF in = r.adjusted(5, 5, -5, -5);
    p.drawLine(in.topLeft(), in.bottomRight());
    p.drawLine(in.topRight(), in.bottomLeft());
}

void drawPin(QPainter& p, const QRectF& r) {
    const qreal w = r.width();
    QPainterPath pin;
    const QPointF tip(r.center().x(), r.bottom() - w * 0.08);
    const QRectF head(r.center().x() - w * 0.22, r.top() + w * 0.1, w * 0.44, w * 0.44);
    pin.moveTo(tip);
    pin.arcTo(head, 225, -270);
    pin.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xE5, 0x48, 0x3A));
    p.drawPath(pin);
    p.setBrush(Qt::white);
    p.drawEllipse(head.center(), w * 0.08, w * 0.08);
}

} // namespace

QPixmap statusStrip() {
    QPixmap strip(kStatusSize * 4, kStatusSize);
    strip.fill(Qt::transparent);
    QPainter p(&strip);
    p.setRenderHint(QPainter::Antialiasing);
    const auto cell = [](int i) { return QRectF(i * kStatusSize, 0, kStatusSize, kStatusSize); };
    drawPage(p, cell(0).adjusted(4.5, 2.5, -4.5, -2.5));
    drawArrow(p, cell(1));
    drawTick(p, cell(2));
    drawCross(p, cell(3));
    return strip;
}

QPixmap applicationPixmap(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r(0, 0, size, size);
    // A photo frame with a map pin: positions go into pictures.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x2F, 0x6D, 0xB5));
    p.drawRoundedRect(r.adjusted(size * 0.04, size * 0.12, -size * 0.04, -size * 0.04), size * 0.1,
                      size * 0.1);
    p.setBrush(QColor(0xDD, 0xEE, 0xFF));
    const QRectF picture = r.adjusted(size * 0.12, size * 0.22, -size * 0.12, -size * 0.12);
    p.drawRect(picture);
    QPainterPath hills;
    hills.moveTo(picture.bottomLeft());
    hills.lineTo(picture.left() + picture.width() * 0.35, picture.top() + picture.height() * 0.45);
    hills.lineTo(picture.left() + picture.width() * 0.6, picture.bottom() - picture.height() * 0.3);
    hills.lineTo(picture.left() + picture.width() * 0.75, picture.top() + picture.height() * 0.6);
    hills.lineTo(picture.bottomRight());
    hills.closeSubpath();
    p.setBrush(QColor(0x4C, 0xA8, 0x5A));
    p.drawPath(hills);
    drawPin(p, QRectF(size * 0.45, 0, size * 0.5, size * 0.62));
    return pixmap;
}

QIcon applicationIcon() {
    QIcon icon;
    for (const int size : {16, 22, 32, 48, 64, 128, 256})
        icon.addPixmap(applicationPixmap(size));
    return icon;
}

QPixmap errorPixmap() {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath triangle;
    triangle.moveTo(8, 1);
    triangle.lineTo(15, 14.5);
    triangle.lineTo(1, 14.5);
    triangle.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xD9, 0x2B, 0x2B));
    p.drawPath(triangle);
    p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(8, 5.5), QPointF(8, 9.5));
    p.drawPoint(QPointF(8, 12.3));
    return pixmap;
}

QPixmap websitePixmap() {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x27, 0x56, 0xC5), 1.2));
    p.setBrush(QColor(0xE8, 0xF0, 0xFF));
    const QRectF globe(1.5, 1.5, 13, 13);
    p.drawEllipse(globe);
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(5, 1.5, 6, 13));
    p.drawLine(QPointF(1.5, 8), QPointF(14.5, 8));
    return pixmap;
}

} // namespace icons
