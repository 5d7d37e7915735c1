#include "transitions/blinds.h"

#include "platform/target.h"
#include "state/runstate.h"
#include "transitions/frame.h"

#include <cstdint>

namespace vm {

namespace {

enum class Axis { Rows, Columns };

bool fail(RunState& state, int routine)
{
    state.fehlertext = errorWords("BitBlt", routine);
    return false;
}

// Venetian blinds: `slats` slats across the target, one line of each per
// step. A target too small for a whole line per slat gets slats of one
// line, so that the picture is still drawn (in one step).
bool blinds(RunState& state, Target& target, int routine, Axis axis, int slats)
{
    const double extent = axis == Axis::Rows ? target.height() : target.width();
    const std::int32_t p = Maximum({px(extent / slats), 1});
    for (std::int32_t i = 0; i <= p - 1; ++i) {
        if (!stepPrologue(state, target)) return false;
        Dc* dst = target.dc();
        const Dc* src = state.neues_bild_dc.dc();
        const std::int32_t W = targetW(target), H = targetH(target);
        const std::int32_t end = axis == Axis::Rows ? H : W;
        for (std::int32_t at = 0; at <= end; at += p) {
            const bool ok = axis == Axis::Rows ? BitBlt(dst, 0, i + at, W, 1, src, 0, i + at)
                                               : BitBlt(dst, i + at, 0, 1, H, src, i + at, 0);
            if (!ok) return fail(state, routine);
        }
    }
    return true;
}

// Bands of thickness b stacked along one side (horizontal bands for Rows):
// the even bands grow from the near edge, the odd ones from the far edge,
// one line (a column for Rows) per step.
bool beams(RunState& state, Target& target, int routine, Axis axis, float divisor)
{
    const auto across = [&] { return axis == Axis::Rows ? target.height() : target.width(); };
    const auto along = [&] { return axis == Axis::Rows ? target.width() : target.height(); };
    // A single-precision quotient, compared with 2 and rounded.
    const std::int32_t b = Maximum({px(float(across()) / divisor), 2});
    const std::int32_t n = px(across() - 1) / b + 1;
    const std::int32_t steps = px(along());
    for (std::int32_t line = 0; line <= steps; ++line) {
        if (!stepPrologue(state, target)) return false;
        Dc* dst = target.dc();
        const Dc* src = state.neues_bild_dc.dc();
        const double size = across();
        const std::int32_t farLine = px(along() - line);
        // The band's thickness, cut at the far side of the target.
        const auto thickness = [&](std::int32_t start) { return size < start + b ? px(size - start) : b; };
        const auto copy = [&](std::int32_t at, std::int32_t start, std::int32_t len) {
            return axis == Axis::Rows ? BitBlt(dst, at, start, 1, len, src, at, start)
                                      : BitBlt(dst, start, at, len, 1, src, start, at);
        };
        for (std::int32_t k = 1; k <= n; k += 2) {
            const std::int32_t even = (k - 1) * b;
            if (!copy(line, even, thickness(even))) return fail(state, routine);
            const std::int32_t odd = b * k;
            if (size >= odd && !copy(farLine, odd, thickness(odd))) return fail(state, routine);
        }
    }
    return true;
}

} // namespace

bool blende_028(RunState& state, Target& target) { return blinds(state, target, 28, Axis::Rows, 8); }

bool blende_029(RunState& state, Target& target) { return blinds(state, target, 29, Axis::Columns, 10); }

bool blende_034(RunState& state, Target& target)
{
    return beams(state, target, 34, Axis::Rows, state.aktueller_effekt == 37 ? 256.0f : 16.0f);
}

bool blende_036(RunState& state, Target& target)
{
    return beams(state, target, 36, Axis::Columns, state.aktueller_effekt == 39 ? 256.0f : 16.0f);
}

} // namespace vm
