#include "transitions/zoom.h"

#include "platform/target.h"
#include "state/runstate.h"
#include "transitions/frame.h"

namespace vm {

namespace {

// A width from a hand-edited store may be below 1; such a loop would never end.
long long usableStep(std::int32_t s) { return s < 1 ? 1 : s; }

// Height that keeps the target's aspect ratio for width w.
int heightFor(const Target& t, long long w)
{
    const double W = t.width();
    return W > 0 ? px(t.height() * double(w) / W) : 0;
}

bool stretchOnto(Dc* dst, const Dc* src, int x, int y, int w, int h, int sx, int sy, int sw, int sh)
{
    if (dst) dst->stretchMode = StretchMode::ColorOnColor;
    return StretchBlt(dst, x, y, w, h, src, sx, sy, sw, sh);
}

// Stretches a rectangle of the new picture onto the target.
bool stretchNew(RunState& st, Target& t, int x, int y, int w, int h, int sx, int sy, int sw, int sh)
{
    return stretchOnto(t.dc(), st.neues_bild_dc.dc(), x, y, w, h, sx, sy, sw, sh);
}

// The whole new picture squeezed into (x, y, w, h) on the target.
bool stretchWhole(RunState& st, Target& t, int x, int y, int w, int h)
{
    return stretchNew(st, t, x, y, w, h, 0, 0, targetW(t), targetH(t));
}

bool finalCopy(RunState& st, Target& t, int routine)
{
    if (!BitBlt(t.dc(), 0, 0, targetW(t), targetH(t), st.neues_bild_dc.dc(), 0, 0)) {
        st.fehlertext = errorWords("BitBlt", routine);
        return false;
    }
    return true;
}

bool fail(RunState& st, QString words)
{
    st.fehlertext = std::move(words);
    return false;
}

} // namespace

bool blende_030(RunState& state, Target& target)
{
    const long long step = usableStep(adaptStepWidth(state, 10, 10));
    const int cx = px(target.width() / 2), cy = px(target.height() / 2);
    for (long long w = px(target.width() / 32); w <= target.width(); w += step) {
        if (!stepPrologue(state, target)) return false;
        const int h = heightFor(target, w);
        if (!stretchWhole(state, target, px(cx - w / 2.0), px(cy - h / 2.0), int(w), h))
            return fail(state, moduleErrorWords("StretchBlt", 30));
    }
    return finalCopy(state, target, 30);
}

bool blende_031(RunState& state, Target& target)
{
    // puffer1: the old picture as it stands; puffer2: a frame to compose in
    // when a step's rectangle is not inside the one before.
    state.puffer1.create(target.dc(), targetW(target), targetH(target));
    if (!BitBlt(state.puffer1.dc(), 0, 0, targetW(target), targetH(target), target.dc(), 0, 0))
        return fail(state, errorWords("BitBlt", 31));
    state.puffer2.create(target.dc(), targetW(target), targetH(target));
    Dc* frame = state.puffer2.dc();
    const Dc* neu = state.neues_bild_dc.dc();

    const long long step = usableStep(adaptStepWidth(state, 10, 10));
    const int cx = px(target.width() / 2), cy = px(target.height() / 2);
    int pX = 0, pY = 0, pW = targetW(target), pH = targetH(target);
    for (long long w = targetW(target); w >= px(target.width() / 32); w -= step) {
        if (!stepPrologue(state, target)) return false;
        const int h = heightFor(target, w);
        const int x = px(cx - w / 2.0), y = px(cy - h / 2.0);
        if (x >= pX && y >= pY && x + w <= pX + pW && y + h <= pY + pH) {
            // Only the previous rectangle changes: the old picture shrunk into
            // the new one, the new picture in the band around it. Nothing is
            // shown between two steps, so drawing in place cannot flicker.
            if (!stretchOnto(target.dc(), state.puffer1.dc(), x, y, int(w), h, 0, 0, targetW(target),
                             targetH(target)))
                return fail(state, moduleErrorWords("StretchBlt", 31));
            const int right = x + int(w), bottom = y + h;
            if (!BitBlt(target.dc(), pX, pY, pW, y - pY, neu, pX, pY) ||
                !BitBlt(target.dc(), pX, bottom, pW, pY + pH - bottom, neu, pX, bottom) ||
                !BitBlt(target.dc(), pX, y, x - pX, h, neu, pX, y) ||
                !BitBlt(target.dc(), right, y, pX + pW - right, h, neu, right, y))
                return fail(state, errorWords("BitBlt", 31));
        } else {
            // The new picture where the old one was drawn last time, the
            // shrunken old one over it, and that rectangle onto the target.
            if (!BitBlt(frame, pX, pY, pW, pH, neu, pX, pY)) return fail(state, errorWords("BitBlt", 31));
            if (!stretchOnto(frame, state.puffer1.dc(), x, y, int(w), h, 0, 0, targetW(target), targetH(target)))
                return fail(state, moduleErrorWords("StretchBlt", 31));
            if (!BitBlt(target.dc(), pX, pY, pW, pH, frame, pX, pY)) return fail(state, errorWords("BitBlt", 31));
        }
        pX = x;
        pY = y;
        pW = int(w);
        pH = h;
    }
    return finalCopy(state, target, 31);
}

bool blende_043(RunState& state, Target& target)
{
    const long long step = usableStep(adaptStepWidth(state, 2, 4));
    const int cx = px(target.width() / 2);
    for (long long w = step; w <= target.width(); w += step) {
        if (!stepPrologue(state, target)) return false;
        if (!stretchWhole(state, target, px(cx - w / 2.0), 0, int(w), targetH(target)))
            return fail(state, moduleErrorWords("StretchBlt", 43));
    }
    return finalCopy(state, target, 43);
}

bool blende_044(RunState& state, Target& target)
{
    const long long step = usableStep(adaptStepWidth(state, 1, 4));
    const int cy = px(target.height() / 2);
    for (long long h = step; h <= target.height(); h += step) {
        if (!stepPrologue(state, target)) return false;
        if (!stretchWhole(state, target, 0, px(cy - h / 2.0), targetW(target), int(h)))
            return fail(state, moduleErrorWords("StretchBlt", 44));
    }
    return finalCopy(state, target, 44);
}

bool blende_049(RunState& state, Target& target)
{
    const long long step = usableStep(adaptStepWidth(state, 5, 5));
    const bool fromRight = state.random.below(2) == 1;
    for (long long w = step; w <= target.width(); w += step) {
        if (!stepPrologue(state, target)) return false;
        const int W = targetW(target), H = targetH(target);
        // From the right the strip starts one pixel further left than the
        // edge would need; at full width that pixel lies outside.
        const int sx = fromRight ? int(W - w - 1) : 0;
        if (!stretchNew(state, target, 0, 0, W, H, sx, 0, int(w), H))
            return fail(state, errorWords("StretchBlt", 49));
    }
    return finalCopy(state, target, 49);
}

bool blende_050(RunState& state, Target& target)
{
    const long long step = usableStep(adaptStepWidth(state, 5, 5));
    const bool fromBottom = state.random.below(2) == 1;
    for (long long h = step; h <= target.height(); h += step) {
        if (!stepPrologue(state, target)) return false;
        const int W = targetW(target), H = targetH(target);
        const int sy = fromBottom ? int(H - h - 1) : 0;
        if (!stretchNew(state, target, 0, 0, W, H, 0, sy, W, int(h)))
            return fail(state, errorWords("StretchBlt", 50));
    }
    return finalCopy(state, target, 50);
}

bool blende_051(RunState& state, Target& target)
{
    state.current().schritt = 1;
    const bool zoomIn = state.aktueller_effekt == 75;
    const int last = px(target.width() * 0.25);
    for (int k = 0; k <= last; ++k) {
        const int i = zoomIn ? k : last - k;
        if (!stepPrologue(state, target)) return false;
        const double W = target.width(), H = target.height();
        const double w = W - 2.0 * i;
        // w reaches 0 only on an empty target.
        const int h = w > 0 ? px(H / (W / w)) : 0;
        const int y = px((H - h) / 2);
        if (!stretchNew(state, target, 0, 0, targetW(target), targetH(target), i, y, px(w), h))
            return fail(state, errorWords("StretchBlt", 51));
    }
    // No final copy: ZoomIn ends on the magnified centre, ZoomOut's last
    // step is the whole picture.
    return true;
}

} // namespace vm
