// The stop watch that times each transition, in milliseconds of the
// system's multimedia timer.
#pragma once

#include "platform/clock.h"

#include <cstdint>

namespace vm {

class CStopWatch {
public:
    explicit CStopWatch(ClockSource clock = timeGetTime);

    std::int32_t StartTime() const { return start_; }
    std::int32_t StopTime() const { return stop_; }
    std::int32_t Interval() const { return interval_; }

    // The clock it reads; other waits of a transition use the same one.
    const ClockSource& clock() const { return clock_; }

    std::int32_t StartWatch();
    std::int32_t StopWatch(bool restart = false, bool returnStopTime = false);

private:
    ClockSource clock_;
    std::int32_t start_ = 0;
    std::int32_t stop_ = 0;
    std::int32_t interval_ = 0;
};

} // namespace vm
