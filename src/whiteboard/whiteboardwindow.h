#pragma once
// Form4, "Wez WhiteBoard": the shared drawing surface of a chat. Draws what
// the whiteboard session tells it, hands it the mouse in twips and the menus'
// commands, and goes when the session closes the board.
#include "whiteboard/segmentstore.h"

#include <QImage>
#include <QPen>
#include <QWidget>

#include <memory>

class Desktop;
class QMenu;
class QPainter;
class QTimer;

namespace whiteboard {

class WhiteboardCanvas;
class WhiteboardLink;
class WhiteboardSession;

class WhiteboardWindow final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WhiteboardWindow)
public:
    // `session` must outlive the window, and be running. The window deletes itself when closed.
    WhiteboardWindow(WhiteboardSession &session, Desktop &desktop, QWidget *parent = nullptr);
    ~WhiteboardWindow() override;

    WhiteboardSession &session() const { return m_session; }
    const SegmentStore &segments() const;
    const QImage &picture() const;
    WhiteboardLink &link();
    int colorIndex() const;
    int widthIndex() const;
    bool isLoading() const;
    bool hasUnsavedSegments() const;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildMenus();
    void mouseMove(QPointF position);
    void copyPicture();
    void tick();
    void onClosed();

    void setPenColor(int index);
    void drawSegment(const Segment &segment);
    void eraseSurface();
    void markDirty(const QRect &area);
    void endPainting() const;
    void repaintDirty();

    WhiteboardSession &m_session;
    Desktop &m_desktop;
    QImage m_picture;
    mutable std::unique_ptr<QPainter> m_painter;
    QPen m_pen;
    QRect m_dirty;
    WhiteboardCanvas *m_canvas = nullptr;
    QTimer *m_timer1 = nullptr;
    QMenu *m_menuScreen = nullptr;
    QMenu *m_menuFutosa = nullptr;
    QMenu *m_menucol = nullptr;
    // The session closed the board: the close goes through without a question.
    bool m_unloading = false;
};

} // namespace whiteboard
