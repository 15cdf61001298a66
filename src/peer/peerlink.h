#pragma once
// The peer link of the entrance window: the receiver of the control
// connection (Winsock1) and its reactions, the notice listener (Winsock3),
// the status timers Timer1 and Timer2, and the entrance commands that start a
// chat or a message post.
#include "peer/peerreceiver.h"
#include "peer/peerwhiteboardhost.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class ClientCore;
class PeerUi;

class PeerLink final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PeerLink)
public:
    inline static const QString kPartnerLeftLine = QStringLiteral("（相手との接続が切れました）");
    static constexpr int kTickMs = 100;
    static constexpr int kMaxTicks = 20;
    static constexpr qint64 kAnswerWaitMs = 20000;
    static constexpr qsizetype kMaxShownPayload = 4096;
    static constexpr qsizetype kMaxNoticeChars = 65536;

    PeerLink(ClientCore &core, PeerUi &ui, QObject *parent = nullptr);

    // Command2: calls the address in the IP box.
    void chatCommand();
    // Command4: opens the message post window for the address in the IP box.
    void postCommand();
    // Form5's send button, peer path: delivers the post to `destination`.
    void startMessagePost(const QString &destination);

    // Sends a peer message when the control connection is connected.
    bool send(const QString &message);
    bool connected() const;

    bool answerWaitActive() const { return m_answerWaitActive; }
    int connectTicks() const { return m_connectTicks; }
    PeerWhiteboardHost &whiteboardHost() { return m_whiteboard; }
    QTimer &timer1() { return m_timer1; }
    QTimer &timer2() { return m_timer2; }

    void timer1Tick();
    void timer2Tick();

Q_SIGNALS:
    // A message the receiver dispatched, for observers such as the file transfer.
    void messageReceived(const peer::Message &message);
    // "con 999", "con 998", "con 800" or "con 810" changed the file transfer's
    // shared state; the transfer acts on it at once instead of at its next tick.
    void fileStateChanged();

private:
    // Both commands need a name and a partner; says which is missing and focuses it.
    bool hasNameAndAddress(const QString &missingAddressMessage);
    void onConnectionRequest(qintptr requestId);
    void onDataArrival();
    // Runs one message's reaction; false means "leave the handler".
    bool react(const peer::Message &m);
    void onPeerClose();
    void onPeerError(int number, const QString &description);
    void unloadConversationWindows();

    void onNoticeRequest(qintptr requestId);
    void onNoticeData();

    ClientCore &m_core;
    PeerUi &m_ui;
    PeerWhiteboardHost m_whiteboard;
    peer::Receiver m_receiver;
    QTimer m_timer1;
    QTimer m_timer2;
    int m_connectTicks = 0;
    int m_listenTicks = 0;
    bool m_answerWaitActive = false;
    QElapsedTimer m_answerWaitStart;
};
