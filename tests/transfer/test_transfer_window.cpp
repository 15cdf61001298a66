// The windows over a client's transfer: Form8 beside the chat window, clear of
// it and on screen, and the chat window's menu items, status label, commands
// and topmost state following the transfer.
#include "app/coreclient.h"
#include "chat/chatwindow.h"
#include "fakedesktop.h"
#include "testsupport.h"
#include "transfer/progresswindow.h"
#include "transfer/transferwindows.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTest>

using namespace testsupport;
using transfer::FileTransfer;
using transfer::ProgressWindow;
using transfer::TransferWindows;

namespace {

// A client without a chat partner, its chat window and the transfer's windows over it.
struct Windows {
    QTemporaryDir dir;
    FakeDesktop desk;
    CoreClient client{dir.path(), loopback(2), desk};
    TransferWindows windows{client.transfer, client.core.state()};
    ChatBoardWindow *chat = new ChatBoardWindow(client.core, client.chat,
                                                [this]() -> QWidget * { return windows.progressWindow(); });

    Windows() { windows.attach(chat); }
    ~Windows() { delete chat; }
    FileTransfer &transfer() { return client.transfer; }
};

} // namespace

class TestTransferWindow final : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void progressWindowFollowsTheChatWindow();
    void menusDriveTheTransfer();
    void chatWindowShowsTheTransferState();
};

void TestTransferWindow::progressWindowFollowsTheChatWindow()
{
    Windows w;
    QWidget *chat = w.chat;
    chat->setGeometry(100, 120, 300, 240);
    chat->show();
    QVERIFY(QTest::qWaitForWindowExposed(chat));
    FileTransfer &t = w.transfer();

    Q_EMIT t.progressOpened();
    Q_EMIT t.progressChanged(QStringLiteral("転送率：42%"));
    auto *form8 = chat->findChild<ProgressWindow *>(QStringLiteral("Form8"));
    QVERIFY(form8);
    QCOMPARE(w.windows.progressWindow(), form8);
    QVERIFY(form8->isVisible());
    QVERIFY(form8->windowFlags().testFlag(Qt::Tool)); // owned by the chat window, above it
    QCOMPARE(form8->parentWidget(), chat);
    QCOMPARE(form8->windowTitle(), QStringLiteral("Wez File Transfer"));
    QCOMPARE(form8->findChild<QLabel *>(QStringLiteral("Label1"))->text(), QStringLiteral("転送率：42%"));
    QCOMPARE(form8->findChild<QProgressBar *>(QStringLiteral("ProgressBar1"))->value(), 42);
    QCOMPARE(w.client.core.state().windowOpen[TransferWindow], 1);

    // Wide enough for its title in a bold title-bar face, with the icon and buttons beside it.
    QFont bold = form8->font();
    bold.setBold(true);
    QVERIFY2(form8->width() >= QFontMetrics(bold).horizontalAdvance(form8->windowTitle()) + 80,
             qPrintable(QString::number(form8->width())));
    const QString longName = QStringLiteral("とても長い名前のファイル-").repeated(6) + QStringLiteral(".zip");
    form8->setFileName(longName);
    auto *name = form8->findChild<QLabel *>(QStringLiteral("Label2"));
    QVERIFY(name->text().endsWith(QStringLiteral(".zip")));
    QVERIFY(name->fontMetrics().horizontalAdvance(name->text()) <= name->width());
    QCOMPARE(name->toolTip(), longName);

    const QRect screen = chat->screen()->availableGeometry();
    auto clear = [&] {
        return !form8->frameGeometry().intersects(chat->frameGeometry()) &&
               screen.contains(form8->frameGeometry());
    };
    QVERIFY(waitFor(clear));
    QVERIFY(form8->x() > chat->x()); // room on the right: it goes there
    // At the screen's right edge it moves to the left, and follows the window.
    chat->move(screen.right() - chat->frameGeometry().width(), 50);
    QVERIFY(waitFor(clear));
    QVERIFY(form8->x() < chat->x());
    chat->resize(320, 250);
    QVERIFY(waitFor(clear));

    // A chat window filling the screen: Form8 still leaves its menu and its newest line free.
    chat->setGeometry(screen);
    auto *menu = chat->findChild<QMenuBar *>();
    auto *display = chat->findChild<QPlainTextEdit *>(QStringLiteral("Text1"));
    QVERIFY(menu && display);
    const QRect menuRect(menu->mapToGlobal(QPoint(0, 0)), menu->size());
    const QRect newestLine(display->mapToGlobal(QPoint(0, 0)),
                           QSize(display->width(), display->fontMetrics().height() * 2));
    QVERIFY(waitFor([&] {
        const QRect f = form8->frameGeometry();
        return screen.contains(f) && !f.intersects(menuRect) && !f.intersects(newestLine);
    }));

    QPointer<ProgressWindow> gone = form8;
    Q_EMIT t.progressClosed();
    QVERIFY(!gone);
    QCOMPARE(w.client.core.state().windowOpen[TransferWindow], 0);

    // Form8 goes with its chat window.
    Q_EMIT t.progressOpened();
    gone = w.windows.progressWindow();
    QVERIFY(gone);
    delete w.chat;
    w.chat = nullptr;
    QVERIFY(!gone);
    QCOMPARE(w.client.core.state().windowOpen[TransferWindow], 0);
}

void TestTransferWindow::menusDriveTheTransfer()
{
    Windows w;
    QAction *frsv = w.chat->menuItem(QStringLiteral("menuFrsv"));
    QVERIFY(frsv->isCheckable() && frsv->isChecked());
    frsv->trigger();
    QVERIFY(!w.transfer().receiveEnabled());
    w.transfer().stop(); // a chat ended: receiving is on again, and the mark shows it
    QVERIFY(frsv->isChecked());

    w.chat->menuItem(QStringLiteral("menuFtne"))->trigger(); // the open dialog is asked, then cancelled
    QCOMPARE(w.desk.opens, 1);
    QCOMPARE(w.transfer().sendPhase(), FileTransfer::SendPhase::Idle);
    QCOMPARE(w.client.core.state().operationBusy, 0);
}

void TestTransferWindow::chatWindowShowsTheTransferState()
{
    Windows w;
    FileTransfer &t = w.transfer();
    Q_EMIT t.statusTextChanged(QStringLiteral("300/Error!!"));
    QCOMPARE(w.chat->findChild<QLabel *>(QStringLiteral("Label1"))->text(), QStringLiteral("300/Error!!"));

    Q_EMIT t.commandsEnabledChanged(false);
    for (const char *name : {"Command2", "Command3"})
        QVERIFY(!w.chat->findChild<QPushButton *>(QString::fromLatin1(name))->isEnabled());
    for (const char *name : {"menuWhiteBoard", "menuFtne", "menuClose"})
        QVERIFY(!w.chat->menuItem(QString::fromLatin1(name))->isEnabled());

    // A chat window kept on top steps back while a file dialog is up.
    QAction *allTop = w.chat->menuItem(QStringLiteral("menuAllTop"));
    allTop->trigger();
    QVERIFY(w.chat->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QList<bool> topWhileShown;
    QObject::connect(&t, &FileTransfer::fileDialogShown, &t, [&](bool shown) {
        if (shown) topWhileShown << w.chat->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
    });
    t.sendFile();
    QCOMPARE(topWhileShown, QList<bool>{false});
    QVERIFY(w.chat->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
}

QTEST_MAIN(TestTransferWindow)
#include "test_transfer_window.moc"
