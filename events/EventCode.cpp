#include "events/EventCode.h"

namespace EventCode {

namespace {
constexpr int kPresentBase = 6000;
constexpr int kRestoreBase = 3000;
constexpr int kNewBase = 1000;
} // namespace

Parts split(quint16 code) {
    const int value = code;
    if (value >= kPresentBase)
        return {QLatin1Char('P'), false, value - kPresentBase};
    if (value >= kRestoreBase)
        return {QLatin1Char('R'), true, value - kRestoreBase};
    if (value >= kNewBase)
        return {QLatin1Char('E'), false, value - kNewBase};
    return {QLatin1Char(' '), false, value};
}

} // namespace EventCode
