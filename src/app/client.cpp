#include "app/client.h"

#include "app/clientwindows.h"
#include "app/mailwindows.h"
#include "mail/mailsettingswindow.h"
#include "mail/mailwait.h"
#include "server/serverwindows.h"
#include "shell/dialogs.h"
#include "shell/entrancewindow.h"
#include "shell/icons.h"
#include "shell/uilanguage.h"
#include "shell/windowplacement.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>

#include <cstdio>
#include <ctime>

namespace {

// Start-up timing for the benchmark: says "shown" and the CPU milliseconds
// used so far at the first event-loop pass after the entrance window's first
// paint, then shuts the client down.
class FirstPaintReport final : public QObject {
public:
    explicit FirstPaintReport(Client &client) : QObject(&client), m_client(client) {}
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            QTimer::singleShot(0, &m_client, [this] {
                timespec cpu{};
                clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
                std::printf("shown %.3f\n", double(cpu.tv_sec) * 1e3 + double(cpu.tv_nsec) / 1e6);
                std::fflush(stdout);
                m_client.shutdown();
            });
        }
        return false;
    }

private:
    Client &m_client;
};

} // namespace

Client::Client(const Options &options, QObject *parent)
    : QObject(parent), m_dataDir(options.dataDir),
      m_lock(QDir(options.dataDir).filePath(QStringLiteral("wez.lock"))), m_channel(options.dataDir)
{
    QDir().mkpath(m_dataDir);
    // Before the first window: Qt's own dialogs and menus speak the program's language.
    uilanguage::installQtJapanese();
    m_parts = std::make_unique<CoreClient>(m_dataDir, options.bindAddress, m_desktop);
    // Copies on one machine differ by their own address; the tooltip says which one this is.
    const QHostAddress &bind = options.bindAddress;
    if (!bind.isNull() && bind != QHostAddress::Any && bind != QHostAddress::AnyIPv4 &&
        bind != QHostAddress::AnyIPv6)
        m_parts->attention.setInstanceLabel(bind.toString());
}

Client::~Client()
{
    m_desktop.closeAll();
    if (m_tray) m_tray->hide();
    // The windows go before the core they show.
    m_mailWindows.reset();
    m_serverWindows.reset();
    m_peerWindows.reset();
    for (int n = ChatWindow; n <= TransferWindow; ++n)
        delete m_registry.window(WindowNumber(n));
    delete m_mailSettings.data();
    delete m_entrance.data();
}

Client::StartResult Client::start()
{
    // One running copy per data directory; a second one leaves without a word.
    // One running copy per data directory; a second one leaves without a word,
    // after asking the first to show itself.
    if (!m_lock.tryLock()) {
        InstanceChannel::requestRaise(m_dataDir);
        return StartResult::AlreadyRunning;
    }
    m_started = true;
    connect(&m_channel, &InstanceChannel::raiseRequested, this, &Client::bringToFront);
    m_channel.listen();

    // Every window, dialogs included, shows the program's icon unless it sets its own.
    QApplication::setWindowIcon(icons::appIcon());
    m_entrance = new EntranceWindow(core().entrance());
    m_desktop.setHomeWindow(m_entrance);
    core().resetState();
    connect(m_entrance, &EntranceWindow::closeRequested, this, &Client::shutdown);
    connect(m_entrance, &EntranceWindow::nameEdited, this, [this] { core().state().profileRegistered = 0; });
    connect(m_entrance, &EntranceWindow::commentEdited, this,
            [this] { core().state().profileRegistered = 0; });
    wireMenus();
    buildWindows();

    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        m_tray = new QSystemTrayIcon(icons::appIcon(), this);
        m_tray->setContextMenu(m_entrance->trayMenu());
        connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
            if (r == QSystemTrayIcon::Trigger) restoreFromTray();
        });
        connect(m_tray, &QSystemTrayIcon::messageClicked, this, &Client::restoreFromTray);
        m_desktop.setTray(m_tray);
        m_tray->show();
    }
    m_desktop.setWindowLookup([this](int n) -> QWidget * {
        if (n == 1) return m_entrance;
        return n >= ChatWindow && n <= TransferWindow ? m_registry.window(WindowNumber(n)) : nullptr;
    });

    core().listenOn(core().winsock1(), ClientCore::kPeerPort);
    core().listenOn(core().winsock3(), ClientCore::kNoticePort);

    m_loadResult = core().loadFiles();
    m_entrance->adjustSize();
    // A first start has no position of its own: the middle of the screen.
    placement::moveTo(m_entrance, m_loadResult == ClientCore::LoadResult::FirstStart
                                      ? WindowPosition{}
                                      : core().state().entrancePosition);
    if (qEnvironmentVariableIsSet("WEZ_EXIT_WHEN_SHOWN"))
        m_entrance->installEventFilter(new FirstPaintReport(*this));
    m_entrance->show();
    m_entrance->focusIpBox();
    if (m_loadResult == ClientCore::LoadResult::FirstStart)
        m_desktop.openUrl(QUrl::fromLocalFile(core().shippedFile(QStringLiteral("wez.txt"))));
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
       [this] { m_desktop.openUrl(QUrl::fromLocalFile(core().shippedFile(QStringLiteral("wez.txt")))); });
    on("mnuExit", [this] { exitCommand(); });
    connect(m_entrance->button(3), &QPushButton::clicked, this, &Client::exitCommand);
    connect(m_entrance->button(5), &QPushButton::clicked, this, &Client::hideToTray);
}

