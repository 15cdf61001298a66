#pragma once
// The peer link of the entrance window: the receiver of the control
// connection (Winsock1) and its reactions, the notice listener (Winsock3),
// the status timers Timer1 and Timer2, and the entrance commands that start a
// chat or a message post. It is the only one that sends on the control
// connection; what a message means to the chat, the whiteboard, the transfer
// and the post windows it tells them through one signal per message head.
#include "peer/conversation.h"
#include "peer/peerreceiver.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class ClientCore;

class PeerLink final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PeerLink)
public:
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

    explicit PeerLink(ClientCore &core, QObject *parent = nullptr);

    // Command2: calls the address in the IP box.
    void chatCommand();
    // Command4: opens the message post window for the address in the IP box.
    void postCommand();
    // The member list's chat and post buttons, for the member at `address`.
    void callMember(const QString &address);
    void postToMember(const QString &address);
    // Form5's send button, peer path: delivers `text` to `destination`.
    void startMessagePost(const QString &destination, const QString &text);

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
    QTimer &timer1() { return m_timer1; }
    QTimer &timer2() { return m_timer2; }

    void timer1Tick();
    void timer2Tick();

Q_SIGNALS:
    // A message that fitted the conversation, before its reaction.
    void messageReceived(const peer::Message &message);

    // The conversation, one signal per message head that means something to
    // another part; each comes after the message fitted the conversation.
    void postReceived(const QString &text);       // "con 010"; "con 020" went back
    void postDelivered();                         // "con 020"; the connection is closed
    void chatAccepted();                          // "con 110" to our call, or our yes
    void partnerLeftChat();                       // "con 120"; "con 525" goes back after it
    void pluginDataReceived(const QString &data); // "con 700"
    void blockAnswered(bool ok);                  // "con 800" yes, "con 810" no
    void chatLineReceived(const QString &line);   // "con 900"
    void whiteboardOpenedByPartner();             // "con 910"
    void whiteboardCloseRequested();              // "con 920"; "con 925" goes back after it
    void whiteboardClosedByPartner();             // "con 925"
    void fileReady();                             // "con 998"
    void fileOffered(const QString &offer);       // "con 999", as it came
    // The notice listener's "SRM 100".
    void noticeReceived(const QString &text);

    // The partner hung up; the conversation is over.
    void partnerVanished();
    // The connection failed or a call was given up: the conversation's windows go.
    void conversationFailed();
    // Command4 found a name and a partner: the post window opens.
    void postWindowRequested();
    // A chat call replaces a post being written: the post window goes.
    void postWindowDismissed();
    // A command lacks the name or the partner's address; the user is told and this field gets the focus.
    void nameMissing();
    void addressMissing();

private:
    // Both commands need a name and a partner; says which is missing and focuses it.
    bool hasNameAndAddress(const QString &missingAddressMessage);
    // Dials the partner's port 1200; a post being written gives way.
    void call(const QString &address);
    void onConnectionRequest(qintptr requestId);
    void onDataArrival();
    // Runs one message's reaction; false means "leave the handler".
    bool react(const peer::Message &m);
    bool onPost(const QString &text);
    bool onPostDone();
    bool onHello();
    bool onAccepted();
    bool onClosing();
    bool onRequest(const QString &caller);
    bool onEnd();
    void onRequestAnswered(quint64 generation, int answer);
    // The control connection began (ours or accepted) or ended.
    void startConversation(bool accepted, bool post = false);
    void endConversation();
    void onSetupDeadline();
    void onPeerStateChanged(int state);
    void onPeerClose();
    void onPeerError(int number, const QString &description);

    void onNoticeRequest(qintptr requestId);
    void onNoticeData();
    void onNoticeDeadline();

    ClientCore &m_core;
    peer::Receiver m_receiver;
    QTimer m_timer1;
    QTimer m_timer2;
    int m_connectTicks = 0;
    int m_listenTicks = 0;
    bool m_answerWaitActive = false;
    // A connection of ours was made and the user has not been told how it ended.
    bool m_callUntold = false;
    QElapsedTimer m_answerWaitStart;
    peer::Conversation m_conversation;
    // True while a reaction runs: data that arrives meanwhile waits its turn.
    bool m_reacting = false;
    QTimer m_setupDeadline;
    QTimer m_noticeDeadline;
    int m_setupLimitMs = kSetupLimitMs;
    int m_noticeLimitMs = kNoticeLimitMs;
    // The text of the post this connection delivers.
    QString m_postText;
};
