// Honeycomb: the next picture appears cell by cell in a honeycomb of
// flat-topped hexagons, in random order (effects 65, 66).
#pragma once

namespace vm {

struct RunState;
class Target;

bool blende_045(RunState& state, Target& target);

} // namespace vm
