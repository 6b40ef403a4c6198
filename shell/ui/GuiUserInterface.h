#pragma once

#include "common/UserInterface.h"

#include <functional>

class CInfoBar;
class QWidget;

// The operator's side of UserInterface: Qt message boxes over the main
// window, the status bar fields, and the sound player. Where nobody can answer
// a box (no display, or the run is ending on a termination signal), messages
// and questions go to a console instead, which writes them out and takes the
// default answers: nothing that serves devices waits for a person.
class GuiUserInterface : public UserInterface {
public:
    using SoundFunction = std::function<void(const QString&)>;

    void setWindow(QWidget* window) { m_window = window; }
    // Messages and questions from here on go to console (none: boxes again).
    void setConsole(UserInterface* console) { m_console = console; }
    bool usesConsole() const { return m_console != nullptr; }
    void setInfoBar(CInfoBar* infoBar) { m_infoBar = infoBar; }
    void setSoundPlayer(SoundFunction play) { m_play = std::move(play); }

    void showMessage(const QString& text, Icon icon) override;
    bool askYesNo(const QString& text, Icon icon, bool defaultYes) override;
    bool askOkCancel(const QString& text, Icon icon) override;
    void setStatusField(int field, const QString& text) override;
    void playSound(const QString& path) override;

private:
    QWidget* m_window = nullptr;
    UserInterface* m_console = nullptr;
    CInfoBar* m_infoBar = nullptr;
    SoundFunction m_play;
};
