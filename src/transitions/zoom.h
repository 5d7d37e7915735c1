// Transitions that scale a picture with the stretching copy: grow, shrink,
// stretch open from a centre line or an edge strip, zoom in and out.
#pragma once

namespace vm {

struct RunState;
class Target;

bool blende_030(RunState& state, Target& target);
bool blende_031(RunState& state, Target& target);
bool blende_043(RunState& state, Target& target);
bool blende_044(RunState& state, Target& target);
bool blende_049(RunState& state, Target& target);
bool blende_050(RunState& state, Target& target);
bool blende_051(RunState& state, Target& target);

} // namespace vm
