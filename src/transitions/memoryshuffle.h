// Memory shuffle: the next picture appears cut into shuffled cards, which
// then move one at a time to their places (effect 67).
#pragma once

namespace vm {

struct RunState;
class Target;

bool blende_046(RunState& state, Target& target);

} // namespace vm
