#include "device/DatagramServer.h"

#include "events/EventJournal.h"

#include "clients/ClientRegistry.h"
#include "common/StringTable.h"
#include "common/TimeText.h"
#include "common/UserInterface.h"
#include "config/ServerSettings.h"
#include "device/CallbackStarter.h"
#include "device/DeviceReportIntake.h"
#include "device/LinkStatusWatch.h"
#include "events/EventRaiser.h"

#include <QDateTime>
#include <QHostAddress>
#include <QSocketNotifier>

#include <algorithm>
#include <cstdio>

using namespace TaviCom;

namespace {

constexpr quint32 kMaxPort = 0xFFFF;
// Sender address texts kept formatted; the cache starts over beyond this.
constexpr int kMaxAddressTexts = 4096;

const QString kOnlineText = QStringLiteral("Online");
const QString kOfflineText = QStringLiteral("Offline");

std::span<quint8> bytesOf(ReceivedDatagram& datagram) {
    return {datagram.bytes.data(), size_t(datagram.length)};
}

} // namespace

DatagramServer::DatagramServer(const ServerSettings& serverSettings, ClientRegistry& registry,
                               DeviceReportIntake& intake, CallbackStarter& callbacks, UserInterface& ui,
                               int receptionCheckIntervalMs, QObject* parent)
    : QObject(parent), m_serverSettings(serverSettings), m_registry(registry), m_intake(intake), m_callbacks(callbacks),
      m_ui(ui) {
    connect(&m_socket, &DatagramSocket::readyRead, this, &DatagramServer::ReceiveDatagram);
    m_receptionCheck.setInterval(receptionCheckIntervalMs);
    connect(&m_receptionCheck, &QTimer::timeout, this, &DatagramServer::checkReception);
}

DatagramServer::~DatagramServer() {
    stopServer();
}

bool DatagramServer::StartServer() {
    stopServer();
    // A port number beyond 16 bits is refused rather than bound truncated.
    const bool validPort = m_serverSettings.UDP <= kMaxPort;
    if (!validPort || !m_socket.open(static_cast<quint16>(m_serverSettings.UDP))) {
        if (validPort)
            m_ui.showMessage(m_socket.errorString(), UserInterface::Icon::Error);
        m_ui.showMessage(StringTable::text(kMsgServerDisconnected), UserInterface::Icon::Error);
        setInternetStatus(false);
        return false;
    }
    if (m_socket.receiveBufferSize() < DatagramSocket::kRequestedReceiveBuffer)
        std::fprintf(stderr,
                     "atalaia: UDP receive buffer %d bytes (asked for %d); raise net.core.rmem_max for bursts\n",
                     m_socket.receiveBufferSize(), DatagramSocket::kRequestedReceiveBuffer);
    m_readsAtLastCheck = m_datagramsRead;
    m_queuedAtLastCheck = false;
    m_receptionCheck.start();
    setInternetStatus(true);
    if (m_linkWatch)
        m_linkWatch->start();
    return true;
}

void DatagramServer::stopServer() {
    m_receptionCheck.stop();
    if (m_socket.isOpen())
        m_kernelDropsBefore += m_socket.kernelDrops(); // a closed socket's drops are counted already
    m_socket.close();
}

bool DatagramServer::sendDatagram(std::span<const quint8> datagram, const QString& address, quint16 port) {
    bool isIpv4 = false;
    const quint32 to = QHostAddress(address).toIPv4Address(&isIpv4);
    return isIpv4 && m_socket.sendTo(datagram, to, port);
}

void DatagramServer::setInternetStatus(bool online) {
    m_ui.setStatusField(StatusField::Internet, online ? kOnlineText : kOfflineText);
}

const QString& DatagramServer::addressText(quint32 address) {
    auto found = m_addressTexts.constFind(address);
    if (found != m_addressTexts.constEnd())
        return *found;
    if (m_addressTexts.size() >= kMaxAddressTexts)
        m_addressTexts.clear();
    return *m_addressTexts.insert(address, QHostAddress(address).toString());
}

void DatagramServer::ReceiveDatagram() {
    // One round: batches until the queue is empty or the round is full. What
    // is left makes the notifier fire again on the next pass of the event loop.
    for (int handled = 0; m_socket.isOpen() && handled < kMaxDatagramsPerRound;) {
        const int wanted = std::min(DatagramSocket::kBatchSize, kMaxDatagramsPerRound - handled);
        const int count = m_socket.receiveBatch(std::span<ReceivedDatagram>(m_batch.data(), size_t(wanted)));
        if (count <= 0)
            return;
        m_datagramsRead += quint64(count);
        handled += count;
        handleBatch(std::span<ReceivedDatagram>(m_batch.data(), size_t(count)));
        if (count < wanted)
            return; // the queue is empty
    }
}

