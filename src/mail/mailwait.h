#pragma once
// Some mail steps must not start while another command holds the user's
// attention (a file dialog is up): they run once operationBusy is clear again.
#include "shell/sharedstate.h"

#include <QObject>
#include <QTimer>

#include <functional>

namespace mailwait {

// Runs `step` now when no operation is busy, otherwise as soon as it is clear
// (looked at every 100 ms; the busy operation is the user's, so it ends when
// they close its dialog). Nothing runs if `context` is destroyed first.
inline void whenIdle(SharedState &state, QObject *context, std::function<void()> step)
{
    if (state.operationBusy != 1) {
        step();
        return;
    }
    auto *poll = new QTimer(context);
    poll->setInterval(100);
    QObject::connect(poll, &QTimer::timeout, context, [&state, poll, step = std::move(step)] {
        if (state.operationBusy == 1) return;
        poll->stop();
        poll->deleteLater();
        step();
    });
    poll->start();
}

} // namespace mailwait
