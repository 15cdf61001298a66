#pragma once
// Form4, "Wez WhiteBoard": the shared drawing surface of a chat. Draws what the
// mouse traces, records it in the segment store and mirrors it to the partner
// over the whiteboard connection; saves and loads ".wbd" files.
#include "whiteboard/segmentstore.h"
#include "whiteboard/wbdfile.h"

#include <QImage>
#include <QPen>
#include <QPointer>
#include <QWidget>

#include <memory>

class QMenu;
class QPainter;
class QTimer;

namespace whiteboard {

class WhiteboardCanvas;
class WhiteboardFileDialogs;
class WhiteboardHost;
class WhiteboardLink;

class WhiteboardWindow final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WhiteboardWindow)
public:
    // `host` must outlive the window; `dialogs` null means the real file dialogs.
    // The window deletes itself when closed.
    explicit WhiteboardWindow(WhiteboardHost &host, std::shared_ptr<WhiteboardFileDialogs> dialogs = nullptr,
                              QWidget *parent = nullptr);
    ~WhiteboardWindow() override;

    // The partner closed its board ("con 920"): close without asking and without a handshake.
    void closeByPartner();

    const SegmentStore &segments() const { return m_store; }
    const QImage &picture() const;
    WhiteboardLink &link() { return *m_link; }
    int colorIndex() const { return m_colorIndex; }
    int widthIndex() const { return m_widthIndex; }
    bool isLoading() const { return m_loading; }
    // Segments drawn here or received that no file holds yet.
    bool hasUnsavedSegments() const { return m_unsaved && m_store.count() > 0; }

Q_SIGNALS:
    void loadFinished();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildMenus();
    void setupConnection();

    // Mouse, in canvas pixels.
    void mouseDown();
    void mouseMove(QPointF position);
    void mouseUp();

    void chooseColor(int index);
    void chooseWidth(int index);
    void copyPicture();
    void clearBoard();
    void closeBoard();
    bool saveFile();
    void loadFile();
    void applyNextLoaded();
    void tick();

    void setPenColor(int index);
    void drawSegment(const Segment &segment);
    void eraseSurface();
    void markDirty(const QRect &area);
    void endPainting() const;
    void repaintDirty();
    void applyReceivedSegment(const Segment &segment);
    void applyReceivedClear();
    void onOverflow();
    // Before losing segments no file holds: asks, and saves on "yes". False keeps the board.
    bool confirmDiscard();
    void unload();

    WhiteboardHost &m_host;
    std::shared_ptr<WhiteboardFileDialogs> m_dialogs;
    QImage m_picture;
    mutable std::unique_ptr<QPainter> m_painter;
    QPen m_pen;
    QRect m_dirty;
    WhiteboardCanvas *m_canvas = nullptr;
    WhiteboardLink *m_link = nullptr;
    QTimer *m_timer1 = nullptr;
    QMenu *m_menuScreen = nullptr;
    QMenu *m_menuFutosa = nullptr;
    QMenu *m_menucol = nullptr;

    bool m_mouseDown = false;
    float m_prevX = 0;
    qint16 m_prevY = 0;
    int m_colorIndex = 0;
    int m_widthIndex = 0;
    SegmentStore m_store;

    bool m_unsaved = false;
    bool m_byPartner = false;
    bool m_unloading = false;
    bool m_loading = false;
    QList<WbdRecord> m_loadQueue;
    qsizetype m_loadNext = 0;
    bool m_loadTruncated = false;
    QString m_loadName;
};

} // namespace whiteboard
