#include "server/serverwindows.h"

#include "peer/peerlink.h"
#include "peer/peerwindows.h"
#include "shell/client.h"

#include <QAction>
#include <QPushButton>

namespace server {

ServerWindows::ServerWindows(Client &client, QObject *parent)
    : QObject(parent), m_client(client), m_server(new ServerClient(client.core(), this))
{
    EntranceWindow *entrance = client.entranceWindow();
    connect(entrance->button(1), &QPushButton::clicked, this, &ServerWindows::registerCommand);
    connect(entrance->button(6), &QPushButton::clicked, m_server, &ServerClient::requestOwnAddress);
    connect(entrance->menuItem(QStringLiteral("menuSCng")), &QAction::triggered, this,
            &ServerWindows::openServerSelector);
    connect(entrance->menuItem(QStringLiteral("menuProxy")), &QAction::triggered, this,
            &ServerWindows::openProxyWindow);

    // Entries or the end of a list that come after the window closed are dropped.
    connect(m_server, &ServerClient::memberEntry, this, [this](const QString &entry) {
        if (m_memberList) m_memberList->addEntry(entry);
    });
    connect(m_server, &ServerClient::reloadUsable, this, [this] {
        if (m_memberList) m_memberList->enableReload();
    });

    // The entrance window's status tick also governs the member list's buttons.
    if (auto *peer = client.findChild<PeerWindows *>(QStringLiteral("PeerWindows"))) {
        connect(&peer->link().timer1(), &QTimer::timeout, this, [this] {
            if (m_memberList)
                m_memberList->peerIdle(m_client.core().winsock1().state() == Endpoint::Listening);
        });
    }
    // After shutdown the windows stay out of sight.
    connect(&client, &Client::finished, this, [this] {
        for (QWidget *w : {static_cast<QWidget *>(m_selector.data()), static_cast<QWidget *>(m_proxy.data())})
            if (w) w->hide();
    });
}

ServerWindows::~ServerWindows()
{
    delete m_selector.data();
    delete m_proxy.data();
    delete m_memberList.data();
}

PeerUi *ServerWindows::peerUi() const
{
    return m_client.findChild<PeerWindows *>(QStringLiteral("PeerWindows"));
}

void ServerWindows::registerCommand()
{
    ClientCore &core = m_client.core();
    SharedState &s = core.state();
    // Pressed once is enough for the exit to sign off, even if nothing was sent.
    s.serverRegistered = 1;
    if (core.entrance().name().isEmpty()) {
        s.operationBusy = 1;
        core.desktop().showMessage(QStringLiteral("名前を記入してから、接続してください"));
        s.operationBusy = 0;
        return;
    }
    core.entrance().setRegisterEnabled(false);
    if (!m_memberList) {
        MemberListWindow::Hooks hooks;
        hooks.connectToServer = [this] { m_server->connectToServer(); };
        hooks.chatWithMember = [this](const QString &a) { chatWithMember(a); };
        hooks.postToMember = [this](const QString &a) { postToMember(a); };
        m_memberList = new MemberListWindow(core, std::move(hooks));
        m_client.registerWindow(WindowNumber::MemberListWindow, m_memberList);
        m_memberList->load();
    }
    m_memberList->show();
    m_memberList->raise();
    m_memberList->activateWindow();
}

void ServerWindows::chatWithMember(const QString &address)
{
    ClientCore &core = m_client.core();
    PeerUi *ui = peerUi();
    if (core.entrance().name().isEmpty()) {
        core.desktop().showMessage(QStringLiteral("名前を記入してください"));
        if (ui) ui->focusName();
        return;
    }
    if (core.state().isOpen(WindowNumber::MessagePostWindow) && ui) ui->unloadMessagePostWindow();
    // The same call as the entrance window's chat button, to this member's
    // address; a failed attempt is reported by the peer watchdog, so nothing waits here.
    Endpoint &w1 = core.winsock1();
    if (w1.state() != Endpoint::Closed) w1.close();
    core.state().quietClose = 0;
    core.state().messagePostMode = 0;
    w1.setLocalPort(0);
    w1.connectToHost(address, ClientCore::kPeerPort);
}

void ServerWindows::postToMember(const QString &address)
{
    ClientCore &core = m_client.core();
    PeerUi *ui = peerUi();
    core.entrance().setPostTarget(address);
    if (core.entrance().name().isEmpty()) {
        core.desktop().showMessage(QStringLiteral("名前を記入してください"));
        if (ui) ui->focusName();
        return;
    }
    if (ui) ui->openMessagePostWindow();
}

void ServerWindows::openServerSelector()
{
    if (m_client.core().state().isOpen(WindowNumber::ChatWindow)) {
        m_client.core().desktop().showMessage(QStringLiteral("チャット中は、サーバの変更はできません"));
        delete m_selector.data();
        return;
    }
    if (!m_selector)
        m_selector = new ServerSelectorWindow(m_client.core(), [this](const QString &a) { changeServer(a); });
    m_selector->show();
    m_selector->raise();
    m_selector->activateWindow();
}

void ServerWindows::openProxyWindow()
{
    if (!m_proxy) m_proxy = new ProxyWindow(m_client.core());
    m_proxy->show();
    m_proxy->raise();
    m_proxy->activateWindow();
}

void ServerWindows::changeServer(const QString &address)
{
    ClientCore &core = m_client.core();
    SharedState &s = core.state();
    // We are known to the server we registered with, not to the new one: leave
    // the old one now, so the exit does not sign off where we never were.
    if (s.serverRegistered == 1 && address != s.serverAddress) {
        core.waitServerSignOff();
        s.serverRegistered = 0;
    }
    s.serverAddress = address;
    if (m_selector) m_selector->hide();
    if (EntranceWindow *entrance = m_client.entranceWindow()) entrance->close();
}

} // namespace server
