#pragma once
// The whiteboard's view of the client: shared state, the peer link that
// carries the board's "con 9xx" messages, and the desktop's dialogs.
#include "whiteboard/whiteboardhost.h"

class ClientCore;
class PeerLink;

class PeerWhiteboardHost final : public whiteboard::WhiteboardHost {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PeerWhiteboardHost)
public:
    PeerWhiteboardHost(ClientCore &core, PeerLink &link, QObject *parent = nullptr);

    int whiteboardState() const override;
    void setWhiteboardState(int state) override;
    bool transferActive() const override;
    bool peerConnected() const override;
    void sendPeerMessage(const QString &message) override;
    QString partnerAddress() const override;
    QHostAddress bindAddress() const override;
    void showMessage(const QString &text) override;
    int askYesNo(const QString &question) override;
    void setWhiteboardWindowOpen(bool open) override;
    void recordWhiteboardPosition(qint16 leftTwips, qint16 topTwips) override;

    // This side opens the board: the partner is asked to open its own.
    void open();
    // The chat ends under the board: it goes without a handshake.
    void closeWithoutHandshake();
    // The board window goes, whatever the state says.
    void dropWindow() { Q_EMIT closeRequested(); }

Q_SIGNALS:
    // The board window shows (opened here or by the partner).
    void showRequested();
    // The board window closes without asking and without a handshake.
    void closeRequested();

private:
    ClientCore &m_core;
    PeerLink &m_link;
};
