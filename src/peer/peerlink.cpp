#include "peer/peerlink.h"

#include "shell/clientcore.h"
#include "shell/plaintext.h"
#include "shell/textcap.h"

#include <QPointer>

#include <utility>

namespace {
const QString kCrLf = QStringLiteral("\r\n");

QString socketErrorText(int number, const QString &description)
{
    return QStringLiteral("Code:") + QString::number(number) + QStringLiteral(" = ") + description + kCrLf +
           kCrLf + QStringLiteral("接続できませんでした。しばらくしてから接続してください");
}
} // namespace

PeerLink::PeerLink(ClientCore &core, QObject *parent) : QObject(parent), m_core(core)
{
    Endpoint &w1 = core.winsock1();
    connect(&w1, &Endpoint::connectionRequest, this, &PeerLink::onConnectionRequest);
    connect(&w1, &Endpoint::dataArrival, this, &PeerLink::onDataArrival);
    connect(&w1, &Endpoint::closed, this, &PeerLink::onPeerClose);
    connect(&w1, &Endpoint::error, this, &PeerLink::onPeerError);
    connect(&w1, &Endpoint::stateChanged, this, &PeerLink::onPeerStateChanged);
    m_setupDeadline.setSingleShot(true);
    connect(&m_setupDeadline, &QTimer::timeout, this, &PeerLink::onSetupDeadline);
    m_noticeDeadline.setSingleShot(true);
    connect(&m_noticeDeadline, &QTimer::timeout, this, &PeerLink::onNoticeDeadline);

    Endpoint &w3 = core.winsock3();
    connect(&w3, &Endpoint::connectionRequest, this, &PeerLink::onNoticeRequest);
    connect(&w3, &Endpoint::dataArrival, this, &PeerLink::onNoticeData);
    connect(&w3, &Endpoint::error, this, [this](int number, const QString &description) {
        m_core.desktop().showMessage(socketErrorText(number, description));
    });

    m_timer1.setObjectName(QStringLiteral("Timer1"));
    m_timer2.setObjectName(QStringLiteral("Timer2"));
    connect(&m_timer1, &QTimer::timeout, this, &PeerLink::timer1Tick);
    connect(&m_timer2, &QTimer::timeout, this, &PeerLink::timer2Tick);
    m_timer1.start(kTickMs);
    m_timer2.start(kTickMs);
}

bool PeerLink::connected() const
{
    return m_core.winsock1().state() == Endpoint::Connected;
}

bool PeerLink::send(const QString &message)
{
    if (!connected()) return false;
    m_core.winsock1().sendData(message);
    return true;
}

// ---- entrance commands ----

bool PeerLink::hasNameAndAddress(const QString &missingAddressMessage)
{
    const EntranceState &e = m_core.entrance();
    if (e.name().isEmpty()) {
        m_core.desktop().showMessage(QStringLiteral("名前を記入してください"));
        Q_EMIT nameMissing();
        return false;
    }
    if (e.ipText().isEmpty() || e.ipText() == EntranceState::kIpBoxPrompt) {
        m_core.desktop().showMessage(missingAddressMessage);
        Q_EMIT addressMissing();
        return false;
    }
    return true;
}

void PeerLink::chatCommand()
{
    if (!hasNameAndAddress(QStringLiteral("ＩＰボックスに、相手のＩＰを指定してください"))) return;
    EntranceState &e = m_core.entrance();
    const QString partner = e.ipText();
    e.addIpHistory();
    call(partner);
}

void PeerLink::callMember(const QString &address)
{
    if (m_core.entrance().name().isEmpty()) {
        m_core.desktop().showMessage(QStringLiteral("名前を記入してください"));
        Q_EMIT nameMissing();
        return;
    }
    // A failed attempt is reported by the watchdog, so nothing waits here.
    call(address);
}

void PeerLink::call(const QString &address)
{
    if (m_core.state().isOpen(MessagePostWindow)) Q_EMIT postWindowDismissed();
    Endpoint &w1 = m_core.winsock1();
    if (w1.state() != Endpoint::Closed) w1.close();
    m_core.state().quietClose = 0;
    // A post by mail leaves the mode set; a chat must not deliver a post.
    m_core.state().messagePostMode = 0;
    w1.setLocalPort(0);
    w1.connectToHost(address, ClientCore::kPeerPort);
}

