#include "transitions/pushes.h"

#include "platform/target.h"
#include "state/runstate.h"
#include "transitions/frame.h"

#include <algorithm>

namespace vm {

namespace {

// Wider than any screen: a step this wide finishes at once.
constexpr std::int32_t kWidestStep = 1 << 16;

// Adapts the step width and keeps it where the loops advance and their
// sums cannot overflow, whatever the stored value was.
int stepWidth(RunState& state, std::int32_t increment, std::int32_t floor)
{
    std::int32_t& s = state.current().schritt;
    s = std::clamp(s, -kWidestStep, kWidestStep);
    adaptStepWidth(state, increment, floor);
    s = std::clamp(s, floor, kWidestStep);
    return s;
}

bool copy(RunState& state, int routine, Dc* dst, int x, int y, int w, int h, const Dc* src, int sx, int sy)
{
    if (BitBlt(dst, x, y, w, h, src, sx, sy)) return true;
    state.fehlertext = errorWords("BitBlt", routine);
    return false;
}

bool wholeNewPicture(RunState& state, Target& target, int routine)
{
    return copy(state, routine, target.dc(), 0, 0, targetW(target), targetH(target), state.neues_bild_dc.dc(), 0,
                0);
}

enum class Axis { Horizontal, Vertical };

// blende_012 / blende_013. Each step shows, on the uncovered part, the
// composed picture with the picture alone moved to where it rides now.
// Composing that whole part in a buffer and copying it over costs three
// full-part copies per step; instead only what changed since the last step
// is drawn straight onto the target: the newly uncovered strip, the
// background the picture has just left, and the picture at its new place.
// The target ends every step with exactly the same pixels.
bool pushIn(RunState& state, Target& target, Axis axis, int routine)
{
    const int s = stepWidth(state, 2, 4);
    const int r = state.random.below(2);
    const PictureState& bild = state.bild;
    const bool across = axis == Axis::Horizontal;
    auto extent = [&] { return across ? target.width() : target.height(); };
    // Along the axis the picture moves; across it, it stays put.
    const int place = across ? bild.bild_x : bild.bild_y;
    const int size = across ? bild.bild_breite : bild.bild_hoehe;
    const int crossAt = across ? bild.bild_y : bild.bild_x;
    const int crossSize = across ? bild.bild_hoehe : bild.bild_breite;

    // A rectangle given along [a, b) and across [c, d).
    auto rect = [&](int a, int b, int c, int d, const Dc* src, int sa, int sc) {
        if (b <= a || d <= c) return true;
        return across ? copy(state, routine, target.dc(), a, c, b - a, d - c, src, sa, sc)
                      : copy(state, routine, target.dc(), c, a, d - c, b - a, src, sc, sa);
    };
    auto background = [&](int a, int b, int c, int d) {
        return rect(a, b, c, d, state.neues_bild_dc.dc(), a, c);
    };
    // The picture with its leading edge at `at`, only where it lies in [a, b).
    auto picture = [&](int at, int a, int b) {
        const int lo = std::max(at, a), hi = std::min(at + size, b);
        return rect(lo, hi, crossAt, crossAt + crossSize, bild.bild_dc.dc(), lo - at, 0);
    };

    bool first = true;
    int shownLo = 0, shownHi = 0, shownAt = 0; // what the last step showed
    auto step = [&](int lo, int hi, int at) {
        if (!stepPrologue(state, target)) return false;
        const int full = across ? targetH(target) : targetW(target);
        // Newly uncovered: the uncovered part grows at one end only.
        const int newLo = first ? lo : (r == 1 ? shownHi : lo);
        const int newHi = first ? hi : (r == 1 ? hi : shownLo);
        if (!background(newLo, newHi, 0, full)) return false;
        if (first || at != shownAt) {
            if (!first) {
                // Where the picture was and is no more.
                const int va = at > shownAt ? shownAt : std::max(at + size, shownAt);
                const int vb = at > shownAt ? std::min(at, shownAt + size) : shownAt + size;
                if (!background(std::max(va, lo), std::min(vb, hi), crossAt, crossAt + crossSize)) return false;
            }
            if (!picture(at, lo, hi)) return false;
        } else if (!picture(at, newLo, newHi)) {
            return false;
        }
        first = false;
        shownLo = lo;
        shownHi = hi;
        shownAt = at;
        return true;
    };
    if (r == 1) {
        // From the left (top): the picture's far edge rides on the front.
        for (int k = s; k <= px(extent()); k += s)
            if (!step(0, k, Minimum({place, k - size}))) return false;
    } else {
        for (int k = s; k <= px(extent()); k += s) {
            const int at = extent() - k > place ? px(extent() - k) : place;
            if (!step(px(extent() - k), px(extent() - k) + k, at)) return false;
        }
    }
    // The step may not divide the size: the last columns (rows) come here.
    return wholeNewPicture(state, target, routine);
}

// blende_015 / blende_016: the old picture's halves move out by s per step
// on the target itself while the new picture is uncovered at the centre.
bool pushOut(RunState& state, Target& target, Axis axis, int routine)
{
    const int s = stepWidth(state, 2, 4);
    const Dc* n = state.neues_bild_dc.dc();
    if (axis == Axis::Horizontal) {
        const int m = px(target.width() / 2);
        for (int k = s; k <= m; k += s) {
            if (!stepPrologue(state, target)) return false;
            const int h = targetH(target);
            Dc* t = target.dc();
            if (!copy(state, routine, t, 0, 0, m - k, h, t, s, 0) ||
                !copy(state, routine, t, m + k, 0, px(target.width() - m - k), h, t, m + k - s, 0) ||
                !copy(state, routine, t, m - k, 0, s, h, n, m - k, 0) ||
                !copy(state, routine, t, m + k - s, 0, s, h, n, m + k - s, 0))
                return false;
        }
    } else {
        const int m = px(target.height() / 2);
        for (int k = s; k <= m; k += s) {
            if (!stepPrologue(state, target)) return false;
            const int w = targetW(target);
            Dc* t = target.dc();
            if (!copy(state, routine, t, 0, 0, w, m - k, t, 0, s) ||
                !copy(state, routine, t, 0, m + k, w, px(target.height() - m - k), t, 0, m + k - s) ||
                !copy(state, routine, t, 0, m - k, w, s, n, 0, m - k) ||
                !copy(state, routine, t, 0, m + k - s, w, s, n, 0, m + k - s))
                return false;
        }
    }
    return wholeNewPicture(state, target, routine);
}

} // namespace

bool blende_012(RunState& state, Target& target) { return pushIn(state, target, Axis::Horizontal, 12); }

bool blende_013(RunState& state, Target& target) { return pushIn(state, target, Axis::Vertical, 13); }

bool blende_014(RunState& state, Target& target)
{
    const int s = stepWidth(state, 1, 1);
    const int c = state.random.below(4);
    for (int w = s;; w += s) {
        if (w > target.width()) return wholeNewPicture(state, target, 14);
        // Computed after the test above: a target without width has no
        // aspect to keep.
        const int h = px(w * target.height() / target.width());
        if (!stepPrologue(state, target)) return false;
        const int rw = px(target.width() - w), rh = px(target.height() - h);
        const int sx = (c == 0 || c == 2) ? rw : 0, sy = (c == 0 || c == 1) ? rh : 0;
        const int dx = (c == 1 || c == 3) ? rw : 0, dy = (c == 2 || c == 3) ? rh : 0;
        if (!copy(state, 14, target.dc(), dx, dy, w, h, state.neues_bild_dc.dc(), sx, sy)) return false;
    }
}

bool blende_015(RunState& state, Target& target) { return pushOut(state, target, Axis::Horizontal, 15); }

bool blende_016(RunState& state, Target& target) { return pushOut(state, target, Axis::Vertical, 16); }

} // namespace vm
