// Form4, "Wez WhiteBoard".
#include "whiteboard/whiteboardwindow.h"

#include "shell/settingsfiles.h"
#include "whiteboard/whiteboardcanvas.h"
#include "whiteboard/whiteboardfiledialogs.h"
#include "whiteboard/whiteboardhost.h"
#include "whiteboard/whiteboardlink.h"
#include "whiteboard/whiteboardtables.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QFile>
#include <QGuiApplication>
#include <QMenuBar>
#include <QPainter>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace whiteboard {

namespace {

const char *const kColorCaptions[] = {"白", "灰（薄）", "灰（濃)", "黒",   "ピンク", "赤", "肌色",
                                      "黄", "緑",       "青",      "水色", "薄紫",   "紫", "茶色"};
const char *const kWidthCaptions[] = {"極細", "細", "中", "太"};

QString text(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

QString fileFilter()
{
    return QStringLiteral("Wez WhiteBoard File(*.wbd)");
}

QString overflowWarning()
{
    return text("ホワイトボードの保存領域を越えて書き込んでいます。一度[操作]-[クリア]"
                "を実行することをお勧めします。");
}

const QString crlf = QStringLiteral("\r\n");

// The mouse may be dragged far outside the board; keep every point within what a segment may hold.
float boundedCoordinate(double twips)
{
    return std::clamp(float(twips), -kMaxCoordinate, kMaxCoordinate);
}

qint16 twips16(int pixels)
{
    return qint16(std::clamp(pixels * kTwipsPerPixel, -32768, 32767));
}

} // namespace

WhiteboardWindow::WhiteboardWindow(WhiteboardHost &host, std::shared_ptr<WhiteboardFileDialogs> dialogs,
                                   QWidget *parent)
    : QWidget(parent, Qt::Tool), m_host(host),
      m_dialogs(dialogs ? std::move(dialogs) : std::make_shared<QtWhiteboardFileDialogs>()),
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
    connect(m_canvas, &WhiteboardCanvas::pressed, this, &WhiteboardWindow::mouseDown);
    connect(m_canvas, &WhiteboardCanvas::moved, this, &WhiteboardWindow::mouseMove);
    connect(m_canvas, &WhiteboardCanvas::released, this, &WhiteboardWindow::mouseUp);

    m_timer1 = new QTimer(this);
    m_timer1->setObjectName(QStringLiteral("Timer1"));
    connect(m_timer1, &QTimer::timeout, this, &WhiteboardWindow::tick);
    m_timer1->start(100);

    // Form_Load
    m_host.setWhiteboardWindowOpen(true);
    m_pen = QPen(Qt::black, kWidths[kDefaultWidthIndex], Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    m_prevX = 0;
    m_prevY = 0;
    m_colorIndex = kDefaultColorIndex;
    m_widthIndex = kDefaultWidthIndex;
    m_store.setOverflowHandler([this] { onOverflow(); });
    setupConnection();
}

WhiteboardWindow::~WhiteboardWindow()
{
    endPainting();
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
        void (WhiteboardWindow::*handler)();
    } items[] = {
        {"menuCopy", "コピー", &WhiteboardWindow::copyPicture},
        {"menuLoad", "読込み", &WhiteboardWindow::loadFile},
        {"menuSave", "保存", nullptr},
        {"menuClear", "クリア", &WhiteboardWindow::clearBoard},
        {"menuClose", "閉じる", &WhiteboardWindow::closeBoard},
    };
    for (const auto &item : items) {
        QAction *action = m_menuScreen->addAction(text(item.caption));
        action->setObjectName(QLatin1String(item.name));
        if (item.handler)
            connect(action, &QAction::triggered, this, item.handler);
        else
            connect(action, &QAction::triggered, this, [this] { saveFile(); });
    }

    m_menuFutosa = bar->addMenu(text("太さ"));
    m_menuFutosa->setObjectName(QStringLiteral("menuFutosa"));
    for (int i = 0; i < 4; ++i) {
        QAction *action = m_menuFutosa->addAction(text(kWidthCaptions[i]));
        action->setObjectName(QStringLiteral("menuSlim"));
        action->setProperty("index", i);
        connect(action, &QAction::triggered, this, [this, i] { chooseWidth(i); });
    }

