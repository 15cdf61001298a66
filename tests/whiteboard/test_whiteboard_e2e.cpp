// The whiteboard inside a real chat between two clients: opened from the chat
// window, strokes mirrored slot for slot and pixel for pixel in both
// directions, and closed on both sides by either one.
#include "clienthelpers.h"

#include "boardhelpers.h"

#include "whiteboard/whiteboardlink.h"
#include "whiteboard/whiteboardwindow.h"

using namespace testsupport;
using namespace clienttest;
using namespace boardtest;

class TestWhiteboardE2e : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void drawTogetherThenClose()
    {
        QTemporaryDir dirA, dirB;
        auto a = startClient(dirA.path(), 2, QString::fromUtf8("太郎"));
        auto b = startClient(dirB.path(), 3, QString::fromUtf8("花子"));
        QVERIFY(startChat(*a, *b));

        click(windows(*a).chatWindow(), "Command2");
        QVERIFY(waitFor([&] { return windows(*a).whiteboardWindow() && windows(*b).whiteboardWindow(); }));
        auto *boardA = windows(*a).whiteboardWindow();
        auto *boardB = windows(*b).whiteboardWindow();
        QCOMPARE(a->core().state().whiteboardState, int16_t(1));
        QCOMPARE(b->core().state().whiteboardState, int16_t(2));
        QVERIFY(waitFor([&] { return boardA->link().isConnected() && boardB->link().isConnected(); }));

        stroke(surfaceOf(boardA), {{20, 20}, {60, 40}, {120, 90}, {200, 100}});
        QVERIFY(boardA->segments().count() >= 2);
        QVERIFY(waitFor([&] { return boardB->segments().count() == boardA->segments().count(); }));
        QVERIFY(sameSegments(boardA->segments(), boardB->segments()));
        QVERIFY(waitFor([&] { return boardA->picture() == boardB->picture(); }));

        stroke(surfaceOf(boardB), {{300, 200}, {310, 150}, {380, 30}});
        QVERIFY(waitFor([&] { return boardA->segments().count() == boardB->segments().count(); }));
        QVERIFY(sameSegments(boardA->segments(), boardB->segments()));
        QVERIFY(waitFor([&] { return boardA->picture() == boardB->picture(); }));
        QVERIFY(boardA->picture() != QImage(boardA->picture().size(), boardA->picture().format()));

        // B closes: it is asked about its unsaved lines, then both boards go.
        onQuestion(*b, answerNo);
        boardB->close();
        QVERIFY(waitFor([&] { return !windows(*a).whiteboardWindow() && !windows(*b).whiteboardWindow(); }));
        QVERIFY(waitFor([&] {
            return a->core().state().whiteboardState == 0 && b->core().state().whiteboardState == 0;
        }));
        // The chat goes on.
        QVERIFY(windows(*a).chatWindow() && windows(*b).chatWindow());
    }
};

QTEST_MAIN(TestWhiteboardE2e)
#include "test_whiteboard_e2e.moc"
