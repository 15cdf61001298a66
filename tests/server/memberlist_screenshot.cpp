// Not a test: registers a client with an in-process directory that already
// knows a few members and saves the member list as memberlist.png into the
// folder given (docs/). Run it under a display.
#include "../peer/peertesthelpers.h"

#include "directory/directoryserver.h"
#include "server/memberlistwindow.h"
#include "server/serverwindows.h"

#include <QApplication>
#include <QListWidget>

using namespace testsupport;
using namespace peertest;

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    auto u = [](const char *s) { return QString::fromUtf8(s); };

    directory::ServerConfig config;
    config.bind = loopback(1);
    directory::DirectoryServer server(config);
    server.setLogSink({});
    if (!server.start(nullptr)) return 1;
    const char *members[][2] = {
        {"○花子", "よろしくお願いします"},
        {"○Kenji", "週末は釣りに行きます, 誰か一緒に?"},
        {"○みどり", "ホワイトボードで絵しりとりしましょう"},
        {"○Alice", "Hello from Tokyo"},
    };
    int n = 20;
    for (const auto &m : members) {
        const QString address = QStringLiteral("192.168.1.%1").arg(n++);
        server.storeMember(address, u(m[0]), u(m[1]), address);
    }

    QTemporaryDir dir;
    auto a = startClient(dir.path(), 2, u("太郎"));
    a->core().entrance().setComment(u("はじめまして、チャット相手募集中"));
    a->core().state().serverAddress = loopback(1).toString();
    a->entranceWindow()->button(1)->click();
    auto &windows = *a->serverWindows();
    if (!waitFor([&] { return windows.memberList() && windows.memberList()->displayLines().size() == 5; },
                 10000))
        return 2;
    server::MemberListWindow *list = windows.memberList();
    list->findChild<QListWidget *>(QStringLiteral("List2"))->setCurrentRow(2);
    QTest::qWait(400);
    list->grab().save(out + QStringLiteral("/memberlist.png"));
    return 0;
}
