// One whiteboard window without a partner: menus, mouse drawing, the received
// line path, overflow, the transfer freeze, files and the questions before
// losing drawing.
#include "boardhelpers.h"
#include "boardrig.h"
#include "testsupport.h"
#include "whiteboard/whiteboardlink.h"
#include "whiteboard/whiteboardsession.h"
#include "whiteboard/whiteboardwindow.h"

#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace whiteboard;
using namespace testsupport;
using namespace boardtest;

class TestWhiteboardWindow : public QObject {
    Q_OBJECT

    // A board opened by a partner that is not there: no peer connection, no whiteboard connection.
    std::unique_ptr<BoardRig> rig;
    FakeDesktop *desktop = nullptr;
    QPointer<whiteboard::WhiteboardWindow> w;
    QTemporaryDir dir;

    SharedState &state() { return rig->core.state(); }

    QString path(const char *name) const { return dir.filePath(QLatin1String(name)); }
    QColor pixel(int x, int y) const { return w->picture().pixelColor(x, y); }

private Q_SLOTS:
    void init()
    {
        rig = std::make_unique<BoardRig>(loopback(2));
        desktop = &rig->desktop;
        rig->open();
        w = new whiteboard::WhiteboardWindow(rig->session, rig->desktop);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
    }
    void cleanup()
    {
        rig->session.dropWindow();
        QVERIFY(waitFor([&] { return w.isNull(); }));
        rig.reset();
    }

    void fixedSurfaceOwnedByTheChat()
    {
        QVERIFY(w->windowFlags() & Qt::Tool);
        QVERIFY(state().isOpen(WindowNumber::WhiteboardWindow));
        // Pixels map to the partner's twips only at this size.
        QCOMPARE(surfaceOf(w)->size(), QSize(419, 246));
        QCOMPARE(w->picture().size(), QSize(419, 246));
        QCOMPARE(w->minimumSize(), w->maximumSize());
        QCOMPARE(pixel(200, 100), QColor(Qt::white));
    }

    void mouseDrawsStrokes()
    {
        QWidget *s = surfaceOf(w);
        // A click without movement draws nothing.
        QTest::mouseClick(s, Qt::LeftButton, {}, QPoint(30, 30));
        QCOMPARE(w->segments().count(), 0);

        stroke(s, {{10, 10}, {20, 20}, {40, 20}});
        QCOMPARE(w->segments().count(), 2);
        const Segment &first = w->segments().at(0);
        QCOMPARE(first.x1, 150.0f);
        QCOMPARE(first.y1, 150.0f);
        QCOMPARE(first.x2, 300.0f);
        QCOMPARE(first.y2, 300.0f);
        QCOMPARE(first.color, 3);
        QCOMPARE(first.width, 2);
        QCOMPARE(first.marker, QStringLiteral("nxt"));
        QCOMPARE(w->segments().at(1).x1, 300.0f);
        QCOMPARE(pixel(15, 15), QColor(Qt::black));
        QCOMPARE(pixel(30, 20), QColor(Qt::black));

        // Changing colour in the middle of a drag breaks the stroke.
        QTest::mousePress(s, Qt::LeftButton, {}, QPoint(100, 100));
        QTest::mouseMove(s, QPoint(100, 100));
        QTest::mouseMove(s, QPoint(110, 100));
        QCOMPARE(w->segments().count(), 3);
        menuItem(w, "menucolor", 5)->trigger();
        menuItem(w, "menuSlim", 0)->trigger();
        QTest::mouseMove(s, QPoint(200, 100));
        QCOMPARE(w->segments().count(), 3);
        QCOMPARE(pixel(150, 100), QColor(Qt::white));
        QTest::mouseMove(s, QPoint(200, 150));
        QCOMPARE(w->segments().count(), 4);
        QCOMPARE(w->segments().at(3).color, 5);
        QCOMPARE(w->segments().at(3).width, 0);
        QCOMPARE(pixel(200, 125), QColor(255, 0, 0));
        QCOMPARE(pixel(201, 125), QColor(Qt::white)); // 1 pixel wide
        QTest::mouseRelease(s, Qt::LeftButton, {}, QPoint(200, 150));
        // After the release movement draws nothing.
        QTest::mouseMove(s, QPoint(300, 150));
        QCOMPARE(w->segments().count(), 4);

        // Dragged far outside, the points stay within a segment's range.
        stroke(s, {{50, 50}, {50, 3000}});
        QCOMPARE(w->segments().at(4).y2, 32767.0f);
    }

