// Form4, "Wez WhiteBoard".
#include "whiteboard/whiteboardwindow.h"

#include "shell/desktop.h"
#include "whiteboard/whiteboardcanvas.h"
#include "whiteboard/whiteboardlink.h"
#include "whiteboard/whiteboardsession.h"
#include "whiteboard/whiteboardtables.h"

#include <QCloseEvent>
#include <QMenuBar>
#include <QPainter>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace whiteboard {

namespace {

const char *const kColorCaptions[] = {"白", "灰（薄）", "灰（濃)", "黒",   "ピンク", "赤", "肌色",
                                      "黄", "緑",       "青",      "水色", "薄紫",   "紫", "茶色"};
const char *const kWidthCaptions[] = {"極細", "細", "中", "太"};

QString text(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

qint16 twips16(int pixels)
{
    return qint16(std::clamp(pixels * kTwipsPerPixel, -32768, 32767));
}

} // namespace

WhiteboardWindow::WhiteboardWindow(WhiteboardSession &session, Desktop &desktop, QWidget *parent)
    : QWidget(parent, Qt::Tool), m_session(session), m_desktop(desktop),
      m_picture(kSurfaceWidthPx, kSurfaceHeightPx, QImage::Format_RGB32)
{
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(QStringLiteral("Wez WhiteBoard"));
    setAttribute(Qt::WA_DeleteOnClose);
    m_picture.fill(Qt::white);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    m_canvas = new WhiteboardCanvas(m_picture, this);
    buildMenus();
    layout->addWidget(m_canvas);
    connect(m_canvas, &WhiteboardCanvas::pressed, &m_session, &WhiteboardSession::penDown);
    connect(m_canvas, &WhiteboardCanvas::moved, this, &WhiteboardWindow::mouseMove);
    connect(m_canvas, &WhiteboardCanvas::released, &m_session, &WhiteboardSession::penUp);

    m_timer1 = new QTimer(this);
    m_timer1->setObjectName(QStringLiteral("Timer1"));
    connect(m_timer1, &QTimer::timeout, this, &WhiteboardWindow::tick);
    m_timer1->start(100);

    m_pen = QPen(Qt::black, kWidths[kDefaultWidthIndex], Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    connect(&m_session, &WhiteboardSession::segmentDrawn, this, &WhiteboardWindow::drawSegment);
    connect(&m_session, &WhiteboardSession::cleared, this, &WhiteboardWindow::eraseSurface);
    connect(&m_session, &WhiteboardSession::closed, this, &WhiteboardWindow::onClosed);
    // What the board already holds (segments that came before the window).
    for (qsizetype i = 0; i < m_session.segments().count(); ++i)
        drawSegment(m_session.segments().at(i));
}

WhiteboardWindow::~WhiteboardWindow()
{
    endPainting();
}

const SegmentStore &WhiteboardWindow::segments() const
{
    return m_session.segments();
}

WhiteboardLink &WhiteboardWindow::link()
{
    return *m_session.link();
}

int WhiteboardWindow::colorIndex() const
{
    return m_session.colorIndex();
}

int WhiteboardWindow::widthIndex() const
{
    return m_session.widthIndex();
}

bool WhiteboardWindow::isLoading() const
{
    return m_session.isLoading();
}

bool WhiteboardWindow::hasUnsavedSegments() const
{
    return m_session.hasUnsavedSegments();
}

void WhiteboardWindow::buildMenus()
{
    auto *bar = new QMenuBar(this);
    bar->setNativeMenuBar(false);
    layout()->setMenuBar(bar);

    m_menuScreen = bar->addMenu(text("操作"));
    m_menuScreen->setObjectName(QStringLiteral("menuScreen"));
    const struct {
        const char *name;
        const char *caption;
        void (*handler)(WhiteboardWindow *);
    } items[] = {
        {"menuCopy", "コピー", [](WhiteboardWindow *w) { w->copyPicture(); }},
        {"menuLoad", "読込み", [](WhiteboardWindow *w) { w->m_session.load(); }},
        {"menuSave", "保存", [](WhiteboardWindow *w) { w->m_session.save(); }},
        {"menuClear", "クリア", [](WhiteboardWindow *w) { w->m_session.clear(); }},
        {"menuClose", "閉じる",
         [](WhiteboardWindow *w) {
             if (!w->m_session.held()) w->close();
         }},
    };
    for (const auto &item : items) {
        QAction *action = m_menuScreen->addAction(text(item.caption));
        action->setObjectName(QLatin1String(item.name));
        connect(action, &QAction::triggered, this, [this, handler = item.handler] { handler(this); });
    }

    m_menuFutosa = bar->addMenu(text("太さ"));
    m_menuFutosa->setObjectName(QStringLiteral("menuFutosa"));
    for (int i = 0; i < 4; ++i) {
        QAction *action = m_menuFutosa->addAction(text(kWidthCaptions[i]));
        action->setObjectName(QStringLiteral("menuSlim"));
        action->setProperty("index", i);
        connect(action, &QAction::triggered, &m_session, [this, i] { m_session.chooseWidth(i); });
    }

    m_menucol = bar->addMenu(text("色"));
    m_menucol->setObjectName(QStringLiteral("menucol"));
    for (int i = 0; i < int(kColors.size()); ++i) {
        QAction *action = m_menucol->addAction(text(kColorCaptions[i]));
        action->setObjectName(QStringLiteral("menucolor"));
        action->setProperty("index", i);
        connect(action, &QAction::triggered, &m_session, [this, i] { m_session.chooseColor(i); });
    }
}

void WhiteboardWindow::mouseMove(QPointF position)
{
    m_session.penMove(float(position.x() * kTwipsPerPixel), float(position.y() * kTwipsPerPixel));
}

void WhiteboardWindow::setPenColor(int index)
{
    if (index < 0 || index > kMaxColorIndex) return;
    const Rgb &c = kColors[std::size_t(index)];
    m_pen.setColor(QColor(c.red, c.green, c.blue));
}

void WhiteboardWindow::drawSegment(const Segment &s)
{
    // Each segment carries its pen; a colour out of the table keeps the one before.
    m_pen.setWidth(kWidths[std::size_t(s.width)]);
    setPenColor(s.color);
    const QPointF from(s.x1 / kTwipsPerPixel, s.y1 / kTwipsPerPixel);
    const QPointF to(s.x2 / kTwipsPerPixel, s.y2 / kTwipsPerPixel);
    // One painter serves a whole burst of segments; it ends before the picture is shown or copied.
    if (!m_painter) m_painter = std::make_unique<QPainter>(&m_picture);
    m_painter->setPen(m_pen);
    m_painter->drawLine(from, to);
    const qreal pad = m_pen.widthF() / 2 + 2;
    markDirty(QRectF(from, to).normalized().adjusted(-pad, -pad, pad, pad).toAlignedRect());
}

void WhiteboardWindow::markDirty(const QRect &area)
{
    // One repaint for everything drawn before the next turn of the event loop: a dirty
    // region per segment costs more than the drawing itself when a file or a burst arrives.
    if (m_dirty.isEmpty())
        QMetaObject::invokeMethod(this, &WhiteboardWindow::repaintDirty, Qt::QueuedConnection);
    m_dirty |= area;
}

void WhiteboardWindow::repaintDirty()
{
    endPainting();
    m_canvas->update(m_dirty);
    m_dirty = QRect();
}

void WhiteboardWindow::endPainting() const
{
    m_painter.reset();
}

const QImage &WhiteboardWindow::picture() const
{
    endPainting();
    return m_picture;
}

void WhiteboardWindow::eraseSurface()
{
    endPainting();
    m_picture.fill(Qt::white);
    m_canvas->update();
}

void WhiteboardWindow::copyPicture()
{
    m_desktop.setClipboardImage(picture());
}

void WhiteboardWindow::closeEvent(QCloseEvent *event)
{
    // Closed by the session, or the session agrees to close (and then tells us).
    if (m_unloading || m_session.requestClose()) {
        event->accept();
        return;
    }
    event->ignore();
}

void WhiteboardWindow::onClosed()
{
    if (m_unloading) return;
    m_unloading = true;
    eraseSurface();
    m_session.recordPosition(twips16(x()), twips16(y()));
    m_timer1->stop();
    close();
}

void WhiteboardWindow::tick()
{
    const bool enabled = !m_session.held();
    m_menuScreen->menuAction()->setEnabled(enabled);
    m_menuFutosa->menuAction()->setEnabled(enabled);
    m_menucol->menuAction()->setEnabled(enabled);
}

} // namespace whiteboard
