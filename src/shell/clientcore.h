#pragma once
// The client without its windows: shared state, the entrance window's sockets,
// the data directory, start-up and the files saved at exit. Every subsystem's
// logic works against this object; the windows and the tests build one each.
#include "shell/desktop.h"
#include "shell/entrancestate.h"
#include "shell/settingsfiles.h"
#include "shell/sharedstate.h"
#include "shell/socket/endpoint.h"

#include <QDir>
#include <QHostAddress>
#include <QObject>
#include <QPointer>

#include <functional>

class ClientCore final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ClientCore)
public:
    static constexpr quint16 kPeerPort = 1200;
    static constexpr quint16 kNoticePort = 1205;
    static constexpr quint16 kServerPort = 1203;
    static constexpr int kServerWaitMs = 10000;

    ClientCore(const QString &dataDir, const QHostAddress &bindAddress, Desktop &desktop,
               QObject *parent = nullptr);

    SharedState &state() { return m_state; }
    const SharedState &state() const { return m_state; }
    EntranceState &entrance() { return m_entrance; }
    Desktop &desktop() { return m_desktop; }
    QHostAddress bindAddress() const { return m_bind; }
    QString dataDir() const { return m_dir.path(); }
    // A file of the program's directory.
    QString path(const QString &fileName) const { return m_dir.filePath(fileName); }

    Endpoint &winsock1() { return m_winsock1; } // peer control connection, listens on 1200
    Endpoint &winsock2() { return m_winsock2; } // directory server dialogue
    Endpoint &winsock3() { return m_winsock3; } // notice listener on 1205
    Endpoint &winsock9() { return m_winsock9; } // chat-status notices

    enum class LoadResult { Complete, FirstStart, PlainStop };

    // Resets the shared state.
    void resetState();
    // Listens on 1200 (Winsock1) or 1205 (Winsock3); on failure tells the user once, naming the port.
    bool listenOn(Endpoint &endpoint, quint16 port);
    // The last listen on `port` failed (another program holds it).
    bool cannotListen(quint16 port) const { return m_reportedPorts.contains(port); }
    // Reads the personal settings, the address history and the mail settings, in that order.
    // A damaged personal file is kept aside as "wezpsnl.dat.bad" and the user told; the
    // history is read whatever became of the personal file.
    LoadResult loadFiles();
    // Writes the personal settings and the address history; false when either could not be saved.
    // A file that was there but could not be read whole is left as it is.
    bool saveFiles();
    // Deletes "*.tmp" and the file transfer's temporary file in the program's directory.
    void deleteTemporaryFiles();

    // Tells the directory server on `port` that a chat began (kind 1) or ended (kind 2).
    void notifyServerChat(int kind, const QString &port);
    void playSound(const QString &fileName);

    // A file that ships with the program: the copy in the data directory if present,
    // else the built-in one written there first (so outside programs can open it).
    QString shippedFile(const QString &fileName);

    // Signs off from the directory server before exit: connects Winsock2 to the
    // server and waits until the dialogue closed it, at most 10 seconds.
    // `dialogue` answers the server's greeting; it is set by the directory subsystem.
    bool waitServerSignOff();
    void setSignOffDialogue(std::function<void()> startDialogue)
    {
        m_signOffDialogue = std::move(startDialogue);
    }

Q_SIGNALS:
    // The user must be told about a port that cannot be listened on.
    void listenFailed(quint16 port);

private:
    // True when the personal file was read complete.
    bool loadPersonal();

    QDir m_dir;
    QHostAddress m_bind;
    Desktop &m_desktop;
    SharedState m_state;
    EntranceState m_entrance;
    Endpoint m_winsock1;
    Endpoint m_winsock2;
    Endpoint m_winsock3;
    Endpoint m_winsock9;
    QList<quint16> m_reportedPorts;
    std::function<void()> m_signOffDialogue;
    QPointer<QObject> m_noticeGuard;
    bool m_savePersonal = true;
    bool m_saveHistory = true;
};
