#include "whiteboard/peerwhiteboardhost.h"

#include "peer/peerlink.h"
#include "shell/clientcore.h"

PeerWhiteboardHost::PeerWhiteboardHost(ClientCore &core, PeerLink &link, QObject *parent)
    : WhiteboardHost(parent), m_core(core), m_link(link)
{
    connect(&link, &PeerLink::whiteboardOpenedByPartner, this, [this] {
        setWhiteboardState(2);
        Q_EMIT showRequested();
    });
    connect(&link, &PeerLink::whiteboardCloseRequested, this, [this] {
        setWhiteboardState(0);
        Q_EMIT closeRequested();
    });
    connect(&link, &PeerLink::whiteboardClosedByPartner, this, [this] { setWhiteboardState(0); });
    connect(&core.winsock1(), &Endpoint::stateChanged, this, [this](int state) {
        if (state != Endpoint::Connected) Q_EMIT peerConnectionClosed();
    });
}

int PeerWhiteboardHost::whiteboardState() const
{
    return m_core.state().whiteboardState;
}

void PeerWhiteboardHost::setWhiteboardState(int state)
{
    m_core.state().whiteboardState = int16_t(state);
    Q_EMIT whiteboardStateChanged();
}

bool PeerWhiteboardHost::transferActive() const
{
    return m_core.state().transferActive == 1;
}

bool PeerWhiteboardHost::peerConnected() const
{
    return m_link.connected();
}

void PeerWhiteboardHost::sendPeerMessage(const QString &message)
{
    m_link.send(message);
}

void PeerWhiteboardHost::open()
{
    m_link.send(QStringLiteral("con 910"));
    setWhiteboardState(1);
    Q_EMIT showRequested();
}

void PeerWhiteboardHost::closeWithoutHandshake()
{
    if (whiteboardState() == 0) return;
    setWhiteboardState(0);
    Q_EMIT closeRequested();
}

QString PeerWhiteboardHost::partnerAddress() const
{
    return m_core.winsock1().remoteHostIP();
}

QHostAddress PeerWhiteboardHost::bindAddress() const
{
    return m_core.bindAddress();
}

void PeerWhiteboardHost::showMessage(const QString &text)
{
    m_core.desktop().showMessage(text);
}

int PeerWhiteboardHost::askYesNo(const QString &question)
{
    return m_core.desktop().askYesNo(question);
}

void PeerWhiteboardHost::setWhiteboardWindowOpen(bool open)
{
    m_core.state().setOpen(WindowNumber::WhiteboardWindow, open);
}

void PeerWhiteboardHost::recordWhiteboardPosition(qint16 leftTwips, qint16 topTwips)
{
    m_core.state().whiteboardPosition = {leftTwips, topTwips};
}
