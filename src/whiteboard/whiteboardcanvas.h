#pragma once
// The drawing surface of the whiteboard: shows the backing picture and hands
// mouse positions (in pixels) to the window.
#include <QImage>
#include <QWidget>

namespace whiteboard {

class WhiteboardCanvas final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WhiteboardCanvas)
public:
    WhiteboardCanvas(const QImage &picture, QWidget *parent = nullptr);

Q_SIGNALS:
    void pressed();
    void moved(QPointF position);
    void released();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    const QImage &m_picture;
};

} // namespace whiteboard
