#pragma once

#include "common/Dc09Envelope.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>

#include <optional>

// The options of frames sent to a DC-09 central station beyond the plain
// frame: encryption with the station's key and a UTC timestamp. Without
// either, frames go out exactly as built, and replies are judged by their
// identifier alone.
namespace Dc09StationFrame {

struct Security {
    QByteArray key;         // AES key (16, 24 or 32 bytes); empty: frames in clear
    bool timestamp = false; // clear frames carry the time too (encrypted ones always do)

    bool changesFrames() const { return !key.isEmpty() || timestamp; }
};

// The frame to send for a plain frame: unchanged without options; with a
// timestamp after the data; encrypted ("*" before the identifier, the text
// after "[" replaced by the hexadecimal ciphertext of padding, "|", that text
// and the timestamp). utc is the time to give. Empty when the plain frame is
// not a readable frame or the key has no AES length.
QByteArray secure(QByteArrayView plainFrame, const Security& security, const QDateTime& utc,
                  const Dc09Envelope::RandomSource& random);

enum class ReplyKind {
    Ack,        // "ACK", or "*ACK" that decrypts to a well-formed tail
    Nak,        // the station refuses the frame; stationTime when it gave its clock
    Duh,        // the station cannot take the frame
    Unreadable, // anything else, a wrong key included: no acknowledgement
};

struct Reply {
    ReplyKind kind = ReplyKind::Unreadable;
    std::optional<QDateTime> stationTime; // UTC, from a NAK's timestamp
};

// Reads a station's reply; key decrypts an encrypted one.
Reply readReply(QByteArrayView reply, QByteArrayView key);

} // namespace Dc09StationFrame
