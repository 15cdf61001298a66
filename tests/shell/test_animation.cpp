// The entrance window's animation: it moves while its window is on screen and
// paints nothing at all while the window is hidden or minimised.
#include "shell/animationwidget.h"
#include "testsupport.h"

#include <QImage>
#include <QTest>
#include <QVBoxLayout>

using namespace testsupport;

namespace {

// Counts the paint events a widget receives.
class PaintCounter final : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
};

} // namespace

class TestAnimation final : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void runsOnlyWhileOnScreen()
    {
        QWidget window;
        auto *animation = new AnimationWidget(&window);
        (new QVBoxLayout(&window))->addWidget(animation);
        PaintCounter counter;
        animation->installEventFilter(&counter);
        QVERIFY(!animation->isRunning());

        window.show();
        QVERIFY(waitFor([&] { return animation->isRunning(); }));
        // The balloons move: the picture changes from one frame to a later one.
        const QImage first = animation->grab().toImage();
        QVERIFY(waitFor([&] { return animation->grab().toImage() != first; }, 5000));

        window.showMinimized();
        QVERIFY(waitFor([&] { return !animation->isRunning(); }));
        counter.paints = 0;
        QVERIFY(holdsFor([&] { return counter.paints == 0; }, 700));

        window.showNormal();
        QVERIFY(waitFor([&] { return animation->isRunning(); }));
        QVERIFY(waitFor([&] { return counter.paints > 0; }));

        window.hide();
        QVERIFY(waitFor([&] { return !animation->isRunning(); }));
        counter.paints = 0;
        QVERIFY(holdsFor([&] { return counter.paints == 0; }, 700));
    }

    void followsItsSize()
    {
        // Pictures drawn for one height are drawn again for another: the sky
        // fills the whole widget, with nothing of the old size left at its edge.
        AnimationWidget animation;
        animation.resize(340, 60);
        animation.show();
        QVERIFY(waitFor([&] { return animation.isRunning(); }));
        animation.resize(420, 96);
        const QImage frame = animation.grab().toImage();
        QCOMPARE(frame.size(), QSize(420, 96) * frame.devicePixelRatio());
        const QColor bottomRight = frame.pixelColor(frame.width() - 1, frame.height() - 1);
        QVERIFY2(qAbs(bottomRight.blue() - 0xf7) <= 4, qPrintable(bottomRight.name()));
    }
};

QTEST_MAIN(TestAnimation)
#include "test_animation.moc"
