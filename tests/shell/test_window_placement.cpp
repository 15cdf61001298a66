// Where windows open: a saved place that is unset or on no screen centres the
// window, one on a screen is kept (pulled in at the edge); a window that sits
// beside another finds room around it, else keeps clear of its top.
#include "shell/windowplacement.h"

#include <QApplication>
#include <QScreen>
#include <QTest>
#include <QWidget>

using placement::kTwipsPerPixel;

namespace {

WindowPosition twips(int x, int y)
{
    return {int16_t(x * kTwipsPerPixel), int16_t(y * kTwipsPerPixel)};
}

} // namespace

class TestWindowPlacement : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void savedPlacesOnNoScreenAreCentred()
    {
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        const QRect whole = QGuiApplication::primaryScreen()->geometry();
        QWidget w;
        w.resize(300, 200);
        QRect centred(QPoint(), w.size());
        centred.moveCenter(screen.center());

        const WindowPosition unset{};
        const WindowPosition beyond = twips(whole.right() + 100, 100);
        const WindowPosition above = twips(100, -400);
        const WindowPosition farAway{32767, 32767};
        for (const WindowPosition &p : {unset, beyond, above, farAway}) {
            w.move(1, 1);
            placement::moveTo(&w, p);
            QCOMPARE(w.pos(), centred.topLeft());
        }

        // On a screen: kept as saved.
        placement::moveTo(&w, twips(100, 120));
        QCOMPARE(w.pos(), QPoint(100, 120));
        // Reaching past the screen's right and bottom edges: pulled back onto it.
        placement::moveTo(&w, twips(screen.right() - 50, screen.bottom() - 20));
        QCOMPARE(w.pos(), QPoint(screen.right() + 1 - 300, screen.bottom() + 1 - 200));
    }

    void besideFindsRoomAroundTheAnchor()
    {
        const QRect area(0, 0, 1000, 800);
        const QSize size(200, 100);
        const struct {
            QRect anchor;
            QPoint expected;
        } cases[] = {
            {{100, 100, 400, 300}, {502, 100}}, // right
            {{700, 100, 300, 300}, {498, 100}}, // left
            {{0, 100, 1000, 300}, {800, 402}},  // below
            {{0, 500, 1000, 300}, {800, 398}},  // above
        };
        for (const auto &c : cases) {
            const QPoint p = placement::besidePosition(c.anchor, size, area);
            QCOMPARE(p, c.expected);
            QVERIFY(!QRect(p, size).intersects(c.anchor));
        }
        // No room around it: inside its lower right, clear of its top (menu and newest line).
        const QPoint p = placement::besidePosition(area, size, area);
        QCOMPARE(p, QPoint(800, 700));
        QVERIFY(!QRect(p, size).intersects(QRect(0, 0, 1000, 200)));
    }
};

QTEST_MAIN(TestWindowPlacement)
#include "test_window_placement.moc"
