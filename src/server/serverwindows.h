#pragma once
// The directory subsystem inside a running client: the server exchanges, the
// entrance window's register and own-address buttons, the member list, and
// the server selector and proxy windows of the tray menu.
#include "server/memberlistwindow.h"
#include "server/proxywindow.h"
#include "server/serverclient.h"
#include "server/serverselectorwindow.h"

#include <QObject>
#include <QPointer>

class ChatSession;
class ClientCore;
class EntranceWindow;
class PeerLink;
class WindowRegistry;

namespace server {

class ServerWindows final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ServerWindows)
public:
    ServerWindows(ClientCore &core, ServerClient &server, PeerLink &link, ChatSession &chat,
                  EntranceWindow &entrance, WindowRegistry &registry, QObject *parent = nullptr);
    ~ServerWindows() override;

    ServerClient &serverClient() { return m_server; }
    MemberListWindow *memberList() const { return m_memberList; }
    ServerSelectorWindow *serverSelector() const { return m_selector; }
    ProxyWindow *proxyWindow() const { return m_proxy; }

    // Command1 of the entrance window.
    void registerCommand();
    // menuSCng, menuProxy.
    void openServerSelector();
    void openProxyWindow();
    // After shutdown the windows stay out of sight.
    void hideAll();

private:
    void changeServer(const QString &address);

    ClientCore &m_core;
    ServerClient &m_server;
    PeerLink &m_link;
    QPointer<EntranceWindow> m_entrance;
    WindowRegistry &m_registry;
    QPointer<MemberListWindow> m_memberList;
    QPointer<ServerSelectorWindow> m_selector;
    QPointer<ProxyWindow> m_proxy;
};

} // namespace server
