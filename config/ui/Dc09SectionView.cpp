#include "config/ui/Dc09SectionView.h"

#include "config/Dc09Section.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>

namespace {

constexpr int kNumberWidth = 70;
constexpr int kKeyListHeight = 90;
constexpr int kMaxAccountLength = 16;
constexpr int kMaxKeyLength = 64;

QLineEdit* makeEdit(const char* name, const QString& pattern, int maxLength, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    edit->setMaxLength(maxLength);
    edit->setValidator(new QRegularExpressionValidator(QRegularExpression(pattern), edit));
    return edit;
}

QPushButton* makeButton(const char* name, const QString& text, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(name));
    return button;
}

} // namespace

Dc09SectionView::Dc09SectionView(Dc09Section& section, QWidget* parent) : QWidget(parent), m_section(section) {
    const QString digits = QStringLiteral("[0-9]*");
    m_port = makeEdit("dc09Port", digits, 5, this);
    m_lag = makeEdit("dc09Lag", digits, 5, this);
    m_lead = makeEdit("dc09Lead", digits, 5, this);
    for (QLineEdit* edit : {m_port, m_lag, m_lead})
        edit->setFixedWidth(kNumberWidth);
    m_keys = new QListWidget(this);
    m_keys->setObjectName(QStringLiteral("dc09Keys"));
    m_keys->setFixedHeight(kKeyListHeight);
    // Malformed text still reaches the section, which says what is wrong with it.
    m_account = makeEdit("dc09Account", QStringLiteral("[0-9A-Fa-f*]*"), kMaxAccountLength, this);
    m_key = makeEdit("dc09Key", QStringLiteral("[0-9A-Fa-f]*"), kMaxKeyLength, this);
    m_key->setEchoMode(QLineEdit::Password);
    m_setKey = makeButton("dc09SetKey", QStringLiteral("Definir chave"), this);
    m_removeKey = makeButton("dc09RemoveKey", QStringLiteral("Remover chave"), this);
    m_save = makeButton("dc09Save", QStringLiteral("Salvar"), this);

    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(QStringLiteral("Porta (UDP e TCP, 0 desliga):"), this), 0, 0);
    grid->addWidget(m_port, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Atraso aceito (s):"), this), 1, 0);
    grid->addWidget(m_lag, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("Adiantamento aceito (s):"), this), 2, 0);
    grid->addWidget(m_lead, 2, 1);
    grid->addWidget(new QLabel(QStringLiteral("Chaves AES por conta:"), this), 0, 2);
    grid->addWidget(m_keys, 1, 2, 3, 2);
    grid->addWidget(new QLabel(QStringLiteral("Conta (ou *):"), this), 4, 2);
    grid->addWidget(m_account, 4, 3);
    grid->addWidget(new QLabel(QStringLiteral("Chave (hexadecimal):"), this), 5, 2);
    grid->addWidget(m_key, 5, 3);
    grid->addWidget(m_setKey, 6, 2);
    grid->addWidget(m_removeKey, 6, 3);
    grid->addWidget(m_save, 6, 0);
    grid->setColumnStretch(3, 1);

    for (QLineEdit* edit : {m_port, m_lag, m_lead})
        connect(edit, &QLineEdit::textEdited, this, [this] { m_save->setEnabled(true); });
    // Choosing a row names its account for "Remover chave" or a new key.
    connect(m_keys, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0)
            m_account->setText(m_keys->item(row)->data(Qt::UserRole).toString());
    });
    connect(m_setKey, &QPushButton::clicked, this, &Dc09SectionView::setKey);
    connect(m_removeKey, &QPushButton::clicked, this, &Dc09SectionView::removeKey);
    connect(m_save, &QPushButton::clicked, this, &Dc09SectionView::save);
    activate();
}

void Dc09SectionView::activate() {
    m_section.load();
    showSettings();
    m_save->setEnabled(false);
}

void Dc09SectionView::showSettings() {
    const Dc09Form form = m_section.form();
    m_port->setText(form.port);
    m_lag->setText(form.lag);
    m_lead->setText(form.lead);
    showKeys();
    m_account->clear();
    m_key->clear();
}

void Dc09SectionView::showKeys() {
    m_keys->clear();
    for (const Dc09Section::KeyRow& row : m_section.keyRows()) {
        auto* item = new QListWidgetItem(QStringLiteral("%1    %2").arg(row.account, row.shown), m_keys);
        item->setData(Qt::UserRole, row.account);
    }
    const bool mayChange = m_section.mayChangeKeys();
    for (QWidget* widget : {static_cast<QWidget*>(m_account), static_cast<QWidget*>(m_key),
                            static_cast<QWidget*>(m_setKey), static_cast<QWidget*>(m_removeKey)})
        widget->setEnabled(mayChange);
}

void Dc09SectionView::setKey() {
    if (!m_section.setKey(m_account->text(), m_key->text()))
        return;
    m_key->clear(); // the key is not kept on screen once taken
    showKeys();
    m_save->setEnabled(true);
}

void Dc09SectionView::removeKey() {
    if (!m_section.removeKey(m_account->text()))
        return;
    m_account->clear();
    showKeys();
    m_save->setEnabled(true);
}

void Dc09SectionView::save() {
    if (m_section.save({m_port->text(), m_lag->text(), m_lead->text()}))
        m_save->setEnabled(false);
}
