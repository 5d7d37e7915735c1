#include "transitions/memoryshuffle.h"

#include "platform/target.h"
#include "state/runstate.h"
#include "transitions/frame.h"
#include "transitions/memorycommon.h"
#include "transitions/randomorder.h"

#include <algorithm>
#include <cstdlib>

namespace vm {

namespace {

constexpr int kRoutine = 46;
constexpr int kStepCap = 1 << 20; // wider than any screen: one move per leg

bool copyFailed(RunState& state)
{
    state.fehlertext = errorWords("BitBlt", kRoutine);
    return false;
}

// One move of `from` towards `to` by at most `step`.
int towards(int from, int to, int step)
{
    return from < to ? std::min(from + step, to) : std::max(from - step, to);
}

} // namespace

bool blende_046(RunState& state, Target& target)
{
    const memorycards::CardGrid grid = memorycards::cardGrid(state, target, 6);
    const int b = grid.b, n = grid.n;
    state.puffer1.create(target.dc(), targetW(target), targetH(target));
    state.puffer2.create(target.dc(), targetW(target), targetH(target));
    const int S = std::min(adaptStepWidth(state, 1, 1), kStepCap);
    if (state.settings.tdauer < 15)
        state.aktuelles_delay = memorycards::stretchedDelay(state.aktuelles_delay, state.settings.tdauer, 15);
    // order[k]: the card lying at cell k; negated once cell k holds its own card.
    std::vector<int> order = drawRandomOrder(state.random, n);

    const int bx = state.bild.bild_x, by = state.bild.bild_y;
    if (!memorycards::paintFloor(state, target, kRoutine)) return false;
    for (int k = 1; k <= n; ++k) {
        const int t = order[std::size_t(k)];
        if (!memorycards::composeCard(state, kRoutine, b, grid.cardX(t), grid.cardY(t))) return false;
        if (!BitBlt(state.puffer1.dc(), bx + grid.cardX(k), by + grid.cardY(k), b, b, state.puffer2.dc(), 0, 0))
            return copyFailed(state);
    }
    if (!BitBlt(target.dc(), 0, 0, targetW(target), targetH(target), state.puffer1.dc(), 0, 0))
        return copyFailed(state);

    // Follow the cycles of the permutation: the card that reaches its cell
    // displaces the one lying there, which moves next.
    int k = 1, s = 1;
    for (;;) {
        const int t = std::abs(order[std::size_t(k)]);
        int x = grid.cardX(k), y = grid.cardY(k);
        const int xt = grid.cardX(t), yt = grid.cardY(t);
        if (k == s) {
            // The first card of a cycle is lifted: its cell shows bare background.
            if (!memorycards::composeBackground(state, kRoutine, b, x, y)) return false;
            if (!BitBlt(state.puffer1.dc(), bx + x, by + y, b, b, state.puffer2.dc(), 0, 0))
                return copyFailed(state);
        }
        if (!memorycards::composeCard(state, kRoutine, b, xt, yt)) return false;

        bool first = true;
        Rect strip; // uncovered by the previous move, in target coordinates
        for (;;) {
            if (!stepPrologue(state, target)) return false;
            if (!first &&
                !BitBlt(target.dc(), strip.left, strip.top, strip.right - strip.left, strip.bottom - strip.top,
                        state.puffer1.dc(), strip.left, strip.top))
                return copyFailed(state);
            first = false;
            if (x == xt && y == yt) break;
            // Along the row to the right column first, then along the column.
            if (x != xt) {
                const int nxp = towards(x, xt, S);
                const int left = nxp > x ? x : nxp + b;
                strip = Rect{bx + left, by + y, bx + left + std::abs(nxp - x), by + y + b};
                x = nxp;
            } else {
                const int nyp = towards(y, yt, S);
                const int top = nyp > y ? y : nyp + b;
                strip = Rect{bx + x, by + top, bx + x + b, by + top + std::abs(nyp - y)};
                y = nyp;
            }
            if (!BitBlt(target.dc(), bx + x, by + y, b, b, state.puffer2.dc(), 0, 0)) return copyFailed(state);
        }
        if (!BitBlt(target.dc(), bx + xt, by + yt, b, b, state.puffer2.dc(), 0, 0) ||
            !BitBlt(state.puffer1.dc(), bx + xt, by + yt, b, b, state.puffer2.dc(), 0, 0))
            return copyFailed(state);
        order[std::size_t(t)] = -order[std::size_t(t)];

        if (t != s) {
            k = t;
            continue;
        }
        int j = s + 1;
        while (j <= n && order[std::size_t(j)] < 0) ++j;
        if (j > n) break;
        s = k = j;
    }

    state.aktuelles_delay =
        memorycards::delayForFullScreen(state.aktuelles_delay, memorycards::fullScreenCards(target, b), n);
    return true;
}

} // namespace vm
