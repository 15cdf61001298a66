#include "server/serverwindows.h"

#include "chat/chatsession.h"
#include "peer/peerlink.h"
#include "shell/clientcore.h"
#include "shell/entrancewindow.h"
#include "shell/windowregistry.h"

#include <QAction>
#include <QPushButton>

namespace server {

ServerWindows::ServerWindows(ClientCore &core, ServerClient &server, PeerLink &link, ChatSession &chat,
                             EntranceWindow &entrance, WindowRegistry &registry, QObject *parent)
    : QObject(parent), m_core(core), m_server(server), m_link(link), m_entrance(&entrance),
      m_registry(registry)
{
    connect(entrance.button(1), &QPushButton::clicked, this, &ServerWindows::registerCommand);
    connect(entrance.button(6), &QPushButton::clicked, &m_server, &ServerClient::requestOwnAddress);
    connect(entrance.menuItem(QStringLiteral("menuSCng")), &QAction::triggered, this,
            &ServerWindows::openServerSelector);
    connect(entrance.menuItem(QStringLiteral("menuProxy")), &QAction::triggered, this,
            &ServerWindows::openProxyWindow);

    // The end of a list that comes after the window closed is dropped.
    connect(&m_server, &ServerClient::reloadUsable, this, [this] {
        if (m_memberList) m_memberList->enableReload();
    });

    connect(&chat, &ChatSession::finished, this, [this] {
        if (m_memberList) m_memberList->disableReload();
    });
    // The entrance window's status tick also governs the member list's buttons.
    connect(&link.timer1(), &QTimer::timeout, this, [this] {
        if (m_memberList) m_memberList->peerIdle(m_core.winsock1().state() == Endpoint::Listening);
    });
}

ServerWindows::~ServerWindows()
{
    delete m_selector.data();
    delete m_proxy.data();
    delete m_memberList.data();
}

void ServerWindows::hideAll()
{
    for (QWidget *w : {static_cast<QWidget *>(m_selector.data()), static_cast<QWidget *>(m_proxy.data())})
        if (w) w->hide();
}

void ServerWindows::registerCommand()
{
    ClientCore &core = m_core;
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
        hooks.connectToServer = [this] { m_server.connectToServer(); };
        hooks.chatWithMember = [this](const QString &a) { m_link.callMember(a); };
        hooks.postToMember = [this](const QString &a) { m_link.postToMember(a); };
        m_memberList = new MemberListWindow(core, m_server, std::move(hooks));
        m_registry.add(WindowNumber::MemberListWindow, m_memberList);
        m_memberList->load();
    }
    m_memberList->show();
    m_memberList->raise();
    m_memberList->activateWindow();
}

void ServerWindows::openServerSelector()
{
    if (m_core.state().isOpen(WindowNumber::ChatWindow)) {
        m_core.desktop().showMessage(QStringLiteral("チャット中は、サーバの変更はできません"));
        delete m_selector.data();
        return;
    }
    if (!m_selector)
        m_selector = new ServerSelectorWindow(m_core, [this](const QString &a) { changeServer(a); });
    m_selector->show();
    m_selector->raise();
    m_selector->activateWindow();
}

void ServerWindows::openProxyWindow()
{
    if (!m_proxy) m_proxy = new ProxyWindow(m_core);
    m_proxy->show();
    m_proxy->raise();
    m_proxy->activateWindow();
}

void ServerWindows::changeServer(const QString &address)
{
    ClientCore &core = m_core;
    SharedState &s = core.state();
    // We are known to the server we registered with, not to the new one: leave
    // the old one now, so the exit does not sign off where we never were.
    if (s.serverRegistered == 1 && address != s.serverAddress) {
        core.waitServerSignOff();
        s.serverRegistered = 0;
    }
    s.serverAddress = address;
    if (m_selector) m_selector->hide();
    if (m_entrance) m_entrance->close();
}

} // namespace server
