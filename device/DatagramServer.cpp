#include "device/DatagramServer.h"

#include "clients/ClientContact.h"
#include "clients/ClientRegistry.h"
#include "common/StringTable.h"
#include "common/UserInterface.h"
#include "config/ServerSettings.h"
#include "device/CallbackStarter.h"
#include "device/LinkStatusWatch.h"
#include "events/EventRaiser.h"
#include "reporting/ReportSettings.h"
#include "reporting/Reporter.h"

#include <QHostAddress>
#include <QPointer>
#include <QUdpSocket>

#include <algorithm>

using namespace TaviCom;

namespace {

// The name under which an event of an unregistered device is listed: "address:port".
constexpr int kMaxSenderNameLength = 23;
constexpr quint32 kMaxPort = 0xFFFF;

const QString kOnlineText = QStringLiteral("Online");
const QString kOfflineText = QStringLiteral("Offline");

} // namespace

DatagramServer::DatagramServer(const ServerSettings& serverSettings, const ReportSettings& reportSettings,
                               ClientRegistry& registry, ContactRecorder& contacts, EventRaiser& events,
                               Reporter& reporter, CallbackStarter& callbacks, UserInterface& ui, QObject* parent)
    : QObject(parent), m_serverSettings(serverSettings), m_reportSettings(reportSettings), m_registry(registry),
      m_contacts(contacts), m_events(events), m_reporter(reporter), m_callbacks(callbacks), m_ui(ui) {}

DatagramServer::~DatagramServer() {
    stopServer();
}

bool DatagramServer::StartServer() {
    stopServer();
    auto* socket = new QUdpSocket(this);
    // A port number beyond 16 bits is refused rather than bound truncated.
    const bool validPort = m_serverSettings.UDP <= kMaxPort;
    if (!validPort || !socket->bind(QHostAddress::AnyIPv4, static_cast<quint16>(m_serverSettings.UDP))) {
        if (validPort)
            m_ui.showMessage(socket->errorString(), UserInterface::Icon::Error);
        m_ui.showMessage(StringTable::text(kMsgServerDisconnected), UserInterface::Icon::Error);
        delete socket;
        setInternetStatus(false);
        return false;
    }
    m_socket = socket;
    connect(m_socket, &QUdpSocket::readyRead, this, &DatagramServer::ReceiveDatagram);
    setInternetStatus(true);
    if (m_linkWatch)
        m_linkWatch->start();
    return true;
}

void DatagramServer::stopServer() {
    if (!m_socket)
        return;
    m_socket->disconnect(this);
    m_socket->close();
    delete m_socket;
    m_socket = nullptr;
}

quint16 DatagramServer::boundPort() const {
    return m_socket ? m_socket->localPort() : 0;
}

bool DatagramServer::sendDatagram(std::span<const quint8> datagram, const QString& address, quint16 port) {
    if (!m_socket)
        return false;
    const qint64 sent = m_socket->writeDatagram(reinterpret_cast<const char*>(datagram.data()),
                                                static_cast<qint64>(datagram.size()), QHostAddress(address), port);
    return sent == static_cast<qint64>(datagram.size());
}

void DatagramServer::setInternetStatus(bool online) {
    m_ui.setStatusField(StatusField::Internet, online ? kOnlineText : kOfflineText);
}

void DatagramServer::ReceiveDatagram() {
    // Pending datagrams are handled in rounds of at most kMaxDatagramsPerRound,
    // so a flood cannot keep the timers of forwarding and supervision from
    // running; the rest are taken up again from the event loop. The socket may
    // be closed by what a datagram triggers, so it is checked on every round.
    for (int handled = 0; m_socket && m_socket->hasPendingDatagrams(); ++handled) {
        if (handled == kMaxDatagramsPerRound) {
            QMetaObject::invokeMethod(this, &DatagramServer::ReceiveDatagram, Qt::QueuedConnection);
            return;
        }
        QHostAddress sender;
        quint16 senderPort = 0;
        const qint64 read =
            m_socket->readDatagram(reinterpret_cast<char*>(m_receive.data()), kMaxDatagramLength, &sender, &senderPort);
        if (read < 0)
            break;
        if (read == 0)
            continue;
        m_receivedLength = static_cast<int>(read);
        m_senderAddress = sender.toString();
        m_senderPort = senderPort;
        handleDatagram();
    }
}

