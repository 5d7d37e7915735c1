// Album and pinboard (small copies of random pictures of the list, in a
// grid or at random places; effects 68, 69) and the mosaic that becomes
// finer until the next picture is sharp (effect 70).
#pragma once

namespace vm {

struct RunState;
class Target;

bool blende_047(RunState& state, Target& target);
bool blende_048(RunState& state, Target& target);

} // namespace vm
