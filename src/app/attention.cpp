#include "app/attention.h"

#include "chat/chatsession.h"
#include "peer/peerlink.h"
#include "shell/clientcore.h"
#include "shell/textcap.h"

namespace {

// One line of a stranger's text for a notification: no line breaks or other
// control characters, cut to a glance.
QString glance(const QString &text, qsizetype max)
{
    QString line = text.left(max * 2);
    for (QChar &c : line)
        if (c.category() == QChar::Other_Control) c = u' ';
    return textcap::clip(line.simplified(), max);
}

} // namespace

Attention::Attention(ClientCore &core, PeerLink &link, ChatSession &chat, QObject *parent)
    : QObject(parent), m_core(core), m_link(link), m_chat(chat)
{
    m_elapsed.start();
    m_clock = [this] { return m_elapsed.elapsed(); };
    // Before the reaction: a question put up for a request must not count as the user's attention.
    connect(&link, &PeerLink::messageReceived, this, &Attention::onMessage);
    connect(&chat, &ChatSession::opened, this, [this] {
        // The caller is never told the partner's name; its address says who it is.
        if (m_partner.isEmpty()) m_partner = m_core.winsock1().remoteHostIP() + u' ';
        m_limits[Line] = {};
        refreshToolTip();
    });
    connect(&chat, &ChatSession::finished, this, [this] {
        m_partner.clear();
        refreshToolTip();
    });
    connect(&core.entrance(), &EntranceState::changed, this, &Attention::refreshToolTip);
    connect(&core.winsock1(), &Endpoint::stateChanged, this, &Attention::refreshToolTip);
    refreshToolTip();
}

void Attention::setInstanceLabel(const QString &label)
{
    m_label = label;
    refreshToolTip();
}

void Attention::onMessage(const peer::Message &m)
{
    switch (m.kind) {
    case peer::Head::Hello:
        // Our own call: whoever answers, no request names them.
        m_partner.clear();
        return;
    case peer::Head::Request: {
        const QString name = glance(m.payload, kMaxShownName);
        m_partner = QStringLiteral("「") + name + QStringLiteral("」さん");
        tell(Request, 0, kRequestTitle, m_partner + QStringLiteral("から接続要求があります。"));
        return;
    }
    case peer::Head::Post:
        tell(Post, MessagePostWindow, kPostTitle,
             QStringLiteral("メッセージが届きました：") + glance(m.payload, kMaxShownChars));
        return;
    case peer::Head::Line:
        // A line with no chat open is dropped by the chat, and so here.
        if (m_chat.isOpen()) tell(Line, ChatWindow, kLineTitle, glance(m.payload, kMaxShownChars));
        return;
    default:
        return;
    }
}

void Attention::tell(Kind kind, int window, const QString &title, const QString &text)
{
    Limit &limit = m_limits[kind];
    // The user is looking: nothing to tell, and nothing held back any more.
    if (m_core.desktop().isWindowActive(window)) {
        limit.held = 0;
        return;
    }
    const qint64 now = m_clock();
    if (limit.shownOnce && now - limit.lastShown < kQuietMs) {
        ++limit.held;
        return;
    }
    QString body = text;
    if (limit.held > 0) body += QStringLiteral("（ほかに %1 件）").arg(limit.held);
    limit = {now, true, 0};
    m_core.desktop().notify(window, title, body);
}

QString Attention::stateLine() const
{
    if (m_chat.isActive())
        return m_partner.isEmpty() ? QStringLiteral("チャット中")
                                   : m_partner + QStringLiteral("とチャット中");
    Endpoint &w1 = m_core.winsock1();
    if (w1.state() == Endpoint::Listening) return QStringLiteral("待ち受け中");
    if (w1.state() == Endpoint::Closed && m_core.cannotListen(ClientCore::kPeerPort))
        return QStringLiteral("ポート %1 で待ち受けできません").arg(ClientCore::kPeerPort);
    const QString label4 = m_core.entrance().stateText();
    return label4.isEmpty() ? QStringLiteral("起動中") : label4;
}

void Attention::refreshToolTip()
{
    const QString name = glance(m_core.entrance().name(), kMaxShownName);
    QString who = name.isEmpty() ? QStringLiteral("（名前未入力）") : name;
    if (!m_label.isEmpty()) who += QStringLiteral("（") + m_label + QStringLiteral("）");
    const QString tip = QStringLiteral("wez Entrance - ") + who + u'\n' + stateLine();
    if (tip == m_toolTip) return;
    m_toolTip = tip;
    m_core.desktop().setTrayToolTip(tip);
}
