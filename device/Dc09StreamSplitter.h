#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

// Cuts the byte stream of one DC-09 TCP connection into frames: a frame may
// come split over several reads, and one read may carry several frames. Bytes
// that do not start a frame whose envelope checks (LF, length, CRC, CR) are
// passed over, one at a time, until one does. A connection that sends more
// than kMaxUnframed bytes without a valid frame is to be closed; frames
// longer than that cannot come over TCP.
class Dc09StreamSplitter {
public:
    static constexpr qsizetype kMaxUnframed = 1024;

    // Takes the bytes of one read and appends the frames they complete to
    // frames, in order. False once the connection is to be closed (then and
    // at every later call).
    bool append(QByteArrayView bytes, QList<QByteArray>& frames);

    // Bytes received and not yet part of a frame.
    qsizetype pending() const { return m_buffer.size(); }

private:
    QByteArray m_buffer;
    qsizetype m_unframed = 0; // bytes received since the end of the last valid frame
    bool m_closed = false;
};
