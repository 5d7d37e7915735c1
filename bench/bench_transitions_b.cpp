// Runs the blocks, radar, blinds and banded-push effects once each on a
// headless 1920x1080 target without busy-waiting: what a step costs
// when the calibration has nothing left to take away.
#include "transition_harness.h"

#include <chrono>
#include <cstdio>

using namespace vm;
using Clock = std::chrono::steady_clock;

int main(int argc, char** argv)
{
    const int w = argc > 2 ? std::atoi(argv[1]) : 1920;
    const int h = argc > 2 ? std::atoi(argv[2]) : 1080;
    const int effects[] = {6, 7, 13, 14, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28,
                           29, 36, 37, 38, 39, 51, 52, 53, 54};
    for (int effect : effects) {
        testing::Harness hs(w, h, effect, 1, 4, 0);
        const auto t0 = Clock::now();
        const bool ok = hs.run();
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        std::printf("effect=%d steps=%d ms=%.1f%s\n", effect, hs.target.pumps(), ms, ok ? "" : " (failed)");
    }
    return 0;
}
