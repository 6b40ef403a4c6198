#pragma once

#include "reporting/ReportSection.h"

#include <QWidget>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The "Reportar" section's controls: it shows the section's form and look and
// hands every action of the operator to the section. Controls are named after
// their kind and number ("combo721", "button739").
class ReportSectionView : public QWidget {
    Q_OBJECT
public:
    explicit ReportSectionView(ReportSection& section, QWidget* parent = nullptr);

    ReportForm currentForm() const;

private:
    void showForm(const ReportForm& form);
    void showLook();
    void showSerialPorts();

    ReportSection& m_section;
    bool m_showing = false;

    QComboBox* m_protocol = nullptr;
    QList<QWidget*> m_serialWidgets;
    QList<QWidget*> m_stationWidgets;
    QComboBox* m_serialPort = nullptr;
    QComboBox* m_baud = nullptr;
    QComboBox* m_parity = nullptr;
    QComboBox* m_dataBits = nullptr;
    QComboBox* m_stopBits = nullptr;
    QComboBox* m_receiver = nullptr;
    QComboBox* m_line = nullptr;
    QLineEdit* m_host = nullptr;
    QLineEdit* m_stationPort = nullptr;
    QGroupBox* m_heartbeatGroup = nullptr;
    QCheckBox* m_ownHeartbeat = nullptr;
    QList<QWidget*> m_heartbeatFields;
    QLineEdit* m_period = nullptr;
    QComboBox* m_attempts = nullptr;
    QCheckBox* m_reportHeartbeat = nullptr;
    QCheckBox* m_transparent = nullptr;
    QCheckBox* m_edit = nullptr;
    QPushButton* m_apply = nullptr;
    QPushButton* m_save = nullptr;
};
