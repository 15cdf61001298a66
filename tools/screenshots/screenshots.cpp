// Not a test: the pictures of the README. Two clients on loopback, a directory
// that knows a few members; the entrance window, two chat boards
// mid-conversation, two whiteboards mid-drawing, the member list, the server
// selector, a file transfer's progress window beside its chat board, a message
// beside a question and the whiteboard's save dialog are saved as PNG files
// into the folder given (docs/). `make screenshots` runs it.
#include "boardhelpers.h"
#include "clienthelpers.h"

#include "directory/directoryserver.h"
#include "server/memberlistwindow.h"
#include "server/serverselectorwindow.h"
#include "server/serverwindows.h"
#include "transfer/progresswindow.h"
#include "transfer/transferwindows.h"
#include "whiteboard/whiteboardlink.h"
#include "whiteboard/whiteboardwindow.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QListView>
#include <QPainter>

#include <cstdio>

using namespace testsupport;
using namespace clienttest;

namespace {

QString u(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

bool save(QWidget *w, const QString &path)
{
    return QTest::qWaitForWindowExposed(w) && w->grab().save(path);
}

// Two windows side by side on a grey ground.
bool saveSideBySide(QWidget *left, QWidget *right, const QString &path)
{
    if (!QTest::qWaitForWindowExposed(left) || !QTest::qWaitForWindowExposed(right)) return false;
    const QPixmap a = left->grab(), b = right->grab();
    QPixmap both(a.width() + b.width() + 12, std::max(a.height(), b.height()));
    both.fill(QColor(90, 90, 90));
    QPainter p(&both);
    p.drawPixmap(0, 0, a);
    p.drawPixmap(a.width() + 12, 0, b);
    p.end();
    return both.save(path);
}

// Windows where they stand on the screen, on a grey ground just big enough.
bool saveAsPlaced(const QList<QWidget *> &windows, const QString &path)
{
    QRect all;
    for (QWidget *w : windows) {
        if (!QTest::qWaitForWindowExposed(w)) return false;
        all |= w->geometry();
    }
    QPixmap picture(all.size());
    picture.fill(QColor(90, 90, 90));
    QPainter p(&picture);
    for (QWidget *w : windows)
        p.drawPixmap(w->geometry().topLeft() - all.topLeft(), w->grab());
    p.end();
    return picture.save(path);
}

int fail(const char *what)
{
    std::fprintf(stderr, "screenshots: %s\n", what);
    return 1;
}

// A home of its own, so the file dialog shows a few files of the picture, not the machine's.
bool makeHome(const QTemporaryDir &home)
{
    const QDir documents(home.filePath(QStringLiteral("Documents")));
    if (!QDir().mkpath(documents.path()) || !QDir().mkpath(home.filePath(QStringLiteral("Downloads"))))
        return false;
    for (const char *name : {"駅までの地図.wbd", "間取り図.wbd", "花火大会の計画.wbd"})
        if (!writeFile(documents.filePath(u(name)), "")) return false;
    if (!QDir().mkpath(documents.filePath(u("写真")))) return false;
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral(".config")).toLocal8Bit());
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir home;
    if (!makeHome(home)) return fail("home");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");

    directory::ServerConfig config;
    config.bind = loopback(1);
    directory::DirectoryServer server(config);
    server.setLogSink({});
    if (!server.start(nullptr)) return fail("the directory did not start");
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

    QTemporaryDir da, db;
    auto a = startClient(da.path(), 2, u("太郎"));
    auto b = startClient(db.path(), 3, u("花子"));
    a->core().entrance().setComment(u("よろしくお願いします"));
    a->core().state().serverAddress = loopback(1).toString();
    setIpBox(*a, loopback(3).toString());
    // Listening, and the status timer has filled in the status line and the address caption.
    const EntranceState &entrance = a->core().entrance();
    if (!waitFor([&] {
            return listening(*a) && listening(*b) && !entrance.stateText().isEmpty() &&
                   !entrance.addressText().isEmpty();
        }) ||
        !save(a->entranceWindow(), out + QStringLiteral("/entrance.png")))
        return fail("entrance");
    a->core().entrance().setComment(u("はじめまして、チャット相手募集中"));

    // The member list, with the directory's members and our own entry.
    a->entranceWindow()->button(1)->click();
    auto &serverWindows = *a->serverWindows();
    if (!waitFor(
            [&] {
                return serverWindows.memberList() && serverWindows.memberList()->displayLines().size() == 5;
            },
            10000))
        return fail("member list");
    server::MemberListWindow *list = serverWindows.memberList();
    QListView *rows = list->listView();
    rows->setCurrentIndex(rows->model()->index(2, 0));
    if (!save(list, out + QStringLiteral("/memberlist.png"))) return fail("member list");
    list->close();

    // The server selector: a server typed in and added, then a mistyped one refused.
    a->entranceWindow()->menuItem(QStringLiteral("menuSCng"))->trigger();
    server::ServerSelectorWindow *selector = serverWindows.serverSelector();
    if (!selector) return fail("server selector");
    auto *address = selector->findChild<QLineEdit *>(QStringLiteral("Text1"));
    address->setText(QStringLiteral("wez.example.jp"));
    selector->findChild<QLineEdit *>(QStringLiteral("Text2"))->setText(u("東京の本館"));
    selector->findChild<QPushButton *>(QStringLiteral("Command3"))->click();
    address->setText(QStringLiteral("192.168.1.300"));
    selector->findChild<QPushButton *>(QStringLiteral("Command3"))->click();
    if (!save(selector, out + QStringLiteral("/servers.png"))) return fail("server selector");
    selector->close();

