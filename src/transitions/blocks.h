// Cells of a square grid uncovered one by one: random blocks, a shuffled
// puzzle falling into place, round drops, and cells flowing into columns.
#pragma once

namespace vm {

struct RunState;
class Target;

bool blende_021(RunState& state, Target& target);
bool blende_024(RunState& state, Target& target);

} // namespace vm
