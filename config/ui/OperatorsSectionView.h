#pragma once

#include "config/OperatorsSection.h"

#include <QWidget>

#include <array>
#include <functional>

class QCheckBox;
class QLineEdit;
class QPushButton;

// The "Operadores" section of the configuration page: a thin view of
// OperatorsSection. Controls carry object names of their kind and number
// ("edit524", "check541", "button518", "button750").
class OperatorsSectionView : public QWidget {
    Q_OBJECT
public:
    // exchange runs the page's exchange of values (which takes this section's
    // fields through form()); "Salvar" starts with it.
    OperatorsSectionView(OperatorsSection& section, std::function<void()> exchange, QWidget* parent = nullptr);

    OperatorsForm form() const;
    // Refresh at page activation: the table again, Save disabled.
    void activate();

private:
    void showRows(bool withTexts);
    void showSave();
    void save();

    OperatorsSection& m_section;
    std::function<void()> m_exchange;
    std::array<QLineEdit*, OperatorTable::kSize> m_names{};
    std::array<QLineEdit*, OperatorTable::kSize> m_passwords{};
    std::array<QPushButton*, OperatorTable::kSize> m_buttons{};            // entries 2..5
    std::array<std::array<QCheckBox*, 6>, OperatorTable::kSize> m_boxes{}; // entries 1..5
    QCheckBox* m_showAdminPassword = nullptr;
    QPushButton* m_save = nullptr;
};
