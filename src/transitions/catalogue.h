// The 76 effects: group, name, whether they need alpha blending, and the
// transition routine each number runs.
#pragma once

#include <QString>

#include <array>
#include <cstdint>

namespace vm {

struct RunState;
class Target;

struct Effekteintrag {
    std::int32_t aktiv = 0;
    std::int32_t verzoegerung = 0;
    std::int32_t schritt = 0;
    bool braucht_alphablend = false;
    QString gruppe;
    QString name;
};

constexpr int kEffectCount = 76;
using Effekte = std::array<Effekteintrag, kEffectCount + 1>; // index 0 unused

// Fills group, name and the alpha flag of entries 1 to 76; nothing else.
void effekte_anlegen(Effekte& effekte);

using Routine = bool (*)(RunState&, Target&);

// Number (0 to 51) of the routine that effect n runs: blende_NNN.
int routineNumber(int effect);
QString routineName(int effect);
// Whether that routine exists in this build; effects whose routine does not
// yet exist fall back to an uncovered cut (blende_000).
bool routineBuilt(int effect);
Routine routineFor(int effect);

// Runs the routine of state.aktueller_effekt on the target; numbers outside
// 2 to 76 run blende_000 and leave aktueller_effekt at 1.
bool dispatchEffect(RunState& state, Target& target);

} // namespace vm
