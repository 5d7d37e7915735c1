#include "transitions/radar.h"

#include "platform/target.h"
#include "state/runstate.h"
#include "transitions/frame.h"

#include <cmath>
#include <cstdint>

namespace vm {

namespace {

constexpr double kTurn = 6.28318;
constexpr double kHalfTurn = 3.14159;
constexpr double kAngleStep = 0.01;
constexpr double kRadiusStep = 1.9;
constexpr int kSquare = 8;

// Squares 0.01 radian apart overlap up to this distance from the centre;
// beyond it (large screens) they drift apart, so the sweep and the circle
// add angles in between there, halving the spacing as often as needed.
constexpr double kFineFrom = 640;

double sign(double v) { return v > 0 ? 1 : (v < 0 ? -1 : 0); }

bool square(Dc* dst, const Dc* src, double x, double y)
{
    const std::int32_t ix = px(x), iy = px(y);
    return BitBlt(dst, ix, iy, kSquare, kSquare, src, ix, iy);
}

// The number of angles per 0.01 radian that a reach from the centre needs:
// a power of two, 1 up to kFineFrom.
int anglesPerStep(double reach)
{
    int m = 1;
    while (reach > kFineFrom * m) m *= 2;
    return m;
}

// The beam from the centre to the edge of a W x H target along phi, one
// square per pixel of its length; squares nearer the centre than `from`
// are left out.
bool beam(Dc* dst, const Dc* src, double W, double H, double phi, double from)
{
    const double cx = W / 2, cy = H / 2;
    const double tn = std::tan(phi);
    if (H / 2 >= std::fabs(W / 2 * tn)) {
        // Leaves through the left or right edge.
        const double s = sign(std::cos(phi));
        const double near = from / std::sqrt(1 + tn * tn); // |t| of the distance `from`
        for (double t = (s - 1) * W / 4; t <= (s + 1) * W / 4; t += 1) {
            if (std::fabs(t) < near) continue;
            if (!square(dst, src, cx + t, cy + t * tn)) return false;
        }
    } else {
        // Leaves through the top or bottom edge.
        const double s = sign(std::sin(phi));
        const double near = from / std::sqrt(1 + 1 / (tn * tn));
        for (double t = (s - 1) * H / 4; t <= (s + 1) * H / 4; t += 1) {
            if (std::fabs(t) < near) continue;
            if (!square(dst, src, cx + t / tn, cy + t)) return false;
        }
    }
    return true;
}

// One angle of a sweep turning in direction `dir`: the beam at phi and,
// where the screen reaches beyond kFineFrom, the beams between phi and the
// next angle, each only as far out as it is needed.
bool sweepBeam(Dc* dst, const Dc* src, double W, double H, double phi, double dir)
{
    if (!beam(dst, src, W, H, phi, 0)) return false;
    const int m = anglesPerStep(std::hypot(W / 2, H / 2));
    for (int j = 1; j < m; ++j) {
        // Beam j first appears when the spacing is halved to m / 2^z.
        int level = m, odd = j;
        while (odd % 2 == 0) {
            odd /= 2;
            level /= 2;
        }
        if (!beam(dst, src, W, H, phi + dir * kAngleStep * j / m, kFineFrom * level / 2)) return false;
    }
    return true;
}

bool fail(RunState& state, int routine)
{
    state.fehlertext = errorWords("BitBlt", routine);
    return false;
}

// The pieces leave a few pixels of the old picture at the edges: squares
// hang right and down from points on rays and circles, so the top and left
// edges are not always reached, and the cross's corner squares stop one
// line short of the right and bottom edges. One whole copy at the end makes
// the new picture complete.
bool finish(RunState& state, Target& target, int routine)
{
    if (!BitBlt(target.dc(), 0, 0, targetW(target), targetH(target), state.neues_bild_dc.dc(), 0, 0))
        return fail(state, routine);
    return true;
}

bool radar(RunState& state, Target& target, int routine, double span, int beams)
{
    const bool backwards = state.random.below(2) != 0;
    const double phi0 = kTurn * state.random.next();
    const double dir = backwards ? -1 : 1;
    const double end = phi0 + dir * span;
    for (double phi = phi0; backwards ? phi >= end : phi <= end; phi += dir * kAngleStep) {
        if (!stepPrologue(state, target)) return false;
        const double W = target.width(), H = target.height();
        Dc* dst = target.dc();
        const Dc* src = state.neues_bild_dc.dc();
        for (int k = 0; k < beams; ++k)
            if (!sweepBeam(dst, src, W, H, phi + k * kHalfTurn, dir)) return fail(state, routine);
    }
    return finish(state, target, routine);
}

// One pass of the circle: one step per radius from `from` towards `to`.
bool circlePass(RunState& state, Target& target, double from, double to)
{
    const double step = from <= to ? kRadiusStep : -kRadiusStep;
    for (double rho = from; step > 0 ? rho <= to : rho >= to; rho += step) {
        if (!stepPrologue(state, target)) return false;
        const double cx = target.width() / 2, cy = target.height() / 2;
        Dc* dst = target.dc();
        const Dc* src = state.neues_bild_dc.dc();
        const double dTheta = kAngleStep / anglesPerStep(rho);
        for (double theta = 0; theta <= kTurn; theta += dTheta)
            if (!square(dst, src, cx + std::cos(theta) * rho, cy + std::sin(theta) * rho))
                return fail(state, 27);
    }
    return true;
}

} // namespace

bool blende_011(RunState& state, Target& target)
{
    constexpr int kRoutine = 11;
    const Dc* src = state.neues_bild_dc.dc();
    if (state.random.below(2) == 0) {
        // A cross widening from the centre lines.
        std::int32_t x = px(target.width() / 2), y = px(target.height() / 2);
        for (;;) {
            if (!stepPrologue(state, target)) return false;
            if (y < 0) return true;
            const double W = target.width(), H = target.height();
            Dc* dst = target.dc();
            if (x >= 0) {
                const std::int32_t mirror = px(W - x - 1);
                if (!BitBlt(dst, x, 0, 1, px(H), src, x, 0) || !BitBlt(dst, mirror, 0, 1, px(H), src, mirror, 0))
                    return fail(state, kRoutine);
            }
            if (y >= 0) {
                const std::int32_t mirror = px(H - y - 1);
                if (!BitBlt(dst, 0, y, px(W), 1, src, 0, y) || !BitBlt(dst, 0, mirror, px(W), 1, src, 0, mirror))
                    return fail(state, kRoutine);
            }
            --x;
            --y;
        }
    }

    // Four squares growing from the corners of the square of side M around
    // the centre; the old picture shrinks to a cross.
    const double W = target.width(), H = target.height();
    const std::int32_t M = Maximum({px(W), px(H)});
    const std::int32_t a = px(W / 2 - M / 2.0), b = px(H / 2 - M / 2.0);
    const std::int32_t c = px(W / 2 + M / 2.0), d = px(H / 2 + M / 2.0);
    const std::int32_t last = px(M / 2.0);
    for (std::int32_t k = 0; k <= last; ++k) {
        if (!stepPrologue(state, target)) return false;
        Dc* dst = target.dc();
        if (b + k >= 0) {
            if (!BitBlt(dst, a, b + k, k + 1, 1, src, a, b + k) ||
                !BitBlt(dst, c - k - 1, b + k, k, 1, src, c - k - 1, b + k) ||
                !BitBlt(dst, a, d - k - 1, k, 1, src, a, d - k - 1) ||
                !BitBlt(dst, c - k - 1, d - k - 1, k, 1, src, c - k - 1, d - k - 1))
                return fail(state, kRoutine);
        }
        if (a + k >= 0) {
            if (!BitBlt(dst, a + k, b, 1, k, src, a + k, b) ||
                !BitBlt(dst, c - k - 1, b, 1, k, src, c - k - 1, b) ||
                !BitBlt(dst, a + k, d - k - 1, 1, k, src, a + k, d - k - 1) ||
                !BitBlt(dst, c - k - 1, d - k - 1, 1, k, src, c - k - 1, d - k - 1))
                return fail(state, kRoutine);
        }
    }
    return finish(state, target, kRoutine);
}

bool blende_025(RunState& state, Target& target) { return radar(state, target, 25, kTurn, 1); }

bool blende_026(RunState& state, Target& target) { return radar(state, target, 26, kHalfTurn, 2); }

bool blende_027(RunState& state, Target& target)
{
    const double W = target.width(), H = target.height();
    const double r0 = std::sqrt(W * W + H * H) / 2;
    const bool opening = state.random.below(2) != 0;
    bool done;
    if (state.aktueller_effekt == 14) {
        // Two passes meeting at half the radius.
        done = opening ? circlePass(state, target, 0, r0 / 2) && circlePass(state, target, r0, r0 / 2)
                       : circlePass(state, target, r0, r0 / 2) && circlePass(state, target, 0, r0 / 2);
    } else {
        done = opening ? circlePass(state, target, 0, r0) : circlePass(state, target, r0, 0);
    }
    return done && finish(state, target, 27);
}

} // namespace vm
