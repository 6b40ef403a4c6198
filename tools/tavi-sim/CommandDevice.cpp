#include "tools/tavi-sim/CommandDevice.h"

#include "device/DeviceCommandCodec.h"

#include <QNetworkDatagram>

using namespace TaviCom;

namespace {
constexpr int kDetailsLength = 42;
constexpr quint8 kDetailsFormat = 1;
} // namespace

CommandDevice::CommandDevice(CommandDeviceOptions options, QObject* parent)
    : QObject(parent), m_options(std::move(options)) {
    connect(&m_socket, &QUdpSocket::readyRead, this, &CommandDevice::readRequests);
}

bool CommandDevice::bind(const QHostAddress& address, quint16 port) {
    return m_socket.bind(address, port);
}

void CommandDevice::announce(const QHostAddress& server, quint16 serverPort, quint16 sequence) {
    DatagramBuffer buffer{};
    buffer[kOffType] = kTypeKeepAlive;
    writeU32(buffer, kOffDeviceId, m_options.deviceId);
    writeU16(buffer, kOffSequence, sequence);
    buffer[kOffAnswerKind] = kKindAnswer;
    buffer[kOffKind] = kKindReport;
    DeviceReport report;
    report.account = static_cast<quint16>(m_options.deviceId & 0xFFFF);
    report.period = 60;
    writeDeviceReport(buffer, report);
    const int padded = SealDatagram(buffer, kReportPayloadLength);
    m_socket.writeDatagram(reinterpret_cast<const char*>(buffer.data()), kFrameOverhead + padded, server, serverPort);
}

void CommandDevice::readRequests() {
    while (m_socket.hasPendingDatagrams()) {
        const QNetworkDatagram datagram = m_socket.receiveDatagram();
        const QByteArray data = datagram.data();
        const auto bytes =
            std::span<const quint8>(reinterpret_cast<const quint8*>(data.constData()), size_t(data.size()));
        const std::optional<Header> header = readHeader(bytes);
        // Only the server's requests: the acknowledgements of announcements carry kind 1.
        if (!header || header->kind != kKindRequest || header->deviceId != m_options.deviceId)
            continue;
        std::optional<DeviceCommand::Answer> parsed = DeviceCommand::readAnswer(bytes);
        const Request request{header->code, header->sequence, parsed ? parsed->payload : QByteArray()};
        m_requests.append(request);
        emit requestReceived(request);
        const int copy = ++m_copies[header->sequence];
        if (copy < m_options.staleUntilAttempt)
            send(kTypeAcknowledged, request.code, quint16(request.sequence - 1), {}, datagram.senderAddress(),
                 quint16(datagram.senderPort()));
        if (m_options.answerFromAttempt > 0 && copy == m_options.answerFromAttempt)
            answer(request, datagram.senderAddress(), quint16(datagram.senderPort()));
    }
}

void CommandDevice::answer(const Request& request, const QHostAddress& to, quint16 toPort) {
    if (m_options.refuseCode) {
        send(kTypeRefused, *m_options.refuseCode, request.sequence, {}, to, toPort);
        return;
    }
    QByteArray payload;
    quint8 code = request.code;
    switch (request.code) {
    case DeviceCommand::kCodeCallback:
        code = DeviceCommand::kCodeCallbackSent;
        break;
    case DeviceCommand::kCodeDetails: {
        payload = QByteArray(kDetailsLength, '\0');
        payload[0] = char(kDetailsFormat);
        payload[1] = char(m_options.model);
        payload[2] = char(m_options.revisionMajor);
        payload[3] = char(m_options.revisionMinor);
        for (int i = 0; i < 4; ++i)
            payload[4 + i] = char(m_options.firmware[size_t(i)]);
        for (int i = 0; i < 4 && i < m_options.password.size(); ++i)
            payload[16 + i] = m_options.password[i];
        for (int i = 0; i < 6; ++i)
            payload[28 + i] = char(m_options.mac[size_t(i)]);
        payload[34] = char(m_options.in1);
        payload[35] = char(m_options.in2);
        for (int i = 0; i < 4; ++i)
            payload[36 + i] = char(m_pgm[size_t(i)]);
        payload[41] = char(m_options.rssi);
        break;
    }
    case DeviceCommand::kCodePgm: {
        const int index = request.payload.isEmpty() ? 0 : quint8(request.payload[0]) & 3;
        m_pgm[size_t(index)] = !m_pgm[size_t(index)];
        const int named = m_options.wrongPgmIndex ? (index + 1) % 4 : index;
        payload = QByteArray(2, '\0');
        payload[0] = char(named);
        payload[1] = char(m_pgm[size_t(index)] ? 1 : 0);
        break;
    }
    default: // line switch, session close: accepted
        break;
    }
    send(kTypeAcknowledged, code, request.sequence, payload, to, toPort);
}

void CommandDevice::send(quint8 type, quint8 code, quint16 sequence, const QByteArray& payload, const QHostAddress& to,
                         quint16 toPort) {
    DatagramBuffer buffer{};
    buffer[kOffType] = type;
    buffer[kOffFlags] = kFlagsAnswer;
    writeU32(buffer, kOffDeviceId, m_options.deviceId);
    writeU16(buffer, kOffSequence, sequence);
    buffer[kOffCode] = code;
    buffer[kOffAnswerKind] = kKindAnswer;
    buffer[kOffKind] = kKindAnswer;
    std::copy(payload.begin(), payload.end(), buffer.begin() + kHeaderLength);
    const int padded = SealDatagram(buffer, quint16(payload.size()));
    if (padded >= 0)
        m_socket.writeDatagram(reinterpret_cast<const char*>(buffer.data()), kFrameOverhead + padded, to, toPort);
}
