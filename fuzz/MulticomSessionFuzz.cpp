// `HandleSessionFrame` over one session and a small client world, frame after
// frame. The first input byte sets up the world; then each frame is an
// operation byte, a length byte and that many bytes. The operation may frame
// the bytes with STX and ETX, scramble the message part with the session's
// key and fill in its sum field (so that the fuzzer reaches the states behind
// the handshake and the sum check), give the client a waiting command, or take
// the client out of the registry before the frame is handled.
//
// What must hold: every reply is empty or a whole frame shorter than the
// buffer, the state stays one of the seven, and "RM" always registers.
#include "clients/ClientRecord.h"
#include "device/DeviceReportIntake.h"
#include "device/MulticomFrames.h"
#include "device/MulticomProtocol.h"
#include "fuzz/FuzzInput.h"
#include "fuzz/FuzzWorld.h"
#include "reporting/ReportSettings.h"

#include <algorithm>
#include <memory>

using namespace Multicom;

namespace {

constexpr quint16 kClientAccount = 0x0B20;
constexpr quint16 kDependentAccount = 0x0B21;
constexpr quint16 kPlainAccount = 0x0C30;
constexpr int kLastState = 6;
constexpr int kSumFieldLength = 4;

// World set-up bits.
constexpr quint8 kWithClient = 0x01;
constexpr quint8 kWithDependent = 0x02;
constexpr quint8 kWithPlainClient = 0x04;
constexpr quint8 kLogAll = 0x08;
constexpr quint8 kTransparent = 0x10;
constexpr quint8 kMacUnset = 0x20;
constexpr quint8 kNewClient = 0x40;

// Frame operation bits.
constexpr quint8 kFrame = 0x01;
constexpr quint8 kScramble = 0x02;
constexpr quint8 kFixSum = 0x04;
constexpr quint8 kGiveCommand = 0x08;
constexpr quint8 kRemoveClient = 0x80;

void prepare(std::array<char, MulticomSession::kBufferSize>& buffer, int count, quint8 operation, quint32 key) {
    if (operation & kFrame) {
        buffer[0] = kStx;
        buffer[size_t(count - 1)] = kEtx;
    }
    if ((operation & kScramble) && count > 2) {
        const int chars = buffer[2] == 'I' ? kEventScrambledChars : kHeartbeatScrambledChars;
        scramble(buffer.data() + kOffScrambled, chars / 2, key);
    }
    if ((operation & kFixSum) && count >= kMinMessageLength) {
        const int fieldAt = count - 1 - kSumFieldLength;
        writeHexWord(sum(std::span<const char>(buffer.data() + 1, size_t(fieldAt - 1))), buffer.data() + fieldAt);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const quint8 setup = input.byte();

    ClientWorld& world = emptiedWorld();
    ClientBuilder build{world};
    world.settings.LogAll = setup & kLogAll;
    ReportSettings reportSettings;
    reportSettings.transparent = setup & kTransparent;
    FakeReporter reporter;
    reporter.immediateResult = ReportResult::Sent;
    DeviceReportIntake intake{world.settings, reportSettings, world.contacts, world.events, reporter};
    MulticomProtocol protocol{world.registry, world.transitions, intake, quint32(setup) * 7919u};

    MulticomClient* client = nullptr;
    if (setup & kWithClient) {
        client = build.multicom(kClientAccount, (setup & kMacUnset) ? "000000" : "A1B2C3",
                                (setup & kNewClient) ? ClientStatus::New : ClientStatus::Online);
        if (setup & kWithDependent)
            build.dependent(client, kDependentAccount, ClientStatus::Online);
    }
    if (setup & kWithPlainClient)
        build.primary(kPlainAccount, ClientStatus::Online);
    std::unique_ptr<MulticomClient> removed; // a client taken out of the registry is no longer its to free

    MulticomSession session;
    session.peerAddressHex = "0A010203";
    session.peerAddressText = QStringLiteral("10.1.2.3");
    session.peerPort = 40000;

    while (!input.empty()) {
        const quint8 operation = input.byte();
        const int count = input.byte() % MulticomSession::kBufferSize;
        std::array<char, MulticomSession::kBufferSize> buffer{};
        const auto bytes = input.take(size_t(count));
        std::copy(bytes.begin(), bytes.end(), buffer.begin());
        if (count > 0)
            prepare(buffer, count, operation, session.key);

        if (client && !removed && (operation & kGiveCommand)) {
            client->pendingCommand = (operation >> 4) % 3;
            client->callbackIp = {10, 0, 0, quint8(operation)};
            client->callbackPort = quint16(operation * 257);
            client->switchTarget = quint8(operation >> 1);
        }
        if (client && !removed && (operation & kRemoveClient)) {
            takeOut(world, client);
            removed.reset(client);
        }

        const bool registering =
            count > 2 && buffer[0] == kStx && buffer[size_t(count - 1)] == kEtx && buffer[1] == 'R' && buffer[2] == 'M';
        const QByteArray reply = protocol.HandleSessionFrame(session, buffer, count);
        require(session.state >= 0 && session.state <= kLastState);
        require(reply.size() < MulticomSession::kBufferSize);
        require(reply.isEmpty() || (reply.front() == kStx && reply.back() == kEtx));
        if (registering)
            require(session.state == 1 && reply.size() == kChallengeLength);
    }
    return 0;
}
