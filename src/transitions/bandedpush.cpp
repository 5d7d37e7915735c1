#include "transitions/bandedpush.h"

#include "platform/target.h"
#include "state/runstate.h"
#include "transitions/frame.h"

#include <cstdint>

namespace vm {

namespace {

enum class Axis { Horizontal, Vertical };

constexpr std::int32_t kIncrement = 2;
constexpr std::int32_t kFloor = 4;

bool fail(RunState& state, int routine)
{
    state.fehlertext = errorWords("BitBlt", routine);
    return false;
}

// The adapted step width; a stored width below 1 (only from a damaged
// settings store) would never advance, so the run then moves by 1.
std::int32_t stepWidth(RunState& state)
{
    return Maximum({adaptStepWidth(state, kIncrement, kFloor), 1});
}

bool wholeCopy(RunState& state, Target& target, int routine)
{
    if (!BitBlt(target.dc(), 0, 0, targetW(target), targetH(target), state.neues_bild_dc.dc(), 0, 0))
        return fail(state, routine);
    return true;
}

// The old picture, taken from the target into puffer1, slides off towards
// one edge while the new one follows it in.
bool pushOut(RunState& state, Target& target, int routine, Axis axis)
{
    const std::int32_t w0 = targetW(target), h0 = targetH(target);
    state.puffer1.create(target.dc(), w0, h0);
    const Dc* old = state.puffer1.dc();
    if (!BitBlt(state.puffer1.dc(), 0, 0, w0, h0, target.dc(), 0, 0)) return fail(state, routine);

    const std::int32_t S = stepWidth(state);
    const int d = state.random.below(2);
    // Leftwards is d = 1, upwards d = 0.
    const bool towardsStart = axis == Axis::Horizontal ? d == 1 : d == 0;
    const std::int32_t extent = axis == Axis::Horizontal ? w0 : h0;
    for (long long step = S; step <= extent; step += S) {
        if (!stepPrologue(state, target)) return false;
        Dc* dst = target.dc();
        const Dc* fresh = state.neues_bild_dc.dc();
        const std::int32_t W = targetW(target), H = targetH(target);
        const std::int32_t s = std::int32_t(step);
        bool ok;
        if (axis == Axis::Horizontal) {
            ok = towardsStart ? BitBlt(dst, 0, 0, W - s, H, old, s, 0) && BitBlt(dst, W - s, 0, s, H, fresh, 0, 0)
                              : BitBlt(dst, 0, 0, s, H, fresh, W - s, 0) && BitBlt(dst, s, 0, W - s, H, old, 0, 0);
        } else {
            ok = towardsStart ? BitBlt(dst, 0, 0, W, H - s, old, 0, s) && BitBlt(dst, 0, H - s, W, s, fresh, 0, 0)
                              : BitBlt(dst, 0, 0, W, s, fresh, 0, H - s) && BitBlt(dst, 0, s, W, H - s, old, 0, 0);
        }
        if (!ok) return fail(state, routine);
    }
    return wholeCopy(state, target, routine);
}

// Bands of the new picture sliding in, the even ones from the near edge,
// the odd ones from the far edge. Horizontal: bands stacked top to bottom,
// entering from the left and the right.
bool pushIn(RunState& state, Target& target, int routine, Axis axis)
{
    const auto across = [&] { return axis == Axis::Horizontal ? target.height() : target.width(); };
    const auto along = [&] { return axis == Axis::Horizontal ? targetW(target) : targetH(target); };
    // A band of at least one line: a zero band on a tiny target would
    // never advance.
    const std::int32_t b = Maximum({px(across() / 16), 1});
    const std::int32_t S = stepWidth(state);
    for (long long shown = 1; shown <= along(); shown += S) {
        const std::int32_t len = std::int32_t(shown);
        long long at = 0;
        do {
            if (!stepPrologue(state, target)) return false;
            Dc* dst = target.dc();
            const Dc* src = state.neues_bild_dc.dc();
            const double size = across();
            const std::int32_t far = along() - len;
            const std::int32_t y = std::int32_t(at);
            const std::int32_t thick = size - b < y ? px(size - y) : b;
            const bool ok = axis == Axis::Horizontal
                                ? BitBlt(dst, 0, y, len, thick, src, far, y) &&
                                      BitBlt(dst, far, y + b, len, thick, src, 0, y + b)
                                : BitBlt(dst, y, 0, thick, len, src, y, far) &&
                                      BitBlt(dst, y + b, far, thick, len, src, y + b, 0);
            if (!ok) return fail(state, routine);
            at += 2LL * b;
        } while (at <= across());
    }
    return wholeCopy(state, target, routine);
}

} // namespace

bool blende_032(RunState& state, Target& target) { return pushOut(state, target, 32, Axis::Horizontal); }

bool blende_033(RunState& state, Target& target) { return pushOut(state, target, 33, Axis::Vertical); }

bool blende_035(RunState& state, Target& target) { return pushIn(state, target, 35, Axis::Horizontal); }

bool blende_037(RunState& state, Target& target) { return pushIn(state, target, 37, Axis::Vertical); }

} // namespace vm
