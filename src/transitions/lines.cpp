#include "transitions/lines.h"

#include "platform/target.h"
#include "state/runstate.h"
#include "transitions/frame.h"

#include <algorithm>
#include <vector>

namespace vm {

namespace {

// Columns run across the width, rows down the height.
enum class Axis { Columns, Rows };

// The target's extent along the axis, read anew at every use.
double extent(const Target& target, Axis axis)
{
    return axis == Axis::Columns ? target.width() : target.height();
}

bool piece(RunState& state, Target& target, int x, int y, int w, int h, int routine)
{
    if (BitBlt(target.dc(), x, y, w, h, state.neues_bild_dc.dc(), x, y)) return true;
    state.fehlertext = errorWords("BitBlt", routine);
    return false;
}

// A strip `thickness` thick at `pos` across the whole picture: columns are
// as high as the target, rows as wide.
bool strip(RunState& state, Target& target, Axis axis, int pos, int thickness, int routine)
{
    if (axis == Axis::Columns) return piece(state, target, pos, 0, thickness, targetH(target), routine);
    return piece(state, target, 0, pos, targetW(target), thickness, routine);
}

// blende_001 / blende_003: one line per step from one edge to the other.
bool sweep(RunState& state, Target& target, Axis axis, int routine)
{
    const int r = state.random.below(2);
    const int last = px(extent(target, axis) - 1);
    for (int i = 0; i <= last; ++i) {
        if (!stepPrologue(state, target)) return false;
        if (!strip(state, target, axis, r == 0 ? i : last - i, 1, routine)) return false;
    }
    return true;
}

// blende_002 / blende_004: two lines per step, opening from the centre line
// or closing in from both edges.
bool pairs(RunState& state, Target& target, Axis axis, int routine)
{
    const int m = px(extent(target, axis) / 2);
    const int r = state.random.below(2);
    for (int i = 0; i <= m; ++i) {
        const int k = r == 0 ? i : m - i;
        if (!stepPrologue(state, target)) return false;
        if (!strip(state, target, axis, m - k, 1, routine)) return false;
        if (!strip(state, target, axis, m + k, 1, routine)) return false;
    }
    return true;
}

// blende_017 / blende_018: every other band first, then the gaps.
bool bandsWithGaps(RunState& state, Target& target, Axis axis, int b, int routine)
{
    // A band that would pass the edge is cut to what is left.
    auto band = [&](int y) {
        const double e = extent(target, axis);
        const int thickness = e - b < y ? px(e - y) : b;
        return stepPrologue(state, target) && strip(state, target, axis, y, thickness, routine);
    };
    int y = 0;
    do {
        if (!band(y)) return false;
        y += 2 * b;
    } while (!(y >= extent(target, axis)));

    const int r = state.random.below(2);
    if (r != 0) {
        y = b;
        do {
            if (!band(y)) return false;
            y += 2 * b;
        } while (!(y >= extent(target, axis)));
    } else {
        y = (px(extent(target, axis)) / (2 * b)) * 2 * b + b;
        do {
            // Positions at or beyond the edge cost no step.
            if (y < extent(target, axis) && !band(y)) return false;
            y -= 2 * b;
        } while (!(y < 0));
    }
    return true;
}

// blende_019 / blende_020: a checkerboard of c x c cells, one line of cells
// per step, half of them in the first pass and the rest in the second.
// Columns: the outer lines are columns of cells; Rows: rows of cells.
bool raster(RunState& state, Target& target, Axis axis, int c, int routine)
{
    const int nx = px(target.width() - 1) / c + 1;
    const int ny = px(target.height() - 1) / c + 1;
    const int outer = axis == Axis::Columns ? nx : ny;
    const int inner = axis == Axis::Columns ? ny : nx;
    auto line = [&](int i, int firstJ) {
        if (!stepPrologue(state, target)) return false;
        for (int j = firstJ; j <= inner; j += 2) {
            const int a = (i - 1) * c, b = (j - 1) * c;
            if (!(axis == Axis::Columns ? piece(state, target, a, b, c, c, routine)
                                        : piece(state, target, b, a, c, c, routine)))
                return false;
        }
        return true;
    };
    // Odd lines start at cell 1, even ones at cell 0, which lies before the
    // picture and copies nothing.
    for (int i = 1; i <= outer; ++i)
        if (!line(i, i % 2)) return false;
    const int r = state.random.below(2);
    for (int n = 1; n <= outer; ++n) {
        const int i = r == 0 ? outer + 1 - n : n;
        if (!line(i, i % 2 + 1)) return false;
    }
    return true;
}

// blende_022 / blende_023: 2-pixel lines in a random order, drawn by
// picking free slots until one is hit.
bool randomLines(RunState& state, Target& target, Axis axis, int routine)
{
    const int n = px(extent(target, axis) - 1) / 2 + 1;
    std::vector<int> slot(std::size_t(n) + 1, 0);
    for (int i = 1; i <= n; ++i) {
        int k;
        do {
            k = std::min(int(state.random.next() * n + 1), n);
        } while (slot[std::size_t(k)] != 0);
        slot[std::size_t(k)] = i;
    }
    for (int i = 1; i <= n; ++i) {
        if (!stepPrologue(state, target)) return false;
        if (!strip(state, target, axis, 2 * (slot[std::size_t(i)] - 1), 2, routine)) return false;
    }
    return true;
}

} // namespace

bool blende_001(RunState& state, Target& target) { return sweep(state, target, Axis::Columns, 1); }

bool blende_002(RunState& state, Target& target) { return pairs(state, target, Axis::Columns, 2); }

bool blende_003(RunState& state, Target& target) { return sweep(state, target, Axis::Rows, 3); }

bool blende_004(RunState& state, Target& target) { return pairs(state, target, Axis::Rows, 4); }

bool blende_017(RunState& state, Target& target)
{
    // Below 16 pixels the 32nd part rounds to 0, and a band of 0 would
    // never get past the first one.
    const int b = state.aktueller_effekt == 35 ? 2 : Maximum({px(target.height() / 32), 1});
    return bandsWithGaps(state, target, Axis::Rows, b, 17);
}

bool blende_018(RunState& state, Target& target)
{
    const int b = state.aktueller_effekt == 33 ? 2 : Maximum({px(target.width() / 48), 2});
    return bandsWithGaps(state, target, Axis::Columns, b, 18);
}

bool blende_019(RunState& state, Target& target)
{
    const int c = state.aktueller_effekt == 43 ? 2 : Maximum({px(target.width() / 48), 2});
    return raster(state, target, Axis::Columns, c, 19);
}

bool blende_020(RunState& state, Target& target)
{
    // The cell size comes from the width for both directions.
    const int c = state.aktueller_effekt == 45 ? 2 : Maximum({px(target.width() / 48), 2});
    return raster(state, target, Axis::Rows, c, 20);
}

bool blende_022(RunState& state, Target& target) { return randomLines(state, target, Axis::Columns, 22); }

bool blende_023(RunState& state, Target& target) { return randomLines(state, target, Axis::Rows, 23); }

} // namespace vm
