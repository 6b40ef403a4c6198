#pragma once

#include <QDialog>

#include <array>

class DeviceDetailsForm;
class QCheckBox;
class QComboBox;
class QFormLayout;
class QLineEdit;
class QPushButton;
class QVBoxLayout;

// The details dialog (800) of a client and its device, over a
// DeviceDetailsForm: read-only rows of the registry's and the device's data,
// the inputs and PGM outputs with their toggle buttons, the line switch and
// the note of an unanswered query, each section shown as the form decides.
// While a command of the form runs, every control is disabled, the wait
// cursor shows and the dialog does not close; it still repaints and moves.
class DialogDetails : public QDialog {
    Q_OBJECT
public:
    DialogDetails(DeviceDetailsForm& form, QWidget* parent = nullptr);
    ~DialogDetails() override;

    void reject() override;

private:
    QLineEdit* addRow(QFormLayout* rows, int control, int labelString);
    QWidget* buildPgmSection();
    QWidget* buildLineSwitchSection();
    void showState();
    void setWaitCursor(bool on);

    DeviceDetailsForm& m_form;
    QWidget* m_content;
    std::array<QCheckBox*, 2> m_inputs{};
    std::array<QCheckBox*, 4> m_pgmStates{};
    QComboBox* m_minutes = nullptr;
    bool m_waitCursor = false;
};
