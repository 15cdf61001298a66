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

} // namespace

WindowPosition positionOf(const QWidget *window)
{
    return {toTwips(window->x()), toTwips(window->y())};
}

void moveTo(QWidget *window, const WindowPosition &saved)
{
    const QPoint wanted(saved.left / kTwipsPerPixel, saved.top / kTwipsPerPixel);
    const QScreen *screen = QGuiApplication::screenAt(wanted);
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) {
        window->move(wanted);
        return;
    }
    const QRect area = screen->availableGeometry();
    const QSize size = window->size();
    window->move(std::clamp(wanted.x(), area.left(), std::max(area.left(), area.right() - size.width())),
                 std::clamp(wanted.y(), area.top(), std::max(area.top(), area.bottom() - size.height())));
}

} // namespace placement
