#include "shell/features.h"

#include "peer/peerlink.h"
#include "peer/peerwindows.h"
#include "shell/client.h"

#include <QAction>
#include <QPushButton>

void installPeer(Client &client)
{
    auto *windows = new PeerWindows(client, &client);
    windows->setObjectName(QStringLiteral("PeerWindows"));
    PeerLink &link = windows->link();
    EntranceWindow *entrance = client.entranceWindow();
    QObject::connect(entrance->button(2), &QPushButton::clicked, &link, &PeerLink::chatCommand);
    QObject::connect(entrance->button(4), &QPushButton::clicked, &link, &PeerLink::postCommand);
    QObject::connect(entrance->menuItem(QStringLiteral("mnuHP")), &QAction::triggered, windows,
                     &PeerWindows::openHomePage);
    QObject::connect(entrance->menuItem(QStringLiteral("mnuVer")), &QAction::triggered, windows,
                     &PeerWindows::showAbout);
    // The windows and the link go with the entrance window, while the core
    // they work on still exists.
    QObject::connect(entrance, &QObject::destroyed, &client, [windows] { delete windows; });
    // After shutdown nothing may come back to listening.
    QObject::connect(&client, &Client::finished, &link, [&link] {
        link.timer1().stop();
        link.timer2().stop();
    });
}
