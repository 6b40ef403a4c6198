#include "clients/ui/QtClientDialogHost.h"

#include "clients/ui/ClientData.h"
#include "clients/ui/ClientSetup.h"
#include "clients/ui/SetupDependent.h"

int QtClientDialogHost::runClientData(ClientDataForm& form) {
    ClientData dialog(form, m_parent);
    return dialog.exec();
}

int QtClientDialogHost::runClientSetup(ClientSetupForm& form) {
    ClientSetup dialog(form, m_parent);
    return dialog.exec();
}

int QtClientDialogHost::runSetupDependent(SetupDependentForm& form) {
    SetupDependent dialog(form, m_parent);
    return dialog.exec();
}
