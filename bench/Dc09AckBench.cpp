// SIA DC-09 acknowledgements beside TaviCom's, on the same load over loopback
// (not a CI test):
// - 20 devices report alarms of their own account, 16 in flight at once, to
//   the TaviCom datagram server and to the DC-09 server (plain, and AES-128
//   encrypted) of the same receiver side (256 registered clients online);
//   every answer is checked (an acknowledgement of that device's message);
// - the encrypted frames the DC-09 receiver takes per second without a socket
//   (decryption, reading, the encrypted acknowledgement with the receiver's time).
//
// The servers run their real event loop on a thread of their own (standing
// for the application's main thread); the devices are one blocking socket on
// the benchmark thread. Compare acks_per_s of BM_TaviComAcks and BM_Dc09Acks.

#include "bench/BenchReceiver.h"
#include "common/Dc09Codec.h"
#include "config/Dc09Settings.h"
#include "device/Dc09Receiver.h"
#include "device/Dc09Server.h"
#include "device/SiaCodeTable.h"

#include <QCoreApplication>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <future>
#include <vector>

using BenchSupport::BenchReceiver;

namespace {

constexpr int kClientCount = 256;
constexpr int kDevices = 20;
constexpr int kInFlight = 16;
constexpr int kFramesPerDevice = 500;
constexpr int kSequences = 10000; // DC-09 sequence numbers run 0001 to 9999

enum class Protocol { TaviCom, Dc09, Dc09Encrypted };

QByteArray accountHex(int account) {
    return QByteArray::number(account, 16).toUpper().rightJustified(4, '0');
}

QByteArray aesKey() {
    return QByteArray::fromHex("000102030405060708090A0B0C0D0E0F");
}

// The receiver side with both servers, on a thread of its own.
class ServerThread : public QThread {
public:
    explicit ServerThread(bool keyed) : m_keyed(keyed) {}

    // The ports (TaviCom, DC-09) once the servers run; zeros when they could not bind.
    std::pair<quint16, quint16> ports() { return m_ports.get_future().get(); }

protected:
    void run() override {
        BenchReceiver receiver(kClientCount, true);
        Dc09Settings settings;
        if (m_keyed)
            settings.keys.insert(Dc09Settings::kEveryAccount, aesKey());
        SiaCodeTable sia;
        Dc09Server dc09(settings, sia, receiver.registry, receiver.intake, receiver.ui);
        const bool started = receiver.server.StartServer() && dc09.start(0);
        m_ports.set_value(started ? std::pair{receiver.server.boundPort(), dc09.port()}
                                  : std::pair{quint16(0), quint16(0)});
        if (started)
            exec();
        dc09.stop();
    }

private:
    bool m_keyed;
    std::promise<std::pair<quint16, quint16>> m_ports;
};

sockaddr_in loopback(quint16 port) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return to;
}

// The messages of every device, in the order they are sent; each round has
// sequence numbers of its own, so that no message is a repetition of an
// earlier one (which the DC-09 receiver would not hand on again).
std::vector<QByteArray> messages(Protocol protocol, int round) {
    std::vector<QByteArray> out;
    out.reserve(size_t(kDevices * kFramesPerDevice));
    quint32 seed = 1;
    const auto random = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (int n = 0; n < kFramesPerDevice; ++n) {
        for (int device = 0; device < kDevices; ++device) {
            const int account = device + 1;
            const int sequence = 1 + ((round * kFramesPerDevice + n) % (kSequences - 1));
            if (protocol == Protocol::TaviCom) {
                out.push_back(BenchSupport::reportDatagram(TaviCom::kTypeEvent, quint16(account), quint16(sequence),
                                                           1130, quint16(n % 999 + 1), 60));
                continue;
            }
            Dc09::Header header;
            header.id = Dc09::kAdmCid;
            header.sequence = QByteArray::number(sequence).rightJustified(4, '0');
            header.account = accountHex(account);
            Dc09::Content content;
            content.data = "#" + header.account + "|1130 01 " + QByteArray::number(n % 999 + 1).rightJustified(3, '0');
            content.timestamp = now;
            out.push_back(protocol == Protocol::Dc09 ? Dc09::frame(header, content)
                                                     : Dc09::encryptedFrame(header, content, aesKey(), random));
        }
    }
    return out;
}

