#pragma once
// The whiteboard's view of the client: shared state, the peer connection and
// the desktop's dialogs.
#include "whiteboard/whiteboardhost.h"

class ClientCore;

class PeerWhiteboardHost final : public whiteboard::WhiteboardHost {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PeerWhiteboardHost)
public:
    explicit PeerWhiteboardHost(ClientCore &core, QObject *parent = nullptr);

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

private:
    ClientCore &m_core;
};
