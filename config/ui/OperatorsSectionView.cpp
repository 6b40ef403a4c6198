#include "config/ui/OperatorsSectionView.h"

#include "common/StringTable.h"
#include "config/LoginCheck.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

namespace {

constexpr int kStrNew = 1269;
constexpr int kStrRemove = 125;
constexpr int kStrName = 742;
constexpr int kStrPassword = 743;
constexpr const char* kRightLetters = "ABCDEF";
// Grid columns: button, name, password, the six boxes, the legend.
constexpr int kNameColumn = 1;
constexpr int kPasswordColumn = 2;
constexpr int kFirstBoxColumn = 3;
constexpr int kLegendColumn = kFirstBoxColumn + 6;
constexpr int kNameWidth = 180;
constexpr int kPasswordWidth = 60;

QString controlName(const char* kind, int control) {
    return QLatin1String(kind) + QString::number(control);
}

QLineEdit* makeEdit(int control, const QString& pattern, int maxLength, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(controlName("edit", control));
    edit->setMaxLength(maxLength);
    edit->setValidator(new QRegularExpressionValidator(QRegularExpression(pattern), edit));
    return edit;
}

} // namespace

OperatorsSectionView::OperatorsSectionView(OperatorsSection& section, std::function<void()> exchange, QWidget* parent)
    : QWidget(parent), m_section(section), m_exchange(std::move(exchange)) {
    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(StringTable::text(kStrName), this), 0, kNameColumn);
    grid->addWidget(new QLabel(StringTable::text(kStrPassword), this), 0, kPasswordColumn);
    for (int right = 0; right < 6; ++right) {
        grid->addWidget(new QLabel(QString(QLatin1Char(kRightLetters[right])), this), 0, kFirstBoxColumn + right,
                        Qt::AlignHCenter);
        auto* legend = new QLabel(StringTable::text(OperatorControl::FirstLegend + right), this);
        legend->setObjectName(controlName("label", OperatorControl::FirstLegend + right));
        grid->addWidget(legend, 1 + right, kLegendColumn);
    }

    const QString namePattern = QStringLiteral("[^\\t\\r\\n]*");
    const QString passwordPattern = QStringLiteral("[0-9]{0,4}");
    for (int entry = 0; entry < OperatorTable::kSize; ++entry) {
        const int gridRow = 1 + entry;
        m_names[entry] = makeEdit(OperatorControl::name(entry), namePattern, LoginCheck::kMaxNameLength, this);
        m_passwords[entry] =
            makeEdit(OperatorControl::password(entry), passwordPattern, OperatorsSection::kPasswordLength, this);
        m_passwords[entry]->setEchoMode(QLineEdit::Password);
        m_names[entry]->setFixedWidth(kNameWidth);
        m_passwords[entry]->setFixedWidth(kPasswordWidth);
        grid->addWidget(m_names[entry], gridRow, kNameColumn);
        grid->addWidget(m_passwords[entry], gridRow, kPasswordColumn);
        connect(m_names[entry], &QLineEdit::textEdited, this, [this] {
            m_section.fieldEdited();
            showSave();
        });
        connect(m_passwords[entry], &QLineEdit::textEdited, this, [this] {
            m_section.fieldEdited();
            showSave();
        });
        if (entry >= OperatorTable::kFirstNamed) {
            m_buttons[entry] = new QPushButton(this);
            m_buttons[entry]->setObjectName(controlName("button", OperatorControl::button(entry)));
            grid->addWidget(m_buttons[entry], gridRow, 0);
            connect(m_buttons[entry], &QPushButton::clicked, this, [this, entry] {
                if (m_section.row(entry).buttonRemoves) {
                    m_section.remover(entry);
                    showRows(true);
                } else {
                    m_section.novo(entry);
                    showRows(false);
                }
                showSave();
            });
        }
        if (entry >= OperatorTable::kAnonymous) {
            for (int right = 0; right < 6; ++right) {
                auto* box = new QCheckBox(this);
                box->setObjectName(controlName("check", OperatorControl::box(entry, right)));
                m_boxes[entry][right] = box;
                grid->addWidget(box, gridRow, kFirstBoxColumn + right, Qt::AlignHCenter);
                connect(box, &QCheckBox::clicked, this, [this, entry, right](bool checked) {
                    m_section.rightClicked(entry, right, checked, m_names[entry]->text());
                    showSave();
                });
            }
        }
    }
    m_names[OperatorTable::kAdministrator]->setEnabled(false);
    m_names[OperatorTable::kAnonymous]->setEnabled(false);
    m_passwords[OperatorTable::kAnonymous]->hide();

    m_showAdminPassword = new QCheckBox(this);
    m_showAdminPassword->setObjectName(controlName("check", OperatorControl::ShowAdminPassword));
    grid->addWidget(m_showAdminPassword, 1, 0, Qt::AlignRight);
    connect(m_showAdminPassword, &QCheckBox::toggled, m_passwords[OperatorTable::kAdministrator], &QWidget::setVisible);

    // The password column keeps its place while its fields are hidden; the room left goes right of the legend.
    grid->setColumnMinimumWidth(kPasswordColumn, kPasswordWidth);
    grid->setColumnStretch(kLegendColumn + 1, 1);

    m_save = new QPushButton(StringTable::text(OperatorControl::Save), this);
    m_save->setObjectName(controlName("button", OperatorControl::Save));
    grid->addWidget(m_save, 1 + OperatorTable::kSize, kLegendColumn);
    connect(m_save, &QPushButton::clicked, this, &OperatorsSectionView::save);

    m_section.refresh();
    showRows(true);
    showSave();
}