void PeerLink::postToMember(const QString &address)
{
    m_core.entrance().setPostTarget(address);
    if (m_core.entrance().name().isEmpty()) {
        m_core.desktop().showMessage(QStringLiteral("名前を記入してください"));
        Q_EMIT nameMissing();
        return;
    }
    Q_EMIT postWindowRequested();
}

void PeerLink::postCommand()
{
    if (!hasNameAndAddress(QStringLiteral("ＩＰボックスに、相手のＩＰかメールアドレスを指定してください")))
        return;
    EntranceState &e = m_core.entrance();
    e.setPostTarget(e.ipText());
    e.addIpHistory();
    Q_EMIT postWindowRequested();
}

void PeerLink::startMessagePost(const QString &destination, const QString &text)
{
    m_postText = text;
    m_core.state().messagePostMode = 1;
    Endpoint &w1 = m_core.winsock1();
    if (w1.state() != Endpoint::Closed) w1.close();
    m_core.state().quietClose = 0;
    w1.setLocalPort(0);
    w1.connectToHost(destination, ClientCore::kPeerPort);
}

// ---- Winsock1 ----

void PeerLink::onConnectionRequest(qintptr requestId)
{
    Endpoint &w1 = m_core.winsock1();
    if (w1.state() != Endpoint::Closed) w1.close();
    w1.accept(requestId);
    if (!connected()) return;
    // Nobody here called anyone: losing this connection is no failed call.
    m_core.state().quietClose = 1;
    startConversation(true);
    send(QStringLiteral("con 100") + kVersionText);
}

void PeerLink::startConversation(bool accepted, bool post)
{
    // Nothing the last connection left unread belongs to this one.
    m_receiver.clear();
    if (accepted)
        m_conversation.startAccepted();
    else
        m_conversation.startCall(post);
    m_setupDeadline.start(m_setupLimitMs);
}

void PeerLink::endConversation()
{
    const bool asking = m_conversation.phase() == peer::Phase::Asking;
    m_conversation.end();
    m_setupDeadline.stop();
    // A question about a caller who is gone can no longer be answered.
    if (asking) m_core.desktop().withdrawQuestion();
}

void PeerLink::onPeerStateChanged(int state)
{
    // Our own close (or a new listen) ends the conversation at once; a partner's
    // close and an error end it through their events, after the data before them.
    if (state == Endpoint::Closed || state == Endpoint::Listening) endConversation();
    // However it was started (the entrance, the member list, a post), an
    // outgoing connection is our own call.
    else if (state == Endpoint::ResolvingHost) {
        m_callUntold = true;
        startConversation(false, m_core.state().messagePostMode == 1);
    }
}

void PeerLink::onSetupDeadline()
{
    const peer::Phase phase = m_conversation.phase();
    if (!peer::isSettingUp(phase) || !connected()) return;
    if (phase == peer::Phase::AwaitingAnswer) {
        if (m_answerWaitActive) {
            // The answer timer tells the user first.
            m_setupDeadline.start(kAnswerGraceMs);
            return;
        }
        // The user was told the partner did not answer; no second message.
        m_core.state().quietClose = 1;
    }
    m_core.winsock1().close();
}

void PeerLink::onDataArrival()
{
    receiveChunk(m_core.winsock1().getBytes());
}

void PeerLink::receiveChunk(const QByteArray &chunk)
{
    if (!m_receiver.feed(chunk)) return;
    // Data that arrives while a reaction runs waits in the queue for the loop
    // below: no reaction ever starts inside another.
    if (m_reacting) return;
    QPointer<PeerLink> self(this);
    m_reacting = true;
    while (self) {
        std::optional<peer::Message> m = m_receiver.next();
        if (!m) break;
        // A message that does not fit the conversation is a stranger's: dropped.
        if (!connected() || !m_conversation.admit(m->kind, m_answerWaitActive)) continue;
        Q_EMIT messageReceived(*m);
        if (!self || !react(*m)) break;
    }
    if (self) m_reacting = false;
}

