#pragma once

#include "reporting/ReportTypes.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>

#include <optional>

// The messages sent to the central station, built byte for byte from the five
// inputs of a report request. Values that do not fit a fixed field are clipped
// to the field's largest value (partition 99, zone 999, event number 999,
// code 9999, receiver 99, line 9), so no message is ever longer than its
// fixed length.

namespace ReportFormat {
constexpr int kSerialLength = 21;
constexpr char kSerialTerminator = 0x14; // DC4
constexpr char kSerialAck = 0x06;
constexpr int kDc09EventLength = 49;
constexpr int kDc09LinkTestLength = 29;
constexpr int kDispatcherRecordLength = 47;      // 46 characters and a NUL
constexpr int kDc09ReplyReadLength = 64;         // only this much of a station reply is read
constexpr int kDc09JudgedReplyReadLength = 1024; // replies read with the station's key (encrypted ones are longer)
} // namespace ReportFormat

// The DC-09 sequence number of event frames: "0001".."9999", then "0001" again.
// Kept for the life of the program by the report sender.
class Dc09Sequence {
public:
    static constexpr int kFirst = 1;
    static constexpr int kLast = 9999;

    explicit Dc09Sequence(int next = kFirst) : m_next(next >= kFirst && next <= kLast ? next : kFirst) {}

    int peek() const { return m_next; }
    // The current value; the counter then moves on.
    int take() {
        const int value = m_next;
        m_next = m_next >= kLast ? kFirst : m_next + 1;
        return value;
    }

private:
    int m_next;
};

// Contact ID qualifier letter of a code: "P" from 6000, "R" from 3000, "E" from
// 1000, a blank below 1000.
char QualifierLetter(quint16 code);
// The event number without the qualifier thousands.
int EventNumber(quint16 code);

// Serial receiver event message, 21 bytes ending in DC4; nothing for account 0.
std::optional<QByteArray> FormatSerialEvent(const ReportRequest& request, int receiver, int line);
// Serial receiver heartbeat, 21 bytes ending in DC4.
QByteArray FormatSerialHeartbeat(int receiver);
// DC-09 "ADM-CID" event frame, 49 bytes; nothing for account 0. Takes a
// sequence number only when a frame is built.
std::optional<QByteArray> FormatDc09Event(const ReportRequest& request, Dc09Sequence& sequence);
// DC-09 "NULL" link-test frame, 29 bytes, with the CID account filled in.
QByteArray FormatDc09LinkTest(quint16 cidAccount);
// Dispatcher record: 46 characters and a NUL; nothing for account 0.
std::optional<QByteArray> FormatDispatcherRecord(const ReportRequest& request, const QDateTime& now);

// True when a station reply's identifier is "ACK" (its CRC, length and
// sequence are not examined). Only the first 64 bytes are looked at.
bool IsDc09Ack(QByteArrayView reply);
bool IsSerialAck(char byte);
