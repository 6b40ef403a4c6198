// The TaviCom receive path of the datagram server without a socket: datagrams
// go in through handleDatagrams as the socket would give them, in batches, and
// the answers come out through a recording sender.
//
// The first input byte sets up the world and the settings, the second the
// number of raised events after which the first client is removed (as an
// operator would from a dialog opened by an event; 0: never). Then each
// datagram is an operation byte, a length byte and that many bytes. The
// operation may seal the bytes as a device does (marker, CRC) so that the
// fuzzer gets past the check, and may end the group handed over at once.
//
// What must hold: every datagram that is a valid device report with a
// readable payload gets an answer; every answer is a valid datagram that goes
// to the sender and echoes its device identifier and sequence; no datagram
// gets two answers; the intake raises at most one event per datagram.
#include "clients/ClientRecord.h"
#include "device/DatagramServer.h"
#include "device/DeviceReportIntake.h"
#include "device/TaviComCodec.h"
#include "fuzz/FuzzInput.h"
#include "fuzz/FuzzWorld.h"
#include "reporting/ReportSettings.h"
#include "tests/device/DeviceTestDoubles.h"

#include <algorithm>
#include <memory>
#include <vector>

using namespace TaviCom;

namespace {

constexpr size_t kMaxGroup = 40; // more than two of the server's batches
constexpr quint16 kFirstPort = 1000;
constexpr quint16 kAccounts[] = {0x1001, 0x1002, 0x1004, 0x1005};
constexpr quint16 kDependentAccount = 0x1003;

// World set-up bits.
constexpr quint8 kLogAll = 0x01;
constexpr quint8 kTransparent = 0x02;
constexpr quint8 kReportHeartbeat = 0x04;
constexpr quint8 kWithDependent = 0x08;
constexpr quint8 kSecondNew = 0x10;
constexpr quint8 kThirdBlocked = 0x20;

// Datagram operation bits.
constexpr quint8 kSeal = 0x01;
constexpr quint8 kEndGroup = 0x02;
constexpr quint8 kLong = 0x04; // 256 bytes more

// Records the answers; each datagram is known by its sender port.
class RecordingSender : public DatagramSender {
public:
    int sendBatch(std::span<const OutgoingDatagram> batch) override {
        for (const OutgoingDatagram& datagram : batch)
            sent.push_back(
                {std::vector<quint8>(datagram.bytes.begin(), datagram.bytes.end()), datagram.address, datagram.port});
        return int(batch.size());
    }
    struct Sent {
        std::vector<quint8> bytes;
        quint32 address;
        quint16 port;
    };
    std::vector<Sent> sent;
};

// A valid device report whose payload reads: it must be answered whoever sent it.
bool mustBeAnswered(ReceivedDatagram datagram) {
    const std::span<quint8> bytes(datagram.bytes.data(), size_t(datagram.length));
    if (!isCompleteDatagram(bytes) || CheckDatagram(bytes, datagram.length) != kCheckValid)
        return false;
    const auto header = readHeader(bytes);
    return header && header->kind == kKindReport && readDeviceReport(bytes).has_value();
}

class Receiver {
public:
    Receiver(quint8 setup, quint8 removeAfterRaises) : world(emptiedWorld()) {
        world.settings.LogAll = setup & kLogAll;
        reportSettings.transparent = setup & kTransparent;
        reportSettings.reportHeartbeat = setup & kReportHeartbeat;
        reporter.immediateResult = ReportResult::Sent;
        ClientBuilder build{world};
        for (size_t i = 0; i < std::size(kAccounts); ++i) {
            int status = ClientStatus::Online;
            if (i == 1 && (setup & kSecondNew))
                status = ClientStatus::New;
            if (i == 2 && (setup & kThirdBlocked))
                status = ClientStatus::Blocked;
            clients.push_back(build.primary(kAccounts[i], status));
        }
        if (setup & kWithDependent)
            build.dependent(clients[0], kDependentAccount, ClientStatus::Online);
        world.events.onRaise = [this, removeAfterRaises] {
            freeRemoved();
            if (++m_raises == removeAfterRaises)
                removeFirstClient();
        };
        server.setSender(sender);
    }
    ~Receiver() {
        world.events.onRaise = nullptr;
        freeRemoved();
    }

