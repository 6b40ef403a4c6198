#include "events/ui/EventRowDelegate.h"

#include "common/ui/CStripedList.h"
#include "common/ui/RowIcons.h"
#include "events/EventListModel.h"

#include <QPainter>

namespace {
// Room left between a text and its cell's edges.
constexpr int kTextMargin = 3;
} // namespace

EventRowDelegate::EventRowDelegate(const RowIcons& icons, QObject* parent) : QStyledItemDelegate(parent) {
    for (size_t result = 0; result < m_results.size(); ++result)
        m_results[result] = icons.reportResult(int(result)).pixmap(RowIcons::kSize, RowIcons::kSize);
}

const EventRowDelegate::CachedText& EventRowDelegate::shaped(const QString& text, int width, const QFont& font) const {
    if (!m_metrics || font != m_font) {
        m_font = font;
        m_metrics.emplace(font);
        m_texts.clear();
    }
    const TextKey key{text, width};
    if (const auto found = m_texts.constFind(key); found != m_texts.constEnd())
        return *found;
    if (m_texts.size() >= kMaxCachedTexts)
        m_texts.clear();
    CachedText shapedText;
    const QString shown = m_metrics->elidedText(text, Qt::ElideRight, width);
    shapedText.width = m_metrics->horizontalAdvance(shown);
    shapedText.text.setText(shown);
    shapedText.text.setTextFormat(Qt::PlainText);
    shapedText.text.setPerformanceHint(QStaticText::AggressiveCaching);
    shapedText.text.prepare(QTransform(), font);
    return *m_texts.insert(key, shapedText);
}

void EventRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const bool selected = option.state.testFlag(QStyle::State_Selected);
    const QRect cell = option.rect;
    painter->fillRect(cell, selected ? option.palette.brush(QPalette::Highlight)
                                     : QBrush(CStripedList::bandColour(index.row())));

    if (index.column() == EventListModel::IconColumn) {
        const int result = index.data(EventListModel::ResultRole).toInt();
        if (result >= 0 && size_t(result) < m_results.size() && !m_results[size_t(result)].isNull()) {
            const QPixmap& icon = m_results[size_t(result)];
            const QSize size = icon.deviceIndependentSize().toSize();
            painter->drawPixmap(QRect(QPoint(cell.left() + (cell.width() - size.width()) / 2,
                                             cell.top() + (cell.height() - size.height()) / 2),
                                      size),
                                icon);
        }
        return;
    }

    const QString text = index.data(Qt::DisplayRole).toString();
    const int room = cell.width() - 2 * kTextMargin;
    if (text.isEmpty() || room <= 0)
        return;
    const CachedText& shown = shaped(text, room, option.font);
    painter->setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    const QPointF topLeft(cell.left() + kTextMargin + (room - shown.width) / 2,
                          cell.top() + (cell.height() - m_metrics->height()) / 2);
    painter->drawStaticText(topLeft, shown.text);
}
