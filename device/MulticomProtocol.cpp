#include "device/MulticomProtocol.h"

#include "clients/ClientContact.h"
#include "clients/ClientRecord.h"
#include "clients/ClientRegistry.h"
#include "clients/ClientTransitions.h"
#include "device/DeviceReportIntake.h"
#include "device/MulticomFrames.h"
#include "device/MulticomKeyTable.h"
#include "events/EventRaiser.h"

using namespace Multicom;

namespace {

// Session states.
constexpr int kUnregistered = 0;
constexpr int kRegistered = 1;
constexpr int kCallbackAnnounced = 2;
constexpr int kCommandSent = 3;
constexpr int kSwitchAnnounced = 4;
constexpr int kSwitchSent = 5;
constexpr int kEndSent = 6;

// Commands waiting in a client record.
constexpr int kNoCommand = 0;
constexpr int kCallbackCommand = 1;
constexpr int kSwitchCommand = 2;

constexpr int kShortFrameLength = 3;
constexpr int kSecondsPerMinute = 60;

} // namespace

MulticomProtocol::MulticomProtocol(ClientRegistry& registry, ClientTransitions& transitions, DeviceReportIntake& intake,
                                   quint32 seed)
    : m_registry(registry), m_transitions(transitions), m_intake(intake), m_random(seed) {}

MulticomClient* MulticomProtocol::sessionClient(const MulticomSession& session) const {
    if (session.clientSerial == 0)
        return nullptr;
    ClientRecord* record = m_registry.findBySerial(session.clientSerial);
    return record && record->isPrimary() && record->isMulticom() ? static_cast<MulticomClient*>(record) : nullptr;
}

QByteArray MulticomProtocol::HandleSessionFrame(MulticomSession& session,
                                                std::array<char, MulticomSession::kBufferSize>& buffer, int count) {
    if (count < 1 || count >= MulticomSession::kBufferSize)
        return {};
    if (!isCompleteFrame(std::span<const char>(buffer.data(), size_t(count))))
        return negativeFrame();
    const char first = count > 1 ? buffer[1] : '\0';
    const char second = count > 2 ? buffer[2] : '\0';
    if (first == 'R' && second == 'M')
        return handshake(session);

    switch (session.state) {
    case kRegistered:
        if (count == kShortFrameLength && first == 'K')
            return {};
        if (count > kShortFrameLength)
            return message(session, buffer, count);
        break;
    case kCallbackAnnounced:
    case kSwitchAnnounced:
        if (first == 'W' && sessionClient(session))
            return fetchCommand(session);
        break;
    case kCommandSent:
    case kSwitchSent:
        if (first == 'C') {
            session.state = kEndSent;
            return endFrame();
        }
        break;
    case kEndSent:
        if (first == 'K') {
            session.state = kRegistered;
            return {};
        }
        if (first == 'C')
            return endFrame();
        break;
    default:
        break;
    }
    return negativeFrame();
}

QByteArray MulticomProtocol::handshake(MulticomSession& session) {
    constexpr int kIndexMask = 0x7F;
    const int indexA = int(m_random() & kIndexMask);
    const int indexB = int(m_random() & kIndexMask);
    QByteArray frame = challengeFrame(quint8(indexA), quint8(indexB), session.peerAddressHex);
    std::copy_n(frame.constData() + 3, session.challenge.size(), session.challenge.begin());
    session.key = sessionKey(indexA, indexB);
    session.state = kRegistered;
    return frame;
}

QByteArray MulticomProtocol::message(MulticomSession& session, std::array<char, MulticomSession::kBufferSize>& buffer,
                                     int count) {
    const std::span<const char> frame(buffer.data(), size_t(count));
    if (count < kMinMessageLength || !hasValidSum(frame) || buffer[1] != 'X')
        return negativeFrame();
    MulticomClient* client = nullptr;
    if (buffer[2] == 'I')
        client = takeEvent(session, buffer);
    else if (buffer[2] == 'H')
        client = takeHeartbeat(session, buffer);
    else
        return negativeFrame();

    if (!client || client->pendingCommand == kNoCommand)
        return acknowledgeFrame();
    // The command is announced once; the device fetches it with "W".
    if (client->pendingCommand == kCallbackCommand)
        session.state = kCallbackAnnounced;
    else if (client->pendingCommand == kSwitchCommand)
        session.state = kSwitchAnnounced;
    client->pendingCommand = kNoCommand;
    return commandWaitingFrame();
}

