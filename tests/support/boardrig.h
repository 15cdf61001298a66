#pragma once
// A whiteboard session without a client around it: its own core on a
// loopback address, a peer link that is never connected (its status timers
// stopped) and the fake desktop. open() opens the board as the partner's
// invitation would, with no whiteboard connection unless one is made.
#include "fakedesktop.h"
#include "peer/peerlink.h"
#include "shell/clientcore.h"
#include "whiteboard/whiteboardsession.h"

#include <QTemporaryDir>

struct BoardRig {
    QTemporaryDir dataDir;
    FakeDesktop desktop;
    ClientCore core;
    PeerLink link{core};
    whiteboard::WhiteboardSession session{core, link};

    explicit BoardRig(const QHostAddress &bind) : core(dataDir.path(), bind, desktop)
    {
        link.timer1().stop();
        link.timer2().stop();
    }
    // The partner's "con 910" (state 2), or our own opening (state 1: the board listens on 1202).
    void open(bool ours = false)
    {
        if (ours)
            session.open();
        else
            Q_EMIT link.whiteboardOpenedByPartner();
    }
};