    if (!startChat(*a, *b)) return fail("chat");
    ChatBoardWindow *ca = windows(*a).chatWindow();
    ChatBoardWindow *cb = windows(*b).chatWindow();
    int lines = 0;
    auto say = [&](ChatBoardWindow *w, const char *text) {
        w->findChild<QLineEdit *>(QStringLiteral("Text2"))->setText(u(text));
        w->findChild<QPushButton *>(QStringLiteral("Command1"))->click();
        ++lines;
        // Shown on both sides before the next line, so the order is the same on both.
        return waitFor([&] {
            return display(*a).count(QStringLiteral("\r\n")) == lines &&
                   display(*b).count(QStringLiteral("\r\n")) == lines;
        });
    };
    if (!say(ca, "こんにちは、花子さん！") || !say(cb, "太郎さん、こんばんは。") ||
        !say(ca, "ホワイトボードで地図を描きますね"))
        return fail("chat lines");
    cb->feelingAction(3)->trigger();
    ++lines;
    if (!waitFor([&] { return display(*a).count(QStringLiteral("\r\n")) == lines; })) return fail("feeling");
    ca->findChild<QLineEdit *>(QStringLiteral("Text2"))->setText(u("駅の北口で待ち合わせ"));
    if (!saveSideBySide(ca, cb, out + QStringLiteral("/chat.png"))) return fail("chat");

    // A file on its way: the progress window beside the chat board, as they stand on the screen.
    transfer::FileTransfer &sending = a->parts().transfer;
    Q_EMIT sending.progressOpened();
    Q_EMIT sending.progressChanged(u("転送率：42%"));
    transfer::ProgressWindow *progress = windows(*a).transferWindows()->progressWindow();
    if (!progress) return fail("transfer");
    progress->setFileName(u("旅行の写真.zip"));
    if (!saveAsPlaced({ca, progress}, out + QStringLiteral("/transfer.png"))) return fail("transfer");
    Q_EMIT sending.progressClosed();

    // A map drawn on one board, mirrored on the other.
    ca->findChild<QPushButton *>(QStringLiteral("Command2"))->click();
    if (!waitFor([&] { return windows(*a).whiteboardWindow() && windows(*b).whiteboardWindow(); }))
        return fail("whiteboard");
    whiteboard::WhiteboardWindow *wa = windows(*a).whiteboardWindow();
    whiteboard::WhiteboardWindow *wb = windows(*b).whiteboardWindow();
    if (!waitFor([&] { return wa->link().isConnected() && wb->link().isConnected(); }))
        return fail("whiteboard link");
    using boardtest::menuItem;
    int drawn = 0; // segments: one per movement after the first point
    const auto stroke = [&drawn](QWidget *surface, const QList<QPoint> &points) {
        boardtest::stroke(surface, points);
        drawn += int(points.size()) - 1;
    };
    using boardtest::surfaceOf;
    menuItem(wa, "menuSlim", 3)->trigger();
    stroke(surfaceOf(wa), {{30, 200}, {120, 190}, {210, 120}, {380, 110}}); // the main street
    menuItem(wa, "menuSlim", 1)->trigger();
    stroke(surfaceOf(wa), {{210, 120}, {200, 40}, {190, 20}}); // the side road
    menuItem(wa, "menucolor", 9)->trigger();
    stroke(surfaceOf(wa),
           {{60, 60}, {80, 50}, {110, 60}, {120, 80}, {100, 95}, {70, 90}, {60, 60}}); // the park
    menuItem(wb, "menucolor", 5)->trigger();
    menuItem(wb, "menuSlim", 2)->trigger();
    stroke(surfaceOf(wb), {{300, 60}, {330, 90}, {300, 60}, {330, 30}}); // "here"
    // Both boards hold every line (in the order each saw them) and show the same picture.
    if (!waitFor([&] {
            return wa->segments().count() == drawn && wb->segments().count() == drawn &&
                   wa->picture() == wb->picture();
        }))
        return fail("whiteboard mirror");
    if (!saveSideBySide(wa, wb, out + QStringLiteral("/whiteboard.png"))) return fail("whiteboard");

    // The whiteboard's save dialog, over the board, in Japanese.
    bool dialogSaved = false;
    QObject::connect(&a->desktop(), &UiDesktop::fileDialogShown, &app, [&](QFileDialog *dialog) {
        dialogSaved = save(dialog, out + QStringLiteral("/filedialog.png"));
        dialog->reject();
    });
    wa->findChild<QAction *>(QStringLiteral("menuSave"))->trigger();
    if (!dialogSaved) return fail("file dialog");

    // A message on one side, a question on the other, each over its chat board.
    ca->activateWindow();
    a->desktop().showMessage(u("Code:10061 = 接続が相手側から拒否されました\r\n\r\n"
                               "接続できませんでした。しばらくしてから接続してください"));
    cb->activateWindow();
    b->desktop().askYesNoLater(u("「太郎」さんから接続要求があります。接続しますか？"), &app, [](int) {});
    if (!saveSideBySide(a->desktop().messageWindow(), b->desktop().yesNoWindow(),
                        out + QStringLiteral("/dialogs.png")))
        return fail("message and question");
    b->desktop().withdrawQuestion();
    return 0;
}
