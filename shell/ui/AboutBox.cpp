#include "shell/ui/AboutBox.h"

#include "common/StringTable.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace {
constexpr int kStrTitle = 100;
constexpr int kStrProductName = 102;
constexpr int kStrOk = 1;
constexpr int kPictureSize = 32;
} // namespace

QString AboutBox::label() {
    return StringTable::text(kStrProductName) + QString::asprintf(" V %d.%d.%d.%d", ATALAIA_VERSION_MAJOR,
                                                                  ATALAIA_VERSION_MINOR, ATALAIA_VERSION_PATCH,
                                                                  ATALAIA_VERSION_TWEAK);
}

AboutBox::AboutBox(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("about"));
    setWindowTitle(StringTable::text(kStrTitle));
    auto* picture = new QLabel(this);
    picture->setPixmap(windowIcon().isNull()
                           ? style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(kPictureSize)
                           : windowIcon().pixmap(kPictureSize));
    auto* text = new QLabel(label(), this);
    text->setObjectName(QStringLiteral("aboutLabel"));
    auto* row = new QHBoxLayout;
    row->addWidget(picture);
    row->addWidget(text, 1);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(StringTable::text(kStrOk), QDialogButtonBox::AcceptRole);
    ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(buttons);
}