void DatagramServer::handleDatagram() {
    const std::span<quint8> received(m_receive.data(), static_cast<size_t>(m_receivedLength));
    if (!isCompleteDatagram(received))
        return;
    PrimaryClient* client = m_registry.FindPrimary(readU16(received, kOffDeviceId));
    if (CheckDatagram(received, m_receivedLength) != kCheckValid)
        return;
    const Header header = *readHeader(received); // complete datagrams always have a header

    if (client) {
        switch (header.kind) {
        case kKindReport:
            if (const auto report = readDeviceReport(received)) {
                handleDeviceReport(client, header, *report);
                client->datagramSequence = header.sequence;
            }
            break;
        case kKindAnswer:
            client->datagramSequence = header.sequence;
            std::copy(received.begin(), received.end(), m_answer.begin());
            m_answerLength = m_receivedLength;
            emit answerReceived();
            break;
        default:
            client->datagramSequence = header.sequence;
            break;
        }
        return;
    }

    if (header.kind == kKindRequest) {
        std::copy(received.begin(), received.end(), m_requestCopy.begin());
        handleCallbackRequest(header);
    } else if (const auto report = readDeviceReport(received)) {
        handleDeviceReport(nullptr, header, *report);
    }
}

void DatagramServer::handleDeviceReport(PrimaryClient* client, const Header& header, const DeviceReport& report) {
    // The acknowledgement goes out before anything is recorded, raised or forwarded.
    const bool knownType = header.type == kTypeEvent || header.type == kTypeKeepAlive;
    const std::span<const quint8> received(m_receive.data(), static_cast<size_t>(m_receivedLength));
    const int answerLength = buildReportAnswer(received, m_reportAnswer, client != nullptr && !knownType);
    if (answerLength > 0)
        sendDatagram(std::span<const quint8>(m_reportAnswer.data(), static_cast<size_t>(answerLength)), m_senderAddress,
                     m_senderPort);

    // The channel byte now holds the channel that the check derived from it.
    m_contacts.ClientContact(client, report.account, m_senderAddress, m_senderPort, m_receive[kOffChannel],
                             report.period);

    if (header.type == kTypeEvent) {
        if (!client) {
            raiseUnregisteredEvent(header, report);
        } else if (client->status != ClientStatus::New) {
            ClientRecord* target = client->FindAccount(report.account);
            if (!target)
                target = client;
            // A blocked account raises nothing; the raiser refuses it too.
            if (target->status != ClientStatus::Blocked)
                m_events.RaiseClientEvent(target, report.code, report.partition, report.zone, EventProtocol::TaviCom);
        }
    } else if (header.type == kTypeKeepAlive) {
        if (m_reportSettings.reportHeartbeat && (client || m_reportSettings.transparent)) {
            ReportRequest heartbeat;
            heartbeat.reportAccount = header.account();
            m_reporter.ReportEvent(heartbeat, [](ReportResult) {});
        }
    }
}

void DatagramServer::raiseUnregisteredEvent(const Header& header, const DeviceReport& report) {
    const bool logAll = m_serverSettings.LogAll;
    const QString name = QStringLiteral("%1:%2").arg(m_senderAddress).arg(m_senderPort).left(kMaxSenderNameLength);
    QPointer<DatagramServer> self(this);
    auto list = [self, logAll, name, report](ReportResult result) {
        if (self && logAll)
            self->m_events.AddEventLine(result, name, report.account, report.code, report.partition, report.zone,
                                        EventProtocol::TaviCom, std::nullopt);
    };
    if (m_reportSettings.transparent) {
        ReportRequest request;
        request.account = report.account;
        request.reportAccount = header.account();
        request.code = report.code;
        request.partition = report.partition;
        request.zone = report.zone;
        m_reporter.ReportEvent(request, list);
    } else {
        list(ReportResult::NotSent);
    }
}

void DatagramServer::handleCallbackRequest(const Header& header) {
    if (header.code != kCodeCallback)
        return;
    const std::span<const quint8> request(m_requestCopy.data(), static_cast<size_t>(m_receivedLength));
    const auto callback = readCallbackRequest(request);
    if (!callback)
        return;
    PrimaryClient* client = m_registry.FindPrimary(callback->account);

    // The sender gets its answer at once; the callback itself runs on.
    const int answerLength = buildCallbackAnswer(request, m_requestAnswer, client != nullptr);
    if (answerLength > 0)
        sendDatagram(std::span<const quint8>(m_requestAnswer.data(), static_cast<size_t>(answerLength)),
                     m_senderAddress, m_senderPort);
    if (client) {
        client->remoteCallback = true;
        m_callbacks.StartCallback(client, m_senderAddress, callback->port);
    }
}
