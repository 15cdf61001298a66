#pragma once
// The client's exchanges with the directory server on Winsock2: the register
// or list opener of the member list, the own-address lookup of the entrance
// window and the sign-off at exit. ServerLink answers the server; this object
// opens the connections, keeps the shared flags in step with the dialogue,
// bounds every wait and tells the windows how an exchange ended.
#include "server/serverdialogue.h"

#include <QObject>
#include <QStringList>
#include <QTimer>

class ClientCore;

namespace server {

class ServerLink;

class ServerClient final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ServerClient)
public:
    // Connect and answer limit of an exchange: every message must come within it.
    static constexpr int kWaitMs = 10000;
    static constexpr int kFrameMs = 250;
    // What the message window shows of an unknown server message.
    static constexpr qsizetype kMaxShownText = 4096;

    static inline const QString kRegisterFailed = QStringLiteral(
        "サーバに登録できませんでした。サーバまでの回線が重いか、サーバが立ち上がっていない可能性があります。"
        "サーバを変更してみてください。");
    static inline const QString kAddressFailed =
        QStringLiteral("サーバに接続できませんでした。しばらくしてから、再度接続しなおしてください");
    static inline const QString kAddressIdleText = QStringLiteral("Click!-->");
    static QString addressFrame(int k);

    explicit ServerClient(ClientCore &core, QObject *parent = nullptr);
    ~ServerClient() override;

    // Beyond this many members the list stops growing; the exchange still runs to its end.
    static constexpr int kMaxMembers = 100000;
    // The raw entries of the current member list as received, in order: what
    // the member list shows, and where it reads a member's address.
    const QStringList &members() const { return m_members; }

    enum class Purpose { None, List, Address, SignOff };
    Purpose purpose() const { return m_purpose; }

    // Registration, or the list alone when the profile is current.
    void connectToServer();
    // Command6: asks the server for our own address, with the "Connect" animation.
    void requestOwnAddress();
    // Tests shorten the limit; the product keeps kWaitMs.
    void setWaitLimit(int ms) { m_waitMs = ms; }

Q_SIGNALS:
    // An entry was put at the end of members().
    void memberEntry(const QString &entry);
    // members() was emptied: a new list begins.
    void membersCleared();
    // The list exchange is over (complete, failed or replaced): reload may be pressed again.
    void reloadUsable();

private:
    void begin(Purpose purpose);
    void endExchange();
    // The exchange failed: `tell` shows this purpose's message (a socket error was already shown).
    void fail(bool tell);
    void onStateChanged(int state);
    void onError(int number, const QString &description);
    void nextFrame();
    void flagsIn();
    void flagsOut();

    ClientCore &m_core;
    DialogueFlags m_flags;
    QStringList m_members;
    ServerLink *m_link = nullptr;
    Purpose m_purpose = Purpose::None;
    QTimer m_limit;
    QTimer m_animation;
    int m_frame = 0;
    int m_waitMs = kWaitMs;
    bool m_addressShown = false;
};

} // namespace server
