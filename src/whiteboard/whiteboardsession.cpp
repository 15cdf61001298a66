#include "whiteboard/whiteboardsession.h"

#include "peer/peerlink.h"
#include "shell/clientcore.h"
#include "shell/settingsfiles.h"
#include "whiteboard/whiteboardlink.h"
#include "whiteboard/whiteboardtables.h"

#include <QEventLoop>
#include <QFile>

#include <algorithm>
#include <cmath>

namespace whiteboard {

namespace {

QString text(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

QString fileFilter()
{
    return QStringLiteral("Wez WhiteBoard File(*.wbd)");
}

const QString crlf = QStringLiteral("\r\n");

// The mouse may be dragged far outside the board; keep every point within what a segment may hold.
float bounded(float twips)
{
    return std::clamp(twips, -kMaxCoordinate, kMaxCoordinate);
}

} // namespace

WhiteboardSession::WhiteboardSession(ClientCore &core, PeerLink &link, QObject *parent)
    : QObject(parent), m_core(core), m_link(link)
{
    connect(&link, &PeerLink::whiteboardOpenedByPartner, this, [this] {
        setWhiteboardState(2);
        if (!m_running) start();
        Q_EMIT showRequested();
    });
    connect(&link, &PeerLink::whiteboardCloseRequested, this, [this] {
        setWhiteboardState(0);
        finish();
    });
    connect(&link, &PeerLink::whiteboardClosedByPartner, this, [this] { setWhiteboardState(0); });
    m_store.setOverflowHandler([this] {
        m_core.desktop().showMessage(
            text("ホワイトボードの保存領域を越えて書き込んでいます。一度[操作]-[クリア]"
                 "を実行することをお勧めします。"));
        m_penDown = false;
        Q_EMIT strokeBroken();
    });
    // Lines that waited in the socket during a transfer are applied once it is over, in order.
    m_tick.setInterval(100);
    connect(&m_tick, &QTimer::timeout, this, [this] {
        if (m_boardLink && !held()) m_boardLink->readPending();
    });
}

WhiteboardSession::~WhiteboardSession() = default;

int WhiteboardSession::whiteboardState() const
{
    return m_core.state().whiteboardState;
}

void WhiteboardSession::setWhiteboardState(int state)
{
    m_core.state().whiteboardState = int16_t(state);
}

bool WhiteboardSession::held() const
{
    return m_core.state().transferActive == 1;
}

void WhiteboardSession::open()
{
    m_link.send(QStringLiteral("con 910"));
    setWhiteboardState(1);
    if (!m_running) start();
    Q_EMIT showRequested();
}

void WhiteboardSession::closeWithoutHandshake()
{
    if (whiteboardState() == 0) return;
    setWhiteboardState(0);
    finish();
}

void WhiteboardSession::dropWindow()
{
    finish();
}

void WhiteboardSession::start()
{
    m_running = true;
    m_core.state().setOpen(WindowNumber::WhiteboardWindow, true);
    m_prevX = 0;
    m_prevY = 0;
    m_colorIndex = kDefaultColorIndex;
    m_widthIndex = kDefaultWidthIndex;
    m_boardLink = new WhiteboardLink(m_core.bindAddress(), this);
    m_boardLink->setHoldPredicate([this] { return held(); });
    connect(m_boardLink, &WhiteboardLink::segmentReceived, this, [this](const Segment &segment) {
        // The partner's pen; the local colour, width and stroke stay as they are.
        Q_EMIT segmentDrawn(segment);
        record(segment);
    });
    connect(m_boardLink, &WhiteboardLink::clearReceived, this, [this] {
        m_store.clear();
        m_unsaved = false;
        Q_EMIT cleared();
    });
    const QString partner = m_core.winsock1().remoteHostIP();
    if (whiteboardState() == 1) {
        m_boardLink->listen(partner);
    } else if (!partner.isEmpty()) {
        // On invitation this side connects to the partner.
        m_boardLink->connectTo(partner);
    }
    m_tick.start();
}

void WhiteboardSession::finish()
{
    if (!m_running) return;
    m_running = false;
    // Nothing more is taken in or sent from a board that is going away.
    m_tick.stop();
    if (m_boardLink) {
        m_boardLink->close();
        m_boardLink->deleteLater();
        m_boardLink = nullptr;
    }
    m_loadQueue.clear();
    m_loading = false;
    m_penDown = false;
    m_core.state().setOpen(WindowNumber::WhiteboardWindow, false);
    m_store.clear();
    m_unsaved = false;
    Q_EMIT closed();
    if (whiteboardState() != 0) {
        m_link.send(QStringLiteral("con 920"));
        waitForWhiteboardClosed();
    }
}

bool WhiteboardSession::waitForWhiteboardClosed(int ms)
{
    if (whiteboardState() == 0) return true;
    QEventLoop loop;
    auto check = [this, &loop] {
        if (whiteboardState() == 0 || !m_link.connected()) loop.quit();
    };
    connect(&m_link, &PeerLink::whiteboardClosedByPartner, &loop, check, Qt::QueuedConnection);
    connect(&m_link, &PeerLink::whiteboardCloseRequested, &loop, check, Qt::QueuedConnection);
    connect(&m_link, &PeerLink::partnerLeftChat, &loop, check, Qt::QueuedConnection);
    connect(&m_core.winsock1(), &Endpoint::stateChanged, &loop, check, Qt::QueuedConnection);
    QTimer poll;
    connect(&poll, &QTimer::timeout, &loop, check);
    poll.start(100);
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    check();
    if (whiteboardState() != 0 && m_link.connected()) loop.exec();
    const bool answered = whiteboardState() == 0;
    if (!answered) setWhiteboardState(0);
    return answered;
}

void WhiteboardSession::record(const Segment &segment)
{
    m_unsaved = true;
    m_store.recordSegment(segment);
}

void WhiteboardSession::penDown()
{
    if (held()) return;
    m_penDown = true;
}

void WhiteboardSession::penMove(float xTwips, float yTwips)
{
    if (held() || !m_penDown) return;
    const float x = bounded(xTwips);
    const float y = bounded(yTwips);
    // X = 0 means there is no previous point: the first movement of a stroke only sets it.
    if (m_prevX != 0) {
        Segment segment;
        segment.x1 = m_prevX;
        segment.y1 = m_prevY;
        segment.x2 = x;
        segment.y2 = y;
        segment.color = qint16(m_colorIndex);
        segment.width = qint16(m_widthIndex);
        segment.marker = nextMarker();
        Q_EMIT segmentDrawn(segment);
        record(segment);
        if (m_boardLink) m_boardLink->sendSegment(segment);
    }
    m_prevX = x;
    m_prevY = qint16(std::nearbyint(y));
}

void WhiteboardSession::penUp()
{
    if (held()) return;
    m_penDown = false;
    m_prevX = 0;
    m_prevY = 0;
}

void WhiteboardSession::chooseColor(int index)
{
    m_prevX = 0;
    m_prevY = 0;
    m_colorIndex = index;
}

void WhiteboardSession::chooseWidth(int index)
{
    m_prevX = 0;
    m_prevY = 0;
    m_widthIndex = index;
}

bool WhiteboardSession::confirmDiscard()
{
    if (!hasUnsavedSegments()) return true;
    QPointer<WhiteboardSession> self(this);
    const int answer =
        m_core.desktop().askYesNo(text("ホワイトボードに保存していない線があります。保存しますか？"));
    if (!self) return false;
    if (answer != 1) return true;
    return save();
}

void WhiteboardSession::clear()
{
    if (held()) return;
    QPointer<WhiteboardSession> self(this);
    if (!confirmDiscard() || !self || !m_running) return;
    if (m_boardLink) m_boardLink->sendClear();
    m_store.clear();
    m_unsaved = false;
    Q_EMIT cleared();
}

bool WhiteboardSession::requestClose()
{
    if (held()) return false;
    QPointer<WhiteboardSession> self(this);
    const bool discard = confirmDiscard();
    if (!self) return false;
    // A partner that closed meanwhile has closed this board whatever the answer was.
    if (!m_running) return true;
    if (!discard) return false;
    finish();
    return true;
}

void WhiteboardSession::recordPosition(qint16 leftTwips, qint16 topTwips)
{
    m_core.state().whiteboardPosition = {leftTwips, topTwips};
}

bool WhiteboardSession::save()
{
    QPointer<WhiteboardSession> self(this);
    const QString chosen = m_core.desktop().getSaveTarget(fileFilter());
    if (!self || chosen.isEmpty()) return false;
    const QString name = wbdFileName(chosen);
    const QByteArray bytes = writeWbd(m_store);
    if (!settingsfiles::saveFile(name, bytes)) {
        m_core.desktop().showMessage(text("ファイルを保存できませんでした。") + crlf + name);
        return false;
    }
    m_unsaved = false;
    return true;
}

void WhiteboardSession::load()
{
    if (m_loading) return;
    QPointer<WhiteboardSession> self(this);
    const QString name = m_core.desktop().getOpenFileName(QString(), fileFilter());
    if (!self || name.isEmpty() || !m_running) return;
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly)) {
        m_core.desktop().showMessage(text("ファイルを開けませんでした。") + crlf + name);
        return;
    }
    const QByteArray bytes = file.read(kMaxWbdBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        m_core.desktop().showMessage(text("ファイルを読み込めませんでした。") + crlf + name);
        return;
    }
    if (bytes.size() > kMaxWbdBytes) {
        m_core.desktop().showMessage(text("ファイルが大きすぎるため読み込めません。") + crlf + name);
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

void WhiteboardSession::applyNextLoaded()
{
    if (!m_loading) return;
    if (m_loadNext < m_loadQueue.size()) {
        const WbdRecord &r = m_loadQueue.at(m_loadNext++);
        if (const auto segment = makeSegment(r.x1, r.y1, r.x2, r.y2, r.color, r.width, r.marker)) {
            m_colorIndex = segment->color;
            Q_EMIT segmentDrawn(*segment);
            if (m_boardLink) m_boardLink->sendSegment(*segment);
            m_store.recordSegment(*segment);
        }
        // One segment at a time: the picture repaints and socket and timer events run in between.
        QTimer::singleShot(0, this, &WhiteboardSession::applyNextLoaded);
        return;
    }
    m_loadQueue.clear();
    m_loading = false;
    if (m_loadTruncated)
        m_core.desktop().showMessage(
            text("ファイルの最後の行が途中で終わっています。読み込めた線だけを表示しました。") + crlf +
            m_loadName);
    Q_EMIT loadFinished();
}

} // namespace whiteboard
