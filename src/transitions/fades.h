// Transitions that blend instead of copying: the whole picture fades in
// (optionally from a grey version of itself), or band by band.
#pragma once

namespace vm {

struct RunState;
class Target;

bool blende_009(RunState& state, Target& target);
bool blende_010(RunState& state, Target& target);

} // namespace vm
