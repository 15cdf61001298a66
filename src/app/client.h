#pragma once
// The composition root: one running client with its data directory and bind
// address, its desktop, its core parts (built in dependency order) and the
// windows over them. main() builds one; tests build two side by side in one
// process.
#include "app/coreclient.h"
#include "shell/entrancewindow.h"
#include "shell/instancechannel.h"
#include "shell/instancelock.h"
#include "shell/options.h"
#include "shell/uidesktop.h"
#include "shell/windowregistry.h"

#include <QObject>
#include <QPointer>

#include <memory>

class ClientWindows;
class MailWindows;
class QSystemTrayIcon;
class QWidget;
namespace server {
class ServerWindows;
}

class Client final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Client)
public:
    explicit Client(const Options &options, QObject *parent = nullptr);
    ~Client() override;

    enum class StartResult { Started, AlreadyRunning };
    // The start-up sequence; AlreadyRunning means another copy uses this data directory.
    StartResult start();
    // The shutdown sequence; ends with finished(). Runs once.
    void shutdown();
    bool isShuttingDown() const { return m_shuttingDown; }

    ClientCore &core() { return m_parts->core; }
    CoreClient &parts() { return *m_parts; }
    UiDesktop &desktop() { return m_desktop; }
    // The windows over the core; null before start().
    ClientWindows *windows() const { return m_peerWindows.get(); }
    server::ServerWindows *serverWindows() const { return m_serverWindows.get(); }
    MailWindows *mailWindows() const { return m_mailWindows.get(); }
    EntranceWindow *entranceWindow() const { return m_entrance; }
    ClientCore::LoadResult loadResult() const { return m_loadResult; }

    // Windows 3 to 8 while they are loaded, for the tray.
    QWidget *window(WindowNumber n) const { return m_registry.window(n); }
    WindowRegistry &registry() { return m_registry; }

    // Command5: hides the entrance window and the open windows 3 to 6.
    void hideToTray();
    // The tray icon's left click: shows the entrance window and the open windows 3 to 7.
    void restoreFromTray();
    // Command3 and mnuExit: exits only while the peer socket is idle (listening).
    void exitCommand();
    // A second copy on this data directory asks for it: the windows come to the front.
    void bringToFront();
    InstanceChannel &instanceChannel() { return m_channel; }

Q_SIGNALS:
    // The client has shut down; the program ends.
    void finished();

private:
    void wireMenus();
    void buildWindows();
    void openDataFile(const QString &fileName);
    void openMailSettings();

    QString m_dataDir;
    InstanceLock m_lock;
    InstanceChannel m_channel;
    UiDesktop m_desktop;
    std::unique_ptr<CoreClient> m_parts;
    QPointer<EntranceWindow> m_entrance;
    std::unique_ptr<ClientWindows> m_peerWindows;
    std::unique_ptr<server::ServerWindows> m_serverWindows;
    std::unique_ptr<MailWindows> m_mailWindows;
    QSystemTrayIcon *m_tray = nullptr;
    WindowRegistry m_registry;
    QPointer<QWidget> m_mailSettings;
    ClientCore::LoadResult m_loadResult = ClientCore::LoadResult::Complete;
    bool m_started = false;
    bool m_shuttingDown = false;
};
