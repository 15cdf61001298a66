// A whole chat between two clients' core parts, without a single widget: the
// call and the yes, lines both ways, a whiteboard segment, a file, the hang-up
// with its whiteboard handshake, the logs, and both sides listening again.
#include "corechat.h"
#include "shell/socket/cp932.h"

#include <QFile>
#include <QTest>

using namespace testsupport;

class TestCoreChat : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void wholeChatWithoutWindows()
    {
        CoreSide a(2, QString::fromUtf8("太郎")), b(3, QString::fromUtf8("花子"));
        QVERIFY(startChat(a, b));
        QCOMPARE(b.desk.questions,
                 QStringList{QString::fromUtf8("「太郎」さんから接続要求があります。接続しますか？")});

        a.client->chat.sendLine(QString::fromUtf8("こんにちは"));
        QVERIFY(waitFor([&] { return !b.lines().isEmpty(); }));
        b.client->chat.sendLine(QString::fromUtf8("はい"));
        const QString both = QString::fromUtf8("花子> はい\r\n太郎> こんにちは\r\n");
        QVERIFY(waitFor([&] { return a.client->chat.transcript() == both; }));
        QCOMPARE(b.client->chat.transcript(), both);

        // A opens the board, B's opens on the invitation and connects; a stroke of A arrives on B.
        QVERIFY(a.client->chat.startWhiteboard());
        whiteboard::WhiteboardSession &boardB = b.client->board;
        QVERIFY(waitFor([&] { return boardB.isRunning() && boardB.link()->isConnected(); }));
        QCOMPARE(a.state().whiteboardState, int16_t(1));
        QCOMPARE(b.state().whiteboardState, int16_t(2));
        whiteboard::WhiteboardSession &boardA = a.client->board;
        boardA.penDown();
        boardA.penMove(150, 150);
        boardA.penMove(300, 450);
        boardA.penUp();
        QVERIFY(waitFor([&] { return boardB.segments().count() == 1; }));
        QCOMPARE(boardB.segments().at(0).y2, 450.0f);

        // B offers a file, A takes it and saves it.
        const QByteArray bytes = QByteArray("地図のメモ\r\n").repeated(500);
        const QString offered = b.filePath(QStringLiteral("map.txt"));
        QVERIFY(writeFile(offered, bytes));
        b.desk.nextOpen = offered;
        const QString saved = a.filePath(QStringLiteral("saved.txt"));
        a.desk.nextSave = saved;
        b.transfer().sendFile();
        QVERIFY(waitFor([&] { return QFile::exists(saved) && a.state().transferActive == 0; }, 30000));
        QCOMPARE(readFile(saved), bytes);
        QCOMPARE(a.desk.savePresets, QStringList{QStringLiteral("map.txt")});

        // A hangs up: the boards close with the handshake, both chats finish and log.
        a.client->chat.hangUp();
        QVERIFY(!boardA.isRunning());
        QVERIFY(waitFor([&] { return !a.client->chat.isActive() && !b.client->chat.isActive(); }));
        QCOMPARE(b.state().whiteboardState, int16_t(0));
        QVERIFY(!boardB.isRunning());
        const QByteArray log = cp932::encode(QString::fromUtf8("花子> はい\r\n太郎> こんにちは\r\n"));
        QVERIFY(readFile(a.filePath(QStringLiteral("wezchat.log"))).contains(log));
        QVERIFY(readFile(b.filePath(QStringLiteral("wezchat.log"))).contains(log));
        QVERIFY(waitFor([&] { return a.listening() && b.listening(); }, 10000));
        QVERIFY(a.desk.messages.isEmpty() && b.desk.messages.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestCoreChat)
#include "test_core_chat.moc"
