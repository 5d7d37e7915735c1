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
    for (std::int32_t i = 1; i <= rounds; ++i) {
#if defined(__GNUC__) || defined(__clang__)
        asm volatile("" : : "r"(i) : "memory");
#else
        static volatile std::int32_t sink;
        sink = i;
#endif
    }
}

bool stepPrologue(RunState& state, Target& target)
{
    target.pumpMessages();
    if (state.abbruch || state.unterbrechung) return false;
    busyWait(state.aktuelles_delay);
    return true;
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
