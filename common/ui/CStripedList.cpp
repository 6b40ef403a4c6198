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
    horizontalHeader()->setStretchLastSection(true);
    // A column the operator drags keeps that width in "Server.ini".
    connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this](int logical, int, int size) {
        const QHeaderView* header = horizontalHeader();
        const bool stretched = header->visualIndex(logical) == header->count() - 1;
        if (!stretched && logical < m_setWidths.size())
            m_setWidths[logical] = size;
    });
    horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
}

QList<int> CStripedList::columnWidths() const {
    QList<int> widths;
    const QHeaderView* header = horizontalHeader();
    const int count = header->count();
    const int stretched = header->logicalIndex(count - 1);
    for (int column = 0; column < count; ++column) {
        const bool own = column == stretched && column < m_setWidths.size();
        widths.append(own ? m_setWidths[column] : columnWidth(column));
    }
    return widths;
}

void CStripedList::setColumnWidths(const QList<int>& widths) {
    m_setWidths = widths;
    for (int column = 0; column < widths.size(); ++column)
        setColumnWidth(column, widths[column]);
    m_setWidths = widths; // the stretch above may have reported a resize
}

QList<int> CStripedList::scaledToFont(const QList<int>& widths) const {
    static const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const double average = double(fontMetrics().horizontalAdvance(alphabet)) / double(alphabet.size());
    const double scale = qMax(1.0, average / kReferenceCharWidth);
    QList<int> scaled;
    for (int width : widths)
        scaled.append(qRound(width * scale));
    // A column is never narrower than its caption.
    const QFontMetrics headerMetrics(horizontalHeader()->font());
    for (qsizetype column = 0; model() && column < scaled.size(); ++column) {
        const QString caption = model()->headerData(int(column), Qt::Horizontal).toString();
        if (!caption.isEmpty())
            scaled[column] = qMax(scaled[column], headerMetrics.horizontalAdvance(caption) + kCellPadding);
    }
    return scaled;
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
