#include "shell/ui/GuiUserInterface.h"

#include "common/StringTable.h"
#include "shell/ui/InfoBar.h"

#include <QMessageBox>

namespace {

constexpr int kStrProductName = 100;

QMessageBox::Icon toQt(UserInterface::Icon icon) {
    switch (icon) {
    case UserInterface::Icon::Information:
        return QMessageBox::Information;
    case UserInterface::Icon::Exclamation:
        return QMessageBox::Warning;
    case UserInterface::Icon::Error:
        return QMessageBox::Critical;
    case UserInterface::Icon::Question:
        return QMessageBox::Question;
    case UserInterface::Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

// A message's texts are plain: its line breaks are line breaks, and a "<" in a
// file name or a device's text is shown, never taken for markup (which would
// also join the lines).
void showAsPlainText(QMessageBox& box) {
    box.setTextFormat(Qt::PlainText);
    box.setObjectName(QStringLiteral("messageBox"));
}

} // namespace

void GuiUserInterface::showMessage(const QString& text, Icon icon) {
    if (m_console) {
        m_console->showMessage(text, icon);
        return;
    }
    QMessageBox box(toQt(icon), StringTable::text(kStrProductName), text, QMessageBox::Ok, m_window);
    showAsPlainText(box);
    box.exec();
}

bool GuiUserInterface::askYesNo(const QString& text, Icon icon, bool defaultYes) {
    if (m_console)
        return m_console->askYesNo(text, icon, defaultYes);
    QMessageBox box(toQt(icon), StringTable::text(kStrProductName), text, QMessageBox::Yes | QMessageBox::No, m_window);
    showAsPlainText(box);
    box.setDefaultButton(defaultYes ? QMessageBox::Yes : QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

bool GuiUserInterface::askOkCancel(const QString& text, Icon icon) {
    if (m_console)
        return m_console->askOkCancel(text, icon);
    return UserInterface::askOkCancel(text, icon);
}

void GuiUserInterface::setStatusField(int field, const QString& text) {
    if (m_infoBar)
        m_infoBar->setField(field, text);
}

void GuiUserInterface::playSound(const QString& path) {
    if (m_play)
        m_play(path);
}
