#include "common/ui/RowIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

QPixmap blank() {
    QPixmap pixmap(RowIcons::kSize, RowIcons::kSize);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

// A round lamp with a dark rim and a light spot.
QIcon lamp(const QColor& colour) {
    QPixmap pixmap = blank();
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QRadialGradient gradient(QPointF(6, 6), 8);
    gradient.setColorAt(0, colour.lighter(170));
    gradient.setColorAt(1, colour);
    painter.setBrush(gradient);
    painter.setPen(QPen(colour.darker(170), 1));
    painter.drawEllipse(QRectF(1.5, 1.5, 13, 13));
    return QIcon(pixmap);
}

// A rounded square badge with a white mark drawn by mark.
template <typename Mark> QIcon badge(const QColor& colour, Mark mark) {
    QPixmap pixmap = blank();
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(colour);
    painter.setPen(QPen(colour.darker(150), 1));
    painter.drawRoundedRect(QRectF(1.5, 1.5, 13, 13), 3, 3);
    painter.setPen(QPen(Qt::white, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    mark(painter);
    return QIcon(pixmap);
}

} // namespace

RowIcons::RowIcons() {
    m_linkStates = {lamp(QColor(0, 170, 0)), lamp(QColor(230, 200, 0)), lamp(QColor(210, 0, 0)),
                    lamp(QColor(250, 250, 250))};
    // Sent: a green check mark.
    m_results[0] = badge(QColor(0, 140, 60), [](QPainter& p) {
        QPainterPath path;
        path.moveTo(4.5, 8.5);
        path.lineTo(7, 11);
        path.lineTo(11.5, 5);
        p.drawPath(path);
    });
    // Failed: a red cross.
    m_results[2] = badge(QColor(200, 30, 30), [](QPainter& p) {
        p.drawLine(QPointF(5, 5), QPointF(11, 11));
        p.drawLine(QPointF(11, 5), QPointF(5, 11));
    });
    // Not sent: a grey dash.
    m_results[3] = badge(QColor(140, 140, 140), [](QPainter& p) { p.drawLine(QPointF(4.5, 8), QPointF(11.5, 8)); });
}

QIcon RowIcons::linkState(int state) const {
    return (state >= 0 && state < int(m_linkStates.size())) ? m_linkStates[size_t(state)] : QIcon();
}

QIcon RowIcons::reportResult(int result) const {
    return (result >= 0 && result < int(m_results.size())) ? m_results[size_t(result)] : QIcon();
}
