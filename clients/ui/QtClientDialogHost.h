#pragma once

#include "clients/ClientDialogHost.h"

class QWidget;

// The desktop's client dialogs: each one modal over the parent window, its
// result the one the dialog closed with.
class QtClientDialogHost : public ClientDialogHost {
public:
    explicit QtClientDialogHost(QWidget* parent) : m_parent(parent) {}

    int runClientData(ClientDataForm& form) override;
    int runClientSetup(ClientSetupForm& form) override;
    int runSetupDependent(SetupDependentForm& form) override;

private:
    QWidget* m_parent;
};
