#include "shell/ui/WindowTermination.h"

#include "shell/ServerCore.h"
#include "shell/ui/GuiUserInterface.h"

#include <QApplication>
#include <QDialog>

WindowTermination::WindowTermination(ServerCore& core, GuiUserInterface& ui, UserInterface& console, QObject* parent)
    : QObject(parent), m_core(core), m_ui(ui), m_console(console) {
    m_sweep.setInterval(kSweepMs);
    connect(&m_sweep, &QTimer::timeout, this, &WindowTermination::closeDialogs);
}

void WindowTermination::terminate() {
    m_ui.setConsole(&m_console);
    // A box opened by the shutdown itself, or by code that goes on after a
    // closed one, is closed at the next sweep.
    m_sweep.start();
    closeDialogs();
    m_core.terminate();
}

void WindowTermination::closeDialogs() {
    if (QWidget* popup = QApplication::activePopupWidget())
        popup->close();
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QDialog*>(widget);
        if (!dialog || !dialog->isVisible())
            continue;
        dialog->reject();
        // A dialog that waits for its command refuses Esc; the command's outcome still finds it gone.
        if (dialog->isVisible())
            dialog->done(QDialog::Rejected);
    }
}
