// Millisecond clock and the one random generator of a run.
#pragma once

#include <cstdint>
#include <functional>

namespace vm {

// Milliseconds since an arbitrary start, wrapping at 2^32 like the system's
// multimedia timer.
std::uint32_t timeGetTime();

// Difference of two readings that stays right across a wrap of the counter
// (as long as less than 2^31 ms lie between them).
constexpr std::int32_t elapsedMs(std::uint32_t from, std::uint32_t to)
{
    return std::int32_t(to - from);
}

using ClockSource = std::function<std::uint32_t()>;

// Uniform numbers in [0, 1) with 24 bits, from a small generator whose
// sequence is the same on every platform for the same seed.
class Random {
public:
    explicit Random(std::uint32_t seed = 1) { seedWith(seed); }
    void seedWith(std::uint32_t seed);
    double next();
    // Whole part of n x next(): one of n cases, 0 to n - 1.
    int below(int n) { return int(n * next()); }

private:
    std::uint64_t state_ = 0;
};

std::uint32_t seedFromClock();

} // namespace vm
