#include "device/DeviceCommands.h"

#include "clients/ClientRecord.h"
#include "clients/ClientRegistry.h"
#include "common/InternalEventId.h"
#include "common/StringTable.h"
#include "config/Operators.h"
#include "device/DeviceDetailsForm.h"
#include "events/InternalEventRaiser.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QPointer>

namespace {

constexpr int kMsgAccessDenied = 141;
constexpr int kMsgCallbackSent = 137;
constexpr int kMsgSessionClosing = 151;
constexpr int kMsgNoAnswerMaybeConnected = 152;
constexpr int kMsgCommunicationError = 181;
constexpr int kMsgPgmDone = 156;
constexpr int kOnlinePage = ClientStatus::Online;
constexpr const char* kPortRangeText = "Enter an integer between 1 and 65535.";
constexpr const char* kDc09NoCommandsText =
    "O cliente %1 reporta por SIA DC-09, protocolo que não recebe comandos: retorno de chamada, detalhes, "
    "PGM e troca de linha valem só para equipamentos TaviCom e Multicom.";

QByteArray bytes(std::initializer_list<quint8> values) {
    QByteArray result;
    for (quint8 v : values)
        result.append(char(v));
    return result;
}

} // namespace

DeviceCommands::DeviceCommands(CommandRequester& requester, ClientRegistry& registry,
                               InternalEventRaiser& internalEvents, const CurrentOperator& currentOperator,
                               UserInterface& ui, QObject* parent)
    : QObject(parent), m_requester(requester), m_registry(registry), m_internalEvents(internalEvents),
      m_operator(currentOperator), m_ui(ui) {}

PrimaryClient* DeviceCommands::clientOf(quint64 serial) const {
    ClientRecord* record = m_registry.findBySerial(serial);
    return record && record->isPrimary() ? static_cast<PrimaryClient*>(record) : nullptr;
}

void DeviceCommands::show(int message, UserInterface::Icon icon) {
    m_ui.showMessage(StringTable::text(message), icon);
}

bool DeviceCommands::refusedOverDc09(const PrimaryClient& client) {
    if (client.heardOver != HeardOver::Dc09)
        return false;
    m_ui.showMessage(QString::fromUtf8(kDc09NoCommandsText).arg(client.name), UserInterface::Icon::Exclamation);
    return true;
}

void DeviceCommands::setPageBusy(int pageKind, bool busy) {
    if (m_view)
        m_view->setPageBusy(pageKind, busy);
}

// ---- Details ----

void DeviceCommands::showDetails(ClientRecord* client, const QString& nameText, int pageKind) {
    PrimaryClient* device = client ? client->primaryRecord() : nullptr;
    if (!device) {
        show(kMsgNotRegistered, UserInterface::Icon::Exclamation);
        return;
    }
    if (refusedOverDc09(*device))
        return;
    if (device->isMulticom()) {
        // No query for a Multicom client: what the registry knows.
        DeviceDetailsForm form(*this, *device, nameText, std::nullopt, 0, false);
        if (m_view)
            m_view->showDetails(form);
        return;
    }
    if (device->status == ClientStatus::Offline) {
        show(kMsgOffline, UserInterface::Icon::Exclamation);
        return;
    }
    const quint64 serial = device->serial;
    QPointer<DeviceCommands> self(this);
    setPageBusy(pageKind, true);
    const bool started = m_requester.SendCommand(
        *device, DeviceCommand::kCodeDetails, {}, DeviceCommand::kCommandAttempts,
        [self, serial, nameText, pageKind](std::optional<CommandRequester::Reply> reply) {
            if (!self)
                return;
            self->setPageBusy(pageKind, false);
            PrimaryClient* device = self->clientOf(serial);
            if (!device)
                return; // removed while the query ran
            if (!reply) {
                self->show(kMsgTimedOut, UserInterface::Icon::Exclamation);
                DeviceDetailsForm form(*self, *device, nameText, std::nullopt, 0, true);
                if (self->m_view)
                    self->m_view->showDetails(form);
                return;
            }
            if (reply->answer.type != TaviCom::kTypeAcknowledged || reply->answer.code != DeviceCommand::kCodeDetails) {
                self->show(kMsgCommunicationError, UserInterface::Icon::Exclamation);
                return;
            }
            DeviceDetailsForm form(*self, *device, nameText, DeviceCommand::readDetails(reply->answer.payload),
                                   reply->fromPort, false);
            if (self->m_view)
                self->m_view->showDetails(form);
        });
    if (!started)
        setPageBusy(pageKind, false);
}

