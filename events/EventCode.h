#pragma once

#include <QChar>
#include <QtGlobal>

// Splits an event code into its Contact ID qualifier and number. Compared from
// the top down: 6000 and above "P", 3000..5999 "R", 1000..2999 "E", below that
// no qualifier (a blank). Only "R" selects the restore texts. A number of
// 100..999 is a Contact ID event code; any other number is the position of an
// internal event.
namespace EventCode {

struct Parts {
    QChar qualifier = QLatin1Char(' ');
    bool restore = false;
    int number = 0;
};

constexpr int kFirstContactIdCode = 100;
constexpr int kLastContactIdCode = 999;

Parts split(quint16 code);

inline bool isContactIdCode(int number) {
    return number >= kFirstContactIdCode && number <= kLastContactIdCode;
}

} // namespace EventCode
