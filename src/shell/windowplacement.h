#pragma once
// Window positions as the settings file keeps them: twips, 15 to a pixel,
// within 16 bits.
#include "shell/sharedstate.h"

class QWidget;

namespace placement {

inline constexpr int kTwipsPerPixel = 15;

// The window's left and top, in twips, clamped to 16 bits.
WindowPosition positionOf(const QWidget *window);
// Moves the window to a saved position, kept on a screen so it is never out of reach.
void moveTo(QWidget *window, const WindowPosition &saved);

} // namespace placement