// Sends every message from its device's socket with kInFlight unanswered at
// most, and checks each answer; gives the answers that were right.
qint64 exchangeAll(quint16 port, Protocol protocol, const std::vector<QByteArray>& sent) {
    std::vector<int> sockets;
    for (int i = 0; i < kDevices; ++i) {
        const int s = ::socket(AF_INET, SOCK_DGRAM, 0);
        timeval timeout{2, 0};
        ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        sockets.push_back(s);
    }
    const sockaddr_in to = loopback(port);
    auto send = [&](size_t index) {
        const QByteArray& bytes = sent[index];
        ::sendto(sockets[index % kDevices], bytes.constData(), size_t(bytes.size()), 0,
                 reinterpret_cast<const sockaddr*>(&to), sizeof to);
    };
    size_t next = 0;
    for (; next < size_t(kInFlight) && next < sent.size(); ++next)
        send(next);
    qint64 good = 0;
    char answer[2048];
    for (size_t waited = 0; waited < sent.size(); ++waited) {
        // The answers come back in the order sent: each device's socket in turn.
        const ssize_t read = ::recv(sockets[waited % kDevices], answer, sizeof answer, 0);
        if (read > 0) {
            if (protocol == Protocol::TaviCom) {
                good += read == 18 && quint8(answer[TaviCom::kOffType]) == TaviCom::kTypeAcknowledged;
            } else {
                const QByteArrayView text(answer, read);
                good +=
                    text.contains(protocol == Protocol::Dc09 ? QByteArrayView("\"ACK\"") : QByteArrayView("\"*ACK\""));
            }
        }
        if (next < sent.size())
            send(next++);
    }
    for (int s : sockets)
        ::close(s);
    return good;
}

void BM_Acks(benchmark::State& state, Protocol protocol) {
    ServerThread server(protocol == Protocol::Dc09Encrypted);
    server.start();
    const auto [taviPort, dc09Port] = server.ports();
    if (taviPort == 0) {
        server.wait();
        state.SkipWithError("cannot bind the servers");
        return;
    }
    qint64 good = 0;
    qint64 total = 0;
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const std::vector<QByteArray> sent = messages(protocol, round++);
        state.ResumeTiming();
        good += exchangeAll(protocol == Protocol::TaviCom ? taviPort : dc09Port, protocol, sent);
        total += qint64(sent.size());
    }
    server.quit();
    server.wait();
    state.counters["acks_per_s"] = benchmark::Counter(double(good), benchmark::Counter::kIsRate);
    state.counters["bad_answers"] = double(total - good);
}

void BM_TaviComAcks(benchmark::State& state) {
    BM_Acks(state, Protocol::TaviCom);
}
void BM_Dc09Acks(benchmark::State& state) {
    BM_Acks(state, Protocol::Dc09);
}
void BM_Dc09EncryptedAcks(benchmark::State& state) {
    BM_Acks(state, Protocol::Dc09Encrypted);
}

// The receiver alone on encrypted frames: no socket, no registry.
void BM_Dc09EncryptedTake(benchmark::State& state) {
    Dc09Settings settings;
    settings.keys.insert(Dc09Settings::kEveryAccount, aesKey());
    SiaCodeTable sia;
    Dc09Receiver receiver(settings, sia);
    const std::vector<QByteArray> frames = messages(Protocol::Dc09Encrypted, 0);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QString address = QStringLiteral("127.0.0.1");
    size_t next = 0;
    qint64 acks = 0;
    for (auto _ : state) {
        const Dc09Outcome outcome = receiver.take(frames[next], address, 5000, now);
        acks += outcome.answer == Dc09Outcome::Answer::Ack;
        next = (next + 1) % frames.size();
    }
    state.counters["frames_per_s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["not_acknowledged"] = double(state.iterations() - acks);
}

} // namespace

BENCHMARK(BM_TaviComAcks)->MinTime(2.0)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Dc09Acks)->MinTime(2.0)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Dc09EncryptedAcks)->MinTime(2.0)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Dc09EncryptedTake)->MinTime(2.0)->UseRealTime()->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    return BenchSupport::runBenchmarks(argc, argv);
}
