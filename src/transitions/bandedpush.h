// Moving pictures: the old picture pushed off by the new one, and bands of
// the new picture sliding in from opposite edges.
#pragma once

namespace vm {

struct RunState;
class Target;

bool blende_032(RunState& state, Target& target);
bool blende_033(RunState& state, Target& target);
bool blende_035(RunState& state, Target& target);
bool blende_037(RunState& state, Target& target);

} // namespace vm
