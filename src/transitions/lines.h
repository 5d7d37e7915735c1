// Lines, bands and raster: the new picture appears in straight pieces.
#pragma once

namespace vm {

struct RunState;
class Target;

bool blende_001(RunState& state, Target& target); // 1-pixel columns across
bool blende_002(RunState& state, Target& target); // column pairs about the centre
bool blende_003(RunState& state, Target& target); // 1-pixel rows across
bool blende_004(RunState& state, Target& target); // row pairs about the centre
bool blende_017(RunState& state, Target& target); // horizontal bands, gaps filled after
bool blende_018(RunState& state, Target& target); // vertical bands, gaps filled after
bool blende_019(RunState& state, Target& target); // checkerboard, column by column
bool blende_020(RunState& state, Target& target); // checkerboard, row by row
bool blende_022(RunState& state, Target& target); // 2-pixel columns in random order
bool blende_023(RunState& state, Target& target); // 2-pixel rows in random order

} // namespace vm
