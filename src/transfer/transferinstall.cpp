#include "shell/features.h"

#include "chat/chatwindow.h"
#include "peer/peerlink.h"
#include "peer/peerwindows.h"
#include "shell/client.h"
#include "transfer/chattransfer.h"
#include "transfer/progresswindow.h"
#include "transfer/transfercontroller.h"

#include <memory>

// Every chat window gets its file transfer; the peer link's "con 999",
// "con 998", "con 800" and "con 810" reach the transfer of the open chat.
void installTransfer(Client &client)
{
    auto *windows = client.findChild<PeerWindows *>(QStringLiteral("PeerWindows"));
    if (!windows) return;
    // The transfer of the chat window now loaded.
    auto current = std::make_shared<QPointer<transfer::ChatTransfer>>();
    QObject::connect(windows, &PeerWindows::chatWindowCreated, windows,
                     [&client, current](ChatBoardWindow *chat) {
                         auto *t = new transfer::ChatTransfer(client.core(), chat, &client);
                         t->setObjectName(QStringLiteral("ChatTransfer"));
                         QObject::connect(t, &transfer::ChatTransfer::progressWindowOpened, &client,
                                          [&client](QWidget *form8) {
                                              client.registerWindow(WindowNumber::TransferWindow, form8);
                                          });
                         *current = t;
                     });
    QObject::connect(&windows->link(), &PeerLink::fileStateChanged, windows, [current] {
        if (*current && (*current)->controller()) (*current)->controller()->transfer().peerStateChanged();
    });
}
