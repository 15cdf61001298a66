#pragma once
// Form6, "Wez Member's List": the members the directory server listed, with
// chat, message post, reload and close. List2 shows "name / comment" of the
// server client's raw entries (the list's List1), row i for entry i.
#include <QWidget>

#include <functional>

class ClientCore;
class QLabel;
class QListView;
class QPushButton;
class QTimer;

namespace server {

class MemberRows;
class ServerClient;

class MemberListWindow final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MemberListWindow)
public:
    struct Hooks {
        std::function<void()> connectToServer;
        std::function<void(const QString &address)> chatWithMember;
        std::function<void(const QString &address)> postToMember;
    };

    // The legend of the marks the server puts in a line.
    static inline const QString kLegend =
        QStringLiteral("○ 登録しているメンバー　（チャット中） ほかの人とチャットしています");

    MemberListWindow(ClientCore &core, const ServerClient &server, Hooks hooks, QWidget *parent = nullptr);

    // Form_Load: marks the window open, puts it where it was and asks the server.
    void load();
    void enableReload();
    // A chat window went: no reload until the peer socket listens again (peerIdle).
    void disableReload();
    // Entrance timer tick: chat and post need an idle peer socket.
    void peerIdle(bool idle);
    // Shows the entries that came since the last frame now.
    void showPendingEntries();

    QStringList entries() const;      // List1, as far as shown
    QStringList displayLines() const; // List2
    QListView *listView() const { return m_lines; }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    // The address of the selected member; empty when none is selected or the entry has none.
    QString selectedAddress() const;
    void reload();
    void entryArrived();

    ClientCore &m_core;
    const ServerClient &m_server;
    Hooks m_hooks;
    MemberRows *m_rows;
    QListView *m_lines; // List2
    QLabel *m_legend;
    QPushButton *m_chat;   // Command1
    QPushButton *m_close;  // Command2
    QPushButton *m_post;   // Command3
    QPushButton *m_reload; // Command4
    QTimer *m_frame;
};

} // namespace server
