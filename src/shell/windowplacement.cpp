#include "shell/windowplacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace placement {
namespace {

int16_t toTwips(int pixels)
{
    return int16_t(std::clamp(pixels * kTwipsPerPixel, -32768, 32767));
}

// The screen whose whole area holds `point`, if any.
const QScreen *screenHolding(const QPoint &point)
{
    const QList<QScreen *> screens = QGuiApplication::screens();
    for (const QScreen *s : screens)
        if (s->geometry().contains(point)) return s;
    return nullptr;
}

QRect clampedInto(QRect frame, const QRect &area)
{
    frame.moveLeft(
        std::clamp(frame.left(), area.left(), std::max(area.left(), area.right() - frame.width() + 1)));
    frame.moveTop(
        std::clamp(frame.top(), area.top(), std::max(area.top(), area.bottom() - frame.height() + 1)));
    return frame;
}

} // namespace

WindowPosition positionOf(const QWidget *window)
{
    return {toTwips(window->x()), toTwips(window->y())};
}

void centre(QWidget *window)
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    QRect frame = window->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window->move(clampedInto(frame, screen->availableGeometry()).topLeft());
}

void moveTo(QWidget *window, const WindowPosition &saved)
{
    const QPoint wanted(saved.left / kTwipsPerPixel, saved.top / kTwipsPerPixel);
    const QScreen *screen = screenHolding(wanted);
    if ((saved.left == 0 && saved.top == 0) || !screen) {
        if (QGuiApplication::primaryScreen())
            centre(window);
        else
            window->move(wanted);
        return;
    }
    QRect frame = window->frameGeometry();
    frame.moveTopLeft(wanted);
    window->move(clampedInto(frame, screen->availableGeometry()).topLeft());
}

QPoint besidePosition(const QRect &anchor, const QSize &size, const QRect &area)
{
    constexpr int gap = 2;
    const QPoint candidates[] = {
        {anchor.right() + 1 + gap, anchor.top()},
        {anchor.left() - gap - size.width(), anchor.top()},
        {anchor.right() + 1 - size.width(), anchor.bottom() + 1 + gap},
        {anchor.right() + 1 - size.width(), anchor.top() - gap - size.height()},
    };
    for (const QPoint &p : candidates)
        if (area.contains(QRect(p, size))) return p;
    // No room around it: over the anchor's lower right, where the oldest lines
    // and the buttons are, never over its menu and newest line at the top.
    const QRect inside(QPoint(anchor.right() + 1 - size.width(), anchor.bottom() + 1 - size.height()), size);
    return clampedInto(inside, area).topLeft();
}

void placeBeside(QWidget *window, const QWidget *anchor)
{
    const QRect frame = anchor->frameGeometry();
    const QScreen *screen = screenHolding(frame.center());
    if (!screen) screen = anchor->screen();
    if (!screen) return;
    window->move(besidePosition(frame, window->frameGeometry().size(), screen->availableGeometry()));
}

} // namespace placement
