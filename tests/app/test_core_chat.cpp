// A whole chat between two clients' core parts, without a single widget: the
// call and the yes, lines both ways, a whiteboard segment, the hang-up with
// its whiteboard handshake, the logs, and both sides listening again.
#include "app/coreclient.h"
#include "fakedesktop.h"
#include "shell/socket/cp932.h"
#include "testsupport.h"

#include <QTemporaryDir>
#include <QTest>

using namespace testsupport;

namespace {

struct Side {
    QTemporaryDir dir;
    FakeDesktop desktop;
    CoreClient parts;

    Side(int address, const char *name) : parts(dir.path(), loopback(address), desktop)
    {
        ClientCore &core = parts.core;
        core.resetState();
        // Chat notices go to an address where nobody listens.
        core.state().serverAddress = loopback(9).toString();
        core.entrance().setName(QString::fromUtf8(name));
        QVERIFY(core.listenOn(core.winsock1(), ClientCore::kPeerPort));
    }
    bool listening() { return parts.core.winsock1().state() == Endpoint::Listening; }
    QByteArray chatLog() { return readFile(dir.filePath(QStringLiteral("wezchat.log"))); }
};

} // namespace

class TestCoreChat : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void wholeChatWithoutWindows()
    {
        Side a(2, "太郎"), b(3, "花子");
        b.desktop.answers = {1};
        a.parts.core.entrance().setIpText(loopback(3).toString());
        a.parts.link.chatCommand();
        QVERIFY(waitFor([&] { return a.parts.chat.isOpen() && b.parts.chat.isOpen(); }));
        QCOMPARE(b.desktop.questions,
                 QStringList{QString::fromUtf8("「太郎」さんから接続要求があります。接続しますか？")});

        a.parts.chat.sendLine(QString::fromUtf8("こんにちは"));
        QVERIFY(waitFor([&] { return !b.parts.chat.transcript().isEmpty(); }));
        b.parts.chat.sendLine(QString::fromUtf8("はい"));
        const QString both = QString::fromUtf8("花子> はい\r\n太郎> こんにちは\r\n");
        QVERIFY(waitFor([&] { return a.parts.chat.transcript() == both; }));
        QCOMPARE(b.parts.chat.transcript(), both);

        // A opens the board, B's opens on the invitation and connects; a stroke of A arrives on B.
        QVERIFY(a.parts.chat.startWhiteboard());
        QVERIFY(waitFor([&] { return b.parts.board.isRunning() && b.parts.board.link()->isConnected(); }));
        QCOMPARE(a.parts.core.state().whiteboardState, int16_t(1));
        QCOMPARE(b.parts.core.state().whiteboardState, int16_t(2));
        whiteboard::WhiteboardSession &board = a.parts.board;
        board.penDown();
        board.penMove(150, 150);
        board.penMove(300, 450);
        board.penUp();
        QVERIFY(waitFor([&] { return b.parts.board.segments().count() == 1; }));
        QCOMPARE(b.parts.board.segments().at(0).y2, 450.0f);

        // A hangs up: the boards close with the handshake, both chats finish and log once.
        a.parts.chat.hangUp();
        QVERIFY(!a.parts.board.isRunning());
        QVERIFY(waitFor([&] { return !a.parts.chat.isActive() && !b.parts.chat.isActive(); }));
        QCOMPARE(b.parts.core.state().whiteboardState, int16_t(0));
        QVERIFY(!b.parts.board.isRunning());
        QVERIFY(b.chatLog().contains(cp932::encode(both)));
        QVERIFY(a.chatLog().contains(cp932::encode(both)));
        QVERIFY(waitFor([&] { return a.listening() && b.listening(); }, 10000));
        QVERIFY(a.desktop.messages.isEmpty() && b.desktop.messages.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestCoreChat)
#include "test_core_chat.moc"
