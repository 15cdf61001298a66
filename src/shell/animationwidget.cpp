#include "shell/animationwidget.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

AnimationWidget::AnimationWidget(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("ShockwaveFlash1"));
    setMinimumHeight(60);
    // A few frames a second is enough for a gentle bob and keeps an idle client idle.
    m_timer.setInterval(200);
    connect(&m_timer, &QTimer::timeout, this, qOverload<>(&QWidget::update));
    m_clock.start();
}

void AnimationWidget::showEvent(QShowEvent *)
{
    m_timer.start();
}

void AnimationWidget::hideEvent(QHideEvent *)
{
    m_timer.stop();
}

void AnimationWidget::paintEvent(QPaintEvent *)
{
    QPainter g(this);
    g.setRenderHint(QPainter::Antialiasing);
    const QRectF r = rect();
    QLinearGradient sky(r.topLeft(), r.bottomLeft());
    sky.setColorAt(0, QColor(0xe8, 0xf2, 0xff));
    sky.setColorAt(1, QColor(0xc6, 0xdc, 0xf7));
    g.fillRect(r, sky);

    const double t = m_clock.elapsed() / 1000.0;
    auto balloon = [&](double x, double y, double w, const QColor &c, const QString &text) {
        QPainterPath p;
        const QRectF body(x, y, w, w * 0.62);
        p.addRoundedRect(body, w * 0.2, w * 0.2);
        QPolygonF tail;
        tail << QPointF(x + w * 0.25, body.bottom() - 2) << QPointF(x + w * 0.18, body.bottom() + w * 0.2)
             << QPointF(x + w * 0.45, body.bottom() - 2);
        p.addPolygon(tail);
        p.setFillRule(Qt::WindingFill);
        g.setPen(Qt::NoPen);
        g.setBrush(c);
        g.drawPath(p.simplified());
        g.setPen(Qt::white);
        QFont f = font();
        f.setBold(true);
        f.setPixelSize(int(w * 0.28));
        g.setFont(f);
        g.drawText(body, Qt::AlignCenter, text);
    };
    const double h = r.height();
    balloon(12 + 6 * std::sin(t * 0.9), h * 0.12 + 4 * std::sin(t * 1.7), h * 0.75, QColor(0x2f, 0x6f, 0xc8),
            QStringLiteral("やあ"));
    balloon(18 + h * 0.85 + 6 * std::cos(t * 0.8), h * 0.2 + 4 * std::cos(t * 1.5), h * 0.7,
            QColor(0xf0, 0x8a, 0x24), QStringLiteral("Hi!"));

    QFont title = font();
    title.setBold(true);
    title.setPixelSize(int(h * 0.42));
    g.setFont(title);
    g.setPen(QColor(0x1d, 0x3f, 0x73));
    const QRectF text(h * 1.95, 0, r.width() - h * 2.0, h * 0.65);
    g.drawText(text, Qt::AlignLeft | Qt::AlignBottom, QStringLiteral("Wez"));
    QFont sub = font();
    sub.setPixelSize(int(h * 0.2));
    g.setFont(sub);
    g.setPen(QColor(0x3a, 0x5a, 0x8a));
    g.drawText(QRectF(h * 1.95, h * 0.66, r.width() - h * 2.0, h * 0.3), Qt::AlignLeft | Qt::AlignTop,
               QStringLiteral("みんなとチャットしよう"));
}
