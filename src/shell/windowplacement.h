#pragma once
// Window positions as the settings file keeps them: twips, 15 to a pixel,
// within 16 bits; and where a window goes when it opens.
#include "shell/sharedstate.h"

#include <QRect>

class QWidget;

namespace placement {

inline constexpr int kTwipsPerPixel = 15;

// The window's left and top, in twips, clamped to 16 bits.
WindowPosition positionOf(const QWidget *window);
// Moves the window to a saved position. A position never saved (0, 0), or one
// on no screen there is now (a monitor since unplugged, a damaged file),
// centres the window instead; a window reaching past its screen's edge is
// pulled back onto it, so it is never out of reach.
void moveTo(QWidget *window, const WindowPosition &saved);
// The middle of the primary screen.
void centre(QWidget *window);
// Where a `size` window sits beside `anchor` without covering it: to its
// right, else its left, below, above, all on anchor's screen `area`; when
// none fits, in anchor's bottom-right corner, clear of its top.
QPoint besidePosition(const QRect &anchor, const QSize &size, const QRect &area);
// Moves `window` beside `anchor` (frames included) on the anchor's screen.
void placeBeside(QWidget *window, const QWidget *anchor);

} // namespace placement
