#pragma once

#include <QColor>
#include <QTableView>

// The list control of every page: a report-style table with grid lines,
// full-row selection and movable columns, whose rows alternate white and light
// grey by index. The stripes are painted over the whole visible area, so they
// go on right of the last column and below the last row (bands of the first
// visible row's height, or 17 pixels when the list is empty).
class CStripedList : public QTableView {
    Q_OBJECT
public:
    static constexpr int kRowHeight = 17;
    static inline const QColor kEvenRowColour{255, 255, 255};
    static inline const QColor kOddRowColour{225, 225, 225};

    explicit CStripedList(QWidget* parent = nullptr);

    // Column widths by logical column, as kept in "Server.ini".
    QList<int> columnWidths() const;
    void setColumnWidths(const QList<int>& widths);

    // The colour of the band at row index (also past the last row).
    static QColor bandColour(int row) { return (row % 2 == 0) ? kEvenRowColour : kOddRowColour; }

protected:
    void paintEvent(QPaintEvent* event) override;
};
