#pragma once
// The composition root: one running client with its data directory and bind
// address, its logic, its desktop and, on demand, its windows. main() builds
// one; tests build two side by side in one process.
#include "shell/clientcore.h"
#include "shell/entrancewindow.h"
#include "shell/instancelock.h"
#include "shell/options.h"
#include "shell/uidesktop.h"

#include <QObject>
#include <QPointer>

#include <memory>

class QSystemTrayIcon;
class QWidget;

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

    ClientCore &core() { return *m_core; }
    UiDesktop &desktop() { return m_desktop; }
    EntranceWindow *entranceWindow() const { return m_entrance; }
    ClientCore::LoadResult loadResult() const { return m_loadResult; }

    // Windows 3 to 8 register themselves while they are loaded, for the tray.
    void registerWindow(WindowNumber n, QWidget *window);
    QWidget *window(WindowNumber n) const;

    // Command5: hides the entrance window and the open windows 3 to 6.
    void hideToTray();
    // The tray icon's left click: shows the entrance window and the open windows 3 to 7.
    void restoreFromTray();
    // Command3 and mnuExit: exits only while the peer socket is idle (listening).
    void exitCommand();

Q_SIGNALS:
    // The client has shut down; the program ends.
    void finished();

private:
    void wireMenus();
    void openDataFile(const QString &fileName);
    void openMailSettings();

    QString m_dataDir;
    InstanceLock m_lock;
    UiDesktop m_desktop;
    std::unique_ptr<ClientCore> m_core;
    QPointer<EntranceWindow> m_entrance;
    QSystemTrayIcon *m_tray = nullptr;
    QPointer<QWidget> m_windows[11];
    QPointer<QWidget> m_mailSettings;
    ClientCore::LoadResult m_loadResult = ClientCore::LoadResult::Complete;
    bool m_started = false;
    bool m_shuttingDown = false;
};
