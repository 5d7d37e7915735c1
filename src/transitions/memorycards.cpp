#include "transitions/memorycards.h"

#include "platform/target.h"
#include "state/runstate.h"
#include "transitions/frame.h"
#include "transitions/memorycommon.h"
#include "transitions/randomorder.h"

#include <algorithm>
#include <cmath>

namespace vm {

namespace {

constexpr int kRoutine = 38;
constexpr int kOver = 60;  // the moving card passes over laid cards
constexpr int kSmear = 62; // starts at the picture's edge and leaves its trail

// A step wider than any screen moves a card in one step, whatever its size;
// the cap only keeps the coordinates far from overflowing.
constexpr int kStepCap = 1 << 20;

bool copyFailed(RunState& state)
{
    state.fehlertext = errorWords("BitBlt", kRoutine);
    return false;
}

struct Slide {
    bool vertical = false;
    bool forward = false; // right or down
    int start = 0;
};

// Where and which way card (ct, rt) slides in.
Slide chooseSlide(RunState& state, Target& target, int effect, int b, int ct, int rt)
{
    const PictureState& p = state.bild;
    Slide s;
    s.vertical = int(std::floor(2 * state.random.next() + 1)) == 2;
    if (!s.vertical) {
        s.forward = ct <= p.bild_breite / 2.0;
        if (effect == kSmear)
            s.start = s.forward ? p.bild_x : p.bild_x + p.bild_breite - b;
        else
            s.start = s.forward ? 0 : px(target.width() - 1);
    } else {
        s.forward = rt <= p.bild_hoehe / 2.0;
        if (effect == kSmear)
            s.start = s.forward ? p.bild_y : p.bild_y + p.bild_hoehe - b;
        else
            s.start = s.forward ? 0 : px(target.height() - 1);
    }
    return s;
}

} // namespace

bool blende_038(RunState& state, Target& target)
{
    const int effect = state.aktueller_effekt;
    const memorycards::CardGrid grid = memorycards::cardGrid(state, target, 8);
    const int b = grid.b;
    state.puffer1.create(target.dc(), targetW(target), targetH(target));
    state.puffer2.create(target.dc(), targetW(target), targetH(target));

    // The old picture gives way to the bare background at once.
    if (!memorycards::paintFloor(state, target, kRoutine)) return false;
    if (!BitBlt(target.dc(), 0, 0, targetW(target), targetH(target), state.puffer1.dc(), 0, 0))
        return copyFailed(state);

    const int S = std::min(adaptStepWidth(state, 1, 1), kStepCap);
    if (state.settings.tdauer < 10)
        state.aktuelles_delay = memorycards::stretchedDelay(state.aktuelles_delay, state.settings.tdauer, 10);
    const std::vector<int> order = drawRandomOrder(state.random, grid.n);

    for (int k = 1; k <= grid.n; ++k) {
        const int t = order[std::size_t(k)];
        const int ct = grid.cardX(t), rt = grid.cardY(t);
        const int placeX = state.bild.bild_x + ct, placeY = state.bild.bild_y + rt;
        const Slide slide = chooseSlide(state, target, effect, b, ct, rt);
        const int place = slide.vertical ? placeY : placeX;
        const int step = slide.forward ? S : -S;
        const bool erase = effect != kSmear;
        const bool under = effect != kOver;
        // The card in puffer2 is composed afresh only when laid cards were
        // put over it in the step before: the picture it shows is the same.
        bool composed = false;

        for (int pos = slide.start; slide.forward ? pos <= place : pos >= place; pos += step) {
            if (!stepPrologue(state, target)) return false;
            const int x = slide.vertical ? placeX : pos;
            const int y = slide.vertical ? pos : placeY;
            // The strip the card has just left shows the floor again.
            if (erase && pos != slide.start) {
                const bool ok = slide.vertical
                    ? BitBlt(target.dc(), x, slide.forward ? y - S : y + b, b, S, state.puffer1.dc(), x,
                             slide.forward ? y - S : y + b)
                    : BitBlt(target.dc(), slide.forward ? x - S : x + b, y, S, b, state.puffer1.dc(),
                             slide.forward ? x - S : x + b, y);
                if (!ok) return copyFailed(state);
            }
            if (!composed && !memorycards::composeCard(state, kRoutine, b, ct, rt)) return false;
            composed = true;
            // Passing under: the laid cards of the same row (or column) that
            // the card overlaps are put over it.
            if (under) {
                for (int u = 1; u < k; ++u) {
                    const int laid = order[std::size_t(u)];
                    const int lx = state.bild.bild_x + grid.cardX(laid);
                    const int ly = state.bild.bild_y + grid.cardY(laid);
                    bool overlaps = false;
                    if (!slide.vertical)
                        overlaps = grid.cardY(laid) == rt && Maximum({x, lx}) < Minimum({x + b, lx + b});
                    else
                        overlaps = grid.cardX(laid) == ct && Maximum({y, ly}) < Minimum({y + b, ly + b});
                    if (!overlaps) continue;
                    if (!BitBlt(state.puffer2.dc(), lx - x, ly - y, b, b, state.puffer1.dc(), lx, ly))
                        return copyFailed(state);
                    composed = false;
                }
            }
            if (!BitBlt(target.dc(), x, y, b, b, state.puffer2.dc(), 0, 0)) return copyFailed(state);
        }
        if (erase) {
            const bool ok = slide.vertical
                ? BitBlt(target.dc(), placeX, slide.forward ? placeY - S : placeY + b, b, S, state.puffer1.dc(),
                         placeX, slide.forward ? placeY - S : placeY + b)
                : BitBlt(target.dc(), slide.forward ? placeX - S : placeX + b, placeY, S, b, state.puffer1.dc(),
                         slide.forward ? placeX - S : placeX + b, placeY);
            if (!ok) return copyFailed(state);
        }
        // Lay the card with its own background, so that where it reaches past
        // the picture it shows the background of its place, not whatever the
        // slide left there when the step did not end exactly on the place.
        if (!composed && !memorycards::composeCard(state, kRoutine, b, ct, rt)) return false;
        if (!BitBlt(target.dc(), placeX, placeY, b, b, state.puffer2.dc(), 0, 0)) return copyFailed(state);
        if (!BitBlt(state.puffer1.dc(), placeX, placeY, b, b, state.puffer2.dc(), 0, 0))
            return copyFailed(state);
    }

    state.aktuelles_delay =
        memorycards::delayForFullScreen(state.aktuelles_delay, memorycards::fullScreenCards(target, b), grid.n);
    return true;
}

} // namespace vm
