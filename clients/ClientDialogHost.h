#pragma once

class ClientDataForm;
class ClientRecord;
class ClientSetupForm;
class QString;
class SetupDependentForm;

// Shows the client dialogs over their forms: the desktop opens modal Qt
// dialogs, tests answer with prepared fields. Each call returns the result the
// dialog closed with (ClientDialogResult).
class ClientDialogHost {
public:
    virtual ~ClientDialogHost() = default;
    virtual int runClientData(ClientDataForm& form) = 0;
    virtual int runClientSetup(ClientSetupForm& form) = 0;
    virtual int runSetupDependent(SetupDependentForm& form) = 0;
};

// The device commands the Online and Offline pages start ("Detalhes...",
// "Enviar") for the client in their name box (none when it names nobody); the
// device link implements them and tells the operator what came of them.
class DeviceCommandStarter {
public:
    virtual ~DeviceCommandStarter() = default;
    virtual void showDetails(ClientRecord* client, const QString& nameText, int pageKind) = 0;
    virtual void sendCallback(ClientRecord* client, const QString& address, const QString& port) = 0;
};
