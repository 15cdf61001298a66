#pragma once
// The peer link of the entrance window: the receiver of the control
// connection (Winsock1) and its reactions, the notice listener (Winsock3),
// the status timers Timer1 and Timer2, and the entrance commands that start a
// chat or a message post.
#include "peer/conversation.h"
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
    static constexpr qsizetype kMaxShownName = 256;
    // A connection still being set up is closed after this long at one step,
    // so a caller that goes silent cannot keep the port from everyone else.
    static constexpr int kSetupLimitMs = 20000;
    // The caller's own answer timer speaks first; this side closes a little later.
    static constexpr int kAnswerGraceMs = 5000;
    // A notice sender has this long from its connection to be done.
    static constexpr int kNoticeLimitMs = 5000;

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
    peer::Phase phase() const { return m_conversation.phase(); }
    // Our chat window closed; what the partner sends after that is only its goodbye.
    void leaveChat() { m_conversation.leaveChat(); }
    qsizetype queuedMessages() const { return m_receiver.size(); }
    // Shorter limits for tests.
    void setSetupLimitMs(int ms) { m_setupLimitMs = ms; }
    void setNoticeLimitMs(int ms) { m_noticeLimitMs = ms; }
    // One received chunk of the control connection, as a data event delivers it.
    void receiveChunk(const QByteArray &chunk);
    int connectTicks() const { return m_connectTicks; }
    PeerWhiteboardHost &whiteboardHost() { return m_whiteboard; }
    QTimer &timer1() { return m_timer1; }
    QTimer &timer2() { return m_timer2; }

    void timer1Tick();
    void timer2Tick();

Q_SIGNALS:
    // A message that fitted the conversation and was acted on.
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
    void onRequestAnswered(quint64 generation, int answer);
    // The control connection began (ours or accepted) or ended.
    void startConversation(bool accepted, bool post = false);
    void endConversation();
    void onSetupDeadline();
    void onPeerStateChanged(int state);
    void onPeerClose();
    void onPeerError(int number, const QString &description);
    void unloadConversationWindows();

    void onNoticeRequest(qintptr requestId);
    void onNoticeData();
    void onNoticeDeadline();

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
    peer::Conversation m_conversation;
    // True while a reaction runs: data that arrives meanwhile waits its turn.
    bool m_reacting = false;
    QTimer m_setupDeadline;
    QTimer m_noticeDeadline;
    int m_setupLimitMs = kSetupLimitMs;
    int m_noticeLimitMs = kNoticeLimitMs;
};