void Client::buildWindows()
{
    CoreClient &p = *m_parts;
    m_peerWindows = std::make_unique<ClientWindows>(p, m_desktop, *m_entrance, m_registry);
    m_serverWindows =
        std::make_unique<server::ServerWindows>(p.core, p.server, p.link, p.chat, *m_entrance, m_registry);
    m_mailWindows = std::make_unique<MailWindows>(p, *m_peerWindows, *m_entrance);

    connect(m_entrance->button(2), &QPushButton::clicked, &p.link, &PeerLink::chatCommand);
    connect(m_entrance->button(4), &QPushButton::clicked, &p.link, &PeerLink::postCommand);
    connect(m_entrance->menuItem(QStringLiteral("mnuHP")), &QAction::triggered, m_peerWindows.get(),
            &ClientWindows::openHomePage);
    connect(m_entrance->menuItem(QStringLiteral("mnuVer")), &QAction::triggered, m_peerWindows.get(),
            &ClientWindows::showAbout);
    connect(&p.chat, &ChatSession::quitRequested, this, &Client::shutdown);
    p.mailCheck.timer3().start();
}

void Client::openDataFile(const QString &fileName)
{
    m_desktop.openUrl(QUrl::fromLocalFile(core().path(fileName)));
}

void Client::openMailSettings()
{
    // The settings window waits while another command holds the user's attention.
    mailwait::whenIdle(core().state(), this, [this] {
        if (!m_mailSettings) m_mailSettings = new MailSettingsWindow(core());
        m_mailSettings->show();
        m_mailSettings->raise();
    });
}

void Client::hideToTray()
{
    // Without a tray there would be no way back: minimise instead.
    const bool tray = m_tray && m_tray->isVisible();
    auto hide = [tray](QWidget *w) { tray ? w->hide() : w->showMinimized(); };
    hide(m_entrance);
    for (int n = ChatWindow; n <= MemberListWindow; ++n)
        if (QWidget *w = m_registry.window(WindowNumber(n)); w && core().state().windowOpen[n] == 1) hide(w);
}

void Client::restoreFromTray()
{
    m_entrance->showNormal();
    m_entrance->raise();
    m_entrance->activateWindow();
    for (int n = ChatWindow; n <= AdvertisementWindow; ++n)
        if (QWidget *w = m_registry.window(WindowNumber(n)); w && core().state().windowOpen[n] == 1)
            w->showNormal();
}

void Client::bringToFront()
{
    if (!m_shuttingDown) restoreFromTray();
}

void Client::exitCommand()
{
    // Idle means listening; closed counts only when the port could not be listened on.
    const int state = core().winsock1().state();
    if (state == Endpoint::Listening ||
        (state == Endpoint::Closed && core().cannotListen(ClientCore::kPeerPort)))
        m_entrance->close();
}

void Client::shutdown()
{
    if (m_shuttingDown || !m_started) return;
    m_shuttingDown = true;
    auto *progress = new ProgressWindow;
    progress->show();
    // Painted once even when nothing below gives the event loop a turn.
    progress->repaint();
    m_entrance->setCursor(Qt::WaitCursor);

    SharedState &s = core().state();
    if (s.serverRegistered == 1) core().waitServerSignOff();
    core().winsock1().close();
    delete progress;

    s.entrancePosition = placement::positionOf(m_entrance);
    // A failed save keeps the previous files whole; the temporary files stay then.
    if (core().saveFiles()) core().deleteTemporaryFiles();

    if (m_tray) m_tray->hide();
    core().winsock2().close();
    core().winsock3().close();
    core().winsock9().close();
    m_desktop.closeAll();
    for (int n = ChatWindow; n <= TransferWindow; ++n)
        if (QWidget *w = m_registry.window(WindowNumber(n))) w->hide();
    // After shutdown nothing may come back to listening, and no mail check starts.
    m_parts->link.timer1().stop();
    m_parts->link.timer2().stop();
    m_parts->mailCheck.timer3().stop();
    if (m_serverWindows) m_serverWindows->hideAll();
    if (m_mailSettings) m_mailSettings->hide();
    m_entrance->hide();
    m_channel.close();
    m_lock.unlock();
    Q_EMIT finished();
}
