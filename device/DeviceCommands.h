#pragma once

#include "clients/ClientDialogHost.h"
#include "common/UserInterface.h"
#include "device/CallbackStarter.h"
#include "device/CommandRequester.h"

#include <QObject>
#include <QString>

class ClientRegistry;
class DeviceDetailsForm;
class InternalEventRaiser;
class PrimaryClient;
class UserInterface;
struct CurrentOperator;

// What the device commands need of the window: the page that started a
// request is disabled with the wait cursor while it runs, and the details
// dialog is shown modally over its form.
class DeviceCommandView {
public:
    virtual ~DeviceCommandView() = default;
    virtual void setPageBusy(int pageKind, bool busy) = 0;
    virtual void showDetails(DeviceDetailsForm& form) = 0;
};

// The operators' commands to devices and the callbacks that devices ask for:
// callback, details query, PGM toggles and line switch. TaviCom devices get a
// request datagram through the CommandRequester and the answer decides the
// message; Multicom clients keep a callback or a line switch in their record
// until their device next reports. A client last heard over SIA DC-09 gets
// none of them: that protocol carries no commands, and the operator is told
// so rather than kept waiting for an answer nobody sends. Every outcome reaches the operator as a
// message, except for a callback a device asked for itself.
//
// Threads: the main thread. Nothing here waits: requests end in callbacks.
class DeviceCommands : public QObject, public CallbackStarter, public DeviceCommandStarter {
    Q_OBJECT
public:
    static constexpr int kMsgMulticomNeedsAddress = 113;
    static constexpr int kMsgNotRegistered = 142;
    static constexpr int kMsgTimedOut = 154;
    static constexpr int kMsgOffline = 180;

    DeviceCommands(CommandRequester& requester, ClientRegistry& registry, InternalEventRaiser& internalEvents,
                   const CurrentOperator& currentOperator, UserInterface& ui, QObject* parent = nullptr);

    void setView(DeviceCommandView* view) { m_view = view; }

    // "Detalhes..." (1204) and "Enviar" (1205) of the client pages; the right
    // E has been checked by the page.
    void showDetails(ClientRecord* client, const QString& nameText, int pageKind) override;
    void sendCallback(ClientRecord* client, const QString& address, const QString& port) override;
    // `StartCallback`: from "Enviar", or from a device's callback request
    // (client->remoteCallback set: no message then).
    void StartCallback(PrimaryClient* client, const QString& address, quint16 port) override;

    // The details dialog's commands.
    void togglePgm(DeviceDetailsForm& form, int index);
    void switchLine(DeviceDetailsForm& form, const QString& minutesItem);

private:
    PrimaryClient* clientOf(quint64 serial) const;
    void startDeviceCallback(PrimaryClient& client, const QString& address, quint16 port);
    void closeBusySession(quint64 serial);
    void setPageBusy(int pageKind, bool busy);
    void show(int message, UserInterface::Icon icon);
    // A client last heard over DC-09: its device takes no commands. Tells the operator so.
    bool refusedOverDc09(const PrimaryClient& client);

    CommandRequester& m_requester;
    ClientRegistry& m_registry;
    InternalEventRaiser& m_internalEvents;
    const CurrentOperator& m_operator;
    UserInterface& m_ui;
    DeviceCommandView* m_view = nullptr;
};
