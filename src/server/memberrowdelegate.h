#pragma once
// Paints a member's line from text laid out once and kept per row, so a
// repaint of the list (a scroll, a new batch of rows, the selection moving)
// does not shape every visible line again.
#include <QCache>
#include <QStaticText>
#include <QStyledItemDelegate>

namespace server {

class MemberRowDelegate final : public QStyledItemDelegate {
public:
    explicit MemberRowDelegate(QObject *parent = nullptr) : QStyledItemDelegate(parent) {}
    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    // Laid-out lines kept now: at most a few screens' worth.
    int keptLines() const { return int(m_lines.size()); }

private:
    mutable QCache<int, QStaticText> m_lines{2000};
};

} // namespace server
