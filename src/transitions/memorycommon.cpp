#include "transitions/memorycommon.h"

#include "platform/target.h"
#include "state/runstate.h"
#include "transitions/frame.h"

#include <algorithm>
#include <limits>

namespace vm::memorycards {

namespace {

std::int32_t clampedRound(double v)
{
    constexpr double lo = std::numeric_limits<std::int32_t>::min();
    constexpr double hi = std::numeric_limits<std::int32_t>::max();
    return px(std::clamp(v, lo, hi));
}

bool fail(RunState& state, const char* operation, int routine)
{
    state.fehlertext = errorWords(operation, routine);
    return false;
}

} // namespace

CardGrid cardGrid(const RunState& state, const Target& target, int divisor)
{
    CardGrid g;
    // On a target only a few pixels wide the side would round to 0.
    g.b = std::max(px(target.width() / divisor), 1);
    g.nx = (state.bild.bild_breite - 1) / g.b + 1;
    g.ny = (state.bild.bild_hoehe - 1) / g.b + 1;
    g.nx = std::max(g.nx, 1);
    g.ny = std::max(g.ny, 1);
    g.n = g.nx * g.ny;
    return g;
}

int fullScreenCards(const Target& target, int b)
{
    const int cols = px(target.width() - 1) / b + 1;
    const int rows = px(target.height() - 1) / b + 1;
    return std::max(cols, 1) * std::max(rows, 1);
}

bool paintFloor(RunState& state, Target& target, int routine)
{
    const int w = targetW(target), h = targetH(target);
    if (state.settings.desktop == 1) {
        if (!BitBlt(state.puffer1.dc(), 0, 0, w, h, state.desktop_dc.dc(), 0, 0))
            return fail(state, "BitBlt", routine);
    } else if (!FillRect(state.puffer1.dc(), Rect{0, 0, w, h}, state.bild.hintergrund_pinsel)) {
        return fail(state, "FillRect", routine);
    }
    return true;
}

bool composeCard(RunState& state, int routine, int b, int ct, int rt)
{
    Dc* card = state.puffer2.dc();
    const PictureState& p = state.bild;
    if (!FillRect(card, Rect{0, 0, b, b}, p.hintergrund_pinsel)) return fail(state, "FillRect", routine);
    if (state.settings.desktop == 1 &&
        !BitBlt(card, 0, 0, b, b, state.desktop_dc.dc(), p.bild_x + ct, p.bild_y + rt))
        return fail(state, "BitBlt", routine);
    if (!BitBlt(card, 0, 0, b, b, p.bild_dc.dc(), ct, rt)) return fail(state, "BitBlt", routine);
    return true;
}

bool composeBackground(RunState& state, int routine, int b, int cx, int cy)
{
    Dc* card = state.puffer2.dc();
    const PictureState& p = state.bild;
    if (state.settings.desktop == 1) {
        if (!BitBlt(card, 0, 0, b, b, state.desktop_dc.dc(), p.bild_x + cx, p.bild_y + cy))
            return fail(state, "BitBlt", routine);
    } else if (!FillRect(card, Rect{0, 0, b, b}, p.hintergrund_pinsel)) {
        return fail(state, "FillRect", routine);
    }
    return true;
}

std::int32_t stretchedDelay(std::int32_t delay, std::int32_t tdauer, int limit)
{
    const double seconds = tdauer < 1 ? 1.0 : double(tdauer);
    return clampedRound((double(delay) + 1) * (limit / seconds));
}

std::int32_t delayForFullScreen(std::int32_t delay, int fullScreen, int n)
{
    return clampedRound(double(delay) / fullScreen * n);
}

} // namespace vm::memorycards
