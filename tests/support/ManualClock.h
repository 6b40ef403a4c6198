#pragma once

#include <chrono>
#include <functional>

// A steady clock that moves only when the test moves it, for the parts whose
// behaviour depends on how much time has passed (time-outs, silence).
class ManualClock {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    TimePoint now() const { return m_now; }
    void advance(std::chrono::steady_clock::duration by) { m_now += by; }
    // The clock as a time source to hand to the part under test.
    std::function<TimePoint()> source() const {
        return [this] { return m_now; };
    }

private:
    TimePoint m_now{std::chrono::hours(1)};
};
