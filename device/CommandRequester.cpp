#include "device/CommandRequester.h"

#include "clients/ClientRecord.h"
#include "clients/ClientRegistry.h"
#include "device/DatagramServer.h"

#include <QHostAddress>

CommandRequester::CommandRequester(DatagramServer& server, ClientRegistry& registry, int attemptWaitMs, QObject* parent)
    : QObject(parent), m_server(server), m_registry(registry) {
    m_wait.setSingleShot(true);
    m_wait.setInterval(attemptWaitMs);
    connect(&m_wait, &QTimer::timeout, this, &CommandRequester::sendAttempt);
    connect(&m_server, &DatagramServer::answerReceived, this, &CommandRequester::onAnswer);
}

bool CommandRequester::SendCommand(PrimaryClient& client, quint8 code, const QByteArray& payload, int attempts,
                                   Done done) {
    if (m_busy || attempts < 1)
        return false;
    // The sequence of the first attempt is the client's next; the later attempts repeat it.
    const auto sequence = static_cast<quint16>(client.datagramSequence + 1);
    m_requestLength = DeviceCommand::buildRequest(
        m_request, client.deviceId, sequence, code,
        std::span<const quint8>(reinterpret_cast<const quint8*>(payload.constData()), size_t(payload.size())));
    if (m_requestLength < 0)
        return false;
    client.datagramSequence = sequence;
    m_busy = true;
    m_clientSerial = client.serial;
    m_deviceId = client.deviceId;
    m_sequence = sequence;
    m_address = client.address;
    const QHostAddress address(client.address);
    m_addressValue = address.protocol() == QAbstractSocket::IPv4Protocol ? address.toIPv4Address() : 0;
    m_port = client.port;
    m_attemptsLeft = attempts;
    m_done = std::move(done);
    emit busyChanged(true);
    sendAttempt();
    return true;
}

void CommandRequester::sendAttempt() {
    if (!m_busy)
        return;
    if (m_attemptsLeft == 0 || !m_registry.findBySerial(m_clientSerial)) {
        finish(std::nullopt);
        return;
    }
    --m_attemptsLeft;
    m_server.sendDatagram(std::span<const quint8>(m_request.data(), size_t(m_requestLength)), m_address, m_port);
    m_wait.start();
}

void CommandRequester::onAnswer() {
    if (!m_busy)
        return;
    const auto bytes = std::span<const quint8>(m_server.answerBuffer().data(), size_t(m_server.answerLength()));
    const std::optional<TaviCom::Header> header = TaviCom::readHeader(bytes);
    // Another device's answer, an answer from elsewhere or a stale one of an earlier request is not ours.
    if (!header || header->deviceId != m_deviceId || header->sequence != m_sequence ||
        m_server.answerAddress() != m_addressValue)
        return;
    std::optional<DeviceCommand::Answer> answer = DeviceCommand::readAnswer(bytes);
    if (!answer)
        return;
    finish(Reply{*answer, m_server.answerPort()});
}

void CommandRequester::finish(std::optional<Reply> reply) {
    m_wait.stop();
    m_busy = false;
    Done done = std::move(m_done);
    m_done = nullptr;
    emit busyChanged(false);
    // The outcome may open a dialog with an event loop of its own: it runs
    // from the main loop, never inside the datagram server's reading round.
    if (done)
        QMetaObject::invokeMethod(
            this, [done = std::move(done), reply = std::move(reply)]() mutable { done(std::move(reply)); },
            Qt::QueuedConnection);
}
