// The progress window Form8 beside a chat window: owned by it, and kept at
// its top-right corner as the chat window moves and grows.
#include "faketransferhost.h"
#include "testsupport.h"
#include "transfer/progresswindow.h"
#include "transfer/transfercontroller.h"

#include <QApplication>
#include <QLabel>
#include <QTest>

using namespace testsupport;
using transfer::FileTransfer;
using transfer::ProgressWindow;
using transfer::TransferController;

class TestTransferWindow final : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void progressWindowFollowsTheChatWindow();
};

void TestTransferWindow::progressWindowFollowsTheChatWindow()
{
    QTemporaryDir dir;
    FakeTransferHost host;
    host.dir = dir.path();
    host.bind = loopback(2);
    QWidget chat;
    chat.setGeometry(100, 120, 400, 300);
    chat.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chat));
    auto *controller = new TransferController(&chat, host);
    FileTransfer &t = controller->transfer();

    Q_EMIT t.progressOpened();
    Q_EMIT t.progressChanged(QStringLiteral("転送率：42%"));
    auto *form8 = chat.findChild<ProgressWindow *>(QStringLiteral("Form8"));
    QVERIFY(form8);
    QVERIFY(form8->isVisible());
    QVERIFY(form8->windowFlags().testFlag(Qt::Tool)); // owned by the chat window, above it
    QCOMPARE(form8->parentWidget(), &chat);
    QCOMPARE(form8->windowTitle(), QStringLiteral("Wez File Transfer"));
    QCOMPARE(form8->findChild<QLabel *>(QStringLiteral("Label1"))->text(), QStringLiteral("転送率：42%"));
    QCOMPARE(host.shared.windowOpen[TransferWindow], 1);

    auto atCorner = [&] {
        const QRect c = chat.frameGeometry(), f = form8->frameGeometry();
        return f.top() == c.top() && f.left() + f.width() == c.left() + c.width();
    };
    QVERIFY(waitFor(atCorner));
    chat.move(300, 50);
    QVERIFY(waitFor(atCorner));
    chat.resize(600, 300);
    QVERIFY(waitFor(atCorner));

    QPointer<ProgressWindow> gone = form8;
    Q_EMIT t.progressClosed();
    QVERIFY(!gone);
    QCOMPARE(host.shared.windowOpen[TransferWindow], 0);
}

QTEST_MAIN(TestTransferWindow)
#include "test_transfer_window.moc"
