#pragma once

#include <QGroupBox>

#include <array>

class InternalEventEditor;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The "Eventos Internos" section of the configuration page: a thin view of
// InternalEventEditor. Controls carry object names "internalEvents<id>" with
// the identifiers of InternalEventIds, so tests and the page can find them.
class InternalEventsSection final : public QGroupBox {
    Q_OBJECT
public:
    explicit InternalEventsSection(InternalEventEditor& editor, QWidget* parent = nullptr);

    static QString objectNameFor(int id);

private:
    void showState();

    InternalEventEditor& m_editor;
    std::array<QLineEdit*, 14> m_fields{};
    std::array<QCheckBox*, 10> m_rowChecks{}; // index 0 unused: row 0 has no check box
    QCheckBox* m_edit = nullptr;
    QPushButton* m_send = nullptr;
    QPushButton* m_save = nullptr;
    QLabel* m_status = nullptr;
};
