#pragma once

#include <QColor>
#include <QTableView>

// The list control of every page: a report-style table with grid lines,
// full-row selection and movable columns, whose rows alternate white and light
// grey by index. The stripes are painted over the whole visible area, so they
// go on right of the last column and below the last row (bands of the first
// visible row's height, or 17 pixels when the list is empty). The last column
// stretches to the list's right edge; its width as set (or as the operator
// dragged it) is what columnWidths() reports, not the stretched one.
class CStripedList : public QTableView {
    Q_OBJECT
public:
    static constexpr int kRowHeight = 17;
    static inline const QColor kEvenRowColour{255, 255, 255};
    static inline const QColor kOddRowColour{225, 225, 225};

    explicit CStripedList(QWidget* parent = nullptr);

    // The average character width of the 8-point font the default column
    // widths were drawn for (dialog base units, from the alphabet).
    static constexpr double kReferenceCharWidth = 6.0;
    // What a cell or caption adds around its text, in pixels.
    static constexpr int kCellPadding = 16;

    // Column widths by logical column, as kept in "Server.ini".
    QList<int> columnWidths() const;
    void setColumnWidths(const QList<int>& widths);
    // Default widths drawn for the reference font, grown to the list's own
    // font so that the same texts fit (never shrunk), and each at least as
    // wide as its column's caption.
    QList<int> scaledToFont(const QList<int>& widths) const;

    // The colour of the band at row index (also past the last row).
    static QColor bandColour(int row) { return (row % 2 == 0) ? kEvenRowColour : kOddRowColour; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QList<int> m_setWidths; // as set, for the stretched last column
};
