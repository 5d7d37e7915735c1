#include "transitions/choice.h"

#include "pictures/picturelist.h"
#include "platform/registry.h"
#include "settings/settings.h"
#include "state/runstate.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace vm {

namespace {

struct Vorgabe {
    std::int32_t showD, showS, vorschauD, vorschauS;
};

// Index = effect number - 1.
constexpr std::array<Vorgabe, kEffectCount> kVorgaben{{
    {10000, 1, 50000, 1}, // 1
    {924169, 1, 1285998, 1}, // 2
    {1792666, 1, 2589056, 1}, // 3
    {1233090, 1, 1734595, 1}, // 4
    {2454359, 1, 3361580, 1}, // 5
    {24234, 1, 266733, 1}, // 6
    {26050, 1, 535846, 1}, // 7
    {92, 1, 916454, 1}, // 8
    {66, 1, 1916189, 1}, // 9
    {1813513, 1, 2547901, 1}, // 10
    {1786766, 1, 2482586, 1}, // 11
    {27, 1, 1206196, 1}, // 12
    {264603, 1, 3482485, 1}, // 13
    {251824, 1, 3357227, 1}, // 14
    {15123407, 1, 2971106, 1}, // 15
    {490750, 1, 98268, 1}, // 16
    {4930496, 1, 964303, 1}, // 17
    {5225, 1, 6746, 1}, // 18
    {15118823, 1, 13915967, 1}, // 19
    {13828724, 1, 12917849, 1}, // 20
    {19531699, 1, 3653725, 1}, // 21
    {517845, 1, 100000, 1}, // 22
    {12341, 1, 43448, 1}, // 23
    {19244685, 1, 3624240, 1}, // 24
    {517876, 1, 99225, 1}, // 25
    {10743, 1, 42955, 1}, // 26
    {21694, 1, 3508236, 1}, // 27
    {1157, 1, 94877, 1}, // 28
    {1851800, 1, 2567569, 1}, // 29
    {1855717, 1, 2561915, 1}, // 30
    {2462133, 1, 3441835, 1}, // 31
    {12821777, 1, 3881060, 1}, // 32
    {1848363, 1, 2539711, 1}, // 33
    {27913675, 1, 6776215, 1}, // 34
    {2383152, 1, 3476578, 1}, // 35
    {892830, 1, 1261323, 1}, // 36
    {237872, 1, 1249336, 1}, // 37
    {1197914, 1, 1701157, 1}, // 38
    {622080, 1, 1644745, 1}, // 39
    {2361154, 1, 888915, 1}, // 40
    {3706933, 1, 1668440, 1}, // 41
    {9312451, 1, 1928461, 1}, // 42
    {670467, 1, 1281730, 1}, // 43
    {12682574, 1, 2592310, 1}, // 44
    {872544, 1, 1722533, 1}, // 45
    {26125510, 2, 5419132, 2}, // 46
    {760896, 2, 150080, 2}, // 47
    {1082472, 2, 209965, 2}, // 48
    {3664111, 4, 5123496, 4}, // 49
    {4815043, 4, 6938290, 4}, // 50
    {456790, 4, 562873, 4}, // 51
    {555659, 4, 230167, 4}, // 52
    {3605550, 4, 5091875, 4}, // 53
    {4920015, 4, 6954730, 4}, // 54
    {7349030, 4, 10285894, 4}, // 55
    {9625255, 4, 13991694, 4}, // 56
    {85, 10, 12829079, 10}, // 57
    {74, 10, 13045556, 10}, // 58
    {6823194, 8, 9749624, 8}, // 59
    {27621, 1, 39604, 1}, // 60
    {19762, 1, 32446, 1}, // 61
    {32359, 1, 54311, 1}, // 62
    {0, 6, 5107846, 4}, // 63
    {0, 4, 6860401, 4}, // 64
    {9679329, 1, 2062168, 1}, // 65
    {556225, 1, 96391, 1}, // 66
    {76951, 1, 97978, 1}, // 67
    {1298, 1, 22067, 1}, // 68
    {0, 1, 0, 1}, // 69
    {178281, 1, 11460209, 1}, // 70
    {924972, 1, 1296121, 1}, // 71
    {26236757, 2, 5474796, 2}, // 72
    {0, 10, 6483066, 5}, // 73
    {0, 10, 8779277, 5}, // 74
    {0, 10, 0, 1}, // 75
    {0, 10, 0, 1}, // 76
}};

template <std::int32_t Vorgabe::*D, std::int32_t Vorgabe::*S>
std::array<Effektzeit, kEffectCount + 1> column()
{
    std::array<Effektzeit, kEffectCount + 1> c{};
    for (int n = 1; n <= kEffectCount; ++n) {
        const Vorgabe& v = kVorgaben[std::size_t(n - 1)];
        c[std::size_t(n)] = {v.*D, v.*S};
    }
    return c;
}

void apply(Effekte& effekte, const std::array<Effektzeit, kEffectCount + 1>& values)
{
    for (int n = 1; n <= kEffectCount; ++n) {
        effekte[std::size_t(n)].verzoegerung = values[std::size_t(n)].verzoegerung;
        effekte[std::size_t(n)].schritt = values[std::size_t(n)].schritt;
    }
}

bool enabled(const RunState& state, int n) { return state.effekte[std::size_t(n)].aktiv == 1; }

int enabledCount(const RunState& state)
{
    int count = 0;
    for (int n = 1; n <= kEffectCount; ++n) count += enabled(state, n) ? 1 : 0;
    return count;
}

int onlyEnabled(const RunState& state)
{
    for (int n = 1; n <= kEffectCount; ++n)
        if (enabled(state, n)) return n;
    return 1;
}

// A hand-edited sequence position outside the catalogue starts before 1.
std::int32_t sequenceStart(std::int32_t position)
{
    return position >= 1 && position <= kEffectCount ? position : 0;
}

void chooseRandom(RunState& state)
{
    // With fewer than two enabled effects no number differs from the last
    // one; the rule would never end, so take what there is.
    const int count = enabledCount(state);
    if (count < 2) {
        state.aktueller_effekt = count == 1 ? onlyEnabled(state) : 1;
        return;
    }
    int candidate = 0;
    do {
        candidate = int(state.random.next() * kEffectCount + 1);
    } while (candidate == state.voriger_effekt || !enabled(state, candidate));
    state.aktueller_effekt = candidate;
}

// The catalogue's numeric order, wrapping from 76 to 1.
void chooseNextNumber(RunState& state)
{
    std::int32_t& letzter = state.settings.letzter_effekt;
    std::int32_t n = sequenceStart(letzter);
    for (int tries = 0; tries < kEffectCount; ++tries) {
        n = n + 1 > kEffectCount ? 1 : n + 1;
        if (enabled(state, n)) {
            letzter = n;
            state.aktueller_effekt = n;
            return;
        }
    }
    // Nothing enabled: a plain cut, the position stays.
    state.aktueller_effekt = 1;
}

// The dialog tree's display order, wrapping from its last effect to its first.
void chooseNextInTree(RunState& state, const std::vector<std::int32_t>& order)
{
    std::int32_t& letzter = state.settings.letzter_effekt;
    const auto here = std::find(order.begin(), order.end(), letzter);
    std::size_t i = here == order.end() ? order.size() - 1 : std::size_t(here - order.begin());
    for (std::size_t tries = 0; tries < order.size(); ++tries) {
        i = i + 1 >= order.size() ? 0 : i + 1;
        const std::int32_t n = order[i];
        if (n >= 1 && n <= kEffectCount && enabled(state, n)) {
            letzter = n;
            state.aktueller_effekt = n;
            return;
        }
    }
    state.aktueller_effekt = 1;
}

bool inSettingsDialog(const RunState& state)
{
    return state.laufmodus.compare(QLatin1String("settings"), Qt::CaseInsensitive) == 0;
}

} // namespace