void DatagramServer::handleDatagrams(std::span<ReceivedDatagram> datagrams) {
    while (!datagrams.empty()) {
        const size_t count = std::min(datagrams.size(), size_t(DatagramSocket::kBatchSize));
        m_datagramsRead += count;
        handleBatch(datagrams.first(count));
        datagrams = datagrams.subspan(count);
    }
}

void DatagramServer::handleBatch(std::span<ReceivedDatagram> batch) {
    // Every acknowledgement of the batch goes out before any report is processed further.
    const quint64 changesBefore = m_registry.changeCount();
    m_outgoingCount = 0;
    for (size_t i = 0; i < batch.size(); ++i)
        m_decisions[i] = acknowledge(batch[i], int(i));
    // The round's events are written down before their acknowledgements leave
    // (a crash cannot take them from there), and reach the disk right after.
    if (m_journal) {
        for (size_t i = 0; i < batch.size(); ++i)
            m_custody[i] = holdEvent(batch[i], m_decisions[i]);
        m_journal->commit();
    }
    m_sender->sendBatch(std::span<const OutgoingDatagram>(m_outgoing.data(), size_t(m_outgoingCount)));
    m_reportsAnswered += quint64(m_outgoingCount);
    if (m_journal)
        m_journal->sync();

    for (size_t i = 0; i < batch.size(); ++i) {
        const bool registryChanged = m_registry.changeCount() != changesBefore;
        if (m_journal)
            m_journal->offer(m_custody[i]);
        process(batch[i], m_decisions[i], registryChanged);
        if (m_journal)
            m_journal->withdraw(); // not raised after all: nothing to keep
    }
}

quint64 DatagramServer::holdEvent(const ReceivedDatagram& datagram, const Decision& decision) {
    if (decision.action != Decision::Action::Report || !decision.report || !decision.client ||
        decision.header.type != kTypeEvent)
        return 0;
    const ClientRecord* target = DeviceReportIntake::eventTarget(reportIn(decision.client, datagram, decision));
    if (!target || target->status == ClientStatus::Blocked || target->status == ClientStatus::New)
        return 0;
    EventRecord event;
    event.account = target->account;
    event.reportAccount = target->primaryAccount();
    event.code = decision.report->code;
    event.partition = decision.report->partition;
    event.zone = decision.report->zone;
    event.protocol = EventProtocol::TaviCom;
    event.name = target->name;
    event.panel = target->panelText();
    return m_journal->hold(event, QDateTime::currentMSecsSinceEpoch());
}

DatagramServer::Decision DatagramServer::acknowledge(ReceivedDatagram& datagram, int slot) {
    using Action = Decision::Action;
    Decision decision;
    const std::span<quint8> received = bytesOf(datagram);
    if (!isCompleteDatagram(received)) {
        ++m_invalidDatagrams;
        return decision;
    }
    PrimaryClient* client = m_registry.FindPrimary(readU16(received, kOffDeviceId));
    if (CheckDatagram(received, datagram.length) != kCheckValid) {
        ++m_invalidDatagrams;
        return decision;
    }
    decision.header = *readHeader(received); // complete datagrams always have a header
    decision.client = client;

    bool refused = false;
    if (client) {
        switch (decision.header.kind) {
        case kKindReport: {
            const bool knownType = decision.header.type == kTypeEvent || decision.header.type == kTypeKeepAlive;
            decision.report = readDeviceReport(received);
            // A known report that cannot be read is not acknowledged; an unknown type
            // is refused whatever its payload, since nothing of it is needed for that.
            if (knownType && !decision.report)
                return decision;
            refused = !knownType;
            decision.action = Action::Report;
            break;
        }
        case kKindAnswer:
            decision.action = Action::Answer;
            return decision;
        default:
            decision.action = Action::Other;
            return decision;
        }
    } else if (decision.header.kind == kKindRequest) {
        decision.action = Action::CallbackRequest; // answered after the callback started
        return decision;
    } else {
        decision.report = readDeviceReport(received);
        if (!decision.report)
            return decision;
        decision.action = Action::Report;
    }

    DatagramBuffer& answer = m_reportAnswers[size_t(slot)];
    const int answerLength = buildReportAnswer(received, answer, refused);
    if (answerLength > 0)
        m_outgoing[size_t(m_outgoingCount++)] = {std::span<const quint8>(answer.data(), size_t(answerLength)),
                                                 datagram.address, datagram.port};
    return decision;
}

