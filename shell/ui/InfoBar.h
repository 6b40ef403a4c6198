#pragma once

#include <QHash>
#include <QLabel>
#include <QWidget>

// The status bar at the bottom of the main window: "Internet:", "Reporta por:",
// "Status:" and "Operador:" with their read-only value fields, and at the right
// a notice field without a caption for what the receiver says about itself.
class CInfoBar : public QWidget {
    Q_OBJECT
public:
    explicit CInfoBar(QWidget* parent = nullptr);

    void setField(int field, const QString& text);
    QString field(int field) const;
    // The "Status:" label and its field are hidden while reporting is off.
    void setReportStatusVisible(bool visible);

private:
    QLabel* addField(int field, const QString& label);

    QHash<int, QLabel*> m_fields;
    QLabel* m_statusLabel = nullptr;
};