    void receivedLinesDrawAndRecord()
    {
        w->link().receiveText(u"FL1500,900,1515,915,5,1\r\n");
        QCOMPARE(w->segments().count(), 1);
        const Segment &s = w->segments().at(0);
        QCOMPARE(s.x1, 1500.0f);
        QCOMPARE(s.y2, 915.0f);
        QCOMPARE(s.color, 5);
        QCOMPARE(s.width, 1);
        QCOMPARE(s.marker, QStringLiteral("nxt"));
        QCOMPARE(pixel(100, 60), QColor(255, 0, 0));
        QCOMPARE(pixel(101, 61), QColor(255, 0, 0));
        QCOMPARE(pixel(99, 59), QColor(255, 0, 0)); // 3 pixels wide
        QCOMPARE(pixel(103, 60), QColor(Qt::white));
        // The partner's pen is not the local user's.
        QCOMPARE(w->colorIndex(), 3);
        QCOMPARE(w->widthIndex(), 2);

        // Unsound segments and foreign lines are neither drawn nor recorded.
        w->link().receiveText(u"FL10,10,300,300,5,4\r\nFL10,10,300,300,14,1\r\nFL1,1,99999,1,5,1\r\n"
                              u"fl10,10,300,300,5,1\r\nXX\r\n");
        QCOMPARE(w->segments().count(), 1);
        QCOMPARE(pixel(10, 10), QColor(Qt::white));

        // Missing fields read as 0: a white 1-pixel line down to y = 0.
        w->link().receiveText(u"FL30,30,600\r\n");
        QCOMPARE(w->segments().count(), 2);
        QCOMPARE(w->segments().at(1).y2, 0.0f);
        QCOMPARE(w->segments().at(1).width, 0);

        w->link().receiveText(u"CL\r\n");
        QCOMPARE(w->segments().count(), 0);
        QCOMPARE(pixel(100, 60), QColor(Qt::white));
        QVERIFY(desktop->questions.isEmpty()); // the partner's clear does not ask
    }

    void overflowEndsTheStroke()
    {
        QString lines;
        for (int i = 0; i < 5119; ++i)
            lines += QStringLiteral("FL15,15,30,30,3,0\r\n");
        w->link().receiveText(lines);
        QCOMPARE(w->segments().count(), 5119);
        QVERIFY(desktop->messages.isEmpty());

        QWidget *s = surfaceOf(w);
        QTest::mousePress(s, Qt::LeftButton, {}, QPoint(100, 100));
        QTest::mouseMove(s, QPoint(100, 100));
        QTest::mouseMove(s, QPoint(110, 100)); // slot 5119, the last one
        QCOMPARE(w->segments().count(), 5120);
        QVERIFY(desktop->messages.isEmpty());
        QTest::mouseMove(s, QPoint(120, 100)); // the 5121st: drawn, warned, stroke over
        QCOMPARE(w->segments().count(), 5120);
        QCOMPARE(desktop->messages.size(), 1);
        QVERIFY(desktop->messages.first().startsWith(QString::fromUtf8("ホワイトボードの保存領域を越えて")));
        QCOMPARE(w->segments().at(5120).x2, 1800.0f);
        QCOMPARE(pixel(115, 100), QColor(Qt::black));
        QTest::mouseMove(s, QPoint(130, 100));
        QCOMPARE(pixel(125, 100), QColor(Qt::white));
        QCOMPARE(desktop->messages.size(), 1);
        QTest::mouseRelease(s, Qt::LeftButton, {}, QPoint(130, 100));

        // A received segment past the end overwrites the overflow slot and warns again.
        w->link().receiveText(u"FL45,45,60,60,7,0\r\n");
        QCOMPARE(w->segments().at(5120).color, 7);
        QCOMPARE(desktop->messages.size(), 2);

        // A full board saves 5120 lines.
        desktop->nextSave = path("full.wbd");
        menuItem(w, "menuSave")->trigger();
        QCOMPARE(readFile(path("full.wbd")).count("\r\n"), 5120);
    }

