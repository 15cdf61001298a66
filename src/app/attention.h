#pragma once
// Tells the user what happens while they look elsewhere: a chat request, a
// received post and a partner's chat line raise a desktop notification and an
// attention hint on the window, unless that window is the active one; the
// tray's tooltip says who this copy is and what it is doing. A partner who
// floods cannot flood the desktop: each kind is shown at most once per quiet
// period, and what was held back is counted in the next one.
#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <functional>

class ChatSession;
class ClientCore;
class PeerLink;
namespace peer {
struct Message;
}

class Attention final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Attention)
public:
    static constexpr qint64 kQuietMs = 5000;
    // A notification shows a glance, not the whole text.
    static constexpr qsizetype kMaxShownChars = 120;
    static constexpr qsizetype kMaxShownName = 48;
    inline static const QString kRequestTitle = QStringLiteral("接続要求");
    inline static const QString kPostTitle = QStringLiteral("メッセージポスト");
    inline static const QString kLineTitle = QStringLiteral("チャット");

    Attention(ClientCore &core, PeerLink &link, ChatSession &chat, QObject *parent = nullptr);

    // Milliseconds of a monotonic clock; tests step their own.
    void setClock(std::function<qint64()> clock) { m_clock = std::move(clock); }
    // Tells this copy apart from others on the machine (its own address, say); empty for none.
    void setInstanceLabel(const QString &label);
    QString toolTip() const { return m_toolTip; }

private:
    enum Kind { Request, Post, Line, KindCount };
    struct Limit {
        qint64 lastShown = 0;
        bool shownOnce = false;
        int held = 0;
    };

    void onMessage(const peer::Message &m);
    // `window` is the form whose activity makes the notice needless (0: any window of this copy).
    void tell(Kind kind, int window, const QString &title, const QString &text);
    void refreshToolTip();
    QString stateLine() const;

    ClientCore &m_core;
    PeerLink &m_link;
    ChatSession &m_chat;
    std::function<qint64()> m_clock;
    QElapsedTimer m_elapsed;
    Limit m_limits[KindCount];
    QString m_partner;
    QString m_label;
    QString m_toolTip;
};
