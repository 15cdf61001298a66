#include "server/memberrowdelegate.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>

namespace server {

void MemberRowDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                              const QModelIndex &index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QString text = opt.text;
    opt.text.clear();
    const QWidget *widget = opt.widget;
    const QStyle *style = widget ? widget->style() : QApplication::style();
    // The panel, the selection and the focus as the style draws them; the text below.
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
    if (text.isEmpty()) return;

    // Rows are only appended or all replaced, yet a row's text is checked, not assumed.
    QStaticText *line = m_lines.object(index.row());
    if (!line || line->text() != text) {
        line = new QStaticText(text);
        line->setTextFormat(Qt::PlainText);
        line->setPerformanceHint(QStaticText::AggressiveCaching);
        m_lines.insert(index.row(), line);
    }
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    const QRect room = opt.rect.adjusted(margin, 0, -margin, 0);
    const QPalette::ColorGroup group = !(opt.state & QStyle::State_Enabled) ? QPalette::Disabled
                                       : (opt.state & QStyle::State_Active) ? QPalette::Normal
                                                                            : QPalette::Inactive;
    painter->save();
    painter->setClipRect(room);
    painter->setFont(opt.font);
    painter->setPen(opt.palette.color(group, (opt.state & QStyle::State_Selected) ? QPalette::HighlightedText
                                                                                  : QPalette::Text));
    const qreal top = room.top() + (room.height() - line->size().height()) / 2;
    painter->drawStaticText(QPointF(room.left(), top), *line);
    painter->restore();
}

} // namespace server