    m_menucol = bar->addMenu(text("色"));
    m_menucol->setObjectName(QStringLiteral("menucol"));
    for (int i = 0; i < int(kColors.size()); ++i) {
        QAction *action = m_menucol->addAction(text(kColorCaptions[i]));
        action->setObjectName(QStringLiteral("menucolor"));
        action->setProperty("index", i);
        connect(action, &QAction::triggered, this, [this, i] { chooseColor(i); });
    }
}

void WhiteboardWindow::setupConnection()
{
    m_link = new WhiteboardLink(m_host.bindAddress(), this);
    m_link->setHoldPredicate([this] { return m_host.transferActive(); });
    connect(m_link, &WhiteboardLink::segmentReceived, this, &WhiteboardWindow::applyReceivedSegment);
    connect(m_link, &WhiteboardLink::clearReceived, this, &WhiteboardWindow::applyReceivedClear);
    if (m_host.whiteboardState() == 1) {
        m_link->listen(m_host.partnerAddress());
    } else {
        // On invitation the state is not 2 yet: this side connects to the partner.
        const QString partner = m_host.partnerAddress();
        if (!partner.isEmpty()) m_link->connectTo(partner);
    }
}

void WhiteboardWindow::mouseDown()
{
    if (m_host.transferActive()) return;
    m_mouseDown = true;
}

void WhiteboardWindow::mouseMove(QPointF position)
{
    if (m_host.transferActive() || !m_mouseDown) return;
    const float x = boundedCoordinate(position.x() * kTwipsPerPixel);
    const float y = boundedCoordinate(position.y() * kTwipsPerPixel);
    // X = 0 means there is no previous point: the first movement of a stroke only sets it.
    if (m_prevX != 0) {
        m_pen.setWidth(kWidths[std::size_t(m_widthIndex)]);
        setPenColor(m_colorIndex);
        Segment segment;
        segment.x1 = m_prevX;
        segment.y1 = m_prevY;
        segment.x2 = x;
        segment.y2 = y;
        segment.color = qint16(m_colorIndex);
        segment.width = qint16(m_widthIndex);
        segment.marker = nextMarker();
        drawSegment(segment);
        m_unsaved = true;
        m_store.recordSegment(segment);
        m_link->sendSegment(segment);
    }
    m_prevX = x;
    m_prevY = qint16(std::nearbyint(y));
}

void WhiteboardWindow::mouseUp()
{
    if (m_host.transferActive()) return;
    m_mouseDown = false;
    m_prevX = 0;
    m_prevY = 0;
}

void WhiteboardWindow::chooseColor(int index)
{
    m_prevX = 0;
    m_prevY = 0;
    m_colorIndex = index;
}

void WhiteboardWindow::chooseWidth(int index)
{
    m_prevX = 0;
    m_prevY = 0;
    m_widthIndex = index;
}

void WhiteboardWindow::setPenColor(int index)
{
    if (index < 0 || index > kMaxColorIndex) return;
    const Rgb &c = kColors[std::size_t(index)];
    m_pen.setColor(QColor(c.red, c.green, c.blue));
}

void WhiteboardWindow::drawSegment(const Segment &s)
{
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

void WhiteboardWindow::applyReceivedSegment(const Segment &segment)
{
    // The partner's pen; the local colour, width and stroke stay as they are.
    m_pen.setWidth(kWidths[std::size_t(segment.width)]);
    setPenColor(segment.color);
    drawSegment(segment);
    m_unsaved = true;
    m_store.recordSegment(segment);
}

void WhiteboardWindow::applyReceivedClear()
{
    eraseSurface();
    m_store.clear();
    m_unsaved = false;
}

void WhiteboardWindow::onOverflow()
{
    m_host.showMessage(overflowWarning());
    m_mouseDown = false;
}

void WhiteboardWindow::copyPicture()
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (!clipboard) return;
    clipboard->clear();
    clipboard->setImage(picture());
}

bool WhiteboardWindow::confirmDiscard()
{
    if (!hasUnsavedSegments()) return true;
    QPointer<WhiteboardWindow> self(this);
    const int answer = m_host.askYesNo(text("ホワイトボードに保存していない線があります。保存しますか？"));
    if (!self) return false;
    if (answer != 1) return true;
    return saveFile();
}

void WhiteboardWindow::clearBoard()
{
    if (m_host.transferActive()) return;
    QPointer<WhiteboardWindow> self(this);
    if (!confirmDiscard() || !self) return;
    m_link->sendClear();
    eraseSurface();
    m_store.clear();
    m_unsaved = false;
}

