// Line-by-line effects in many places at once: venetian blinds and beams
// of bands growing from opposite edges.
#pragma once

namespace vm {

struct RunState;
class Target;

bool blende_028(RunState& state, Target& target);
bool blende_029(RunState& state, Target& target);
bool blende_034(RunState& state, Target& target);
bool blende_036(RunState& state, Target& target);

} // namespace vm
