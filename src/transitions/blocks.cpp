#include "transitions/blocks.h"

#include "platform/target.h"
#include "state/runstate.h"
#include "transitions/frame.h"

#include <cmath>
#include <cstdint>
#include <vector>

namespace vm {

namespace {

struct Grid {
    std::int32_t b = 2;  // cell side
    std::int32_t nx = 1; // columns
    std::int32_t ny = 1; // rows

    std::int32_t cells() const { return nx * ny; }
    // Cells are numbered from 1, row by row.
    std::int32_t x(std::int32_t n) const { return (n - 1) % nx * b; }
    std::int32_t y(std::int32_t n) const { return (n - 1) / nx * b; }
};

Grid gridOf(std::int32_t b, const Target& target)
{
    Grid g;
    g.b = b;
    g.nx = px(target.width() - 1) / b + 1;
    g.ny = px(target.height() - 1) / b + 1;
    return g;
}

std::int32_t blockSide(int effect, double w)
{
    switch (effect) {
    case 22:
    case 25:
    case 28:
        return Maximum({px(w / 48), 2});
    case 23:
    case 26:
        return Maximum({px(w / 256), 2});
    default: // 21, 24, 27
        return Maximum({px(w / 8), 2});
    }
}

// One of slots 1 to n, drawn again while it is taken. The generator has
// 24 bits, enough to reach every slot of any grid a bitmap can hold; should
// a slot ever be out of its reach, a long run of misses takes the next free
// slot instead of drawing for ever (never seen in a real run: e^-32).
template <class Taken>
std::int32_t drawFree(Random& random, std::int32_t n, Taken taken)
{
    const long long limit = 32LL * n + 1024;
    for (long long misses = 0;; ++misses) {
        const std::int32_t k = random.below(n) + 1;
        if (!taken(k)) return k;
        if (misses > limit) {
            for (std::int32_t j = 0; j < n; ++j) {
                const std::int32_t s = (k - 1 + j) % n + 1;
                if (!taken(s)) return s;
            }
            return k;
        }
    }
}

bool fail(RunState& state, int routine)
{
    state.fehlertext = errorWords("BitBlt", routine);
    return false;
}

// The round drop around a cell: the circle through the cell's corners,
// point by point, one quarter mirrored four ways; the part that the
// cell's square already covers is skipped.
bool drawDrop(Dc* dst, const Dc* src, std::int32_t b, std::int32_t cellX, std::int32_t cellY)
{
    const double half = b / 2.0;
    const std::int32_t R = px(std::sqrt(half * half + half * half));
    std::int32_t cx = px(half + cellX - R);
    std::int32_t cy = px(half + cellY - R);
    if (b % 2 != 0) {
        --cx;
        --cy;
    }
    const long long r2 = (long long)R * R;
    for (std::int32_t v = R; v >= 0; --v) {
        for (std::int32_t u = R; u >= 0; --u) {
            if (cx + u > cellX && cy + v > cellY) continue;
            const long long du = u - R, dv = v - R;
            // sqrt(du² + dv²) < R, in whole numbers
            if (du * du + dv * dv >= r2) continue;
            const std::int32_t xl = cx + u, xr = cx + 2 * R - u;
            const std::int32_t yt = cy + v, yb = cy + 2 * R - v;
            if (!BitBlt(dst, xl, yt, 1, 1, src, xl, yt) || !BitBlt(dst, xr, yt, 1, 1, src, xr, yt) ||
                !BitBlt(dst, xl, yb, 1, 1, src, xl, yb) || !BitBlt(dst, xr, yb, 1, 1, src, xr, yb))
                return false;
        }
    }
    return true;
}

} // namespace

bool blende_021(RunState& state, Target& target)
{
    constexpr int kRoutine = 21;
    const int effect = state.aktueller_effekt;
    const bool puzzle = effect >= 24 && effect <= 26;
    const bool drops = effect == 27 || effect == 28;

    const Grid g = gridOf(blockSide(effect, target.width()), target);
    const std::int32_t n = g.cells();

    // P: a random permutation of 1 to N, slot by slot.
    std::vector<std::int32_t> order(std::size_t(n) + 1, 0);
    for (std::int32_t i = 1; i <= n; ++i) {
        const std::int32_t k = drawFree(state.random, n, [&](std::int32_t s) { return order[std::size_t(s)] != 0; });
        order[std::size_t(k)] = i;
    }

    const Dc* src = state.neues_bild_dc.dc();
    if (puzzle) {
        // The whole picture shown at once with its cells shuffled.
        state.puffer1.create(target.dc(), targetW(target), targetH(target));
        Dc* shuffled = state.puffer1.dc();
        for (std::int32_t i = 1; i <= n; ++i) {
            const std::int32_t from = order[std::size_t(i)];
            if (!BitBlt(shuffled, g.x(i), g.y(i), g.b, g.b, src, g.x(from), g.y(from)))
                return fail(state, kRoutine);
        }
        if (!BitBlt(target.dc(), 0, 0, targetW(target), targetH(target), shuffled, 0, 0))
            return fail(state, kRoutine);
    }

    for (std::int32_t i = 1; i <= n; ++i) {
        if (!stepPrologue(state, target)) return false;
        Dc* dst = target.dc();
        const std::int32_t cell = order[std::size_t(i)];
        const std::int32_t x = g.x(cell), y = g.y(cell);
        if (!BitBlt(dst, x, y, g.b, g.b, src, x, y)) return fail(state, kRoutine);
        if (drops && !drawDrop(dst, src, g.b, x, y)) return fail(state, kRoutine);
    }
    return true;
}

bool blende_024(RunState& state, Target& target)
{
    constexpr int kRoutine = 24;
    const double w = target.width();
    const std::int32_t b = state.aktueller_effekt == 18 ? Maximum({px(w / 400), 1}) : Maximum({px(w / 16), 2});
    const Grid g = gridOf(b, target);
    const bool fromBottom = state.random.below(2) != 0;
    // With one-pixel cells a target without a line has no column (or no
    // row) to fill; drawing for a free column would never end.
    if (g.nx < 1 || g.ny < 1) return true;

    std::vector<std::int32_t> count(std::size_t(g.nx) + 1, 0);
    std::int32_t full = 0;
    for (;;) {
        const std::int32_t k = drawFree(state.random, g.nx, [&](std::int32_t s) { return count[std::size_t(s)] >= g.ny; });
        const std::int32_t filled = ++count[std::size_t(k)];
        if (!stepPrologue(state, target)) return false;
        const std::int32_t x = (k - 1) * b;
        const std::int32_t y = fromBottom ? px(target.height() - double(filled) * b) : (filled - 1) * b;
        if (!BitBlt(target.dc(), x, y, b, b, state.neues_bild_dc.dc(), x, y)) {
            state.fehlertext = errorWords("BitBlt", kRoutine);
            return false;
        }
        if (filled == g.ny && ++full == g.nx) return true;
    }
}

} // namespace vm
