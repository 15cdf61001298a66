// Two whiteboards mirrored over the whiteboard connection on loopback: strokes
// drawn with the mouse arrive slot for slot and pixel for pixel, clears and
// loads travel, closing either side closes both with "con 920" / "con 925".
#include "boardhelpers.h"
#include "fakewhiteboardhost.h"
#include "testsupport.h"
#include "whiteboard/whiteboardlink.h"

#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

using namespace whiteboard;
using namespace testsupport;
using namespace boardtest;

class TestWhiteboardSync : public QObject {
    Q_OBJECT

    FakeHost a, b;
    std::shared_ptr<ScriptedDialogs> dialogsA = std::make_shared<ScriptedDialogs>(a.desk);
    QTemporaryDir dir;

    // A opens its board (listens), B's opens on the invitation (connects).
    void openBoth()
    {
        a.setWhiteboardState(1);
        a.window = new WhiteboardWindow(a, dialogsA);
        a.window->show();
        b.window = new WhiteboardWindow(b);
        b.setWhiteboardState(2);
        b.window->move(a.window->x() + 450, a.window->y());
        b.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(a.window));
        QVERIFY(QTest::qWaitForWindowExposed(b.window));
        QVERIFY(waitFor([&] { return a.window->link().isConnected() && b.window->link().isConnected(); }));
        QCOMPARE(a.window->link().endpoint().objectName(), QStringLiteral("Winsock5"));
        QCOMPARE(a.window->link().endpoint().localPort(), 1202);
    }

    bool mirrored()
    {
        return waitFor([&] { return sameSegments(a.window->segments(), b.window->segments()); }) &&
               a.window->picture() == b.window->picture();
    }

