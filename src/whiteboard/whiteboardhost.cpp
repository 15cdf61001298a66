#include "whiteboard/whiteboardhost.h"

#include <QEventLoop>
#include <QTimer>

namespace whiteboard {

bool WhiteboardHost::waitForWhiteboardClosed(int ms)
{
    if (whiteboardState() == 0) return true;
    QEventLoop loop;
    auto check = [this, &loop] {
        if (whiteboardState() == 0 || !peerConnected()) loop.quit();
    };
    connect(this, &WhiteboardHost::whiteboardStateChanged, &loop, check);
    connect(this, &WhiteboardHost::peerConnectionClosed, &loop, &QEventLoop::quit);
    QTimer poll;
    connect(&poll, &QTimer::timeout, &loop, check);
    poll.start(100);
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    check();
    if (whiteboardState() != 0 && peerConnected()) loop.exec();
    const bool answered = whiteboardState() == 0;
    if (!answered) setWhiteboardState(0);
    return answered;
}

} // namespace whiteboard
