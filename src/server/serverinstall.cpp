#include "shell/features.h"

#include "server/serverwindows.h"
#include "shell/client.h"

void installServer(Client &client)
{
    auto *windows = new server::ServerWindows(client, &client);
    windows->setObjectName(QStringLiteral("ServerWindows"));
    // The windows and the exchanges go with the entrance window, while the
    // core they work on still exists.
    QObject::connect(client.entranceWindow(), &QObject::destroyed, &client, [windows] { delete windows; });
}
