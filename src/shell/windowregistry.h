#pragma once
// The windows 3 to 8 while they are loaded, by number: the tray hides and
// restores them, the chat window keeps the transfer window at its corner.
#include "shell/sharedstate.h"

#include <QPointer>
#include <QWidget>

class WindowRegistry final {
public:
    void add(WindowNumber n, QWidget *window) { m_windows[n] = window; }
    QWidget *window(WindowNumber n) const { return m_windows[n]; }

private:
    QPointer<QWidget> m_windows[11];
};