void DatagramServer::process(const ReceivedDatagram& datagram, Decision& decision, bool registryChanged) {
    using Action = Decision::Action;
    if (decision.action == Action::Drop)
        return;
    if (decision.action == Action::CallbackRequest) {
        handleCallbackRequest(datagram, decision.header);
        return;
    }
    PrimaryClient* client = decision.client;
    if (client && registryChanged) {
        // The record may have gone with an earlier datagram's consequences: find it again.
        client = m_registry.FindPrimary(decision.header.account());
        if (!client)
            return;
    }
    switch (decision.action) {
    case Action::Report:
        handOnReport(client, datagram, decision);
        if (client)
            client->datagramSequence = decision.header.sequence;
        break;
    case Action::Answer:
        client->datagramSequence = decision.header.sequence;
        std::copy(datagram.bytes.begin(), datagram.bytes.begin() + datagram.length, m_answer.begin());
        m_answerLength = datagram.length;
        m_answerAddress = datagram.address;
        m_answerPort = datagram.port;
        emit answerReceived();
        break;
    default:
        client->datagramSequence = decision.header.sequence;
        break;
    }
}

void DatagramServer::handOnReport(PrimaryClient* client, const ReceivedDatagram& datagram, const Decision& decision) {
    // Only a refused report of an unknown type may come without a payload to record.
    if (decision.report)
        m_intake.takeReport(reportIn(client, datagram, decision));
}

DeviceReportIn DatagramServer::reportIn(PrimaryClient* client, const ReceivedDatagram& datagram,
                                        const Decision& decision) {
    const DeviceReport& report = *decision.report;
    DeviceReportIn in;
    switch (decision.header.type) {
    case kTypeEvent:
        in.type = DeviceReportIn::Type::Event;
        break;
    case kTypeKeepAlive:
        in.type = DeviceReportIn::Type::KeepAlive;
        break;
    default:
        in.type = DeviceReportIn::Type::Other;
        break;
    }
    in.target = DeviceReportIn::Target::AccountOrClient;
    in.protocol = EventProtocol::TaviCom;
    in.account = report.account;
    in.code = report.code;
    in.partition = report.partition;
    in.zone = report.zone;
    in.channel = datagram.bytes[kOffChannel]; // the channel that the check derived from the byte
    in.period = report.period;
    in.address = addressText(datagram.address);
    in.port = datagram.port;
    in.reportAccount = decision.header.account();
    in.client = client;
    return in;
}

void DatagramServer::handleCallbackRequest(const ReceivedDatagram& datagram, const Header& header) {
    std::copy(datagram.bytes.begin(), datagram.bytes.begin() + datagram.length, m_requestCopy.begin());
    if (header.code != kCodeCallback)
        return;
    const std::span<const quint8> request(m_requestCopy.data(), size_t(datagram.length));
    const auto callback = readCallbackRequest(request);
    if (!callback)
        return;
    PrimaryClient* client = m_registry.FindPrimary(callback->account);
    // A copy: what the callback starts may send and so refill the address cache.
    const QString address = addressText(datagram.address);

    // The callback is flagged and started first; the sender's answer follows.
    if (client) {
        client->remoteCallback = true;
        m_callbacks.StartCallback(client, address, callback->port);
    }
    const int answerLength = buildCallbackAnswer(request, m_requestAnswer, client != nullptr);
    if (answerLength > 0)
        m_sender->sendTo(std::span<const quint8>(m_requestAnswer.data(), size_t(answerLength)), datagram.address,
                         datagram.port);
}

void DatagramServer::checkReception() {
    if (!m_socket.isOpen())
        return;
    const bool readSince = m_datagramsRead != m_readsAtLastCheck;
    const bool queued = m_socket.hasQueuedDatagrams();
    const bool wedged = queued && m_queuedAtLastCheck && !readSince;
    m_readsAtLastCheck = m_datagramsRead;
    m_queuedAtLastCheck = queued && !wedged;
    if (!wedged)
        return;

    // Datagrams waited through a whole check with nothing read: the socket is no
    // longer watched. A new notifier takes over, and a round is read at once.
    ++m_recoveries;
    m_socket.rearm();
    const QString notice =
        QStringLiteral("Recepção UDP retomada em %1 (porta %2)").arg(TimeText::now(), QString::number(boundPort()));
    m_ui.setStatusField(StatusField::Notice, notice);
    std::fprintf(stderr, "atalaia: %s: UDP socket had queued datagrams and no reads; its notifier was re-armed\n",
                 qPrintable(QDateTime::currentDateTime().toString(Qt::ISODate)));
    ReceiveDatagram();
}
