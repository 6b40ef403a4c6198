#pragma once

#include "common/UserInterface.h"

#include <functional>

class CInfoBar;
class QWidget;

// The operator's side of UserInterface: Qt message boxes over the main
// window, the status bar fields, and the sound player.
class GuiUserInterface : public UserInterface {
public:
    using SoundFunction = std::function<void(const QString&)>;

    void setWindow(QWidget* window) { m_window = window; }
    void setInfoBar(CInfoBar* infoBar) { m_infoBar = infoBar; }
    void setSoundPlayer(SoundFunction play) { m_play = std::move(play); }

    void showMessage(const QString& text, Icon icon) override;
    bool askYesNo(const QString& text, Icon icon, bool defaultYes) override;
    void setStatusField(int field, const QString& text) override;
    void playSound(const QString& path) override;

private:
    QWidget* m_window = nullptr;
    CInfoBar* m_infoBar = nullptr;
    SoundFunction m_play;
};
