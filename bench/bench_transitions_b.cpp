// Runs the blocks, radar, blinds and banded-push effects once each on a
// headless target (1920x1080 unless a width and height are given) without
// busy-waiting: what the steps cost when the calibration has nothing left
// to take away. Prints wall time and the thread's CPU time, which stays
// meaningful on a machine shared with other work.
#include "transition_harness.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>

using namespace vm;
using Clock = std::chrono::steady_clock;

namespace {

double cpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    const int w = argc > 2 ? std::atoi(argv[1]) : 1920;
    const int h = argc > 2 ? std::atoi(argv[2]) : 1080;
    const int effects[] = {6,  7,  13, 14, 17, 18, 19, 20, 21, 22, 23, 24, 25,
                           26, 27, 28, 29, 36, 37, 38, 39, 51, 52, 53, 54};
    for (int effect : effects) {
        // Step width 4, the floor of the stepped effects; without waiting
        // they run with 6.
        testing::Harness hs(w, h, effect, 1, 4, 0);
        const double c0 = cpuMs();
        const auto t0 = Clock::now();
        const bool ok = hs.run();
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        std::printf("effect=%d steps=%d ms=%.1f cpu_ms=%.1f%s\n", effect, hs.target.pumps(), ms, cpuMs() - c0,
                    ok ? "" : " (failed)");
    }
    return 0;
}
