// Memory cards from outside: the next picture's cards slide in one after
// another from the edges over a fresh background (effects 60, 61, 62).
#pragma once

namespace vm {

struct RunState;
class Target;

bool blende_038(RunState& state, Target& target);

} // namespace vm