// ---- Callback ----

void DeviceCommands::sendCallback(ClientRecord* client, const QString& address, const QString& portText) {
    PrimaryClient* device = client ? client->primaryRecord() : nullptr;
    if (!device) {
        show(kMsgNotRegistered, UserInterface::Icon::Exclamation);
        return;
    }
    if (refusedOverDc09(*device))
        return;
    if (device->port == 0) {
        show(kMsgOffline, UserInterface::Icon::Exclamation);
        return;
    }
    bool ok = false;
    const uint port = portText.trimmed().toUInt(&ok);
    if (!ok || port < 1 || port > 0xFFFF) {
        m_ui.showMessage(QString::fromLatin1(kPortRangeText), UserInterface::Icon::Exclamation);
        return;
    }
    m_internalEvents.raiseInternal(InternalEvent::CallbackSent, false, InternalForward::IfEnabled);
    StartCallback(device, address.trimmed(), static_cast<quint16>(port));
}

void DeviceCommands::StartCallback(PrimaryClient* client, const QString& address, quint16 port) {
    if (!client)
        return;
    if (DeviceCommand::isDottedAddress(address)) {
        startDeviceCallback(*client, address, port);
        return;
    }
    if (client->isMulticom()) {
        client->remoteCallback = false;
        show(kMsgMulticomNeedsAddress, UserInterface::Icon::Exclamation);
        return;
    }
    // A host name: resolved without blocking; the client is looked up again when the answer comes.
    const quint64 serial = client->serial;
    QPointer<DeviceCommands> self(this);
    QHostInfo::lookupHost(address, this, [self, serial, port](const QHostInfo& info) {
        PrimaryClient* client = self ? self->clientOf(serial) : nullptr;
        if (!client)
            return;
        for (const QHostAddress& found : info.addresses()) {
            if (found.protocol() == QAbstractSocket::IPv4Protocol) {
                self->startDeviceCallback(*client, found.toString(), port);
                return;
            }
        }
        const bool remote = client->remoteCallback;
        client->remoteCallback = false;
        if (!remote)
            self->show(kMsgCommunicationError, UserInterface::Icon::Exclamation);
    });
}

void DeviceCommands::startDeviceCallback(PrimaryClient& client, const QString& address, quint16 port) {
    if (refusedOverDc09(client)) {
        client.remoteCallback = false;
        return;
    }
    const auto octets = DeviceCommand::callbackPayload(address, client.address, port);
    if (client.isMulticom()) {
        auto& multicom = static_cast<MulticomClient&>(client);
        std::copy(octets.begin(), octets.begin() + 4, multicom.callbackIp.begin());
        multicom.callbackPort = port;
        multicom.pendingCommand = 1; // delivered when the device next reports
        return;
    }
    const quint64 serial = client.serial;
    QPointer<DeviceCommands> self(this);
    setPageBusy(kOnlinePage, true);
    const bool started = m_requester.SendCommand(
        client, DeviceCommand::kCodeCallback,
        QByteArray(reinterpret_cast<const char*>(octets.data()), qsizetype(octets.size())),
        DeviceCommand::kCallbackAttempts, [self, serial](std::optional<CommandRequester::Reply> reply) {
            if (!self)
                return;
            self->setPageBusy(kOnlinePage, false);
            PrimaryClient* client = self->clientOf(serial);
            // A callback the device asked for itself ends without a message.
            if (client && client->remoteCallback) {
                client->remoteCallback = false;
                return;
            }
            std::optional<DeviceCommand::Answer> answer;
            if (reply)
                answer = reply->answer;
            const int message = DeviceCommand::callbackMessage(answer);
            if (message != DeviceCommand::kMsgBusy) {
                self->show(message, message == kMsgCallbackSent ? UserInterface::Icon::Information
                                                                : UserInterface::Icon::Exclamation);
                return;
            }
            // Busy with a session: Cancel closes that session.
            if (!self->m_ui.askOkCancel(StringTable::text(message), UserInterface::Icon::Exclamation))
                self->closeBusySession(serial);
        });
    if (!started) {
        setPageBusy(kOnlinePage, false);
        client.remoteCallback = false;
    }
}

