#pragma once
// Form6, "Wez Member's List": the members the directory server listed, with
// chat, message post, reload and close. List2 shows "name / comment"; List1,
// never shown, keeps each raw entry at the same index.
#include <QWidget>

#include <functional>

class ClientCore;
class QListWidget;
class QPushButton;

namespace server {

class MemberListWindow final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MemberListWindow)
public:
    struct Hooks {
        std::function<void()> connectToServer;
        std::function<void(const QString &address)> chatWithMember;
        std::function<void(const QString &address)> postToMember;
    };

    MemberListWindow(ClientCore &core, Hooks hooks, QWidget *parent = nullptr);

    // Form_Load: marks the window open, puts it where it was and asks the server.
    void load();
    void addEntry(const QString &entry);
    void enableReload();
    // A chat window went: no reload until the peer socket listens again (peerIdle).
    void disableReload();
    // Entrance timer tick: chat and post need an idle peer socket.
    void peerIdle(bool idle);

    QStringList entries() const;      // List1
    QStringList displayLines() const; // List2

    // Beyond this many members the list stops growing; the exchange still runs to its end.
    static constexpr int kMaxEntries = 100000;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    // The address of the selected member; empty when none is selected or the entry has none.
    QString selectedAddress() const;
    void reload();

    ClientCore &m_core;
    Hooks m_hooks;
    QListWidget *m_entries; // List1
    QListWidget *m_lines;   // List2
    QPushButton *m_chat;    // Command1
    QPushButton *m_close;   // Command2
    QPushButton *m_post;    // Command3
    QPushButton *m_reload;  // Command4
};

} // namespace server
