#pragma once
// What the whiteboard needs from the rest of the client: the shared state it
// reads and writes, the peer connection's "con 920", the message and yes/no
// windows. The client implements it; tests answer it.
#include <QHostAddress>
#include <QObject>
#include <QString>

namespace whiteboard {

class WhiteboardHost : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WhiteboardHost)
public:
    using QObject::QObject;

    // whiteboardState: 0 none, 1 opened here (listen), 2 opened by the partner.
    virtual int whiteboardState() const = 0;
    virtual void setWhiteboardState(int state) = 0;
    // transferActive of the file transfer: the board freezes while it is set.
    virtual bool transferActive() const = 0;
    // The peer control connection is connected.
    virtual bool peerConnected() const = 0;
    // Sends a peer message ("con 920") when the peer connection is connected.
    virtual void sendPeerMessage(const QString &message) = 0;
    // The partner's address as the peer connection reports it.
    virtual QString partnerAddress() const = 0;
    // Local address of the whiteboard connection (null: any).
    virtual QHostAddress bindAddress() const = 0;
    virtual void showMessage(const QString &text) = 0;
    // 1 yes, -1 no.
    virtual int askYesNo(const QString &question) = 0;
    // windowOpen element 4.
    virtual void setWhiteboardWindowOpen(bool open) = 0;
    // The whiteboard's left and top in twips, kept for the personal settings file.
    virtual void recordWhiteboardPosition(qint16 leftTwips, qint16 topTwips) = 0;

    // Runs events until whiteboardState is 0, the peer connection is gone or `ms` passed;
    // then the state is 0 in any case. True when the partner answered in time.
    bool waitForWhiteboardClosed(int ms = 20000);

Q_SIGNALS:
    // Emitting these wakes waitForWhiteboardClosed at once; without them it checks every 100 ms.
    void whiteboardStateChanged();
    void peerConnectionClosed();
};

} // namespace whiteboard