MulticomClient* MulticomProtocol::takeEvent(MulticomSession& session,
                                            std::array<char, MulticomSession::kBufferSize>& buffer) {
    // The scrambled characters are read inside the 64-byte buffer whatever the frame's length.
    scramble(buffer.data() + kOffScrambled, kEventScrambledChars / 2, session.key);
    const EventFields fields = readEventFields(buffer);

    DeviceReportIn in;
    in.type = DeviceReportIn::Type::Event;
    in.target = DeviceReportIn::Target::Given;
    in.protocol = EventProtocol::Multicom;
    in.account = fields.account;
    in.code = fields.code;
    in.partition = fields.partition;
    in.zone = fields.zone;
    in.channel = fields.channel;
    in.period = kNoPeriodAnnounced;
    in.address = session.peerAddressText;
    in.port = session.peerPort;
    in.reportAccount = fields.account;
    in.contactFirst = false;

    MulticomClient* identified = m_registry.FindByMacKey(fields.macKey.data());
    if (identified) {
        m_registry.setEthAddress(identified, session.peerAddressText);
        identified->setEthPort(session.peerPort);
        ClientRecord* target = identified;
        if (identified->hasDependents()) {
            target = identified->FindAccount(fields.account);
            if (target)
                m_transitions.newAccountHeard(*target);
        }
        in.givenTarget = target;
    } else if (ClientRecord* record = m_registry.FindMulticomAccount(fields.account)) {
        PrimaryClient* primary = record->primaryRecord();
        identified = primary && primary->isMulticom() ? static_cast<MulticomClient*>(primary) : nullptr;
        if (identified && identified->macKeyUnset())
            m_registry.setMacKey(identified, fields.macKey.data());
        in.givenTarget = record;
    }
    in.client = identified;
    m_intake.takeReport(in);
    if (identified)
        session.clientSerial = identified->serial;
    return identified;
}

MulticomClient* MulticomProtocol::takeHeartbeat(MulticomSession& session,
                                                std::array<char, MulticomSession::kBufferSize>& buffer) {
    scramble(buffer.data() + kOffScrambled, kHeartbeatScrambledChars / 2, session.key);
    const HeartbeatFields fields = readHeartbeatFields(buffer);
    MulticomClient* client = m_registry.FindByMacKey(fields.macKey.data());
    if (!client) {
        client = m_registry.FindByAddress(session.peerAddressText);
        if (client)
            m_registry.setMacKey(client, fields.macKey.data());
    }
    if (!client)
        return nullptr; // an unknown device's heartbeat is acknowledged and nothing more

    DeviceReportIn in;
    in.type = DeviceReportIn::Type::Other; // recorded only; nothing is forwarded
    in.protocol = EventProtocol::Multicom;
    in.account = client->account;
    in.channel = 0;
    in.period = quint16(fields.intervalMinutes * kSecondsPerMinute);
    in.address = session.peerAddressText;
    in.port = session.peerPort;
    in.client = client;
    m_intake.takeReport(in);
    session.clientSerial = client->serial;
    return client;
}

QByteArray MulticomProtocol::fetchCommand(MulticomSession& session) {
    MulticomClient* client = sessionClient(session);
    if (session.state == kCallbackAnnounced) {
        session.state = kCommandSent;
        return callbackCommandFrame(session.challenge, client->callbackIp, client->callbackPort, session.key);
    }
    session.state = kSwitchSent;
    return lineSwitchFrame(client->switchTarget);
}
