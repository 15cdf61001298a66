// The whiteboard inside a real chat between two clients on loopback: strokes,
// clears and loads mirrored slot for slot and pixel for pixel, closing either
// side closes both ("con 920" answered by "con 925"), hanging up over unsaved
// drawing, a partner that never answers, and lines that wait during a file transfer.
#include "boardhelpers.h"
#include "clienthelpers.h"
#include "whiteboard/whiteboardlink.h"
#include "whiteboard/whiteboardsession.h"
#include "whiteboard/whiteboardwindow.h"

#include <QSignalSpy>

using namespace testsupport;
using namespace clienttest;
using namespace boardtest;

class TestWhiteboardE2e : public QObject {
    Q_OBJECT

    QTemporaryDir dirA, dirB;
    std::unique_ptr<Client> a, b;

    whiteboard::WhiteboardWindow *boardA() { return windows(*a).whiteboardWindow(); }
    whiteboard::WhiteboardWindow *boardB() { return windows(*b).whiteboardWindow(); }
    bool mirrored()
    {
        return waitFor([&] { return sameSegments(boardA()->segments(), boardB()->segments()); }) &&
               waitFor([&] { return boardA()->picture() == boardB()->picture(); });
    }
    // `opener` opens its board from its chat window; the other's opens on the invitation.
    void openBoards(Client &opener)
    {
        click(windows(opener).chatWindow(), "Command2");
        QVERIFY(waitFor([&] { return boardA() && boardB(); }));
        QVERIFY(waitFor([&] { return boardA()->link().isConnected() && boardB()->link().isConnected(); }));
    }
    bool boardsGone()
    {
        return waitFor([&] {
            return !boardA() && !boardB() && a->core().state().whiteboardState == 0 &&
                   b->core().state().whiteboardState == 0;
        });
    }

private Q_SLOTS:
    void init()
    {
        a = startClient(dirA.path(), 2, QString::fromUtf8("太郎"));
        b = startClient(dirB.path(), 3, QString::fromUtf8("花子"));
        QVERIFY(waitFor([&] { return listening(*a) && listening(*b); }));
        onQuestion(*b, answerYes);
        setIpBox(*a, loopback(3).toString());
        click(a->entranceWindow(), "Command2");
        QVERIFY(waitFor([&] { return windows(*a).chatWindow() && windows(*b).chatWindow(); }, 10000));
        openBoards(*a);
        QCOMPARE(a->core().state().whiteboardState, int16_t(1));
        QCOMPARE(b->core().state().whiteboardState, int16_t(2));
        QCOMPARE(boardA()->link().endpoint().objectName(), QStringLiteral("Winsock5"));
        QCOMPARE(boardA()->link().endpoint().localPort(), 1202);
    }

    void cleanup()
    {
        a.reset();
        b.reset();
    }

    void strokesClearsAndLoadsMirror()
    {
        // A draws: B's store equals A's slot by slot, its picture pixel by pixel.
        stroke(surfaceOf(boardA()), {{20, 20}, {40, 30}, {80, 60}, {120, 61}, {121, 200}});
        menuItem(boardA(), "menucolor", 9)->trigger();
        menuItem(boardA(), "menuSlim", 3)->trigger();
        stroke(surfaceOf(boardA()), {{300, 40}, {310, 80}, {250, 120}, {400, 240}});
        QCOMPARE(boardA()->segments().count(), 7);
        QVERIFY(mirrored());
        QVERIFY(boardA()->picture() != QImage(boardA()->picture().size(), QImage::Format_RGB32));

        // B draws back, A mirrors; neither side's own pen changed by the other's lines.
        menuItem(boardB(), "menucolor", 13)->trigger();
        stroke(surfaceOf(boardB()), {{200, 200}, {150, 150}, {100, 210}});
        QVERIFY(waitFor([&] { return boardA()->segments().count() == 9; }));
        QVERIFY(mirrored());
        QCOMPARE(boardA()->colorIndex(), 9);
        QCOMPARE(boardB()->colorIndex(), 13);

        // A clear on either side empties both; only the side that clears is asked.
        QString asked;
        onQuestion(*b, answerNo, &asked);
        menuItem(boardB(), "menuClear")->trigger();
        QVERIFY(waitFor([&] { return boardA()->segments().count() == 0; }));
        QCOMPARE(asked, QString::fromUtf8("ホワイトボードに保存していない線があります。保存しますか？"));
        QVERIFY(mirrored());
        QCOMPARE(boardA()->picture().pixelColor(30, 25), QColor(Qt::white));

        // A file loaded on A reaches B one "FL" line per segment, in file order.
        const QString file = dirA.filePath(QStringLiteral("shared.wbd"));
        QByteArray lines;
        for (int i = 1; i <= 40; ++i)
            lines += QByteArray::number(i * 90) + ",300," + QByteArray::number(i * 90 + 75) + ",3000," +
                     QByteArray::number(i % 14) + "," + QByteArray::number(i % 4) + ",nxt\r\n";
        QVERIFY(writeFile(file, lines));
        a->desktop().setNextFileName(file);
        QSignalSpy finished(&a->parts().board, &whiteboard::WhiteboardSession::loadFinished);
        menuItem(boardA(), "menuLoad")->trigger();
        QVERIFY(waitFor([&] { return finished.count() == 1; }));
        QVERIFY(mirrored());
        QCOMPARE(boardB()->segments().count(), 40);
        QCOMPARE(boardB()->segments().at(39).x1, 3600.0f);
        QCOMPARE(boardB()->segments().at(39).color, 40 % 14);
    }

