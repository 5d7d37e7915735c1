// Which effect runs next, and how its busy-wait count follows the measured
// duration of its last run.
#pragma once

#include "transitions/catalogue.h"

#include <QString>

#include <array>
#include <cstdint>

namespace vm {

class Registry;
struct RunState;

struct Effektzeit {
    std::int32_t verzoegerung;
    std::int32_t schritt;
};

// The built-in timing values, index = effect number (0 unused): for the
// full-screen show and for the previews.
const std::array<Effektzeit, kEffectCount + 1>& effektzeitenShow();
const std::array<Effektzeit, kEffectCount + 1>& effektzeitenVorschau();

void effektzeiten_vorgabe_show(Effekte& effekte);
void effektzeiten_vorgabe_vorschau(Effekte& effekte);

// Builds the picture list, then sets the defaults of the mode ("delay" =
// show, anything else = preview) and the values stored under `subkey`.
void effektzeiten_laden(RunState& state, Registry& registry, const QString& subkey);

// Applies one stored value "D<n>" or "S<n>"; anything else is ignored.
void effektzeit_anwenden(Effekte& effekte, const QString& name, const QString& value);

// Sets aktueller_effekt by the rule in settings.effekt_nutzung (1 single,
// 2 sequence, 3 random), marks it in the dialog's tree when one is linked,
// remembers it in voriger_effekt, and falls back to effect 1 for an effect
// that needs blending the system lacks.
void effekt_waehlen(RunState& state);

// After a completed, measured transition: corrects the busy-wait count of
// the current effect so its next run lasts about tdauer seconds.
void zeitmessung(RunState& state);

// The most a busy-wait count grows in one calibration, and the largest
// count it stores: about a second per wait on today's processors.
inline constexpr double kMaxDelayGrowth = 16.0;
inline constexpr std::int32_t kMaxVerzoegerung = 1000000000;

// The new busy-wait count for a run of `measuredMs` that should have taken
// `wantedMs`, started from `delay` (the count the run ended with).
std::int32_t korrigierteVerzoegerung(double wantedMs, std::int32_t measuredMs, std::int32_t delay);

} // namespace vm
