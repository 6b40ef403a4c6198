#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

class SiaCodeTable;

// The data block of the DC-09 messages that carry events, "#ACCT|" and then:
//
// - ADM-CID (Contact ID): "QEEE GG ZZZ": qualifier Q (1 new, 3 restore, 6
//   still present), event EEE, partition GG, zone or user ZZZ;
// - SIA-DCS (SIA DC-03): "N", then two-letter codes with their zone or user
//   number, each optionally after modifiers ("ri" and the partition that the
//   codes after it belong to; other modifiers and "^text^" are passed over),
//   separated by "/" or not: "Nri1/BA005", "Nri1BA5", "NBA005/BA006".
namespace Dc09Content {

struct Event {
    quint16 account = 0;  // the data block's account
    quint16 code = 0;     // qualifier * 1000 + event, as the TaviCom reports give it
    quint8 partition = 0; // 0 when the message names none
    quint16 zone = 0;     // zone or user
    QByteArray siaCode;   // SIA-DCS: the two letters; ADM-CID: empty
    bool known = true;    // false: a SIA code that "Sia.lst" does not hold
    QString text;         // SIA-DCS: the text of "Sia.lst", or the unknown marker

    bool operator==(const Event&) const = default;
};

enum class Fault {
    None,
    Layout,         // the block does not follow its layout
    AccountTooLong, // the account has more than four hexadecimal digits: no client can have it
};

struct Read {
    QList<Event> events; // one for ADM-CID, one or more for SIA-DCS; none on a fault
    Fault fault = Fault::None;
};

constexpr int kMaxRegisterAccountDigits = 4;
constexpr int kMaxZoneDigits = 4;
constexpr int kMaxPartition = 255;

Read readAdmCid(QByteArrayView data);
Read readSiaDcs(QByteArrayView data, const SiaCodeTable& table);

} // namespace Dc09Content
