// What the benchmarks share: the median time of repeated runs.
#pragma once

#include <algorithm>
#include <chrono>
#include <vector>

template <class F>
double medianMs(int runs, F f)
{
    using Clock = std::chrono::steady_clock;
    std::vector<double> t;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = Clock::now();
        f();
        t.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}
