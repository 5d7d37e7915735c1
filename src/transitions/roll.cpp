#include "transitions/roll.h"

#include "platform/target.h"
#include "state/runstate.h"
#include "transitions/frame.h"

#include <cmath>
#include <limits>
#include <vector>

namespace vm {

namespace {

// The constants as the motion was designed with them, not the full pi.
constexpr double kHalfTurn = 3.14159;
constexpr double kFullTurn = 6.28318530717958;

long long usableStep(std::int32_t s) { return s < 1 ? 1 : s; }

std::int32_t toInt32(double v)
{
    if (!(v == v)) return 0;
    if (v >= double(std::numeric_limits<std::int32_t>::max())) return std::numeric_limits<std::int32_t>::max();
    if (v <= double(std::numeric_limits<std::int32_t>::min())) return std::numeric_limits<std::int32_t>::min();
    return px(v);
}

// Copies a rectangle of the new picture to the same place on the target.
bool copyNew(RunState& st, Target& t, int x, int y, int w, int h)
{
    return BitBlt(t.dc(), x, y, w, h, st.neues_bild_dc.dc(), x, y);
}

bool finalCopy(RunState& st, Target& t, int routine)
{
    if (!BitBlt(t.dc(), 0, 0, targetW(t), targetH(t), st.neues_bild_dc.dc(), 0, 0)) {
        st.fehlertext = errorWords("BitBlt", routine);
        return false;
    }
    return true;
}

bool fail(RunState& st, int routine)
{
    st.fehlertext = errorWords("BitBlt", routine);
    return false;
}

double sign(double v) { return v > 0 ? 1.0 : (v < 0 ? -1.0 : 0.0); }

// One or two wiper arms turning about the middle of the top or bottom
// edge; squares along an arm grow with the distance from the pivot so that
// successive positions leave no gaps.
bool wipe(RunState& state, Target& target, int routine, bool twoArms)
{
    const long long step = usableStep(adaptStepWidth(state, 1, 1));
    // The angle step grows with the step width: tan(1) / 100 per unit, so
    // wider steps turn the arm faster (about 202 / S steps for the half
    // turn) and the squares, which grow by the same factor, still close
    // the gaps. Taken as tan(S) / 100 it would change sign for S = 2 or 3
    // and wipe nothing, or come close to 0 and never end.
    const double delta = double(step) * std::tan(1.0) / 100.0;
    const int d = 1 + state.random.below(4);
    const bool top = d <= 2;
    const bool closing = d == 1 || d == 3; // the angle falls
    const double from = closing ? kHalfTurn : (twoArms ? kHalfTurn / 2 : 0.0);
    const double to = closing ? (twoArms ? kHalfTurn / 2 - 0.1 : 0.0) : kHalfTurn;
    const double inc = closing ? -delta : delta;
    const double grow = 2.0 * double(step) + 4;

    for (double a = from; closing ? a >= to : a <= to; a += inc) {
        if (!stepPrologue(state, target)) return false;
        const double W = target.width(), H = target.height();
        const double py = top ? 0.0 : double(targetH(target));
        const double t = std::tan(a), c = std::cos(a);
        auto square = [&](double o, double yc, int q) {
            const int y = px(yc - q / 2.0);
            if (!copyNew(state, target, px(W / 2 + o - q / 2.0), y, q, q)) return false;
            return !twoArms || copyNew(state, target, px(W / 2 - o - q / 2.0), y, q, q);
        };
        if (std::abs(W / 2 * t) < H || t == 0) {
            // The arm leaves through a side edge.
            const double s = sign(c);
            for (double u = W / 2 * (s - 1); u <= W / 2 * (s + 1); u += double(step)) {
                const int q = px(std::abs(u) * delta + grow);
                if (!square(u, std::abs(py - std::abs(t * u)), q)) return fail(state, routine);
            }
        } else {
            // The arm leaves through the top or bottom edge.
            for (double v = 0; v <= H; v += double(step)) {
                const int q = px(std::abs(v) * delta + grow);
                if (!square(v / t, std::abs(py - v), q)) return fail(state, routine);
            }
        }
    }
    return finalCopy(state, target, routine);
}

} // namespace

bool blende_039(RunState& state, Target& target)
{
    const int r = px(target.width() / 6);
    const long long step = usableStep(adaptStepWidth(state, 2, 8));
    // Column j of the roll shows the source column off[j] to the right of
    // its left end; the same for every step, so computed once.
    std::vector<int> off(std::size_t(r > 0 ? r : 0) + 1, 0);
    if (r > 0) {
        const double k = kFullTurn / (2.0 * r);
        for (int j = 1; j <= r; ++j) {
            double u = j / (r / 2.0);
            off[std::size_t(j)] = px(ArcCos(u) / k); // ArcCos turns u into u - 1
        }
    }
    // The roll's columns, copied row by row in one pass: a column at a time
    // would walk the whole height once per column.
    std::vector<int> from(off.size());
    for (long long x = 0; x <= targetW(target) - 1; x += step) {
        if (!stepPrologue(state, target)) return false;
        const int H = targetH(target);
        if (x - r >= 0 && !copyNew(state, target, int(x - r - step), 0, int(step), H)) return fail(state, 39);
        // Column j (1 to r) lands at x + j - r and shows source column x + off[j].
        for (int j = 1; j <= r; ++j) {
            const long long src = x + off[std::size_t(j)];
            from[std::size_t(j - 1)] = src <= targetW(target) ? int(src) : int(x + j - r);
        }
        if (r > 0 && !CopyColumns(target.dc(), int(x + 1 - r), 0, H, state.neues_bild_dc.dc(), from.data(), r, 0))
            return fail(state, 39);
    }
    return finalCopy(state, target, 39);
}

bool blende_040(RunState& state, Target& target)
{
    const bool small = state.aktueller_effekt == 16;
    const int b = Maximum({px(target.width() / (small ? 48 : 8)), 2});
    // Short transition times slow the spiral down for this run. A time of 0
    // or less (outside what the settings allow) leaves the wait alone.
    const std::int32_t tdauer = state.settings.tdauer;
    const double slowest = small ? 5 : 2;
    if (tdauer > 0 && tdauer < slowest)
        state.aktuelles_delay = toInt32((double(state.aktuelles_delay) + 1) * (slowest / tdauer));

    const int nx = px(target.width() - 1) / b + 1;
    const int ny = px(target.height() - 1) / b + 1;
    const int x0 = px((target.width() - double(b) * nx) / 2);
    const int y0 = px((target.height() - double(b) * ny) / 2);

    auto block = [&](int c, int l) {
        if (!stepPrologue(state, target)) return false;
        const int x = x0 + (c - 1) * b, y = y0 + (l - 1) * b;
        const double W = target.width(), H = target.height();
        const int w = W < x + b ? px(W - x) : b;
        const int h = H < y + b ? px(H - y) : b;
        if (!copyNew(state, target, x, y, w, h)) {
            state.fehlertext = errorWords("BitBlt", 40);
            return false;
        }
        return true;
    };

    int lo = 1, cmax = nx, lmax = ny;
    do {
        for (int c = lo; c <= cmax; ++c)
            if (!block(c, lo)) return false;
        for (int l = lo; l <= lmax; ++l)
            if (!block(cmax, l)) return false;
        for (int c = cmax; c >= lo; --c)
            if (!block(c, lmax)) return false;
        for (int l = lmax; l >= lo; --l)
            if (!block(lo, l)) return false;
        ++lo;
        --cmax;
        --lmax;
    } while (!(lo > cmax || lo > lmax));
    return true;
}

bool blende_041(RunState& state, Target& target) { return wipe(state, target, 41, false); }

bool blende_042(RunState& state, Target& target) { return wipe(state, target, 42, true); }

} // namespace vm
