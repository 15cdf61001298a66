#include "shell/animationwidget.h"

#include <QFontInfo>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace {

// Room around a balloon's picture for its antialiased edge.
constexpr int kMargin = 1;

struct Balloon {
    double widthPerHeight;
    QColor color;
    const char *text;
};
const Balloon kBalloons[2] = {{0.75, QColor(0x2f, 0x6f, 0xc8), "やあ"},
                              {0.7, QColor(0xf0, 0x8a, 0x24), "Hi!"}};

QImage canvas(QSizeF size, qreal dpr)
{
    QImage image((size * dpr).toSize(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(dpr);
    image.fill(Qt::transparent);
    return image;
}

// Text as an outline of the widget's own font scaled to `pixelSize`, drawn
// thicker when bold. The font the window has already loaded does
// every size: a font of its own per size and weight would cost a font match
// and a face load each, which was most of the banner's share of the start-up.
class ScaledText {
public:
    ScaledText(const QFont &base, double pixelSize) : m_base(base), m_metrics(base)
    {
        const double basePx = QFontInfo(base).pixelSize();
        m_scale = basePx > 0 ? pixelSize / basePx : 1.0;
    }
    double advance(const QString &text) const { return m_metrics.horizontalAdvance(text) * m_scale; }
    double ascent() const { return m_metrics.ascent() * m_scale; }
    double height() const { return (m_metrics.ascent() + m_metrics.descent()) * m_scale; }
    // Draws `text` with its baseline's left end at `origin`.
    void draw(QPainter &g, QPointF origin, const QString &text, const QColor &color, bool bold) const
    {
        QPainterPath path;
        path.addText(0, 0, m_base, text);
        path = QTransform(m_scale, 0, 0, m_scale, origin.x(), origin.y()).map(path);
        g.fillPath(path, color);
        // Bold as the same outline once more, a little to the right: far cheaper than stroking it.
        if (bold) g.fillPath(path.translated(height() * 0.04, 0), color);
    }

private:
    QFont m_base;
    QFontMetricsF m_metrics;
    double m_scale = 1.0;
};

// A balloon of width `w` with its body's top left at (kMargin, kMargin); its
// word is `text` sized for the smaller balloon, so both share one size.
QImage drawBalloon(double w, const Balloon &b, const ScaledText &text, qreal dpr)
{
    QImage picture = canvas(QSizeF(w + 2 * kMargin, w * 0.82 + 2 * kMargin), dpr);
    QPainter g(&picture);
    g.setRenderHint(QPainter::Antialiasing);
    const double x = kMargin, y = kMargin;
    QPainterPath p;
    const QRectF body(x, y, w, w * 0.62);
    p.addRoundedRect(body, w * 0.2, w * 0.2);
    QPolygonF tail;
    tail << QPointF(x + w * 0.25, body.bottom() - 2) << QPointF(x + w * 0.18, body.bottom() + w * 0.2)
         << QPointF(x + w * 0.45, body.bottom() - 2);
    p.addPolygon(tail);
    p.setFillRule(Qt::WindingFill);
    g.setPen(Qt::NoPen);
    g.setBrush(b.color);
    g.drawPath(p.simplified());
    const QString word = QString::fromUtf8(b.text);
    const QPointF origin(body.center().x() - text.advance(word) / 2,
                         body.center().y() - text.height() / 2 + text.ascent());
    text.draw(g, origin, word, Qt::white, true);
    return picture;
}

AnimationWidget::Pictures drawPictures(const QFont &font, int height, qreal dpr)
{
    AnimationWidget::Pictures p;
    p.height = height;
    p.dpr = dpr;
    p.font = font;
    const double h = height;
    const double smallest = h * std::min(kBalloons[0].widthPerHeight, kBalloons[1].widthPerHeight);
    const ScaledText word(font, int(smallest * 0.28));
    for (int n = 0; n < 2; ++n)
        p.balloon[n] = drawBalloon(h * kBalloons[n].widthPerHeight, kBalloons[n], word, dpr);

    // The name and the slogan start at 1.95 heights; left-aligned, so the
    // picture is as wide as the longer of them whatever the widget's width.
    const ScaledText title(font, int(h * 0.42)), sub(font, int(h * 0.2));
    const QString name = QStringLiteral("Wez"), slogan = QStringLiteral("みんなとチャットしよう");
    const double left = h * 1.95, offset = left - std::floor(left);
    const double width = std::max(title.advance(name), sub.advance(slogan));
    p.titleAt = QPoint(int(std::floor(left)), 0);
    p.title = canvas(QSizeF(std::ceil(offset + width) + 2, h), dpr);
    QPainter g(&p.title);
    g.setRenderHint(QPainter::Antialiasing);
    // The name sits on the line at 0.65 heights, the slogan hangs from 0.66.
    title.draw(g, QPointF(offset, h * 0.65 - (title.height() - title.ascent())), name,
               QColor(0x1d, 0x3f, 0x73), true);
    sub.draw(g, QPointF(offset, h * 0.66 + sub.ascent()), slogan, QColor(0x3a, 0x5a, 0x8a), false);
    return p;
}

} // namespace

AnimationWidget::AnimationWidget(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("ShockwaveFlash1"));
    setMinimumHeight(60);
    // Every pixel comes from the pictures: nothing to clear underneath.
    setAttribute(Qt::WA_OpaquePaintEvent);
    // A few frames a second is enough for a gentle bob and keeps an idle client idle.
    m_timer.setInterval(200);
    connect(&m_timer, &QTimer::timeout, this, &AnimationWidget::nextFrame);
    m_clock.start();
}

