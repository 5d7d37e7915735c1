// Transitions with a geometric motion: a roll unrolling the picture, a
// spiral of blocks, and single and double wipers.
#pragma once

namespace vm {

struct RunState;
class Target;

bool blende_039(RunState& state, Target& target);
bool blende_040(RunState& state, Target& target);
bool blende_041(RunState& state, Target& target);
bool blende_042(RunState& state, Target& target);

} // namespace vm
