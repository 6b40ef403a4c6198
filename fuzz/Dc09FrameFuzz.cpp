// SIA DC-09 frames from any bytes, as a UDP datagram and as a TCP stream.
// Whatever comes, the receiver answers nothing or a frame that passes its own
// envelope check and copies the message's sequence, R, L and account; a
// message taken and sent again is not taken twice; a clear body that reads
// builds back into a frame that reads the same; and the stream splitter finds
// the same frames whether the bytes come at once or cut in two.
#include "config/Dc09Settings.h"
#include "device/Dc09Receiver.h"
#include "device/Dc09StreamSplitter.h"
#include "device/SiaCodeTable.h"
#include "fuzz/FuzzInput.h"

namespace {

using Answer = Dc09Outcome::Answer;
using Reason = Dc09Outcome::Reason;

const QDateTime kNow(QDate(2024, 7, 8), QTime(12, 34, 56), Qt::UTC);

struct Setup {
    Dc09Settings settings;
    SiaCodeTable siaCodes;

    Setup() {
        settings.port = 5000;
        settings.keys.insert("ABC", QByteArray::fromHex("2B7E151628AED2A6ABF7158809CF4F3C"));
        siaCodes.parse("BA 1 130 Roubo\nBR 3 130 Restauro\nOP 1 401 Desarme\n");
    }
};

const Setup& setup() {
    static const Setup instance;
    return instance;
}

void checkOutcome(const Dc09Outcome& outcome) {
    require((outcome.answer == Answer::None) == outcome.reply.isEmpty());
    require(outcome.events.isEmpty() == (outcome.reason != Reason::Taken));
    if (outcome.answer == Answer::None)
        return;
    QByteArrayView body;
    require(Dc09Envelope::open(outcome.reply, body) == Dc09Envelope::Fault::None);
    const auto split = Dc09::readHeader(body);
    require(split.has_value());
    const Dc09::Header& answer = split->header;
    if (outcome.answer == Answer::Nak) {
        require(answer.id == Dc09::kNak);
        require(Dc09::readContent(split->tail).has_value());
        return;
    }
    require(answer.id == (outcome.answer == Answer::Ack ? Dc09::kAck : Dc09::kDuh));
    require(answer.sequence == outcome.header.sequence && answer.account == outcome.header.account);
    require(answer.receiver == outcome.header.receiver && answer.line == outcome.header.line);
    require(answer.encrypted == (outcome.answer == Answer::Ack && outcome.encrypted));
}

void checkRebuilt(QByteArrayView frame) {
    QByteArrayView body;
    if (Dc09Envelope::open(frame, body) != Dc09Envelope::Fault::None)
        return;
    const auto split = Dc09::readHeader(body);
    if (!split || split->header.encrypted)
        return;
    const auto content = Dc09::readContent(split->tail);
    if (!content)
        return;
    const QByteArray rebuilt = Dc09::frame(split->header, *content);
    QByteArrayView rebuiltBody;
    if (Dc09Envelope::open(rebuilt, rebuiltBody) != Dc09Envelope::Fault::None) {
        require(rebuilt.size() > body.size()); // only an "L0" added can push it past the length field's limit
        return;
    }
    const auto again = Dc09::readHeader(rebuiltBody);
    require(again && again->header == split->header);
    const auto againContent = Dc09::readContent(again->tail);
    require(againContent && *againContent == *content);
}

QList<QByteArray> splitStream(const QList<QByteArrayView>& reads, bool& open) {
    Dc09StreamSplitter splitter;
    QList<QByteArray> frames;
    open = true;
    for (const QByteArrayView read : reads)
        open = splitter.append(read, frames);
    for (const QByteArray& frame : frames) {
        QByteArrayView body;
        require(Dc09Envelope::open(frame, body) == Dc09Envelope::Fault::None);
    }
    return frames;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const size_t cut = input.u16();
    const QByteArray bytes = bytesOf(input.rest());

    Dc09Receiver receiver(setup().settings, setup().siaCodes, [] { return 5u; });
    const Dc09Outcome outcome = receiver.take(bytes, QStringLiteral("192.0.2.1"), 1, kNow);
    checkOutcome(outcome);
    if (outcome.reason == Reason::Taken) {
        const Dc09Outcome again = receiver.take(bytes, QStringLiteral("192.0.2.1"), 1, kNow.addSecs(1));
        require(again.reason == Reason::Duplicate && again.events.isEmpty());
        require(again.answer == Answer::Ack);
    }
    checkRebuilt(bytes);

    bool wholeOpen = false;
    const QList<QByteArray> whole = splitStream({bytes}, wholeOpen);
    QByteArrayView body;
    if (Dc09Envelope::open(bytes, body) == Dc09Envelope::Fault::None)
        require(whole.size() == 1 && whole[0] == bytes);
    const qsizetype at = qsizetype(cut % (size_t(bytes.size()) + 1));
    bool cutOpen = false;
    const QList<QByteArray> halves =
        splitStream({QByteArrayView(bytes).first(at), QByteArrayView(bytes).sliced(at)}, cutOpen);
    if (cutOpen)
        require(wholeOpen && halves == whole);
    return 0;
}