void AnimationWidget::showEvent(QShowEvent *)
{
    QWidget *top = window();
    if (!m_watched && top->windowHandle()) {
        m_watched = top->windowHandle();
        m_watched->installEventFilter(this);
        top->installEventFilter(this);
    }
    updateRunning();
}

void AnimationWidget::hideEvent(QHideEvent *)
{
    updateRunning();
}

bool AnimationWidget::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Expose || event->type() == QEvent::WindowStateChange)
        // After the window has taken the change in.
        QMetaObject::invokeMethod(this, &AnimationWidget::updateRunning, Qt::QueuedConnection);
    return QWidget::eventFilter(watched, event);
}

void AnimationWidget::updateRunning()
{
    const QWidget *top = window();
    const bool onScreen = isVisible() && !top->isMinimized() && (!m_watched || m_watched->isExposed());
    if (onScreen && !m_timer.isActive()) {
        m_timer.start();
        nextFrame();
    } else if (!onScreen) {
        m_timer.stop();
    }
}

void AnimationWidget::resizeEvent(QResizeEvent *)
{
    m_sky = QImage();
}

void AnimationWidget::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::FontChange) m_sky = QImage();
    QWidget::changeEvent(event);
}

QPoint AnimationWidget::balloonAt(int n, double t) const
{
    const double h = height();
    const double x = n == 0 ? 12 + 6 * std::sin(t * 0.9) : 18 + h * 0.85 + 6 * std::cos(t * 0.8);
    const double y = n == 0 ? h * 0.12 + 4 * std::sin(t * 1.7) : h * 0.2 + 4 * std::cos(t * 1.5);
    return {int(std::lround(x)) - kMargin, int(std::lround(y)) - kMargin};
}

QRect AnimationWidget::balloonRect(int n) const
{
    return QRect(m_at[n], m_pictures.balloon[n].deviceIndependentSize().toSize() + QSize(1, 1));
}

void AnimationWidget::nextFrame()
{
    prepare();
    const double t = m_clock.elapsed() / 1000.0;
    QRegion dirty;
    for (int n = 0; n < 2; ++n) {
        const QPoint at = balloonAt(n, t);
        if (at == m_at[n]) continue;
        dirty += balloonRect(n);
        m_at[n] = at;
        dirty += balloonRect(n);
    }
    if (!dirty.isEmpty()) update(dirty);
}

void AnimationWidget::prepare()
{
    const qreal dpr = devicePixelRatioF();
    if (!m_sky.isNull() && m_sky.devicePixelRatio() == dpr) return;
    const QRectF r = rect();
    m_sky = canvas(r.size(), dpr);
    QPainter sky(&m_sky);
    QLinearGradient gradient(r.topLeft(), r.bottomLeft());
    gradient.setColorAt(0, QColor(0xe8, 0xf2, 0xff));
    gradient.setColorAt(1, QColor(0xc6, 0xdc, 0xf7));
    sky.fillRect(r, gradient);

    if (m_pictures.height != height() || m_pictures.dpr != dpr || m_pictures.font != font())
        m_pictures = drawPictures(font(), height(), dpr);
    const double t = m_clock.elapsed() / 1000.0;
    for (int n = 0; n < 2; ++n)
        m_at[n] = balloonAt(n, t);
}

void AnimationWidget::paintEvent(QPaintEvent *event)
{
    prepare();
    QPainter g(this);
    const QRect r = event->rect();
    const qreal dpr = m_sky.devicePixelRatio();
    g.drawImage(r, m_sky, QRectF(QPointF(r.topLeft()) * dpr, QSizeF(r.size()) * dpr));
    for (int n = 0; n < 2; ++n)
        if (r.intersects(balloonRect(n))) g.drawImage(m_at[n], m_pictures.balloon[n]);
    const QRect title(m_pictures.titleAt, m_pictures.title.deviceIndependentSize().toSize());
    if (r.intersects(title)) g.drawImage(title.topLeft(), m_pictures.title);
}
