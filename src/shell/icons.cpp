#include "shell/icons.h"

#include <QFile>
#include <QImageReader>
#include <QPainter>
#include <QPainterPath>

namespace icons {
namespace {

const QColor kBlue(0x2f, 0x6f, 0xc8);
const QColor kOrange(0xf0, 0x8a, 0x24);

QPixmap canvas(int size)
{
    QPixmap p(size, size);
    p.fill(Qt::transparent);
    return p;
}

void drawBalloon(QPainter &g, const QRectF &r, const QColor &color)
{
    QPainterPath path;
    path.addRoundedRect(r.adjusted(0, 0, 0, -r.height() * 0.25), r.width() * 0.2, r.height() * 0.2);
    QPolygonF tail;
    tail << QPointF(r.left() + r.width() * 0.25, r.bottom() - r.height() * 0.3)
         << QPointF(r.left() + r.width() * 0.15, r.bottom())
         << QPointF(r.left() + r.width() * 0.5, r.bottom() - r.height() * 0.3);
    path.addPolygon(tail);
    path.setFillRule(Qt::WindingFill);
    g.setPen(Qt::NoPen);
    g.setBrush(color);
    g.drawPath(path.simplified());
}

} // namespace

QIcon appIcon()
{
    static const QIcon icon = [] {
        // Read as the PNG it is: an icon made from a file name would first ask
        // every image plug-in whether it knows the file.
        QImageReader reader(QStringLiteral(":/wez/wez.png"), "png");
        reader.setAutoDetectImageFormat(false);
        if (const QImage image = reader.read(); !image.isNull()) return QIcon(QPixmap::fromImage(image));
        QPixmap p = canvas(64);
        QPainter g(&p);
        g.setRenderHint(QPainter::Antialiasing);
        drawBalloon(g, QRectF(4, 6, 40, 34), kBlue);
        drawBalloon(g, QRectF(22, 24, 38, 34), kOrange);
        return QIcon(p);
    }();
    return icon;
}

QPixmap person(int size)
{
    QPixmap p = canvas(size);
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing);
    g.setPen(Qt::NoPen);
    g.setBrush(kBlue);
    g.drawEllipse(QRectF(size * 0.3, size * 0.08, size * 0.4, size * 0.4));
    g.drawRoundedRect(QRectF(size * 0.15, size * 0.55, size * 0.7, size * 0.4), size * 0.2, size * 0.2);
    return p;
}

QPixmap balloon(int size)
{
    QPixmap p = canvas(size);
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing);
    drawBalloon(g, QRectF(size * 0.05, size * 0.1, size * 0.9, size * 0.8), kOrange);
    return p;
}

QPixmap network(int size)
{
    QPixmap p = canvas(size);
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing);
    g.setPen(QPen(kBlue, size * 0.08));
    g.setBrush(Qt::white);
    g.drawEllipse(QRectF(size * 0.1, size * 0.1, size * 0.8, size * 0.8));
    g.drawLine(QPointF(size * 0.1, size * 0.5), QPointF(size * 0.9, size * 0.5));
    g.drawEllipse(QRectF(size * 0.32, size * 0.1, size * 0.36, size * 0.8));
    return p;
}

QIcon chat()
{
    QPixmap p = canvas(48);
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing);
    drawBalloon(g, QRectF(4, 6, 30, 26), kBlue);
    drawBalloon(g, QRectF(16, 18, 28, 26), kOrange);
    return QIcon(p);
}

QIcon exit()
{
    QPixmap p = canvas(48);
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing);
    g.setPen(QPen(QColor(0x55, 0x55, 0x55), 3));
    g.setBrush(QColor(0xc8, 0x5a, 0x3c));
    g.drawRect(QRectF(10, 6, 22, 36));
    g.setPen(QPen(QColor(0x33, 0x33, 0x33), 4, Qt::SolidLine, Qt::RoundCap));
    g.drawLine(QPointF(26, 24), QPointF(44, 24));
    g.drawLine(QPointF(38, 17), QPointF(44, 24));
    g.drawLine(QPointF(38, 31), QPointF(44, 24));
    return QIcon(p);
}

} // namespace icons
