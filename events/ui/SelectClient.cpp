#include "events/ui/SelectClient.h"

#include "common/StringTable.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
constexpr int kStrOk = 1;
constexpr int kStrCancel = 2;
constexpr int kTitleBarButtonsWidth = 120;
} // namespace

SelectClient::SelectClient(const QList<ClientChoice>& choices, QWidget* parent)
    : QDialog(parent), m_choices(choices), m_list(new QComboBox(this)) {
    setWindowTitle(StringTable::text(kTitle));
    m_list->setObjectName(QStringLiteral("choice%1").arg(kChoiceList));
    for (const ClientChoice& choice : m_choices)
        m_list->addItem(choice.text);
    m_list->setCurrentIndex(0);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(StringTable::text(kStrOk), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("ok"));
    ok->setDefault(true);
    buttons->addButton(StringTable::text(kStrCancel), QDialogButtonBox::RejectRole)
        ->setObjectName(QStringLiteral("cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(StringTable::text(kLabel), this));
    layout->addWidget(m_list);
    layout->addWidget(buttons);
    // The title bar shows the whole title: its text and room for the window's own buttons.
    setMinimumWidth(fontMetrics().horizontalAdvance(windowTitle()) + kTitleBarButtonsWidth);
}

std::optional<QString> SelectClient::chosenClient() const {
    const int index = m_list->currentIndex();
    if (index <= 0 || index >= m_choices.size())
        return std::nullopt;
    return m_choices[index].clientName;
}
