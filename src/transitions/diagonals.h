// Diagonals, squares and diamond: fronts of small squares sweep the new
// picture in.
#pragma once

namespace vm {

struct RunState;
class Target;

bool blende_005(RunState& state, Target& target); // one diagonal front from a corner
bool blende_006(RunState& state, Target& target); // two fronts about the centre
bool blende_007(RunState& state, Target& target); // square frame growing or shrinking
bool blende_008(RunState& state, Target& target); // diamond growing or shrinking

} // namespace vm
