#include "transitions/diagonals.h"

#include "platform/target.h"
#include "state/runstate.h"
#include "transitions/frame.h"

#include <algorithm>
#include <cmath>

namespace vm {

namespace {

// Wider than any screen: a step this wide already finishes in one or two.
constexpr std::int32_t kWidestStep = 1 << 16;

// Adapts the step width (increment 1, floor 1) and keeps it where the loops
// advance and their sums cannot overflow, whatever the stored value was.
int stepWidth(RunState& state)
{
    std::int32_t& s = state.current().schritt;
    s = std::clamp(s, -kWidestStep, kWidestStep);
    adaptStepWidth(state, 1, 1);
    s = std::clamp(s, 1, kWidestStep);
    return s;
}

// A piece of the new picture, copied to the same place.
bool piece(RunState& state, Target& target, int x, int y, int w, int h, int routine)
{
    if (BitBlt(target.dc(), x, y, w, h, state.neues_bild_dc.dc(), x, y)) return true;
    state.fehlertext = errorWords("BitBlt", routine);
    return false;
}

bool tile(RunState& state, Target& target, int x, int y, int a, int routine)
{
    return piece(state, target, x, y, a, a, routine);
}

struct Vec {
    double x, y;
};

// The front through p perpendicular to the unit direction u, walked from p
// both ways in steps of s; tiles of 2s overlap by half, so the front is s
// thick without gaps. A walk ends once it is more than s off the screen.
bool front(RunState& state, Target& target, Vec p, Vec u, int s, int routine)
{
    for (const int dir : {1, -1}) {
        for (int t = 0;; t += dir * s) {
            const int x = px(t * u.y + p.x);
            const int y = px(p.y - t * u.x);
            const double w = target.width(), h = target.height();
            if (x > w + s || y > h + s || x < -s || y < -s) break;
            if (!tile(state, target, x, y, 2 * s, routine)) return false;
        }
    }
    return true;
}

double diagonal(const Target& target) { return std::hypot(target.width(), target.height()); }

// The fronts leave single pixels at some corners and edges (tiles grow only
// right and down from their rounded anchor, and the last front position
// stops short of the far corner); one whole copy at the end mends them.
bool wholeNewPicture(RunState& state, Target& target, int routine)
{
    return piece(state, target, 0, 0, targetW(target), targetH(target), routine);
}

} // namespace

bool blende_005(RunState& state, Target& target)
{
    const int s = stepWidth(state);
    const int c = state.random.below(4);
    const double w = target.width(), h = target.height(), d = diagonal(target);
    if (d == 0) return true; // no pixels, no direction
    Vec p0{0, 0}, u{w / d, h / d};
    switch (c) {
    case 1: p0 = {double(px(w)), 0}; u = {-w / d, h / d}; break;
    case 2: p0 = {double(px(w)), double(px(h))}; u = {-w / d, -h / d}; break;
    case 3: p0 = {0, double(px(h))}; u = {w / d, -h / d}; break;
    default: break;
    }
    const int end = px(s + d);
    for (int k = 0; k <= end; k += s) {
        if (!stepPrologue(state, target)) return false;
        if (!front(state, target, {p0.x + k * u.x, p0.y + k * u.y}, u, s, 5)) return false;
    }
    return wholeNewPicture(state, target, 5);
}

bool blende_006(RunState& state, Target& target)
{
    const int s = stepWidth(state);
    const double w = target.width(), h = target.height(), d = diagonal(target);
    const Vec m{double(px(w / 2)), double(px(h / 2))};
    // Bit 0: which diagonal; bit 1: outwards from the centre or inwards.
    const int choice = state.random.below(4);
    if (d == 0) return true;
    const Vec u = (choice & 1) ? Vec{-w / d, h / d} : Vec{w / d, h / d};
    const bool inwards = (choice & 2) != 0;
    const double half = d / 2;
    const int steps = int(std::floor(half / s)) + 1;
    for (int n = 0; n < steps; ++n) {
        const double k = inwards ? half - n * s : double(n) * s;
        if (!stepPrologue(state, target)) return false;
        if (!front(state, target, {m.x + k * u.x, m.y + k * u.y}, u, s, 6)) return false;
        if (!front(state, target, {m.x - k * u.x, m.y - k * u.y}, u, s, 6)) return false;
    }
    return wholeNewPicture(state, target, 6);
}

bool blende_007(RunState& state, Target& target)
{
    const int s = stepWidth(state);
    const int mx = px(target.width() / 2), my = px(target.height() / 2);
    const int r = state.random.below(2);
    const int e2 = ((Maximum({px(target.width() / 2), px(target.height() / 2)}) - 1) / s + 1) * s;
    const int e4 = ((Maximum({px(target.width() / 4), px(target.height() / 4)}) - 1) / s + 1) * s;

    // The frame of half-size k, s thick: top, bottom, left, right.
    auto frame = [&](int k) {
        return stepPrologue(state, target) && //
               piece(state, target, mx - k, my - k, 2 * k, s, 7) &&
               piece(state, target, mx - k, my + k, 2 * k + s, s, 7) &&
               piece(state, target, mx - k, my - k, s, 2 * k, 7) &&
               piece(state, target, mx + k, my - k, s, 2 * k + s, 7);
    };
    auto grow = [&](int from, int to) {
        for (int k = from; k <= to; k += s)
            if (!frame(k)) return false;
        return true;
    };
    auto shrink = [&](int from, int to) {
        for (int k = from; k >= to; k -= s)
            if (!frame(k)) return false;
        return true;
    };
    if (state.aktueller_effekt == 11)
        return r == 0 ? grow(0, e4) && shrink(e2, e4) : shrink(e2, e4) && grow(0, e4);
    return r == 0 ? grow(0, e2) : shrink(e2, 0);
}

bool blende_008(RunState& state, Target& target)
{
    const int s = stepWidth(state);
    const int mx = px(target.width() / 2), my = px(target.height() / 2);
    const int r = state.random.below(2);
    const int e = Maximum({px(target.width()), px(target.height())});

    // Walks |x| + |y| = d with one s x s tile per point in each quadrant.
    // Far out most of the walk lies off the screen (E is the larger side, so
    // the diamond passes the shorter sides early); tiles that would copy
    // nothing are not copied, and the walk skips the stretches where no
    // quadrant's tile can be visible.
    auto diamond = [&](int d) {
        if (!stepPrologue(state, target)) return false;
        const int w = targetW(target), h = targetH(target);
        const int iEnd = std::min(d, std::max(w - mx, mx + s) - 1);
        const int iBegin = std::max(0, d - (std::max(h - my, my + s) - 1));
        auto visible = [&](int x, int y) { return x < w && x + s > 0 && y < h && y + s > 0; };
        auto put = [&](int x, int y) { return !visible(x, y) || tile(state, target, x, y, s, 8); };
        for (int i = iBegin; i <= iEnd; ++i) {
            const int j = d - i;
            if (!put(mx + i, my + j) || !put(mx - i, my - j) || !put(mx - i, my + j) || !put(mx + i, my - j))
                return false;
        }
        return true;
    };
    if (r == 0) {
        for (int d = 0; d <= e; d += s)
            if (!diamond(d)) return false;
    } else {
        for (int d = e; d >= 0; d -= s)
            if (!diamond(d)) return false;
    }
    return wholeNewPicture(state, target, 8);
}

} // namespace vm
