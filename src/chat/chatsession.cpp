#include "chat/chatsession.h"

#include "chat/chattext.h"
#include "peer/peerlink.h"
#include "shell/clientcore.h"
#include "shell/textcap.h"

ChatSession::ChatSession(ClientCore &core, PeerLink &link, QObject *parent)
    : QObject(parent), m_core(core), m_link(link)
{
}

QString ChatSession::sendLine(const QString &text)
{
    if (text.isEmpty()) return {};
    // A very long name could still push the line past what the partner shows.
    const QString line =
        textcap::clip(chat::chatLine(m_core.entrance().name(), text), textcap::kMaxChatLineChars);
    m_link.send(QStringLiteral("con 900") + line);
    return line;
}

QString ChatSession::sendFeeling(int index)
{
    m_link.send(
        QStringLiteral("con 900") +
        textcap::clip(chat::feelingMessage(m_core.entrance().name(), index), textcap::kMaxChatLineChars));
    return chat::feelingNotice(index);
}

bool ChatSession::startWhiteboard()
{
    if (m_core.state().transferActive == 1) return false;
    m_link.send(QStringLiteral("con 910"));
    m_link.whiteboardHost().setWhiteboardState(1);
    return true;
}

void ChatSession::closingSteps(const QString &display, const std::function<void()> &closeWhiteboard)
{
    SharedState &s = m_core.state();
    if (m_link.connected() && s.whiteboardState != 0) {
        m_link.send(QStringLiteral("con 920"));
        m_link.whiteboardHost().waitForWhiteboardClosed(kWhiteboardCloseWaitMs);
        closeWhiteboard();
    }
    m_link.send(QStringLiteral("con 120"));
    m_link.leaveChat();
    closeWhiteboard();
    s.quietClose = 1;
    const QString entry = chat::chatLogEntry(chat::systemDate(), chat::systemTime(), display);
    chat::appendToFile(m_core.path(QStringLiteral("wezchat.log")), cp932::encode(entry));
}

void ChatSession::pluginTick()
{
    Desktop &d = m_core.desktop();
    const std::optional<QString> data = chat::pluginData(d.clipboardText());
    if (!data) return;
    m_link.send(QStringLiteral("con 700") + *data);
    d.clearClipboard();
}
