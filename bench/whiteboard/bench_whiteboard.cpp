// Whiteboard figures, each against a reference measured in the same run:
// - applying 5,120 received "FL" lines (split, parse, check, draw, record)
//   against drawing the same 5,120 lines with QPainter on an image of the
//   same size;
// - the time from a mouse movement on one board until the partner's board has
//   painted the new segment on screen (loopback), against a raw TCP line sent
//   one way over loopback whose receiver draws it and paints a plain widget of
//   the board's size, in the same event loop.
// Each figure is the median of its rounds, with the spread.
#include "boardrig.h"
#include "rounds.h"
#include "testsupport.h"
#include "whiteboard/whiteboardline.h"
#include "whiteboard/whiteboardlink.h"
#include "whiteboard/whiteboardtables.h"
#include "whiteboard/whiteboardwindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace whiteboard;

namespace {

constexpr int kSegments = 5120;
constexpr int kRuns = 7;
constexpr int kPings = 300;

// Strokes as a hand draws them: short steps, now and then a new colour or pen.
std::vector<Segment> strokes()
{
    QRandomGenerator random(1202);
    std::vector<Segment> out;
    int x = 200, y = 120, color = 3, width = 2;
    while (int(out.size()) < kSegments) {
        if (random.bounded(40) == 0) {
            color = int(random.bounded(14));
            width = int(random.bounded(4));
            x = int(random.bounded(kSurfaceWidthPx));
            y = int(random.bounded(kSurfaceHeightPx));
        }
        const int nx = std::clamp(x + int(random.bounded(13)) - 6, 1, kSurfaceWidthPx - 1);
        const int ny = std::clamp(y + int(random.bounded(13)) - 6, 1, kSurfaceHeightPx - 1);
        Segment s;
        s.x1 = float(x * kTwipsPerPixel);
        s.y1 = float(y * kTwipsPerPixel);
        s.x2 = float(nx * kTwipsPerPixel);
        s.y2 = float(ny * kTwipsPerPixel);
        s.color = qint16(color);
        s.width = qint16(width);
        s.marker = nextMarker();
        out.push_back(s);
        x = nx, y = ny;
    }
    return out;
}

void applyReceivedLines()
{
    const std::vector<Segment> segments = strokes();
    QString text;
    for (const Segment &s : segments)
        text += encodeSegmentLine(s);

    BoardRig rig(testsupport::loopback(2)); // no partner: the board works alone
    rig.open();
    auto *board = new whiteboard::WhiteboardWindow(rig.session, rig.desktop);
    board->show();
    bench::Rounds ours, reference;
    for (int run = 0; run < kRuns; ++run) {
        board->link().receiveText(u"CL\r\n");
        QCoreApplication::processEvents();
        QElapsedTimer t;
        t.start();
        board->link().receiveText(text);
        ours.add(double(t.nsecsElapsed()) / 1e6);
        if (board->segments().count() != kSegments)
            std::fprintf(stderr, "bench: only %d segments recorded\n", board->segments().count());
        QCoreApplication::processEvents();

        QImage image(kSurfaceWidthPx, kSurfaceHeightPx, QImage::Format_RGB32);
        image.fill(Qt::white);
        t.restart();
        {
            QPainter painter(&image);
            for (const Segment &s : segments) {
                const Rgb &c = kColors[std::size_t(s.color)];
                painter.setPen(QPen(QColor(c.red, c.green, c.blue), kWidths[std::size_t(s.width)],
                                    Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
                painter.drawLine(QPointF(s.x1 / kTwipsPerPixel, s.y1 / kTwipsPerPixel),
                                 QPointF(s.x2 / kTwipsPerPixel, s.y2 / kTwipsPerPixel));
            }
        }
        reference.add(double(t.nsecsElapsed()) / 1e6);
        if (run == 0 && image != board->picture())
            std::fprintf(stderr, "bench: the board's picture differs from the reference drawing\n");
    }
    rig.session.dropWindow();
    QCoreApplication::processEvents();
    bench::report("whiteboard-apply-5120-lines", ours, reference, "ms");
}

// Runs events until `done` holds; false after `limitMs`.
bool runUntil(const std::function<bool()> &done, int limitMs = 2000)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > limitMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return true;
}

// Counts the paint events a widget receives; by the time the event loop
// returns, the paint it counted has been done.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget *w) { w->installEventFilter(this); }
    int paints = 0;

protected:
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QEvent::Paint) ++paints;
        return false;
    }
};

