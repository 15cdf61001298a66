#pragma once
// Driving a whiteboard window in tests: its drawing surface, strokes with the
// mouse, its menu items, and comparing two segment stores slot by slot.
#include "whiteboard/segmentstore.h"

#include <QAction>
#include <QTest>
#include <QWidget>

namespace boardtest {

inline QWidget *surfaceOf(QWidget *board)
{
    return board->findChild<QWidget *>(QStringLiteral("surface"));
}

// Press, move through every point, release. The first movement only sets the start.
inline void stroke(QWidget *surface, const QList<QPoint> &points)
{
    QTest::mousePress(surface, Qt::LeftButton, {}, points.first());
    for (const QPoint &p : points)
        QTest::mouseMove(surface, p);
    QTest::mouseRelease(surface, Qt::LeftButton, {}, points.last());
}

inline QAction *menuItem(QWidget *board, const char *name, int index = -1)
{
    const auto actions = board->findChildren<QAction *>(QLatin1String(name));
    for (QAction *a : actions)
        if (index < 0 || a->property("index").toInt() == index) return a;
    return nullptr;
}

inline bool sameSegments(const whiteboard::SegmentStore &a, const whiteboard::SegmentStore &b)
{
    if (a.count() != b.count()) return false;
    for (int i = 0; i < a.count(); ++i) {
        const whiteboard::Segment &x = a.at(i), &y = b.at(i);
        if (x.x1 != y.x1 || x.y1 != y.y1 || x.x2 != y.x2 || x.y2 != y.y2 || x.color != y.color ||
            x.width != y.width || x.marker != y.marker)
            return false;
    }
    return true;
}

} // namespace boardtest