    void transferFreezesTheBoard()
    {
        state().transferActive = 1;
        auto *screen = w->findChild<QMenu *>(QStringLiteral("menuScreen"));
        auto *col = w->findChild<QMenu *>(QStringLiteral("menucol"));
        QVERIFY(
            waitFor([&] { return !screen->menuAction()->isEnabled() && !col->menuAction()->isEnabled(); }));
        stroke(surfaceOf(w), {{10, 10}, {20, 20}, {30, 30}});
        QCOMPARE(w->segments().count(), 0);
        w->link().receiveText(u"FL1500,900,1515,915,5,1\r\n");
        menuItem(w, "menuClear")->trigger();
        QCOMPARE(w->segments().count(), 1);
        menuItem(w, "menuClose")->trigger();
        w->close();
        QVERIFY(w && w->isVisible());
        state().transferActive = 0;
        QVERIFY(waitFor([&] { return screen->menuAction()->isEnabled() && col->menuAction()->isEnabled(); }));
    }

    void saveAndLoad()
    {
        // Cancelled dialogs touch nothing.
        menuItem(w, "menuSave")->trigger();
        menuItem(w, "menuLoad")->trigger();
        QCOMPARE(desktop->filters, QStringList(2, QStringLiteral("Wez WhiteBoard File(*.wbd)")));

        // An empty board gives an empty file; the ending is added unless it is exactly ".wbd".
        desktop->nextSave = path("X.WBD");
        menuItem(w, "menuSave")->trigger();
        QVERIFY(QFile::exists(path("X.WBD.wbd")));
        QVERIFY(!QFile::exists(path("X.WBD")));
        QCOMPARE(QFileInfo(path("X.WBD.wbd")).size(), 0);

        w->link().receiveText(u"FL1500,900,1515,915,5,1\r\nFL12.5,-30,0.1234567,3690,13,3\r\n");
        stroke(surfaceOf(w), {{10, 10}, {20, 20}});
        const QByteArray expected = "1500,900,1515,915,5,1,nxt\r\n12.5,-30,0.1234567,3690,13,3,nxt\r\n"
                                    "150,150,300,300,3,2,nxt\r\n";
        desktop->nextSave = path("board");
        menuItem(w, "menuSave")->trigger();
        QCOMPARE(readFile(path("board.wbd")), expected);
        const QImage drawn = w->picture();

        // Loading appends, draws and takes the colour of the last segment loaded; twice doubles.
        menuItem(w, "menuClear")->trigger();
        QVERIFY(desktop->questions.isEmpty()); // saved: nothing to ask
        QCOMPARE(w->segments().count(), 0);
        desktop->nextOpen = path("board.wbd");
        QSignalSpy finished(&rig->session, &WhiteboardSession::loadFinished);
        menuItem(w, "menuLoad")->trigger();
        QVERIFY(waitFor([&] { return finished.count() == 1; }));
        QCOMPARE(w->segments().count(), 3);
        QCOMPARE(w->picture(), drawn);
        QCOMPARE(w->colorIndex(), 3);
        menuItem(w, "menuLoad")->trigger();
        QVERIFY(waitFor([&] { return finished.count() == 2; }));
        QCOMPARE(w->segments().count(), 6);
        desktop->nextSave = path("twice.wbd");
        menuItem(w, "menuSave")->trigger();
        QCOMPARE(readFile(path("twice.wbd")), expected + expected);

        // Loading an empty file changes nothing.
        desktop->nextOpen = path("X.WBD.wbd");
        menuItem(w, "menuLoad")->trigger();
        QVERIFY(waitFor([&] { return finished.count() == 3; }));
        QCOMPARE(w->segments().count(), 6);
        QVERIFY(desktop->messages.isEmpty());
    }