private Q_SLOTS:
    void initTestCase()
    {
        a.bind = loopback(2);
        b.bind = loopback(3);
        a.partner = loopback(3).toString();
        b.partner = loopback(2).toString();
        a.partnerHost = &b;
        b.partnerHost = &a;
    }

    void strokesClearsAndLoadsMirror()
    {
        openBoth();
        WhiteboardWindow *wa = a.window, *wb = b.window;

        // A draws: B's store equals A's slot by slot, its picture pixel by pixel.
        stroke(surfaceOf(wa), {{20, 20}, {40, 30}, {80, 60}, {120, 61}, {121, 200}});
        menuItem(wa, "menucolor", 9)->trigger();
        menuItem(wa, "menuSlim", 3)->trigger();
        stroke(surfaceOf(wa), {{300, 40}, {310, 80}, {250, 120}, {400, 240}});
        QCOMPARE(wa->segments().count(), 7);
        QVERIFY(mirrored());
        QVERIFY(wa->picture() != QImage(wa->picture().size(), QImage::Format_RGB32));

        // B draws back, A mirrors; neither side's own pen changed by the other's lines.
        menuItem(wb, "menucolor", 13)->trigger();
        stroke(surfaceOf(wb), {{200, 200}, {150, 150}, {100, 210}});
        QVERIFY(waitFor([&] { return wa->segments().count() == 9; }));
        QVERIFY(mirrored());
        QCOMPARE(wa->colorIndex(), 9);
        QCOMPARE(wb->colorIndex(), 13);

        // A clear on either side empties both.
        menuItem(wb, "menuClear")->trigger();
        QVERIFY(waitFor([&] { return wa->segments().count() == 0; }));
        QCOMPARE(wa->picture(), wb->picture());
        QCOMPARE(wa->picture().pixelColor(30, 25), QColor(Qt::white));
        stroke(surfaceOf(wb), {{10, 10}, {20, 20}});
        QVERIFY(waitFor([&] { return wa->segments().count() == 1; }));
        menuItem(wa, "menuClear")->trigger();
        QVERIFY(waitFor([&] { return wb->segments().count() == 0; }));
        QCOMPARE(a.desk.questions.size(),
                 1); // A asks about B's unsaved line, B was never asked about A's clear
        QCOMPARE(b.desk.questions.size(), 1);

        // A file loaded on A reaches B one "FL" line per segment, in file order.
        const QString file = dir.filePath(QStringLiteral("shared.wbd"));
        QByteArray lines;
        for (int i = 1; i <= 40; ++i)
            lines += QByteArray::number(i * 90) + ",300," + QByteArray::number(i * 90 + 75) + ",3000," +
                     QByteArray::number(i % 14) + "," + QByteArray::number(i % 4) + ",nxt\r\n";
        QVERIFY(writeFile(file, lines));
        a.desk.nextOpen = file;
        QSignalSpy finished(wa, &WhiteboardWindow::loadFinished);
        menuItem(wa, "menuLoad")->trigger();
        QVERIFY(waitFor([&] { return finished.count() == 1; }));
        QVERIFY(mirrored());
        QCOMPARE(wb->segments().count(), 40);
        QCOMPARE(wb->segments().at(39).x1, 3600.0f);
        QCOMPARE(wb->segments().at(39).color, 40 % 14);
    }

    void closingEitherSideClosesBoth()
    {
        // A closes (B's drawing was cleared, nothing to ask): "con 920", B closes and answers "con 925".
        a.peerSent.clear();
        b.peerSent.clear();
        QPointer<WhiteboardWindow> wa = a.window, wb = b.window;
        wa->close();
        QVERIFY(waitFor([&] { return wa.isNull() && wb.isNull(); }));
        QCOMPARE(a.peerSent, QStringList{QStringLiteral("con 920")});
        QCOMPARE(b.peerSent, QStringList{QStringLiteral("con 925")});
        QCOMPARE(a.state, 0);
        QCOMPARE(b.state, 0);
        QVERIFY(!a.windowOpen && !b.windowOpen);

        // And the other way round; the port is free again for the next board.
        openBoth();
        a.peerSent.clear();
        b.peerSent.clear();
        wa = a.window, wb = b.window;
        menuItem(wb, "menuClose")->trigger();
        QVERIFY(waitFor([&] { return wa.isNull() && wb.isNull(); }));
        QCOMPARE(b.peerSent, QStringList{QStringLiteral("con 920")});
        QCOMPARE(a.peerSent, QStringList{QStringLiteral("con 925")});
        QVERIFY(b.desk.questions.size() == 1);
    }

    void closingWaitEndsWithoutAnAnswer()
    {
        // The partner never answers: the wait ends when the peer connection goes, and the state is 0.
        a.partnerHost = nullptr;
        openBoth();
        QPointer<WhiteboardWindow> wa = a.window;
        QTimer::singleShot(200, &a, [this] {
            a.peer = false;
            Q_EMIT a.peerConnectionClosed();
        });
        wa->close();
        QVERIFY(wa.isNull() || waitFor([&] { return wa.isNull(); }));
        QCOMPARE(a.state, 0);
        a.peer = true;
        a.partnerHost = &b;
        b.window->closeByPartner();
        QVERIFY(waitFor([&] { return b.window.isNull(); }));
    }

    void linesWaitDuringATransferAndArriveSplit()
    {
        openBoth();
        WhiteboardWindow *wb = b.window;
        // A raw partner would be simpler, but A's endpoint is the real sender: hold B and send from A.
        b.transfer = true;
        Endpoint &sender = a.window->link().endpoint();
        const QByteArray first = "FL1500,900,15", rest = "15,915,5,1\r\nCL\r\nFL30,30,300,300,9,2\r\n";
        sender.sendData(first);
        QVERIFY(waitFor([&] { return wb->link().endpoint().bytesAvailable() == first.size(); }));
        sender.sendData(rest);
        QVERIFY(
            waitFor([&] { return wb->link().endpoint().bytesAvailable() == first.size() + rest.size(); }));
        QCOMPARE(wb->segments().count(), 0); // held in the socket while the transfer runs
        b.transfer = false;
        QVERIFY(waitFor([&] { return wb->segments().count() == 1; }));
        QCOMPARE(wb->segments().at(0).color, 9);
        // A flood without line ends is dropped, the connection keeps working.
        sender.sendData(QByteArray(100000, 'x'));
        sender.sendData(QByteArray("\r\nFL1500,900,1515,915,5,1\r\n"));
        QVERIFY(waitFor([&] { return wb->segments().count() == 2; }));
        QCOMPARE(wb->segments().at(1).color, 5);
        b.window->close();
        QVERIFY(waitFor([&] { return a.window.isNull() && b.window.isNull(); }));
    }
};

QTEST_MAIN(TestWhiteboardSync)
#include "test_whiteboard_sync.moc"
