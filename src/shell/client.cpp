#include "shell/client.h"

#include "mail/mailsettingswindow.h"
#include "shell/dialogs.h"
#include "shell/entrancewindow.h"
#include "shell/features.h"
#include "shell/icons.h"
#include "shell/windowplacement.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QSystemTrayIcon>

Client::Client(const Options &options, QObject *parent)
    : QObject(parent), m_dataDir(options.dataDir),
      m_lock(QDir(options.dataDir).filePath(QStringLiteral("wez.lock")))
{
    QDir().mkpath(m_dataDir);
    m_core = std::make_unique<ClientCore>(m_dataDir, options.bindAddress, m_desktop);
}

Client::~Client()
{
    m_desktop.closeAll();
    if (m_tray) m_tray->hide();
    for (auto &w : m_windows)
        delete w.data();
    delete m_mailSettings.data();
    delete m_entrance.data();
}

Client::StartResult Client::start()
{
    // One running copy per data directory; a second one leaves without a word.
    if (!m_lock.tryLock()) return StartResult::AlreadyRunning;
    m_started = true;

    m_entrance = new EntranceWindow(m_core->entrance());
    m_core->resetState();
    connect(m_entrance, &EntranceWindow::closeRequested, this, &Client::shutdown);
    connect(m_entrance, &EntranceWindow::nameEdited, this, [this] { m_core->state().profileRegistered = 0; });
    connect(m_entrance, &EntranceWindow::commentEdited, this,
            [this] { m_core->state().profileRegistered = 0; });
    wireMenus();
    installPeer(*this);
    installChat(*this);
    installServer(*this);
    installTransfer(*this);
    installWhiteboard(*this);
    installMail(*this);

    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        m_tray = new QSystemTrayIcon(icons::appIcon(), this);
        m_tray->setToolTip(QStringLiteral("wez Entrance"));
        m_tray->setContextMenu(m_entrance->trayMenu());
        connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
            if (r == QSystemTrayIcon::Trigger) restoreFromTray();
        });
        m_tray->show();
    }

    m_core->listenOn(m_core->winsock1(), ClientCore::kPeerPort);
    m_core->listenOn(m_core->winsock3(), ClientCore::kNoticePort);

    m_loadResult = m_core->loadFiles();
    m_entrance->adjustSize();
    if (m_loadResult != ClientCore::LoadResult::FirstStart)
        placement::moveTo(m_entrance, m_core->state().entrancePosition);
    m_entrance->show();
    m_entrance->focusIpBox();
    if (m_loadResult == ClientCore::LoadResult::FirstStart)
        m_desktop.openUrl(QUrl::fromLocalFile(m_core->shippedFile(QStringLiteral("wez.txt"))));
    return StartResult::Started;
}

void Client::wireMenus()
{
    auto on = [this](const char *name, auto handler) {
        connect(m_entrance->menuItem(QString::fromLatin1(name)), &QAction::triggered, this, handler);
    };
    on("menuMail", [this] { openMailSettings(); });
    on("menuChatlog", [this] { openDataFile(QStringLiteral("wezchat.log")); });
    on("menuMeslog", [this] { openDataFile(QStringLiteral("wezmes.log")); });
    on("mnuHelp",
       [this] { m_desktop.openUrl(QUrl::fromLocalFile(m_core->shippedFile(QStringLiteral("wez.txt")))); });
    on("mnuExit", [this] { exitCommand(); });
    connect(m_entrance->button(3), &QPushButton::clicked, this, &Client::exitCommand);
    connect(m_entrance->button(5), &QPushButton::clicked, this, &Client::hideToTray);
}

void Client::openDataFile(const QString &fileName)
{
    m_desktop.openUrl(QUrl::fromLocalFile(m_core->path(fileName)));
}

void Client::openMailSettings()
{
    // The settings window waits while another command holds the user's attention.
    if (m_core->state().operationBusy == 1) return;
    if (!m_mailSettings) m_mailSettings = new MailSettingsWindow(*m_core);
    m_mailSettings->show();
    m_mailSettings->raise();
}

void Client::registerWindow(WindowNumber n, QWidget *window)
{
    m_windows[n] = window;
}

QWidget *Client::window(WindowNumber n) const
{
    return m_windows[n];
}

void Client::hideToTray()
{
    // Without a tray there would be no way back: minimise instead.
    const bool tray = m_tray && m_tray->isVisible();
    auto hide = [tray](QWidget *w) { tray ? w->hide() : w->showMinimized(); };
    hide(m_entrance);
    for (int n = ChatWindow; n <= MemberListWindow; ++n)
        if (m_core->state().windowOpen[n] == 1 && m_windows[n]) hide(m_windows[n]);
}

void Client::restoreFromTray()
{
    m_entrance->showNormal();
    m_entrance->raise();
    m_entrance->activateWindow();
    for (int n = ChatWindow; n <= AdvertisementWindow; ++n)
        if (m_core->state().windowOpen[n] == 1 && m_windows[n]) m_windows[n]->showNormal();
}

void Client::exitCommand()
{
    if (m_core->winsock1().state() == Endpoint::Listening || m_core->winsock1().state() == Endpoint::Closed)
        m_entrance->close();
}

void Client::shutdown()
{
    if (m_shuttingDown || !m_started) return;
    m_shuttingDown = true;
    auto *progress = new ProgressWindow;
    progress->show();
    m_entrance->setCursor(Qt::WaitCursor);

    SharedState &s = m_core->state();
    if (s.serverRegistered == 1) m_core->waitServerSignOff();
    m_core->winsock1().close();
    delete progress;

    s.entrancePosition = placement::positionOf(m_entrance);
    // A failed save keeps the previous files whole; the temporary files stay then.
    if (m_core->saveFiles()) m_core->deleteTemporaryFiles();

    if (m_tray) m_tray->hide();
    m_core->winsock2().close();
    m_core->winsock3().close();
    m_core->winsock9().close();
    m_desktop.closeAll();
    for (auto &w : m_windows)
        if (w) w->hide();
    if (m_mailSettings) m_mailSettings->hide();
    m_entrance->hide();
    m_lock.unlock();
    Q_EMIT finished();
}