const std::array<Effektzeit, kEffectCount + 1>& effektzeitenShow()
{
    static const auto values = column<&Vorgabe::showD, &Vorgabe::showS>();
    return values;
}

const std::array<Effektzeit, kEffectCount + 1>& effektzeitenVorschau()
{
    static const auto values = column<&Vorgabe::vorschauD, &Vorgabe::vorschauS>();
    return values;
}

void effektzeiten_vorgabe_show(Effekte& effekte) { apply(effekte, effektzeitenShow()); }
void effektzeiten_vorgabe_vorschau(Effekte& effekte) { apply(effekte, effektzeitenVorschau()); }

void effektzeit_anwenden(Effekte& effekte, const QString& name, const QString& value)
{
    if (name.isEmpty()) return;
    const auto n = parseStoredInt(name.mid(1));
    if (!n || *n < 1 || *n > kEffectCount) return;
    // A value that is not a number keeps the default rather than ending the run.
    const auto v = parseStoredInt(value);
    if (!v) return;
    Effekteintrag& e = effekte[std::size_t(*n)];
    if (name[0] == u'D') {
        e.verzoegerung = *v;
    } else if (name[0] == u'S') {
        // A step width below 1 would let a stepped transition stand still.
        if (*v >= 1) e.schritt = *v;
    }
}

