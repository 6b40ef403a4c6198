#pragma once

#include <QObject>
#include <QTimer>

class GuiUserInterface;
class ServerCore;
class UserInterface;

// How the window's run ends on SIGTERM or SIGINT, whatever is on screen: from
// the signal on nobody is asked anything (messages and questions go to the
// console with their default answers), every dialog, message box or menu open
// now or opened later is closed, and the core's orderly shutdown runs its
// course. A second signal finishes the shutdown without waiting for the
// forwardings under way.
class WindowTermination : public QObject {
    Q_OBJECT
public:
    static constexpr int kSweepMs = 100;

    WindowTermination(ServerCore& core, GuiUserInterface& ui, UserInterface& console, QObject* parent = nullptr);

    // What a termination signal does.
    void terminate();

private:
    void closeDialogs();

    ServerCore& m_core;
    GuiUserInterface& m_ui;
    UserInterface& m_console;
    QTimer m_sweep;
};
