// Effects built on the centre of the screen: a cross, one or two radar
// beams, and a circle closing in or opening out.
#pragma once

namespace vm {

struct RunState;
class Target;

bool blende_011(RunState& state, Target& target);
bool blende_025(RunState& state, Target& target);
bool blende_026(RunState& state, Target& target);
bool blende_027(RunState& state, Target& target);

} // namespace vm