bool PeerLink::react(const peer::Message &m)
{
    using peer::Head;
    switch (m.kind) {
    case Head::Post:
        return onPost(m.payload);
    case Head::PostDone:
        return onPostDone();
    case Head::Hello:
        return onHello();
    case Head::Accepted:
        return onAccepted();
    case Head::Closing:
        return onClosing();
    case Head::Request:
        return onRequest(m.payload);
    case Head::Ignored:
        return true;
    case Head::End:
        return onEnd();
    case Head::Plugin:
        Q_EMIT pluginDataReceived(m.payload);
        return true;
    case Head::BlockOk:
        Q_EMIT blockAnswered(true);
        return true;
    case Head::BlockBad:
        Q_EMIT blockAnswered(false);
        return true;
    // A line with no chat open belongs to no conversation: the chat drops it.
    case Head::Line:
        Q_EMIT chatLineReceived(m.payload);
        return true;
    case Head::BoardOpen:
        Q_EMIT whiteboardOpenedByPartner();
        return true;
    case Head::BoardClose:
        Q_EMIT whiteboardCloseRequested();
        send(QStringLiteral("con 925"));
        return true;
    case Head::BoardClosed:
        Q_EMIT whiteboardClosedByPartner();
        return true;
    case Head::FileReady:
        Q_EMIT fileReady();
        return true;
    case Head::FileOffer:
        Q_EMIT fileOffered(m.payload);
        return true;
    case Head::Unknown:
        m_core.desktop().showMessage(m.head + QLatin1Char('/') + textcap::clip(m.payload, kMaxShownPayload));
        return true;
    }
    return true;
}

bool PeerLink::onPost(const QString &text)
{
    m_core.playSound(QStringLiteral("MessegeR.wav"));
    Q_EMIT postReceived(text);
    send(QStringLiteral("con 020"));
    // The sender hangs up next, as it should: that is no failed connection.
    m_core.state().quietClose = 1;
    return true;
}

bool PeerLink::onPostDone()
{
    SharedState &s = m_core.state();
    m_core.winsock1().close();
    s.messagePostMode = 0;
    Q_EMIT postDelivered();
    s.quietClose = 1;
    return true;
}

bool PeerLink::onHello()
{
    if (m_conversation.phase() == peer::Phase::PostSent) {
        const QDateTime now = m_core.desktop().now();
        send(QStringLiteral("con 010") + QStringLiteral("Messege from ") + m_core.entrance().name() +
             QLatin1Char(' ') + plaintext::systemDate(now) + QLatin1Char(' ') + plaintext::systemTime(now) +
             kCrLf + m_postText);
        return false;
    }
    send(QStringLiteral("con 500") + m_core.entrance().name());
    m_answerWaitStart.start();
    m_answerWaitActive = true;
    m_setupDeadline.start(kAnswerWaitMs + kAnswerGraceMs);
    return true;
}

bool PeerLink::onAccepted()
{
    m_answerWaitActive = false;
    m_setupDeadline.stop();
    Q_EMIT chatAccepted();
    m_core.notifyServerChat(1, QStringLiteral("1204"));
    return true;
}

bool PeerLink::onClosing()
{
    // The chat closes the partner's board with it, without a handshake.
    Q_EMIT partnerLeftChat();
    m_conversation.leaveChat();
    send(QStringLiteral("con 525"));
    return true;
}

bool PeerLink::onRequest(const QString &caller)
{
    m_core.playSound(QStringLiteral("connectok.wav"));
    // The caller gives up after its own answer time; so does this side.
    m_setupDeadline.start(m_setupLimitMs + kAnswerGraceMs);
    const QString name = textcap::clip(caller, kMaxShownName);
    const quint64 generation = m_conversation.generation();
    // Asked without waiting here: the answer comes back as an event of its own.
    m_core.desktop().askYesNoLater(
        QStringLiteral("「") + name + QStringLiteral("」さんから接続要求があります。接続しますか？"), this,
        [this, generation](int answer) { onRequestAnswered(generation, answer); });
    return true;
}

bool PeerLink::onEnd()
{
    m_core.winsock1().close();
    m_core.playSound(QStringLiteral("connectend.wav"));
    // The end notice follows the sound by half a second, without holding the program.
    QTimer::singleShot(500, this, [this] { m_core.notifyServerChat(2, QStringLiteral("1206")); });
    return true;
}

