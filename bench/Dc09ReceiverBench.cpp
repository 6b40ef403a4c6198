// DC-09 frames per second through the socket-free receiver (Dc09Receiver::take):
// envelope and CRC check, header, decryption, content, window, the repeat
// check and the answer, which for an encrypted frame is the encrypted *ACK
// with fresh random padding. Frames in clear are measured beside frames
// encrypted with AES-128, AES-192 and AES-256; no sockets.
//
// Every frame is a new message (2,000 accounts, each with its own sequence),
// so no frame takes the shorter path of a repeat: the clock the receiver is
// given moves past the repeat window between two passes over the frames.

#include "common/Dc09Codec.h"
#include "common/Dc09Envelope.h"
#include "config/Dc09Settings.h"
#include "device/Dc09Receiver.h"
#include "device/SiaCodeTable.h"

#include <QCoreApplication>

#include "bench/BenchSupport.h"

#include <benchmark/benchmark.h>

namespace {

constexpr int kAccounts = 2000;
constexpr int kFramesPerAccount = 10;
constexpr int kFirstAccount = 0x1000;
constexpr qint64 kPassSeconds = Dc09RecentMessages::kWindowMs / 1000 + 1;
const QDateTime kStart(QDate(2026, 3, 2), QTime(8, 0, 0), Qt::UTC);

QByteArray keyOfBits(int bits) {
    QByteArray key;
    for (int i = 0; i < bits / 8; ++i)
        key += char(0x2B + 7 * i);
    return key;
}

// Contact ID frames from kAccounts accounts, stamped kStart, encrypted when a key is given.
QList<QByteArray> buildFrames(const QByteArray& key) {
    quint32 state = 12345;
    const Dc09Envelope::RandomSource random = [&state] { return state = state * 1103515245u + 12345u; };
    QList<QByteArray> frames;
    for (int sequence = 1; sequence <= kFramesPerAccount; ++sequence) {
        for (int index = 0; index < kAccounts; ++index) {
            Dc09::Header header;
            header.id = Dc09::kAdmCid;
            header.sequence = QByteArray::number(sequence).rightJustified(Dc09::kSequenceLength, '0');
            header.line = "1";
            header.account = QByteArray::number(kFirstAccount + index, 16).toUpper();
            Dc09::Content content;
            content.data = '#' + header.account + "|1130 01 " + QByteArray::number(100 + sequence);
            content.timestamp = kStart;
            frames << (key.isEmpty() ? Dc09::frame(header, content)
                                     : Dc09::encryptedFrame(header, content, key, random));
        }
    }
    return frames;
}

// Arg: 0 for frames in clear, else the AES key's bits.
void BM_Dc09Take(benchmark::State& state) {
    const int bits = static_cast<int>(state.range(0));
    Dc09Settings settings;
    settings.port = 5070;
    settings.lag = Dc09Settings::kMaxWindow; // the clock moves on a minute per pass
    const QByteArray key = keyOfBits(bits);
    if (bits != 0)
        settings.keys.insert(Dc09Settings::kEveryAccount, key);
    SiaCodeTable siaCodes;
    Dc09Receiver receiver(settings, siaCodes);
    const QList<QByteArray> frames = buildFrames(key);
    const QString peer = QStringLiteral("127.0.0.1");

    QDateTime now = kStart;
    qsizetype next = 0;
    qint64 taken = 0;
    qint64 replyBytes = 0;
    for (auto _ : state) {
        const Dc09Outcome outcome = receiver.take(frames[next], peer, 4000, now);
        taken += outcome.reason == Dc09Outcome::Reason::Taken ? 1 : 0;
        replyBytes += outcome.reply.size();
        benchmark::DoNotOptimize(outcome.events.data());
        if (++next == frames.size()) {
            next = 0;
            now = now.addSecs(kPassSeconds);
        }
    }
    if (taken != state.iterations())
        state.SkipWithError("a frame was not taken as a new message");
    state.SetItemsProcessed(state.iterations());
    state.counters["reply_bytes"] = benchmark::Counter(double(replyBytes) / double(qMax<qint64>(1, taken)));
}
BENCHMARK(BM_Dc09Take)->Arg(0)->Arg(128)->Arg(192)->Arg(256)->ArgName("aes_bits")->MinTime(3.0);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    return BenchSupport::runBenchmarks(argc, argv);
}
