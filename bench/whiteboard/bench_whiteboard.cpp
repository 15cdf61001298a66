// Whiteboard figures, each against a reference measured in the same run:
// - applying 5,120 received "FL" lines (split, parse, check, draw, record)
//   against drawing the same 5,120 lines with QPainter on an image of the
//   same size;
// - the time from a mouse movement on one board to the segment drawn on the
//   partner's board over loopback, against a raw TCP line sent one way over
//   the same loopback in the same event loop.
#include "boardrig.h"
#include "testsupport.h"
#include "whiteboard/whiteboardline.h"
#include "whiteboard/whiteboardlink.h"
#include "whiteboard/whiteboardtables.h"
#include "whiteboard/whiteboardwindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
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

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void report(const char *name, double value, const char *unit, double reference)
{
    std::printf("bench: %s %.3f %s reference %.3f %s ratio %.2f\n", name, value, unit, reference, unit,
                reference > 0 ? value / reference : 0.0);
    std::fflush(stdout);
}

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
    std::vector<double> ours, reference;
    for (int run = 0; run < kRuns; ++run) {
        board->link().receiveText(u"CL\r\n");
        QCoreApplication::processEvents();
        QElapsedTimer t;
        t.start();
        board->link().receiveText(text);
        ours.push_back(double(t.nsecsElapsed()) / 1e6);
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
        reference.push_back(double(t.nsecsElapsed()) / 1e6);
        if (run == 0 && image != board->picture())
            std::fprintf(stderr, "bench: the board's picture differs from the reference drawing\n");
    }
    rig.session.dropWindow();
    QCoreApplication::processEvents();
    report("whiteboard-apply-5120-lines", median(ours), "ms", median(reference));
}

// Runs events until `done` holds; false after 2 s.
bool runUntil(const std::function<bool()> &done)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > 2000) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return true;
}

void mouseToPixel()
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
    auto send = [&](QEvent::Type type, QPointF p) {
        QMouseEvent e(type, p, surface->mapToGlobal(p),
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(surface, &e);
    };
    std::vector<double> ours;
    send(QEvent::MouseButtonPress, QPointF(20, 20));
    send(QEvent::MouseMove, QPointF(20, 20));
    for (int i = 0; i < kPings; ++i) {
        if (b->segments().count() >= 5000) {
            // Keep clear of the store's end: a fresh stroke on a cleared board.
            send(QEvent::MouseButtonRelease, QPointF(20, 20));
            b->link().receiveText(u"CL\r\n");
            send(QEvent::MouseButtonPress, QPointF(20, 20));
            send(QEvent::MouseMove, QPointF(20, 20));
        }
        const int before = b->segments().count();
        const QPointF p(20 + (i % 300), 20 + (i % 2) * 30);
        QElapsedTimer t;
        t.start();
        send(QEvent::MouseMove, p);
        if (!runUntil([&] { return b->segments().count() > before; })) {
            std::fprintf(stderr, "bench: a segment did not arrive\n");
            return;
        }
        ours.push_back(double(t.nsecsElapsed()) / 1e3);
    }
    send(QEvent::MouseButtonRelease, QPointF(20, 20));
    rigA.session.dropWindow();
    rigB.session.dropWindow();
    QCoreApplication::processEvents();

    // The same line one way over a raw connection between the same addresses.
    QTcpServer server;
    server.listen(testsupport::loopback(4), 0);
    QTcpSocket client;
    client.bind(testsupport::loopback(5));
    client.connectToHost(server.serverAddress(), server.serverPort());
    QTcpSocket *peer = nullptr;
    runUntil(
        [&] { return client.state() == QAbstractSocket::ConnectedState && server.hasPendingConnections(); });
    peer = server.nextPendingConnection();
    client.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    std::vector<double> reference;
    const QByteArray line = "FL300,300,315,750,3,2\r\n";
    for (int i = 0; i < kPings && peer; ++i) {
        QElapsedTimer t;
        t.start();
        client.write(line);
        qint64 got = 0;
        runUntil([&] {
            got += peer->readAll().size();
            return got >= line.size();
        });
        reference.push_back(double(t.nsecsElapsed()) / 1e3);
    }
    report("whiteboard-mouse-to-partner-pixel", median(ours), "us", median(reference));
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    applyReceivedLines();
    mouseToPixel();
    return 0;
}
