#include "whiteboard/whiteboardcanvas.h"

#include <QMouseEvent>
#include <QPainter>

namespace whiteboard {

WhiteboardCanvas::WhiteboardCanvas(const QImage &picture, QWidget *parent)
    : QWidget(parent), m_picture(picture)
{
    setObjectName(QStringLiteral("surface"));
    setFixedSize(picture.size());
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Movements arrive with or without a button; the window decides what they mean.
    setMouseTracking(true);
    setCursor(Qt::CrossCursor);
}

void WhiteboardCanvas::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    painter.drawImage(event->rect(), m_picture, event->rect());
}

void WhiteboardCanvas::mousePressEvent(QMouseEvent *)
{
    Q_EMIT pressed();
}

void WhiteboardCanvas::mouseMoveEvent(QMouseEvent *event)
{
    Q_EMIT moved(event->position());
}

void WhiteboardCanvas::mouseReleaseEvent(QMouseEvent *)
{
    Q_EMIT released();
}

} // namespace whiteboard