    void handle(std::vector<ReceivedDatagram>& group) {
        std::vector<bool> answerDue;
        for (const ReceivedDatagram& datagram : group)
            answerDue.push_back(mustBeAnswered(datagram));
        const std::vector<ReceivedDatagram> original = group;
        const size_t sentBefore = sender.sent.size();
        const qsizetype raisedBefore = raised();

        server.handleDatagrams(group);
        freeRemoved();

        require(raised() - raisedBefore <= qsizetype(group.size()));
        std::vector<int> answers(group.size(), 0);
        for (size_t i = sentBefore; i < sender.sent.size(); ++i) {
            const RecordingSender::Sent& answer = sender.sent[i];
            const size_t index = size_t(answer.port - kFirstPort);
            require(answer.port >= kFirstPort && index < group.size());
            const ReceivedDatagram& asked = original[index];
            require(answer.address == asked.address);
            std::vector<quint8> bytes = answer.bytes;
            require(CheckDatagram(bytes, qsizetype(bytes.size()), Padding::Sent) == kCheckValid);
            const auto header = readHeader(bytes);
            const std::span<const quint8> request(asked.bytes.data(), size_t(asked.length));
            require(header && header->deviceId == readHeader(request)->deviceId &&
                    header->sequence == readHeader(request)->sequence);
            ++answers[index];
        }
        for (size_t i = 0; i < group.size(); ++i)
            require(answers[i] <= 1 && (!answerDue[i] || answers[i] == 1));
    }

private:
    qsizetype raised() const { return world.events.clientEvents.size() + world.events.lines.size(); }

    // Taken out during the raise (as the operator's removal could follow from
    // an event) and freed at the next raise, which belongs to a later datagram
    // of the same batch, or at the end of the group: a record still used by a
    // later datagram is then a use after free that the sanitizer reports.
    void removeFirstClient() {
        if (m_firstRemoved)
            return;
        m_firstRemoved = true;
        takeOut(world, clients[0]);
        m_toFree = clients[0];
        clients[0] = nullptr;
    }
    void freeRemoved() {
        delete m_toFree;
        m_toFree = nullptr;
    }

public:
    ClientWorld& world;
    ReportSettings reportSettings;
    FakeReporter reporter;
    RecordingCallbackStarter callbacks;
    DeviceReportIntake intake{world.settings, reportSettings, world.contacts, world.events, reporter};
    DatagramServer server{world.settings, world.registry, intake, callbacks, world.ui};
    RecordingSender sender;
    std::vector<PrimaryClient*> clients;

private:
    int m_raises = 0;
    bool m_firstRemoved = false;
    PrimaryClient* m_toFree = nullptr;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const quint8 setup = input.byte();
    auto receiver = std::make_unique<Receiver>(setup, input.byte());

    std::vector<ReceivedDatagram> group;
    while (!input.empty()) {
        const quint8 operation = input.byte();
        const int length = std::min<int>(input.byte() + ((operation & kLong) ? 256 : 0), kMaxDatagramLength);
        ReceivedDatagram datagram;
        const auto bytes = input.take(size_t(length));
        std::copy(bytes.begin(), bytes.end(), datagram.bytes.begin());
        datagram.length = int(bytes.size());
        datagram.address = 0x0A000001u + (operation >> 4);
        datagram.port = quint16(kFirstPort + group.size());
        if ((operation & kSeal) && datagram.length >= kHeaderLength) {
            datagram.bytes[kOffMarker] = kMarker;
            const quint16 payloadLength = readU16(datagram.bytes, kOffPayloadLength);
            const int sealed =
                finishDatagram(datagram.bytes, payloadLength, paddedLength(payloadLength, 0, Padding::Received));
            if (sealed > 0)
                datagram.length = sealed;
        }
        group.push_back(datagram);
        if ((operation & kEndGroup) || group.size() == kMaxGroup) {
            receiver->handle(group);
            group.clear();
        }
    }
    if (!group.empty())
        receiver->handle(group);
    return 0;
}
