#include "common/ui/CStripedList.h"

#include <QHeaderView>
#include <QPaintEvent>
#include <QPainter>

CStripedList::CStripedList(QWidget* parent) : QTableView(parent) {
    setShowGrid(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setAlternatingRowColors(true);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);

    QPalette colours = palette();
    colours.setColor(QPalette::Base, kEvenRowColour);
    colours.setColor(QPalette::AlternateBase, kOddRowColour);
    setPalette(colours);
    // The stripes are the background; the viewport does not fill it itself.
    viewport()->setAutoFillBackground(false);

    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(kRowHeight);
    horizontalHeader()->setSectionsMovable(true);
    horizontalHeader()->setMinimumSectionSize(1);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
}

QList<int> CStripedList::columnWidths() const {
    QList<int> widths;
    const int count = horizontalHeader()->count();
    for (int column = 0; column < count; ++column)
        widths.append(columnWidth(column));
    return widths;
}

void CStripedList::setColumnWidths(const QList<int>& widths) {
    for (int column = 0; column < widths.size(); ++column)
        setColumnWidth(column, widths[column]);
}

void CStripedList::paintEvent(QPaintEvent* event) {
    {
        QPainter painter(viewport());
        const QRect area = viewport()->rect();
        painter.fillRect(area, kEvenRowColour);
        int row = 0;
        int top = 0;
        int height = kRowHeight;
        const int firstVisible = rowAt(0);
        if (firstVisible >= 0) {
            row = firstVisible;
            top = rowViewportPosition(firstVisible);
            height = qMax(1, rowHeight(firstVisible));
        }
        for (; top < area.bottom() + 1; top += height, ++row)
            painter.fillRect(QRect(area.left(), top, area.width(), height), bandColour(row));
    }
    QTableView::paintEvent(event);
}
