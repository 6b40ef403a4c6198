#include "config/ui/Login.h"

#include "common/StringTable.h"
#include "config/Operators.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLinearGradient>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int kStrOk = 1;
constexpr int kStrCancel = 2;
constexpr int kStrProductName = 100;
constexpr int kStrOperator = 422;
constexpr int kStrPassword = 1233;
constexpr QSize kPictureSize(300, 64);

// The picture at the top of the dialog: the product name on a dark band.
QPixmap picture() {
    QPixmap pixmap(kPictureSize);
    QPainter painter(&pixmap);
    QLinearGradient band(0, 0, kPictureSize.width(), 0);
    band.setColorAt(0, QColor(16, 42, 84));
    band.setColorAt(1, QColor(40, 96, 160));
    painter.fillRect(pixmap.rect(), band);
    QFont font = painter.font();
    font.setPointSize(20);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(pixmap.rect(), Qt::AlignCenter, StringTable::text(kStrProductName));
    return pixmap;
}

} // namespace

Login::Login(const OperatorTable& table, CurrentOperator& current, bool anonymousMode, UserInterface& ui,
             QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), m_check(table, current, anonymousMode, ui),
      m_name(new QLineEdit(current.name, this)), m_password(new QLineEdit(this)) {
    setObjectName(QStringLiteral("login"));
    auto* layout = new QVBoxLayout(this);
    auto* banner = new QLabel(this);
    banner->setPixmap(picture());
    layout->addWidget(banner);

    m_name->setObjectName(QStringLiteral("edit%1").arg(kNameField));
    m_name->setMaxLength(LoginCheck::kMaxNameLength);
    m_password->setObjectName(QStringLiteral("edit%1").arg(kPasswordField));
    m_password->setEchoMode(QLineEdit::Password);
    auto* fields = new QFormLayout;
    fields->addRow(StringTable::text(kStrOperator), m_name);
    fields->addRow(StringTable::text(kStrPassword), m_password);
    layout->addLayout(fields);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(StringTable::text(kStrOk), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("ok"));
    ok->setDefault(true);
    buttons->addButton(StringTable::text(kStrCancel), QDialogButtonBox::RejectRole)
        ->setObjectName(QStringLiteral("cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &Login::submit);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    (m_name->text().isEmpty() ? m_name : m_password)->setFocus();
}

void Login::submit() {
    switch (m_check.submit(m_name->text(), m_password->text())) {
    case LoginCheck::Result::Accepted:
        accept();
        break;
    case LoginCheck::Result::Retry:
        m_password->clear();
        m_password->setFocus();
        break;
    case LoginCheck::Result::Exceeded:
    case LoginCheck::Result::Cancelled:
        reject();
        break;
    }
}
