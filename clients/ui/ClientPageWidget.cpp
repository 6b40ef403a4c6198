#include "clients/ui/ClientPageWidget.h"

#include "clients/ClientPageModel.h"
#include "clients/ClientPagePanel.h"
#include "clients/ClientRecord.h"
#include "clients/ui/ClientPageView.h"
#include "common/StringTable.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace {

namespace Control = ClientPageControl;

// The dependents box lists four-digit accounts.
constexpr int kDependentTextLength = 4;
constexpr int kPortDigits = 5;
constexpr int kButtonFrame = 8; // pixels a push button adds around its text

QString controlName(const char* kind, int control) {
    return QLatin1String(kind) + QString::number(control);
}

QLabel* label(int control, QWidget* parent) {
    auto* text = new QLabel(StringTable::text(control), parent);
    text->setObjectName(controlName("label", control));
    return text;
}

QPushButton* pushButton(int control, int textString, QWidget* parent) {
    auto* push = new QPushButton(StringTable::text(textString), parent);
    push->setObjectName(controlName("button", control));
    return push;
}

void keepPlaceWhenHidden(const QList<QWidget*>& controls) {
    for (QWidget* control : controls) {
        QSizePolicy policy = control->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        control->setSizePolicy(policy);
    }
}

// The dependents box: the accounts of the picked client's dependents, chosen from the list only.
QComboBox* dependentsBox(QWidget* parent) {
    auto* box = new QComboBox(parent);
    box->setObjectName(controlName("combo", ClientPageControl::DependentsBox));
    box->setEditable(false);
    box->setMinimumContentsLength(kDependentTextLength);
    box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    box->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    return box;
}

QGroupBox* group(int control, QWidget* parent) {
    auto* box = new QGroupBox(StringTable::text(control), parent);
    box->setObjectName(controlName("group", control));
    return box;
}

} // namespace

ClientPageWidget::ClientPageWidget(ClientPagePanel& panel, const RowIcons& icons, QWidget* parent)
    : QWidget(parent), m_panel(panel), m_list(new ClientPageView(panel.model(), icons, this)) {
    setObjectName(QStringLiteral("clientPage%1").arg(panel.kind()));
    // The list's wheel scrolls QApplication::wheelScrollLines() rows (three) per notch: the table
    // view scrolls per item, and a wheel step is that many single steps.
    connect(m_list, &QAbstractItemView::clicked, this, [this](const QModelIndex& index) {
        // clicked comes with the left button only.
        m_panel.pickRow(index.row());
    });

    auto* side = new QWidget(this);
    side->setObjectName(QStringLiteral("sidePanel"));
    auto* column = new QVBoxLayout(side);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(buildClientGroup());
    if (panel.kind() == ClientStatus::New)
        column->addWidget(buildNewDependentsGroup());
    if (panel.kind() == ClientStatus::Online)
        column->addWidget(buildCallbackGroup());
    column->addStretch(1);
    // Wide enough for every caption in the font in use ("Editar Dependente" among them).
    side->setFixedWidth(qMax(kPanelWidth, side->sizeHint().width()));
    connect(m_dependents, &QComboBox::currentIndexChanged, this, [this](int index) { m_panel.chooseDependent(index); });

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(m_list, 1);
    layout->addWidget(side);

    connect(&m_panel, &ClientPagePanel::changed, this, &ClientPageWidget::showState);
    // The page is asked to repaint itself: on screen, its panel shows the selected client again.
    connect(&panel.model(), &ClientPageModel::redrawRequested, this, [this] {
        if (isVisible())
            m_panel.refresh();
    });
    showState();
}

QPushButton* ClientPageWidget::button(int control, int textString, void (ClientPagePanel::*command)()) {
    QPushButton* push = pushButton(control, textString, this);
    connect(push, &QPushButton::clicked, &m_panel, command);
    return push;
}

QWidget* ClientPageWidget::buildClientGroup() {
    QGroupBox* box = group(Control::ClientGroup, this);
    auto* layout = new QVBoxLayout(box);
    m_name = new QLineEdit(box);
    m_name->setObjectName(controlName("edit", Control::NameBox));
    connect(m_name, &QLineEdit::textEdited, this, [this](const QString& text) { m_panel.setNameText(text); });
    layout->addWidget(m_name);

    if (m_panel.kind() == ClientStatus::New) {
        auto* commands = new QHBoxLayout;
        layout->addLayout(commands);
        commands->addWidget(button(Control::Edit, Control::Edit, &ClientPagePanel::editNewClient));
        commands->addWidget(button(Control::NewClient, Control::NewClient, &ClientPagePanel::newClient));
        commands->addWidget(button(Control::RemoveClient, Control::RemoveClient, &ClientPagePanel::removeNewClient));
        return box;
    }

    // Two columns: the client's commands over the dependent's.
    auto* grid = new QGridLayout;
    layout->addLayout(grid);
    grid->addWidget(button(Control::Edit, Control::Edit, &ClientPagePanel::editClient), 0, 0);
    if (m_panel.kind() == ClientStatus::Blocked)
        grid->addWidget(button(Control::Unblock, Control::Unblock, &ClientPagePanel::unblock), 0, 1);
    else
        grid->addWidget(button(Control::Details, Control::Details, &ClientPagePanel::details), 0, 1);
    QPushButton* editDependent =
        button(Control::EditDependent, Control::EditDependent, &ClientPagePanel::editDependent);
    QLabel* account = label(Control::AccountLabel, box);
    m_dependents = dependentsBox(box);
    auto* choice = new QHBoxLayout;
    choice->addStretch(1);
    choice->addWidget(account);
    choice->addWidget(m_dependents);
    grid->addWidget(editDependent, 1, 0);
    grid->addLayout(choice, 1, 1);
    m_dependentControls = {editDependent, account, m_dependents};
    // The hidden controls keep their place, so the panel does not jump when a client is picked.
    keepPlaceWhenHidden(m_dependentControls);
    return box;
}

