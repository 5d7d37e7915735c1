#include "transitions/fades.h"

#include "platform/imagelib.h"
#include "platform/target.h"
#include "state/runstate.h"
#include "transitions/frame.h"
#include "transitions/stopwatch.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <memory>
#include <thread>
#include <vector>

namespace vm {

namespace {

// Blends stop here; the final plain copy does the rest.
constexpr int kTopAlpha = 72;
constexpr std::int32_t kGreyHoldMs = 1000;

std::int32_t toInt32(double v)
{
    if (!(v == v)) return 0;
    if (v >= double(std::numeric_limits<std::int32_t>::max())) return std::numeric_limits<std::int32_t>::max();
    if (v <= double(std::numeric_limits<std::int32_t>::min())) return std::numeric_limits<std::int32_t>::min();
    return px(v);
}

// Blends a rectangle of the new picture over the same place on the target.
// The blends' results are not checked: only the final copy counts.
void blendRect(RunState& st, Target& t, int x, int y, int w, int h, int alpha)
{
    AlphaBlend(t.dc(), x, y, w, h, st.neues_bild_dc.dc(), x, y, w, h, alpha);
}

bool finalCopy(RunState& st, Target& t, int routine)
{
    if (!BitBlt(t.dc(), 0, 0, targetW(t), targetH(t), st.neues_bild_dc.dc(), 0, 0)) {
        st.fehlertext = errorWords("BitBlt", routine);
        return false;
    }
    return true;
}

// Puts the new picture in grey on the target. Failures of the conversions
// show whatever the block holds (black when nothing could be read).
void showGrey(RunState& st, Target& t)
{
    const int w = targetW(t), h = targetH(t);
    RgbImage block;
    if (const Bitmap* picture = st.neues_bild_dc.bitmap()) block = BitmapToRgb(*picture);
    if (block.empty() && !block.allocate(w, h)) return;
    ImageToGrayScale(block);
    std::unique_ptr<Bitmap> grey = RgbToBitmap(block);
    if (!grey) return;
    std::unique_ptr<Dc> dc = CreateCompatibleDC(t.dc());
    Bitmap* displaced = dc->select(grey.get());
    BitBlt(t.dc(), 0, 0, w, h, dc.get(), 0, 0);
    if (displaced) dc->select(displaced);
}

// Keeps the grey picture up for a second. Events run throughout, so a stop
// request ends the transition at once instead of after the second.
bool holdGrey(RunState& st, Target& t)
{
    CStopWatch hold(st.stoppuhr.clock());
    for (;;) {
        t.pumpMessages();
        if (st.abbruch || st.unterbrechung) return false;
        if (hold.StopWatch() > kGreyHoldMs) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    // The hold is not part of the transition's measured time.
    st.stoppuhr.StartWatch();
    return true;
}

// round(72 / tdauer), at most 1: 1 for every time the settings allow. A
// stored time outside them must not give a width below 1 (no progress).
std::int32_t fadeWidth(std::int32_t tdauer)
{
    if (tdauer <= 0) return 1;
    return Maximum({Minimum({px(double(kTopAlpha) / tdauer), 1}), 1});
}

} // namespace

bool blende_009(RunState& state, Target& target)
{
    if (state.aktueller_effekt == 72) {
        showGrey(state, target);
        if (!holdGrey(state, target)) return false;
    }
    std::int32_t& schritt = state.current().schritt;
    if (state.aktuelles_delay > 0) schritt = fadeWidth(state.settings.tdauer);
    // A stored width below 1 would never reach the top alpha.
    const int step = std::max(schritt, 1);
    for (long long a = 0; a <= kTopAlpha; a += step) {
        if (!stepPrologue(state, target)) return false;
        blendRect(state, target, 0, 0, targetW(target), targetH(target), int(a));
    }
    return finalCopy(state, target, 9);
}

bool blende_010(RunState& state, Target& target)
{
    const int step = std::max(adaptStepWidth(state, 2, 2), 1);
    const std::int32_t tdauer = state.settings.tdauer;
    if (tdauer > 1) state.aktuelles_delay = toInt32((double(state.aktuelles_delay) + 1) / tdauer);

    const bool across = state.aktueller_effekt != 48; // 47: bands side by side
    // Up to 12 pixels of width the band would round to 0.
    const int b = std::max(px(target.width() / 24), 1);
    const double extent = across ? target.width() : target.height();
    const int n = std::max(px((extent - 1) / b + 1), 1);
    const bool fromEnd = state.random.below(2) == 1;

    auto blendBand = [&](int j, int alpha) {
        const int start = fromEnd ? (n - j) * b : (j - 1) * b;
        const int edge = across ? targetW(target) : targetH(target);
        const int size = std::max(std::min(b, edge - start), 0);
        if (across)
            blendRect(state, target, start, 0, size, targetH(target), alpha);
        else
            blendRect(state, target, 0, start, targetW(target), size, alpha);
    };

    std::vector<int> alpha(std::size_t(n) + 1, 0);
    int active = 1;
    for (;;) {
        for (int j = 1; j <= active; ++j) {
            if (!stepPrologue(state, target)) return false;
            int& a = alpha[std::size_t(j)];
            if (a >= kTopAlpha) continue;
            a = int(std::min<long long>((long long)a + step, kTopAlpha));
            blendBand(j, a);
        }
        if (alpha[std::size_t(active)] == kTopAlpha) break;
        if (active < n) alpha[std::size_t(++active)] = 0;
    }
    return finalCopy(state, target, 10);
}

} // namespace vm