void PeerLink::onRequestAnswered(quint64 generation, int answer)
{
    // An answer about a connection that is gone does nothing.
    if (generation != m_conversation.generation() || !connected()) return;
    if (!m_conversation.answer(answer)) {
        m_core.winsock1().close();
        return;
    }
    m_setupDeadline.stop();
    send(QStringLiteral("con 110"));
    m_core.state().quietClose = 1;
    m_core.notifyServerChat(1, QStringLiteral("1206"));
    Q_EMIT chatAccepted();
}

void PeerLink::onPeerClose()
{
    endConversation();
    m_core.notifyServerChat(2, QStringLiteral("1206"));
    Q_EMIT partnerVanished();
}

void PeerLink::onPeerError(int number, const QString &description)
{
    endConversation();
    m_core.desktop().showMessage(socketErrorText(number, description));
    m_callUntold = false;
    Q_EMIT conversationFailed();
}

// ---- Winsock3 ----

void PeerLink::onNoticeRequest(qintptr requestId)
{
    // During a file transfer the request is turned away; the listener stays
    // open for the notices that come after the transfer.
    if (m_core.state().transferActive == 1) return;
    Endpoint &w3 = m_core.winsock3();
    if (w3.state() != Endpoint::Closed) w3.close();
    w3.accept(requestId);
    // A sender has a few seconds; one that lingers must not keep others out.
    if (w3.state() == Endpoint::Connected) m_noticeDeadline.start(m_noticeLimitMs);
}

void PeerLink::onNoticeDeadline()
{
    Endpoint &w3 = m_core.winsock3();
    if (w3.state() == Endpoint::Listening) return;
    w3.close();
    m_core.listenOn(w3, ClientCore::kNoticePort);
    m_listenTicks = 0;
}

void PeerLink::onNoticeData()
{
    const QString text = m_core.winsock3().getData();
    if (!text.startsWith(QLatin1String("SRM 100"))) return;
    m_core.playSound(QStringLiteral("messegeR.wav"));
    Q_EMIT noticeReceived(text.mid(7, kMaxNoticeChars));
}

// ---- timers ----

void PeerLink::timer1Tick()
{
    SharedState &s = m_core.state();
    EntranceState &e = m_core.entrance();
    Endpoint &w1 = m_core.winsock1();
    const int state = w1.state();
    e.setStateText(Endpoint::stateText(state));
    if (state != Endpoint::Listening && state != Endpoint::Connected) ++m_connectTicks;

    if (m_connectTicks > kMaxTicks) {
        if (w1.state() != Endpoint::Closed) w1.close();
        // Only a call of ours that nothing else explained is reported as failed.
        if (s.quietClose == 0 && std::exchange(m_callUntold, false)) {
            m_core.desktop().showMessage(QStringLiteral("相手に接続できませんでした。") + kCrLf +
                                         QStringLiteral("しばらくしてから、再度接続してください。"));
            Q_EMIT conversationFailed();
        }
        m_core.listenOn(w1, ClientCore::kPeerPort);
        m_connectTicks = 0;
    }

    // A port another program holds leaves the socket closed: calling out and leaving still work.
    e.setIdleCommandsEnabled(w1.state() == Endpoint::Listening ||
                             (w1.state() == Endpoint::Closed && m_core.cannotListen(ClientCore::kPeerPort)));

    if (m_core.winsock9().state() == Endpoint::PeerClosing) m_core.winsock9().close();

    if (m_answerWaitActive && m_answerWaitStart.elapsed() > kAnswerWaitMs) {
        m_core.desktop().showMessage(QStringLiteral("相手がパソコンの前にいない可能性があります") + kCrLf +
                                     QStringLiteral("しばらくしてから、接続しなおしてください"));
        send(QStringLiteral("con 525"));
        m_answerWaitActive = false;
        // The user knows what became of the call: no vaguer message after this one.
        m_callUntold = false;
    }

    if (e.addressText().isEmpty()) e.setAddressText(EntranceState::kIdleAddressText);
}

void PeerLink::timer2Tick()
{
    Endpoint &w3 = m_core.winsock3();
    // A listener left closed (a port that could not be taken) is retried the same way.
    if (w3.state() == Endpoint::PeerClosing || w3.state() == Endpoint::Closed) ++m_listenTicks;
    if (m_listenTicks > kMaxTicks) {
        if (w3.state() != Endpoint::Closed) w3.close();
        m_core.listenOn(w3, ClientCore::kNoticePort);
        m_listenTicks = 0;
    }
}
