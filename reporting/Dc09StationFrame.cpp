#include "reporting/Dc09StationFrame.h"

#include "common/Dc09Codec.h"
#include "reporting/ReportFormats.h"

namespace Dc09StationFrame {

QByteArray secure(QByteArrayView plainFrame, const Security& security, const QDateTime& utc,
                  const Dc09Envelope::RandomSource& random) {
    if (!security.changesFrames())
        return plainFrame.toByteArray();
    QByteArrayView body;
    if (Dc09Envelope::open(plainFrame, body) != Dc09Envelope::Fault::None)
        return {};
    const std::optional<Dc09::Split> split = Dc09::readHeader(body);
    if (!split)
        return {};
    std::optional<Dc09::Content> content = Dc09::readContent(split->tail);
    if (!content)
        return {};
    content->timestamp = utc;
    if (security.key.isEmpty())
        return Dc09::frame(split->header, *content);
    return Dc09::encryptedFrame(split->header, *content, security.key, random);
}

namespace {

ReplyKind kindOf(QByteArrayView id) {
    if (id == Dc09::kAck)
        return ReplyKind::Ack;
    if (id == Dc09::kNak)
        return ReplyKind::Nak;
    if (id == Dc09::kDuh)
        return ReplyKind::Duh;
    return ReplyKind::Unreadable;
}

} // namespace

Reply readReply(QByteArrayView reply, QByteArrayView key) {
    Reply read;
    QByteArrayView body;
    const std::optional<Dc09::Split> split =
        Dc09Envelope::open(reply, body) == Dc09Envelope::Fault::None ? Dc09::readHeader(body) : std::nullopt;
    if (!split) {
        // A plain acknowledgement is known by its identifier alone, as without options.
        if (IsDc09Ack(reply))
            read.kind = ReplyKind::Ack;
        return read;
    }
    std::optional<Dc09::Content> content;
    if (split->header.encrypted) {
        if (key.isEmpty())
            return read;
        const Dc09Envelope::Tail tail = Dc09Envelope::decryptTail(key, split->tail);
        if (!tail.ok())
            return read;
        content = Dc09::readContent(tail.clear);
        // An encrypted reply always carries the time: without it, it was not decrypted right.
        if (!content || !content->timestamp)
            return read;
    } else {
        content = Dc09::readContent(split->tail);
    }
    read.kind = kindOf(split->header.id);
    if (read.kind == ReplyKind::Nak && content)
        read.stationTime = content->timestamp;
    return read;
}

} // namespace Dc09StationFrame