QWidget* ClientPageWidget::buildNewDependentsGroup() {
    QGroupBox* box = group(Control::DependentsGroup, this);
    auto* layout = new QVBoxLayout(box);
    auto* choice = new QHBoxLayout;
    QLabel* dependent = label(Control::DependentLabel, box);
    m_dependents = dependentsBox(box);
    choice->addWidget(dependent);
    choice->addWidget(m_dependents);
    choice->addStretch(1);
    layout->addLayout(choice);

    auto* commands = new QHBoxLayout;
    QPushButton* edit = button(Control::EditDependent, Control::Edit, &ClientPagePanel::editNewDependent);
    QPushButton* remove = button(Control::RemoveDependent, Control::RemoveClient, &ClientPagePanel::removeNewDependent);
    commands->addWidget(edit);
    commands->addWidget(button(Control::NewDependent, Control::NewClient, &ClientPagePanel::newDependent));
    commands->addWidget(remove);
    layout->addLayout(commands);
    m_dependentControls = {edit, dependent, m_dependents, remove};
    keepPlaceWhenHidden(m_dependentControls);
    return box;
}

QWidget* ClientPageWidget::buildCallbackGroup() {
    QGroupBox* box = group(Control::CallbackGroup, this);
    auto* grid = new QGridLayout(box);
    m_address = new QLineEdit(box);
    m_address->setObjectName(controlName("edit", Control::Address));
    m_port = new QLineEdit(box);
    m_port->setObjectName(controlName("edit", Control::Port));
    m_port->setMaxLength(kPortDigits);
    m_port->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,%1}").arg(kPortDigits)), m_port));
    // Typed text goes to the panel at once, so that showing the panel's state again keeps it.
    const auto keep = [this] { m_panel.setCallback(m_address->text(), m_port->text()); };
    connect(m_address, &QLineEdit::textEdited, this, keep);
    connect(m_port, &QLineEdit::textEdited, this, keep);

    QPushButton* send = pushButton(Control::Send, Control::Send, box);
    connect(send, &QPushButton::clicked, this, [this] {
        m_panel.setCallback(m_address->text(), m_port->text());
        m_panel.sendCallback();
    });
    QPushButton* defaults = button(Control::Defaults, Control::Defaults, &ClientPagePanel::restoreCallbackDefaults);
    defaults->setFixedWidth(defaults->fontMetrics().horizontalAdvance(QStringLiteral("  *  ")) + kButtonFrame);

    grid->addWidget(label(Control::AddressLabel, box), 0, 0);
    grid->addWidget(m_address, 0, 1, 1, 3);
    grid->addWidget(label(Control::PortLabel, box), 1, 0);
    grid->addWidget(m_port, 1, 1);
    grid->addWidget(defaults, 1, 2);
    grid->addWidget(send, 1, 3);
    grid->setColumnStretch(1, 1);
    return box;
}

void ClientPageWidget::showState() {
    if (m_name->text() != m_panel.nameText())
        m_name->setText(m_panel.nameText());

    const bool dependents = m_panel.dependentsVisible();
    {
        const QSignalBlocker quiet(m_dependents);
        m_dependents->clear();
        for (const QString& text : m_panel.dependentTexts())
            m_dependents->addItem(text.left(kDependentTextLength));
        m_dependents->setCurrentIndex(m_panel.chosenDependent());
    }
    for (QWidget* control : m_dependentControls)
        control->setVisible(dependents);

    if (m_address) {
        if (m_address->text() != m_panel.callbackAddress())
            m_address->setText(m_panel.callbackAddress());
        if (m_port->text() != m_panel.callbackPort())
            m_port->setText(m_panel.callbackPort());
    }

    // The list marks the panel's client.
    const ClientPageModel& model = m_panel.model();
    const int row = model.FindRow(model.selected());
    if (row >= 0)
        m_list->selectRow(row);
    else
        m_list->clearSelection();
}