    void badFilesAreReported()
    {
        // A cut-off last line: what came before it is loaded, the user is told.
        QVERIFY(writeFile(path("cut.wbd"), "30,30,600,600,9,1,nxt\r\n15,15,30\r\n"));
        desktop->nextOpen = path("cut.wbd");
        QSignalSpy finished(&rig->session, &WhiteboardSession::loadFinished);
        menuItem(w, "menuLoad")->trigger();
        QVERIFY(waitFor([&] { return finished.count() == 1; }));
        QCOMPARE(w->segments().count(), 1);
        QCOMPARE(w->colorIndex(), 9);
        QCOMPARE(desktop->messages.size(), 1);
        QVERIFY(desktop->messages.last().contains(path("cut.wbd")));

        // Unsound lines of a file are skipped, the rest load.
        QVERIFY(writeFile(path("odd.wbd"), "1,1,2,2,5,4,nxt\r\n1,1,2,2,99,1,nxt\r\n1,1,2,2,5,1,abc\r\n"));
        desktop->nextOpen = path("odd.wbd");
        menuItem(w, "menuLoad")->trigger();
        QVERIFY(waitFor([&] { return finished.count() == 2; }));
        QCOMPARE(w->segments().count(), 2);
        QCOMPARE(w->segments().at(1).marker, QStringLiteral("abc"));

        desktop->nextOpen = path("missing.wbd");
        menuItem(w, "menuLoad")->trigger();
        QCOMPARE(desktop->messages.size(), 2);
        desktop->nextSave = path("no/such/dir/x.wbd");
        menuItem(w, "menuSave")->trigger();
        QCOMPARE(desktop->messages.size(), 3);
        QVERIFY(desktop->messages.last().contains(path("no/such/dir/x.wbd")));
        QVERIFY(w && w->isVisible());
        QCOMPARE(w->segments().count(), 2);
    }

    void unsavedDrawingIsAskedAbout()
    {
        stroke(surfaceOf(w), {{10, 10}, {20, 20}});
        QVERIFY(w->hasUnsavedSegments());

        // "Yes" and then a cancelled save dialog keeps the board.
        desktop->answers = {1, 1, 1};
        menuItem(w, "menuClear")->trigger();
        QCOMPARE(desktop->questions.size(), 1);
        QCOMPARE(w->segments().count(), 1);
        w->close();
        QCOMPARE(desktop->questions.size(), 2);
        QVERIFY(w && w->isVisible());

        // "Yes" with a file saves, then clears.
        desktop->nextSave = path("kept.wbd");
        menuItem(w, "menuClear")->trigger();
        QCOMPARE(w->segments().count(), 0);
        QCOMPARE(readFile(path("kept.wbd")), QByteArray("150,150,300,300,3,2,nxt\r\n"));

        // "No" clears without saving.
        stroke(surfaceOf(w), {{10, 10}, {20, 20}});
        menuItem(w, "menuClear")->trigger();
        QCOMPARE(desktop->questions.size(), 4);
        QCOMPARE(w->segments().count(), 0);

        // A board holding only what was just loaded closes without a question; one with new drawing asks.
        stroke(surfaceOf(w), {{10, 10}, {20, 20}});
        menuItem(w, "menuClose")->trigger();
        QCOMPARE(desktop->questions.size(), 5);
        QVERIFY(waitFor([&] { return w.isNull(); }));
        QVERIFY(!state().isOpen(WindowNumber::WhiteboardWindow));
        QVERIFY(state().whiteboardPosition.left >= 0);
    }

    void copyPutsThePictureOnTheClipboard()
    {
        w->link().receiveText(u"FL1500,900,1515,915,5,1\r\n");
        desktop->clipboard = QStringLiteral("old");
        QImage copied;
        desktop->imageCopied = [&copied](const QImage &image) { copied = image; };
        menuItem(w, "menuCopy")->trigger();
        QCOMPARE(copied.convertToFormat(QImage::Format_RGB32), w->picture());
        QVERIFY(desktop->clipboard.isEmpty());
    }
};

QTEST_MAIN(TestWhiteboardWindow)
#include "test_whiteboard_window.moc"
