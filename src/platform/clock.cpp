#include "platform/clock.h"

#include <chrono>

namespace vm {

std::uint32_t timeGetTime()
{
    using namespace std::chrono;
    return std::uint32_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void Random::seedWith(std::uint32_t seed) { state_ = 0x9E3779B97F4A7C15ull ^ seed; }

double Random::next()
{
    // splitmix64: tiny, fast and fully specified.
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    return double(z >> 40) * (1.0 / 16777216.0);
}

std::uint32_t seedFromClock()
{
    using namespace std::chrono;
    return std::uint32_t(system_clock::now().time_since_epoch().count() ^
                         steady_clock::now().time_since_epoch().count());
}

} // namespace vm