void WhiteboardWindow::closeBoard()
{
    if (m_host.transferActive()) return;
    close();
}

void WhiteboardWindow::closeByPartner()
{
    m_byPartner = true;
    close();
}

void WhiteboardWindow::closeEvent(QCloseEvent *event)
{
    if (m_unloading) {
        event->accept();
        return;
    }
    if (!m_byPartner) {
        if (m_host.transferActive()) {
            event->ignore();
            return;
        }
        QPointer<WhiteboardWindow> self(this);
        const bool discard = confirmDiscard();
        if (!self) return;
        // A partner that closed meanwhile closes this board whatever the answer was.
        if (!discard && !m_byPartner) {
            event->ignore();
            return;
        }
    }
    m_unloading = true;
    unload();
    event->accept();
}

void WhiteboardWindow::unload()
{
    // Nothing more is taken in or sent from a board that is going away.
    m_link->close();
    m_timer1->stop();
    m_loadQueue.clear();
    m_loading = false;

    m_host.setWhiteboardWindowOpen(false);
    eraseSurface();
    m_host.recordWhiteboardPosition(twips16(x()), twips16(y()));
    m_store.clear();
    m_unsaved = false;
    if (m_host.whiteboardState() != 0) {
        if (m_host.peerConnected()) m_host.sendPeerMessage(QStringLiteral("con 920"));
        m_host.waitForWhiteboardClosed();
    }
}

void WhiteboardWindow::tick()
{
    const bool enabled = !m_host.transferActive();
    m_menuScreen->menuAction()->setEnabled(enabled);
    m_menuFutosa->menuAction()->setEnabled(enabled);
    m_menucol->menuAction()->setEnabled(enabled);
    // Lines that waited in the socket during a transfer are applied now, in order.
    if (enabled) m_link->readPending();
}

bool WhiteboardWindow::saveFile()
{
    QPointer<WhiteboardWindow> self(this);
    const QString chosen = m_dialogs->saveFileName(this, fileFilter());
    if (!self || chosen.isEmpty()) return false;
    const QString name = wbdFileName(chosen);
    const QByteArray bytes = writeWbd(m_store);
    if (!settingsfiles::saveFile(name, bytes)) {
        m_host.showMessage(text("ファイルを保存できませんでした。") + crlf + name);
        return false;
    }
    m_unsaved = false;
    return true;
}

void WhiteboardWindow::loadFile()
{
    if (m_loading) return;
    QPointer<WhiteboardWindow> self(this);
    const QString name = m_dialogs->openFileName(this, fileFilter());
    if (!self || name.isEmpty()) return;
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly)) {
        m_host.showMessage(text("ファイルを開けませんでした。") + crlf + name);
        return;
    }
    const QByteArray bytes = file.read(kMaxWbdBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        m_host.showMessage(text("ファイルを読み込めませんでした。") + crlf + name);
        return;
    }
    if (bytes.size() > kMaxWbdBytes) {
        m_host.showMessage(text("ファイルが大きすぎるため読み込めません。") + crlf + name);
        return;
    }
    WbdContent content = parseWbd(bytes);
    m_loadQueue = std::move(content.records);
    m_loadNext = 0;
    m_loadTruncated = content.truncated;
    m_loadName = name;
    m_loading = true;
    applyNextLoaded();
}

void WhiteboardWindow::applyNextLoaded()
{
    if (!m_loading) return;
    if (m_loadNext < m_loadQueue.size()) {
        const WbdRecord &r = m_loadQueue.at(m_loadNext++);
        if (const auto segment = makeSegment(r.x1, r.y1, r.x2, r.y2, r.color, r.width, r.marker)) {
            m_pen.setWidth(kWidths[std::size_t(segment->width)]);
            m_colorIndex = segment->color;
            setPenColor(m_colorIndex);
            drawSegment(*segment);
            m_link->sendSegment(*segment);
            m_store.recordSegment(*segment);
        }
        // One segment at a time: the picture repaints and socket and timer events run in between.
        QTimer::singleShot(0, this, &WhiteboardWindow::applyNextLoaded);
        return;
    }
    m_loadQueue.clear();
    m_loading = false;
    if (m_loadTruncated)
        m_host.showMessage(
            text("ファイルの最後の行が途中で終わっています。読み込めた線だけを表示しました。") + crlf +
            m_loadName);
    Q_EMIT loadFinished();
}

} // namespace whiteboard
