// Push in and push out: the new picture slides in, or the old one is split
// and pushed off the screen.
#pragma once

namespace vm {

struct RunState;
class Target;

bool blende_012(RunState& state, Target& target); // slides in from the left or right
bool blende_013(RunState& state, Target& target); // slides in from the top or bottom
bool blende_014(RunState& state, Target& target); // whole frame slides in from a corner
bool blende_015(RunState& state, Target& target); // old halves pushed out sideways
bool blende_016(RunState& state, Target& target); // old halves pushed out up and down

} // namespace vm
