#include "transitions/frame.h"

#include "platform/target.h"
#include "state/runstate.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace vm {

QString errorWords(const char* operation, int routine)
{
    return QStringLiteral("Fehler in %1 in blende_%2")
        .arg(QLatin1String(operation))
        .arg(routine, 3, 10, QLatin1Char('0'));
}

QString moduleErrorWords(const char* operation, int routine)
{
    return QStringLiteral("Fehler in %1 in Modul blende_%2")
        .arg(QLatin1String(operation))
        .arg(routine, 3, 10, QLatin1Char('0'));
}

void busyWait(std::int32_t rounds)
{
    // Counted in 64 bits: a count of INT32_MAX ends like any other.
    for (std::int64_t i = 1; i <= std::int64_t(rounds); ++i) {
#if defined(__GNUC__) || defined(__clang__)
        asm volatile("" : : "r"(i) : "memory");
#else
        static volatile std::int64_t sink;
        sink = i;
#endif
    }
}

namespace {

// Rounds between two looks at the clock: a small fraction of a millisecond
// on any processor, so input is served and the budget kept.
constexpr std::int32_t kWaitSlice = 1 << 16;
// Input is let through at least this often while one wait lasts.
constexpr std::int32_t kPumpEveryMs = 20;

// How long the waits may stretch one transition: twice its configured
// duration. Beyond that the count is stale (hand-edited, or calibrated on
// another machine) and the rest of the run goes without waiting.
std::int64_t waitBudgetMs(std::int32_t tdauer) { return 2000LL * std::max<std::int64_t>(tdauer, 1); }

// Waits `rounds` rounds in slices. False when the show ends or the dialog
// interrupts meanwhile.
bool waitRounds(RunState& state, Target& target, std::int32_t rounds)
{
    if (rounds <= kWaitSlice) {
        busyWait(rounds);
        return true;
    }
    const ClockSource& clock = state.stoppuhr.clock();
    const std::uint32_t runStart = std::uint32_t(state.stoppuhr.StartTime());
    const std::int64_t budget = waitBudgetMs(state.settings.tdauer);
    std::uint32_t lastPump = clock();
    for (std::int64_t left = rounds; left > 0; left -= kWaitSlice) {
        busyWait(std::int32_t(std::min<std::int64_t>(left, kWaitSlice)));
        const std::uint32_t now = clock();
        if (elapsedMs(lastPump, now) >= kPumpEveryMs) {
            lastPump = now;
            target.pumpMessages();
            if (state.abbruch || state.unterbrechung) return false;
        }
        if (elapsedMs(runStart, now) > budget) {
            state.aktuelles_delay = 0;
            return true;
        }
    }
    return true;
}

} // namespace

bool stepPrologue(RunState& state, Target& target)
{
    target.pumpMessages();
    if (state.abbruch || state.unterbrechung) return false; // before every step
    return waitRounds(state, target, state.aktuelles_delay);
}

std::int32_t adaptStepWidth(RunState& state, std::int32_t increment, std::int32_t floor)
{
    std::int32_t& schritt = state.current().schritt;
    if (state.aktuelles_delay <= 0)
        // A width that kept growing over many runs stops at the largest value
        // instead of wrapping into a negative one.
        schritt = std::int32_t(std::min<long long>((long long)schritt + increment, INT32_MAX));
    else
        schritt = Maximum({schritt - increment, floor});
    return schritt;
}

std::int32_t targetW(const Target& target) { return px(target.width()); }
std::int32_t targetH(const Target& target) { return px(target.height()); }

QString Init_Screen(RunState& state, Target& target)
{
    const std::int32_t w = targetW(target), h = targetH(target);
    state.dimensionen = QStringLiteral("%1 x %2").arg(w).arg(h);
    if (!state.desktop_dc.create(target.dc(), w, h))
        return QStringLiteral("Fehler in SelectObject in Modul Init_Screen");
    state.desktop_dc.dc()->stretchMode = StretchMode::ColorOnColor;
    if (!StretchBlt(state.desktop_dc.dc(), 0, 0, w, h, state.bildschirmkopie_dc.dc(), state.ScreenLeft,
                    state.ScreenTop, state.ScreenWidth, state.ScreenHeight))
        return QStringLiteral("Fehler in StretchBlt in Modul Init_Screen");
    if (!BitBlt(target.dc(), 0, 0, w, h, state.desktop_dc.dc(), 0, 0))
        return QStringLiteral("Fehler in BitBlt in Modul Init_Screen");
    if (!state.neues_bild_dc.create(target.dc(), w, h))
        return QStringLiteral("Fehler in SelectObject in Modul Init_Screen");
    return {};
}

bool blende_000(RunState& state, Target& target)
{
    if (!BitBlt(target.dc(), 0, 0, targetW(target), targetH(target), state.neues_bild_dc.dc(), 0, 0)) {
        state.fehlertext = errorWords("BitBlt", 0);
        return false;
    }
    return true;
}

std::int32_t Minimum(std::initializer_list<std::int32_t> values)
{
    std::int32_t m = *values.begin();
    for (std::int32_t v : values)
        if (v < m) m = v;
    return m;
}

std::int32_t Maximum(std::initializer_list<std::int32_t> values)
{
    std::int32_t m = *values.begin();
    for (std::int32_t v : values)
        if (v > m) m = v;
    return m;
}

double MaximumDbl(std::initializer_list<double> values)
{
    double m = *values.begin();
    for (double v : values)
        if (v > m) m = v;
    return m;
}

double ArcCos(double& x)
{
    x = x - 1;
    const double y = x;
    if (y <= -1 || y >= 1) return 0;
    return std::atan(-y / std::sqrt(1 - y * y)) + 2 * std::atan(1.0);
}

} // namespace vm