void OperatorsSectionView::activate() {
    m_section.refresh();
    m_section.disableSave();
    showRows(true);
    showSave();
}

void OperatorsSectionView::showRows(bool withTexts) {
    m_showAdminPassword->setVisible(m_section.adminPasswordBoxVisible());
    m_passwords[OperatorTable::kAdministrator]->setVisible(m_section.adminPasswordBoxVisible() &&
                                                           m_showAdminPassword->isChecked());
    if (withTexts) {
        m_names[OperatorTable::kAdministrator]->setText(QString::fromLatin1(OperatorTable::kAdministratorName));
        m_passwords[OperatorTable::kAdministrator]->setText(m_section.adminPassword());
    }
    for (int entry = OperatorTable::kAnonymous; entry < OperatorTable::kSize; ++entry) {
        const OperatorsSection::Row& row = m_section.row(entry);
        if (withTexts || !row.nameEnabled) {
            m_names[entry]->setText(row.name);
            m_passwords[entry]->setText(row.password);
        }
        if (entry >= OperatorTable::kFirstNamed) {
            m_buttons[entry]->setVisible(row.buttonVisible);
            m_buttons[entry]->setText(StringTable::text(row.buttonRemoves ? kStrRemove : kStrNew));
            m_names[entry]->setEnabled(row.nameEnabled);
            m_passwords[entry]->setVisible(row.passwordVisible);
        }
        for (int right = 0; right < 6; ++right) {
            QCheckBox* box = m_boxes[entry][right];
            box->setEnabled(row.boxesEnabled);
            box->setChecked((row.rights & OperatorRight::kBoxes[static_cast<size_t>(right)]) != 0);
        }
    }
}

void OperatorsSectionView::showSave() {
    m_save->setEnabled(m_section.saveEnabled());
}

OperatorsForm OperatorsSectionView::form() const {
    OperatorsForm form;
    form.adminPassword = m_passwords[OperatorTable::kAdministrator]->text();
    for (int entry = OperatorTable::kFirstNamed; entry < OperatorTable::kSize; ++entry) {
        form.names[static_cast<size_t>(entry - OperatorTable::kFirstNamed)] = m_names[entry]->text();
        form.passwords[static_cast<size_t>(entry - OperatorTable::kFirstNamed)] = m_passwords[entry]->text();
    }
    return form;
}

void OperatorsSectionView::save() {
    if (m_exchange)
        m_exchange();
    m_section.SaveOperators();
    showSave();
}