void effektzeiten_laden(RunState& state, Registry& registry, const QString& subkey)
{
    BuildPictureList(state);
    if (subkey.toLower() == QLatin1String("delay"))
        effektzeiten_vorgabe_show(state.effekte);
    else
        effektzeiten_vorgabe_vorschau(state.effekte);
    for (const auto& [name, value] : registry.EnumSettings(subkey))
        effektzeit_anwenden(state.effekte, name, value);
}

void effekt_waehlen(RunState& state)
{
    const bool dialog = inSettingsDialog(state);
    switch (state.settings.effekt_nutzung) {
    case 1: {
        const std::int32_t blende = state.settings.blende;
        state.aktueller_effekt = blende >= 1 && blende <= kEffectCount ? blende : 1;
        break;
    }
    case 2:
        if (dialog && !state.effektbaum.displayOrder.empty())
            chooseNextInTree(state, state.effektbaum.displayOrder);
        else
            chooseNextNumber(state);
        break;
    case 3:
        chooseRandom(state);
        break;
    default:
        break;
    }

    if (dialog && state.effektbaum.mark)
        state.effektbaum.mark(state.voriger_effekt, state.aktueller_effekt,
                              state.settings.effekt_tracken == 1);
    state.voriger_effekt = state.aktueller_effekt;
    if (!state.alphablend_verfuegbar && state.current().braucht_alphablend) state.aktueller_effekt = 1;
}

std::int32_t korrigierteVerzoegerung(double wantedMs, std::int32_t measuredMs, std::int32_t delay)
{
    const double ratio = wantedMs / double(measuredMs);
    // A run cut short (by a routine that lowered its own count, or a stale
    // count) says little about how long the waits take: a count grows by at
    // most kMaxDelayGrowth per run, so the next run outlasts this one at most
    // that many times, and never beyond kMaxVerzoegerung.
    const double value = delay > 0 ? std::min(ratio, kMaxDelayGrowth) * double(delay) : ratio;
    using Limits = std::numeric_limits<std::int32_t>;
    return std::int32_t(std::clamp(std::nearbyint(value), double(Limits::min()), double(kMaxVerzoegerung)));
}

void zeitmessung(RunState& state)
{
    while (state.stoppuhr.StopWatch() <= 0) {
    }
    const std::int32_t t = state.stoppuhr.Interval();
    const double T = double(state.settings.tdauer) * 1000.0;
    state.current().verzoegerung = korrigierteVerzoegerung(T, t, state.aktuelles_delay);
}

} // namespace vm
