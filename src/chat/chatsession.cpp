#include "chat/chatsession.h"

#include "chat/chattext.h"
#include "peer/peerlink.h"
#include "shell/clientcore.h"
#include "shell/plaintext.h"
#include "shell/textcap.h"
#include "whiteboard/whiteboardsession.h"

#include <QPointer>

ChatSession::ChatSession(ClientCore &core, PeerLink &link, whiteboard::WhiteboardSession &board,
                         QObject *parent)
    : QObject(parent), m_core(core), m_link(link), m_board(board)
{
    connect(&link, &PeerLink::chatAccepted, this, &ChatSession::open);
    connect(&link, &PeerLink::chatLineReceived, this, [this](const QString &line) {
        // A line with no chat open belongs to no conversation.
        if (isOpen()) addLine(line);
    });
    connect(&link, &PeerLink::partnerLeftChat, this, [this] {
        // The partner has left the chat and its board with it: no handshake to wait for.
        m_board.closeWithoutHandshake();
        close();
    });
    connect(&link, &PeerLink::conversationFailed, this, [this] {
        if (isOpen()) close();
        if (m_core.state().isOpen(WhiteboardWindow)) m_board.dropWindow();
    });
    connect(&link, &PeerLink::partnerVanished, this, [this] {
        // A partner that vanishes mid-chat leaves the window to the user, who
        // should know that nothing typed there reaches anyone any more.
        if (isOpen()) addLine(kPartnerLeftLine);
    });
    // A partner that never says goodbye must not leave a dead chat behind.
    m_hangUpWait.setSingleShot(true);
    m_hangUpWait.setInterval(kHangUpWaitMs);
    connect(&m_hangUpWait, &QTimer::timeout, this, [this] {
        if (m_active && !isOpen()) close();
    });
    connect(&link, &PeerLink::pluginDataReceived, this, [this](const QString &data) {
        m_core.desktop().clearClipboard();
        m_core.desktop().setClipboardText(chat::kPluginReceive + data);
    });
}

bool ChatSession::isOpen() const
{
    return m_core.state().isOpen(ChatWindow);
}

void ChatSession::open()
{
    SharedState &s = m_core.state();
    // The window of a chat that was hung up but not yet finished serves the new one.
    if (!m_active) {
        m_lines.clear();
        m_size = 0;
    }
    m_active = true;
    m_hangUpWait.stop();
    s.setOpen(WindowNumber::ChatWindow, true);
    s.blockAck = 0;
    s.recvFileName.clear();
    Q_EMIT opened();
}

void ChatSession::addLine(const QString &line)
{
    const QString shown = textcap::clip(line, textcap::kMaxChatLineChars);
    m_lines.prepend(shown + plaintext::kCrLf);
    m_size += m_lines.first().size();
    if (m_size > textcap::kMaxKeptChars) textcap::trimOldestPieces(m_lines, m_size, textcap::kMaxKeptChars);
    Q_EMIT lineAdded(shown);
}

QString ChatSession::transcript() const
{
    return m_lines.join(QString());
}

QString ChatSession::sendLine(const QString &text)
{
    if (text.isEmpty()) return {};
    // A very long name could still push the line past what the partner shows.
    const QString line =
        textcap::clip(chat::chatLine(m_core.entrance().name(), text), textcap::kMaxChatLineChars);
    m_link.send(QStringLiteral("con 900") + line);
    addLine(line);
    return line;
}

void ChatSession::sendFeeling(int index)
{
    m_link.send(
        QStringLiteral("con 900") +
        textcap::clip(chat::feelingMessage(m_core.entrance().name(), index), textcap::kMaxChatLineChars));
    addLine(chat::feelingNotice(index));
}

bool ChatSession::startWhiteboard()
{
    if (m_core.state().transferActive == 1) return false;
    m_board.open();
    return true;
}

void ChatSession::hangUp()
{
    if (m_hangingUp) return;
    m_hangingUp = true;
    QPointer<ChatSession> self(this);
    SharedState &s = m_core.state();
    s.setOpen(WindowNumber::ChatWindow, false);
    Q_EMIT hangingUp();
    if (m_link.connected() && s.whiteboardState != 0) {
        m_link.send(QStringLiteral("con 920"));
        m_board.waitForWhiteboardClosed(kWhiteboardCloseWaitMs);
        if (!self) return;
        m_board.dropWindow();
    }
    m_link.send(QStringLiteral("con 120"));
    m_link.leaveChat();
    m_board.dropWindow();
    s.quietClose = 1;
    const QDateTime now = m_core.desktop().now();
    const QString entry =
        chat::chatLogEntry(plaintext::systemDate(now), plaintext::systemTime(now), transcript());
    plaintext::appendToFile(m_core.path(QStringLiteral("wezchat.log")), cp932::encode(entry));
    m_hangingUp = false;
    if (m_active) m_hangUpWait.start();
}

bool ChatSession::boardKept()
{
    if (!m_board.isRunning()) return false;
    QPointer<ChatSession> self(this);
    const bool discard = m_board.confirmDiscard();
    return !self || !discard;
}

bool ChatSession::hangUpByUser()
{
    if (m_hangingUp) return true;
    if (boardKept()) return false;
    // The partner may have ended the chat while the question was up.
    if (isOpen()) hangUp();
    return true;
}

bool ChatSession::closeByUser()
{
    if (!m_active || m_hangingUp) {
        close();
        return true;
    }
    if (boardKept()) return false;
    close();
    return true;
}

void ChatSession::close()
{
    if (!m_active) return;
    // Closed from inside its own closing steps (the partner's "con 120"
    // during the whiteboard wait): the steps that run finish the job.
    if (!m_hangingUp) {
        QPointer<ChatSession> self(this);
        hangUp();
        if (!self) return;
    }
    m_active = false;
    m_hangUpWait.stop();
    Q_EMIT finished();
}

void ChatSession::forceQuit()
{
    m_core.winsock1().close();
    m_core.winsock2().close();
    m_core.winsock3().close();
    // No closing steps: the partner only sees the connection drop.
    m_active = false;
    Q_EMIT quitRequested();
}

void ChatSession::pluginTick()
{
    Desktop &d = m_core.desktop();
    const std::optional<QString> data = chat::pluginData(d.clipboardText());
    if (!data) return;
    m_link.send(QStringLiteral("con 700") + *data);
    d.clearClipboard();
}
