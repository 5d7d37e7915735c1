// What the two memory-card transitions share: the card grid over the
// picture, the composed card, the floor's background and the stretched
// busy-wait. Internal to those two families.
#pragma once

#include <cstdint>

namespace vm {

struct RunState;
class Target;

namespace memorycards {

// Square cards of side b covering the picture alone; card j (1 to n) lies in
// column (j - 1) mod nx and row (j - 1) \ nx.
struct CardGrid {
    int b = 1;
    int nx = 1;
    int ny = 1;
    int n = 1;
    int cardX(int j) const { return ((j - 1) % nx) * b; }
    int cardY(int j) const { return ((j - 1) / nx) * b; }
};

// Side W / divisor (rounded), never below one pixel, over the picture alone.
CardGrid cardGrid(const RunState& state, const Target& target, int divisor);

// Cards a full-screen picture would have: the busy-wait is scaled by the
// share of them this picture needs, so the stored count does not depend on
// the picture's size.
int fullScreenCards(const Target& target, int b);

// The floor's background in puffer1: the desktop copy or the colour.
bool paintFloor(RunState& state, Target& target, int routine);

// Card (ct, rt) of the picture composed in puffer2 at (0, 0): colour, the
// desktop at the card's place when the desktop is the background, then the
// picture. So a card reaching past the picture carries its own background.
bool composeCard(RunState& state, int routine, int b, int ct, int rt);

// Only the background of the cell at picture offset (cx, cy), in puffer2.
bool composeBackground(RunState& state, int routine, int b, int cx, int cy);

// ((aktuelles_delay + 1) * (limit / tdauer)), rounded: cards need many steps
// each, so short transition times get a longer wait per step. A transition
// time below one second counts as one second.
std::int32_t stretchedDelay(std::int32_t delay, std::int32_t tdauer, int limit);

// delay / fullScreen * n, rounded.
std::int32_t delayForFullScreen(std::int32_t delay, int fullScreen, int n);

} // namespace memorycards
} // namespace vm
