// Times the fades, zoom and roll transitions at 1920 x 1080 on a headless
// target without busy-wait, with the step widths the default timing table
// starts from (other sizes: bench_transitions_c W H). The grey hold of "Einfärben" is left out of its time.
// Times are the thread's processor time (the machine may be shared, which
// stretches wall-clock times); the wall-clock time follows for reference.
#include "platform/target.h"
#include "state/runstate.h"
#include "transitions/catalogue.h"
#include "transitions/frame.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>

using namespace vm;

// Processor time of this thread, as a time point of its own clock.
struct CpuClock {
    using duration = std::chrono::nanoseconds;
    using rep = duration::rep;
    using period = duration::period;
    using time_point = std::chrono::time_point<CpuClock>;
    static constexpr bool is_steady = true;
    static time_point now()
    {
        timespec ts{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return time_point(duration(std::int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec));
    }
};
using Clock = CpuClock;
using Wall = std::chrono::steady_clock;

namespace {

struct Case {
    int effect;
    int schritt; // default of the full-screen timing table
};

const Case kCases[] = {{46, 2}, {47, 2}, {48, 2}, {72, 2}, {57, 10}, {58, 10}, {63, 6}, {64, 4}, {73, 10},
                       {74, 10}, {75, 10}, {76, 10}, {59, 8}, {15, 1}, {16, 1}, {40, 1}, {41, 1}};

template <class T>
double ms(T a, T b)
{
    return std::chrono::duration<double, std::milli>(b - a).count();
}

} // namespace

int main(int argc, char** argv)
{
    const int w = argc > 2 ? std::atoi(argv[1]) : 1920;
    const int h = argc > 2 ? std::atoi(argv[2]) : 1080;
    for (const Case& c : kCases) {
        RunState st;
        HeadlessTarget target(w, h, 0x203040);
        effekte_anlegen(st.effekte);
        st.settings.tdauer = 2;
        st.aktueller_effekt = c.effect;
        st.current().schritt = c.schritt;
        st.aktuelles_delay = 0;
        st.random.seedWith(7);
        st.desktop_dc.create(target.dc(), w, h);
        st.neues_bild_dc.create(target.dc(), w, h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) st.neues_bild_dc.bitmap()->setPixel(x, y, rgbPixel(x, y, x ^ y));

        // The hold ends with a restart of the stop watch: steps from then on
        // are timed apart from what came before the hold.
        const std::int32_t startedAt = st.stoppuhr.StartTime();
        Clock::time_point firstPump{}, afterHold{};
        bool seenFirst = false, seenAfterHold = false;
        int stepsAfterHold = 0;
        target.onPump = [&](int) {
            const auto now = Clock::now();
            if (!seenFirst) {
                seenFirst = true;
                firstPump = now;
            }
            if (!seenAfterHold && st.stoppuhr.StartTime() != startedAt) {
                seenAfterHold = true;
                afterHold = now;
            }
            if (seenAfterHold) ++stepsAfterHold;
        };
        const auto w0 = Wall::now();
        const auto t0 = Clock::now();
        const bool ok = dispatchEffect(st, target);
        const auto t1 = Clock::now();
        const double wall = ms(w0, Wall::now());
        double total = ms(t0, t1);
        int steps = target.pumps();
        if (seenAfterHold) {
            total = ms(t0, firstPump) + ms(afterHold, t1);
            steps = stepsAfterHold;
        }
        // new=1: the target ends showing exactly the new picture (ZoomIn
        // ends on its magnified centre by design).
        const bool exact = target.bitmap() == *st.neues_bild_dc.bitmap();
        std::printf("effect=%d steps=%d ms=%.1f wall=%.1f new=%d%s\n", c.effect, steps, total, wall, int(exact),
                    ok ? "" : " (failed)");
        std::fflush(stdout);
    }
    return 0;
}