void DeviceCommands::closeBusySession(quint64 serial) {
    PrimaryClient* client = clientOf(serial);
    if (!client)
        return;
    QPointer<DeviceCommands> self(this);
    setPageBusy(kOnlinePage, true);
    const bool started = m_requester.SendCommand(
        *client, DeviceCommand::kCodeCloseSession, {}, DeviceCommand::kCommandAttempts,
        [self](std::optional<CommandRequester::Reply> reply) {
            if (!self)
                return;
            self->setPageBusy(kOnlinePage, false);
            self->show(reply ? kMsgSessionClosing : kMsgNoAnswerMaybeConnected,
                       reply ? UserInterface::Icon::Information : UserInterface::Icon::Exclamation);
        });
    if (!started)
        setPageBusy(kOnlinePage, false);
}

// ---- The details dialog's commands ----

void DeviceCommands::togglePgm(DeviceDetailsForm& form, int index) {
    PrimaryClient* client = clientOf(form.clientSerial());
    if (!client || form.multicom() || refusedOverDc09(*client))
        return;
    QPointer<DeviceDetailsForm> dialog(&form);
    form.setBusy(true);
    const bool started = m_requester.SendCommand(
        *client, DeviceCommand::kCodePgm, bytes({quint8(index), 0}), DeviceCommand::kCommandAttempts,
        [self = QPointer<DeviceCommands>(this), dialog, index](std::optional<CommandRequester::Reply> reply) {
            if (!self)
                return;
            std::optional<DeviceCommand::Answer> answer;
            if (reply)
                answer = reply->answer;
            std::optional<bool> state;
            const int message = DeviceCommand::pgmMessage(answer, index, &state);
            if (dialog) {
                if (state)
                    dialog->setPgm(index, *state);
                dialog->setBusy(false);
            }
            self->show(message,
                       message == kMsgPgmDone ? UserInterface::Icon::Information : UserInterface::Icon::Exclamation);
        });
    if (!started)
        form.setBusy(false);
}

void DeviceCommands::switchLine(DeviceDetailsForm& form, const QString& minutesItem) {
    if (!m_operator.has(OperatorRight::Commands)) {
        show(kMsgAccessDenied, UserInterface::Icon::Exclamation);
        return;
    }
    PrimaryClient* client = clientOf(form.clientSerial());
    if (!client || refusedOverDc09(*client))
        return;
    // The number at the start of the item ("10 min", "15min").
    QString digits;
    for (QChar c : minutesItem.trimmed()) {
        if (!c.isDigit())
            break;
        digits += c;
    }
    const auto minutes = static_cast<quint8>(qBound(0, digits.toInt(), 255));
    if (client->isMulticom()) {
        auto* multicom = static_cast<MulticomClient*>(client);
        multicom->switchTarget = minutes;
        multicom->pendingCommand = 2;
        return;
    }
    // The answer is not looked at; the dialog waits for it all the same.
    QPointer<DeviceDetailsForm> dialog(&form);
    form.setBusy(true);
    if (!m_requester.SendCommand(*client, DeviceCommand::kCodeLineSwitch, bytes({minutes}),
                                 DeviceCommand::kCommandAttempts, [dialog](std::optional<CommandRequester::Reply>) {
                                     if (dialog)
                                         dialog->setBusy(false);
                                 }))
        form.setBusy(false);
}