// The reference receiver: draws a received "FL" line into a picture of the
// board's size and paints it on a plain widget.
class PlainSurface : public QWidget {
public:
    PlainSurface() : picture(kSurfaceWidthPx, kSurfaceHeightPx, QImage::Format_RGB32)
    {
        picture.fill(Qt::white);
        resize(picture.size());
    }
    void draw(const QByteArray &line)
    {
        const QList<QByteArray> f = line.mid(2).trimmed().split(',');
        if (f.size() < 4) return;
        const QPointF from = QPointF(f[0].toDouble(), f[1].toDouble()) / kTwipsPerPixel;
        const QPointF to = QPointF(f[2].toDouble(), f[3].toDouble()) / kTwipsPerPixel;
        QPainter painter(&picture);
        painter.setPen(QPen(Qt::black, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawLine(from, to);
        // Only the line's own rectangle, as a drawing board repaints.
        update(QRectF(from, to).normalized().toAlignedRect().adjusted(-2, -2, 2, 2));
    }
    QImage picture;

protected:
    void paintEvent(QPaintEvent *e) override { QPainter(this).drawImage(e->rect(), picture, e->rect()); }
};

void mouseToPartnerPaint()
{
    BoardRig rigA(testsupport::loopback(2)), rigB(testsupport::loopback(3));
    rigA.open(true);
    rigB.open();
    rigB.session.link()->connectTo(testsupport::loopback(2).toString());
    auto *a = new whiteboard::WhiteboardWindow(rigA.session, rigA.desktop);
    auto *b = new whiteboard::WhiteboardWindow(rigB.session, rigB.desktop);
    a->show();
    b->show();
    if (!runUntil([&] { return a->link().isConnected() && b->link().isConnected(); })) {
        std::fprintf(stderr, "bench: the boards did not connect\n");
        return;
    }
    QWidget *surface = a->findChild<QWidget *>(QStringLiteral("surface"));
    PaintCounter partnerPaints(b->findChild<QWidget *>(QStringLiteral("surface")));
    auto send = [&](QEvent::Type type, QPointF p) {
        QMouseEvent e(type, p, surface->mapToGlobal(p),
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(surface, &e);
    };
    bench::Rounds ours;
    send(QEvent::MouseButtonPress, QPointF(20, 20));
    send(QEvent::MouseMove, QPointF(20, 20));
    runUntil([] { return false; }, 100); // the first stroke's paints settle
    for (int i = 0; i < kPings; ++i) {
        if (b->segments().count() >= 5000) {
            // Keep clear of the store's end: a fresh stroke on a cleared board.
            send(QEvent::MouseButtonRelease, QPointF(20, 20));
            b->link().receiveText(u"CL\r\n");
            send(QEvent::MouseButtonPress, QPointF(20, 20));
            send(QEvent::MouseMove, QPointF(20, 20));
            runUntil([] { return false; }, 100);
        }
        const int before = b->segments().count();
        const int paintsBefore = partnerPaints.paints;
        const QPointF p(20 + (i % 300), 20 + (i % 2) * 30);
        QElapsedTimer t;
        t.start();
        send(QEvent::MouseMove, p);
        if (!runUntil(
                [&] { return b->segments().count() > before && partnerPaints.paints > paintsBefore; })) {
            std::fprintf(stderr, "bench: a segment did not arrive or was not painted\n");
            return;
        }
        ours.add(double(t.nsecsElapsed()) / 1e3);
    }
    send(QEvent::MouseButtonRelease, QPointF(20, 20));
    rigA.session.dropWindow();
    rigB.session.dropWindow();
    QCoreApplication::processEvents();

    // The same line one way over a raw connection between two other addresses,
    // drawn and painted by a plain widget.
    QTcpServer server;
    server.listen(testsupport::loopback(4), 0);
    QTcpSocket client;
    client.bind(testsupport::loopback(5));
    client.connectToHost(server.serverAddress(), server.serverPort());
    runUntil(
        [&] { return client.state() == QAbstractSocket::ConnectedState && server.hasPendingConnections(); });
    QTcpSocket *peer = server.nextPendingConnection();
    client.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    PlainSurface plain;
    plain.show();
    PaintCounter plainPaints(&plain);
    runUntil([] { return false; }, 100);
    bench::Rounds reference;
    for (int i = 0; i < kPings && peer; ++i) {
        const QByteArray line =
            QStringLiteral("FL%1,300,%2,750,3,2\r\n").arg(300 + i % 300).arg(315 + i % 300).toLatin1();
        const int paintsBefore = plainPaints.paints;
        QElapsedTimer t;
        t.start();
        client.write(line);
        QByteArray got;
        bool drawn = false;
        runUntil([&] {
            if (!drawn) {
                got += peer->readAll();
                if (got.size() < line.size()) return false;
                plain.draw(got);
                drawn = true;
            }
            return plainPaints.paints > paintsBefore;
        });
        reference.add(double(t.nsecsElapsed()) / 1e3);
    }
    bench::report("whiteboard-mouse-to-partner-paint", ours, reference, "us");
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    applyReceivedLines();
    mouseToPartnerPaint();
    return 0;
}
