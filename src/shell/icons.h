#pragma once
// Pictures drawn in code, so the program needs no image files of others.
#include <QIcon>
#include <QPixmap>

namespace icons {
QIcon appIcon();
QPixmap person(int size);  // beside the name
QPixmap balloon(int size); // beside the comment
QPixmap network(int size); // beside the own address
QIcon chat();              // the chat button
QIcon exit();              // the exit button
} // namespace icons
