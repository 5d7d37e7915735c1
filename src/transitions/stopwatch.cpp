#include "transitions/stopwatch.h"

#include <utility>

namespace vm {

CStopWatch::CStopWatch(ClockSource clock) : clock_(std::move(clock)) { StartWatch(); }

std::int32_t CStopWatch::StartWatch()
{
    stop_ = 0;
    start_ = std::int32_t(clock_());
    return start_;
}

std::int32_t CStopWatch::StopWatch(bool restart, bool returnStopTime)
{
    const std::int32_t now = std::int32_t(clock_());
    const std::int32_t before = start_;
    stop_ = now;
    // Differences in unsigned arithmetic survive the wrap of the timer.
    interval_ = elapsedMs(std::uint32_t(before), std::uint32_t(now));
    if (restart) start_ = now;
    return returnStopTime ? now : elapsedMs(std::uint32_t(before), std::uint32_t(now));
}

} // namespace vm
