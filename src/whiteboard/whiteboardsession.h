#pragma once
// The shared whiteboard of a chat, without its window: whose board it is
// (whiteboardState: 0 none, 1 opened here, 2 opened by the partner), the
// whiteboard connection on 1202, the segment store and what no file holds
// yet, the pen, the ".wbd" files with their load queue, and the closing
// handshake ("con 920", answered by "con 925"). The board window draws what
// this tells it and forwards the mouse and the menus.
#include "whiteboard/segmentstore.h"
#include "whiteboard/wbdfile.h"
#include "whiteboard/whiteboardlink.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

class ClientCore;
class PeerLink;

namespace whiteboard {

class WhiteboardSession final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WhiteboardSession)
public:
    static constexpr int kCloseWaitMs = 20000;

    WhiteboardSession(ClientCore &core, PeerLink &link, QObject *parent = nullptr);
    ~WhiteboardSession() override;

    int whiteboardState() const;
    void setWhiteboardState(int state);
    // The board is loaded (from its opening to its close).
    bool isRunning() const { return m_running; }
    // The file transfer holds the board still: no drawing, no menus, nothing read.
    bool held() const;

    // This side opens the board: the partner is asked to open its own.
    void open();
    // The chat ends under the board: it goes without a handshake.
    void closeWithoutHandshake();
    // The board goes, whatever the state says.
    void dropWindow();
    // Runs events until whiteboardState is 0, the peer connection is gone or
    // `ms` passed; then the state is 0 in any case. True when the partner answered in time.
    bool waitForWhiteboardClosed(int ms = kCloseWaitMs);

    // The pen, in twips of the board; a stroke is down, moves and up.
    void penDown();
    void penMove(float xTwips, float yTwips);
    void penUp();
    void chooseColor(int index);
    void chooseWidth(int index);
    int colorIndex() const { return m_colorIndex; }
    int widthIndex() const { return m_widthIndex; }

    // 操作 menu: clear (asks first when segments would be lost), save, load.
    void clear();
    bool save();
    void load();
    bool isLoading() const { return m_loading; }
    // The user closes the board: false keeps it (a transfer holds it, or the
    // user chose to keep unsaved segments); otherwise it closes.
    bool requestClose();
    // Before losing segments no file holds: asks, and saves on "yes". False keeps the board.
    bool confirmDiscard();
    // The board's left and top, kept for the personal settings file.
    void recordPosition(qint16 leftTwips, qint16 topTwips);

    const SegmentStore &segments() const { return m_store; }
    // Segments drawn here or received that no file holds yet.
    bool hasUnsavedSegments() const { return m_unsaved && m_store.count() > 0; }
    // The whiteboard connection while the board is loaded.
    WhiteboardLink *link() const { return m_boardLink; }

Q_SIGNALS:
    // The board window shows (opened here or by the partner).
    void showRequested();
    // The board is closed: its window goes.
    void closed();
    // A segment to draw with its own colour and width, and a cleared board.
    void segmentDrawn(const whiteboard::Segment &segment);
    void cleared();
    // The stroke under way ends (the store is full).
    void strokeBroken();
    void loadFinished();

private:
    void start();
    void finish();
    void record(const Segment &segment);
    void applyNextLoaded();

    ClientCore &m_core;
    PeerLink &m_link;
    QPointer<WhiteboardLink> m_boardLink;
    QTimer m_tick;
    bool m_running = false;

    bool m_penDown = false;
    float m_prevX = 0;
    qint16 m_prevY = 0;
    int m_colorIndex = 0;
    int m_widthIndex = 0;
    SegmentStore m_store;
    bool m_unsaved = false;

    bool m_loading = false;
    QList<WbdRecord> m_loadQueue;
    qsizetype m_loadNext = 0;
    bool m_loadTruncated = false;
    QString m_loadName;
};

} // namespace whiteboard