    void closingEitherSideClosesBoth()
    {
        // B draws, then closes: it is asked about its unsaved lines, then both boards go.
        stroke(surfaceOf(boardB()), {{300, 200}, {310, 150}, {380, 30}});
        QVERIFY(waitFor([&] { return boardA()->segments().count() == 2; }));
        onQuestion(*b, answerNo);
        boardB()->close();
        QVERIFY(boardsGone());
        QVERIFY(!a->core().state().isOpen(WindowNumber::WhiteboardWindow) &&
                !b->core().state().isOpen(WindowNumber::WhiteboardWindow));
        // The chat goes on, and the port is free for the next board, opened the other way round.
        QVERIFY(windows(*a).chatWindow() && windows(*b).chatWindow());
        openBoards(*b);
        QCOMPARE(b->core().state().whiteboardState, int16_t(1));
        menuItem(boardA(), "menuClose")->trigger();
        QVERIFY(boardsGone());
    }

    void hangingUpAsksAboutUnsavedDrawing()
    {
        stroke(surfaceOf(boardA()), {{20, 20}, {60, 40}});
        // "Yes", then a cancelled save dialog: the board and the chat stay.
        QString asked;
        onQuestion(*a, answerYes, &asked);
        a->desktop().setNextFileName(QString());
        click(windows(*a).chatWindow(), "Command3");
        QCOMPARE(asked, QString::fromUtf8("ホワイトボードに保存していない線があります。保存しますか？"));
        QVERIFY(boardA() && boardA()->hasUnsavedSegments());
        QVERIFY(a->core().state().isOpen(ChatWindow));
        // "No": the drawing goes, the boards close with the handshake, the chat ends.
        onQuestion(*a, answerNo);
        click(windows(*a).chatWindow(), "Command3");
        QVERIFY(boardsGone());
        QVERIFY(waitFor([&] { return !windows(*a).chatWindow() && !windows(*b).chatWindow(); }));
    }

    void closingWaitEndsWithoutAnAnswer()
    {
        // B has left the chat as far as its link knows: "con 920" gets no answer.
        b->parts().link.leaveChat();
        QTimer::singleShot(300, b.get(), [this] { b->core().winsock1().close(); });
        boardA()->close();
        // The wait ends when the peer connection goes; the state is 0 in any case.
        QVERIFY(waitFor([&] { return !boardA(); }));
        QCOMPARE(a->core().state().whiteboardState, int16_t(0));
    }

    void linesWaitDuringATransferAndArriveSplit()
    {
        // A's board endpoint is the real sender: hold B and send raw lines from A.
        b->core().state().transferActive = 1;
        Endpoint &sender = boardA()->link().endpoint();
        const QByteArray first = "FL1500,900,15", rest = "15,915,5,1\r\nCL\r\nFL30,30,300,300,9,2\r\n";
        sender.sendData(first);
        QVERIFY(waitFor([&] { return boardB()->link().endpoint().bytesAvailable() == first.size(); }));
        sender.sendData(rest);
        QVERIFY(waitFor(
            [&] { return boardB()->link().endpoint().bytesAvailable() == first.size() + rest.size(); }));
        QCOMPARE(boardB()->segments().count(), 0); // held in the socket while the transfer runs
        b->core().state().transferActive = 0;
        QVERIFY(waitFor([&] { return boardB()->segments().count() == 1; }));
        QCOMPARE(boardB()->segments().at(0).color, 9);
        // A flood without line ends is dropped, the connection keeps working.
        sender.sendData(QByteArray(100000, 'x'));
        sender.sendData(QByteArray("\r\nFL1500,900,1515,915,5,1\r\n"));
        QVERIFY(waitFor([&] { return boardB()->segments().count() == 2; }));
        QCOMPARE(boardB()->segments().at(1).color, 5);
    }
};

QTEST_MAIN(TestWhiteboardE2e)
#include "test_whiteboard_e2e.moc"
