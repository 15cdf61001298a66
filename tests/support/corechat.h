#pragma once
// Clients without windows for transfer tests: each a CoreClient with a fake
// desktop and a data directory of its own on its own loopback address; one
// calls the other, which says yes, and they chat.
#include "app/coreclient.h"
#include "fakedesktop.h"
#include "testsupport.h"

#include <QTemporaryDir>

#include <memory>

struct CoreSide {
    QTemporaryDir dir;
    FakeDesktop desk;
    QString name;
    int address;
    std::unique_ptr<CoreClient> client;
    // Peer messages from the partner that fitted the chat, head and payload.
    QStringList received;
    int chatsOpened = 0;

    CoreSide(int loopbackN, const QString &ownName) : name(ownName), address(loopbackN) { start(); }

    // A new client in the same data directory (the old one, if any, is gone).
    void start()
    {
        client.reset();
        client = std::make_unique<CoreClient>(dir.path(), testsupport::loopback(address), desk);
        client->core.resetState();
        // Chat notices go to an address where nobody listens.
        client->core.state().serverAddress = testsupport::loopback(9).toString();
        client->core.entrance().setName(name);
        client->core.listenOn(client->core.winsock1(), ClientCore::kPeerPort);
        QObject::connect(&client->link, &PeerLink::messageReceived, &client->link,
                         [this](const peer::Message &m) { received << m.head + m.payload; });
        QObject::connect(&client->chat, &ChatSession::opened, &client->link, [this] { ++chatsOpened; });
    }

    transfer::FileTransfer &transfer() { return client->transfer; }
    SharedState &state() { return client->core.state(); }
    QString filePath(const QString &fileName) const { return dir.filePath(fileName); }
    bool listening() const { return client->core.winsock1().state() == Endpoint::Listening; }
    // The chat transcript, newest line first.
    QStringList lines() const
    {
        return client ? client->chat.transcript().split(QStringLiteral("\r\n"), Qt::SkipEmptyParts)
                      : QStringList();
    }
};

// `caller` calls `callee` from the entrance's fields and `callee` says yes;
// true once both chats are open. What came before is forgotten.
inline bool startChat(CoreSide &caller, CoreSide &callee)
{
    const int before[] = {caller.chatsOpened, callee.chatsOpened};
    callee.desk.answers << 1;
    caller.client->core.entrance().setIpText(testsupport::loopback(callee.address).toString());
    caller.client->link.chatCommand();
    const bool open = testsupport::waitFor(
        [&] { return caller.chatsOpened > before[0] && callee.chatsOpened > before[1]; }, 10000);
    caller.received.clear();
    callee.received.clear();
    return open;
}
