#include "transitions/honeycomb.h"

#include "platform/target.h"
#include "state/runstate.h"
#include "transitions/frame.h"
#include "transitions/randomorder.h"

#include <cmath>

namespace vm {

namespace {

constexpr int kRoutine = 45;
constexpr int kSmallCells = 66;

// The angle of 60 degrees as the effect has always computed it: from the
// decimal 3.14159, so the cells keep their exact pixel sizes.
const double kAngle = 3.14159 / 3;

struct Honeycomb {
    int r = 2;         // side of the hexagon
    double rc = 0;     // r * cos 60
    int rcPixels = 0;  // rounded: columns of each slanted side
    double tanA = 0;
    int w = 0;         // cell width
    int h = 0;         // cell height
    double columnStep = 0;
    int dx = 0;        // first column's offset
    int dy = 0;        // first row's offset
    int nx = 0;
    int ny = 0;

    Honeycomb(const Target& target, int effect)
    {
        const double divisor = effect == kSmallCells ? 72 : 16;
        r = Maximum({px(target.width() / divisor), 2});
        const double c = std::cos(kAngle), s = std::sin(kAngle);
        tanA = std::tan(kAngle);
        rc = r * c;
        rcPixels = px(rc);
        w = px(2 * r * c + r);
        h = px(2 * r * s);
        columnStep = w - rc;
        dx = px(-(rc + r));
        dy = px(-h / 2.0);
        nx = px(target.width() - 1) / px(columnStep) + 2;
        ny = px(target.height() - 1) / h + 2;
    }

    int cells() const { return nx * ny; }

    // Top-left corner of cell m (1 to cells()); even columns sit half a cell higher.
    void corner(int m, int& x0, int& y0) const
    {
        const int k = (m - 1) / ny + 1;
        const int q = (m - 1) % ny;
        x0 = px(columnStep * (k - 1) + dx);
        y0 = q * h + dy;
        if (k % 2 == 0) y0 = px((q * h + dy) - (h + 1) / 2.0);
    }
};

} // namespace

bool blende_045(RunState& state, Target& target)
{
    const Honeycomb comb(target, state.aktueller_effekt);
    const int n = comb.cells();
    const std::vector<int> order = drawRandomOrder(state.random, n);

    for (int k = 1; k <= n; ++k) {
        if (!stepPrologue(state, target)) return false;
        int x0 = 0, y0 = 0;
        comb.corner(order[std::size_t(k)], x0, y0);
        Dc* src = state.neues_bild_dc.dc();
        bool ok = BitBlt(target.dc(), x0 + comb.rcPixels, y0, comb.r, comb.h, src, x0 + comb.rcPixels, y0);
        // The slanted sides: columns growing by about 2 * tan 60 per pixel
        // from the outer corners inwards.
        for (int i = 1; ok && i <= comb.rcPixels; ++i) {
            const int hi = px(2 * i * comb.tanA);
            const int yi = px((comb.h - hi - 1) / 2.0 + y0);
            ok = BitBlt(target.dc(), x0 + i, yi, 1, hi + 1, src, x0 + i, yi) &&
                 BitBlt(target.dc(), x0 + comb.w - i, yi, 1, hi + 1, src, x0 + comb.w - i, yi);
        }
        if (!ok) {
            state.fehlertext = errorWords("BitBlt", kRoutine);
            return false;
        }
    }
    // The rounded cells do not always interlock: with an odd side the
    // slanted edges of neighbouring columns leave single pixels open, and on
    // small targets the last row can fall one pixel short. One copy of the
    // whole picture closes them.
    if (!BitBlt(target.dc(), 0, 0, targetW(target), targetH(target), state.neues_bild_dc.dc(), 0, 0)) {
        state.fehlertext = errorWords("BitBlt", kRoutine);
        return false;
    }
    return true;
}

} // namespace vm
