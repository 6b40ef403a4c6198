#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

class ClientDialogHost;
class ClientPageModel;
class ClientPages;
class ClientRecord;
class ClientRegistry;
class ClientTransitions;
class DependentAccount;
class DeviceCommandStarter;
class PrimaryClient;
class UserInterface;
struct CurrentOperator;
struct ServerSettings;

// The side panel of one client page without widgets: the name text, the
// dependents box, the Online page's callback fields, and the operator's
// commands with their rights. Every change of the clients goes through
// ClientTransitions; the dialogs are shown through ClientDialogHost.
//
// The dependents box names its entries by the registry's serials, so an entry
// whose record was freed by a command on another page is simply gone.
class ClientPagePanel : public QObject {
    Q_OBJECT
public:
    struct Services {
        ClientRegistry& registry;
        ClientPages& pages;
        ClientTransitions& transitions;
        const CurrentOperator& currentOperator;
        const ServerSettings& settings;
        UserInterface& ui;
    };

    ClientPagePanel(int kind, const Services& services, QObject* parent = nullptr);

    void setDialogHost(ClientDialogHost* host) { m_dialogs = host; }
    void setDeviceCommands(DeviceCommandStarter* commands) { m_devices = commands; }

    int kind() const { return m_kind; }
    ClientPageModel& model() const { return *m_model; }

    QString nameText() const { return m_nameText; }
    // The operator typed in the name box.
    void setNameText(const QString& text) { m_nameText = text; }
    // The client the name text names: the selected client when its name is
    // the text, else the client of the first row with that name.
    ClientRecord* clientInNameText() const;

    // Left click on a row: its name becomes the name text and its client the
    // selected one; the dependents controls follow.
    void pickRow(int row);
    // `ShowPage`: the dependents controls again for the selected client.
    void refresh();

    bool dependentsVisible() const { return m_dependentsVisible; }
    QStringList dependentTexts() const { return m_dependentTexts; }
    int chosenDependent() const { return m_chosen; }
    void chooseDependent(int index) { m_chosen = index; }

    // Online page: the callback address and port ("*" restores the defaults).
    QString callbackAddress() const { return m_callbackAddress; }
    QString callbackPort() const { return m_callbackPort; }
    void setCallback(const QString& address, const QString& port);
    void restoreCallbackDefaults();

    // Commands of the Online, Offline and Blocked pages.
    void editClient();    // 1201 "Editar"
    void editDependent(); // 1202 "Editar Dependente"
    void details();       // 1204 "Detalhes..."
    void sendCallback();  // 1205 "Enviar"
    void unblock();       // 1210 "Desbloquear"
    // Commands of the New page.
    void newClient();          // 1269 "Novo"
    void removeNewClient();    // 125 "Remover"
    void editNewClient();      // 1201 "Editar"
    void newDependent();       // 1270 "Novo"
    void editNewDependent();   // 1202 "Editar"
    void removeNewDependent(); // 1003 "Remover"

signals:
    // What the panel shows changed: the view shows it again.
    void changed();
    // A command changed the clients: every panel refreshes its dependents box.
    void clientsChanged();

private:
    bool allowed(quint16 right) const;
    void edit(ClientRecord* client);
    void followRecord(ClientRecord* client);
    void editDependentOnNewPage(DependentAccount* dependent);
    DependentAccount* chosenDependentRecord() const;
    void fillDependents(PrimaryClient* primary);
    void hideDependents();

    int m_kind;
    Services m_services;
    ClientPageModel* m_model;
    ClientDialogHost* m_dialogs = nullptr;
    DeviceCommandStarter* m_devices = nullptr;
    QString m_nameText;
    bool m_dependentsVisible = false;
    QStringList m_dependentTexts;
    QList<quint64> m_dependentSerials;
    int m_chosen = -1;
    QString m_callbackAddress;
    QString m_callbackPort;
};
