// Lines, bands, raster, diagonal fronts, squares, diamond and pushes on a
// headless target: the steps each effect makes at a size, where its pieces
// land, its random draws, its step width, stopping and failing copies.
// Expected counts and frames are worked out here from the effects'
// geometry, not taken from the routines.
#include "transition_harness.h"

#include <QRegion>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

using namespace vm;
using namespace vm::testing;

namespace {

struct EffectInfo {
    int effect;
    int routine;
    int increment; // 0: the routine keeps no step width
    int floor;
};

const EffectInfo kEffects[] = {
    {2, 1, 0, 0},   {3, 2, 0, 0},   {4, 3, 0, 0},   {5, 4, 0, 0},   {8, 5, 1, 1},   {9, 6, 1, 1},
    {10, 7, 1, 1},  {11, 7, 1, 1},  {12, 8, 1, 1},  {30, 22, 0, 0}, {31, 23, 0, 0}, {32, 18, 0, 0},
    {33, 18, 0, 0}, {34, 17, 0, 0}, {35, 17, 0, 0}, {42, 19, 0, 0}, {43, 19, 0, 0}, {44, 20, 0, 0},
    {45, 20, 0, 0}, {49, 12, 2, 4}, {50, 13, 2, 4}, {55, 15, 2, 4}, {56, 16, 2, 4}, {71, 14, 1, 1},
};

const EffectInfo& info(int effect)
{
    for (const EffectInfo& e : kEffects)
        if (e.effect == effect) return e;
    qFatal("effect %d is not one of these", effect);
}

// The narrowest width each effect runs with; 1 for those without a width.
int narrowest(int effect) { return std::max(info(effect).floor, 1); }

QString words(int effect) { return QStringLiteral("Fehler in BitBlt in blende_%1").arg(info(effect).routine, 3, 10, QChar('0')); }

int ceilDiv(int a, int b) { return (a + b - 1) / b; }

// The first draw a run with this seed makes, as one of n cases.
int firstDraw(std::uint32_t seed, int n)
{
    Random r(seed);
    return r.below(n);
}

// The smallest seed whose first draw picks `value` of n cases.
std::uint32_t seedFor(int n, int value)
{
    for (std::uint32_t seed = 1;; ++seed)
        if (firstDraw(seed, n) == value) return seed;
}

// The random order of n 2-pixel lines: draw k = whole part of (random x n + 1)
// until slot k is free, for lines 1 to n. Returns the slots (1-based) and
// the number of draws it took.
std::vector<int> lineOrder(std::uint32_t seed, int n, int& draws)
{
    Random r(seed);
    std::vector<int> slot(std::size_t(n) + 1, 0);
    draws = 0;
    for (int i = 1; i <= n; ++i) {
        for (;;) {
            ++draws;
            const int k = int(r.next() * n + 1);
            if (slot[std::size_t(k)] == 0) {
                slot[std::size_t(k)] = i;
                break;
            }
        }
    }
    return slot;
}

int bandWidth(int effect, double w, double h)
{
    switch (effect) {
    case 33:
    case 35: return 2;
    case 34: return std::max(px(h / 32), 1); // never 0: low targets must end
    default: return std::max(px(w / 48), 2);
    }
}

// Steps the effect makes on a w x h target with step width s, from the
// effects' own formulas.
long expectedSteps(int effect, int w, int h, int s, std::uint32_t seed)
{
    const double W = w, H = h;
    switch (effect) {
    case 2: return px(W - 1) + 1;
    case 3: return px(W / 2) + 1;
    case 4: return px(H - 1) + 1;
    case 5: return px(H / 2) + 1;
    case 32:
    case 33:
    case 34:
    case 35: {
        const int e = effect >= 34 ? h : w;
        const int b = bandWidth(effect, W, H);
        // Bands at 0, 2b, ... (at least one); gaps at b, 3b, ... below the
        // edge; top-down the gap pass always makes its first step.
        const int first = std::max(1, ceilDiv(e, 2 * b));
        const int gaps = e > b ? ceilDiv(e - b, 2 * b) : 0;
        return first + (firstDraw(seed, 2) != 0 ? std::max(1, gaps) : gaps);
    }
    case 42:
    case 43:
    case 44:
    case 45: {
        const int c = (effect == 43 || effect == 45) ? 2 : std::max(px(W / 48), 2);
        const int lines = (effect <= 43 ? px(W - 1) : px(H - 1)) / c + 1;
        return 2L * lines;
    }
    case 30: return px(W - 1) / 2 + 1;
    case 31: return px(H - 1) / 2 + 1;
    case 8: return px(s + std::hypot(W, H)) / s + 1;
    case 9: return long(std::floor(std::hypot(W, H) / 2 / s)) + 1;
    case 10:
    case 11: {
        const int e2 = ((std::max(px(W / 2), px(H / 2)) - 1) / s + 1) * s;
        const int e4 = ((std::max(px(W / 4), px(H / 4)) - 1) / s + 1) * s;
        return effect == 10 ? e2 / s + 1 : (e4 / s + 1) + ((e2 - e4) / s + 1);
    }
    case 12: return std::max(w, h) / s + 1;
    case 49: return w / s;
    case 50: return h / s;
    case 71: return w / s;
    case 55: return px(W / 2) / s;
    case 56: return px(H / 2) / s;
    }
    qFatal("no formula for effect %d", effect);
}

// The stored width that makes a run use width s (with no time to wait it
// grows by the increment first, with time it shrinks by it).
int storedFor(int effect, int s, int delay)
{
    const EffectInfo& e = info(effect);
    return e.increment ? (delay > 0 ? s + e.increment : s - e.increment) : 0;
}

// A harness whose run uses step width s (the width grows by the increment
// first, as nothing is waited for).
std::unique_ptr<Harness> harness(int effect, int w, int h, int s, std::uint32_t seed, int delay = 0)
{
    return std::make_unique<Harness>(w, h, effect, seed, storedFor(effect, s, delay), delay);
}

Bitmap oldPicture(int w, int h)
{
    Bitmap b(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) b.setPixel(x, y, oldPixel(x, y));
    return b;
}

// The harness's patterns repeat every 256 pixels both ways: a tile of
// 256 x 256 laid out row by row.
struct PatternTile {
    std::vector<Pixel> p;
    explicit PatternTile(Pixel (*f)(int, int)) : p(256 * 256)
    {
        for (int y = 0; y < 256; ++y)
            for (int x = 0; x < 256; ++x) p[std::size_t(y * 256 + x)] = f(x, y);
    }
    void fill(Bitmap& b) const
    {
        for (int y = 0; y < b.height(); ++y)
            for (int x = 0; x < b.width(); x += 256)
                std::copy_n(&p[std::size_t((y & 255) * 256)], std::min(256, b.width() - x), b.row(y) + x);
    }
};

// The harness's scene, built row by row for screen sizes: there the
// harness's pixel-by-pixel set-up would cost more than the run itself.
struct Scene {
    RunState st;
    HeadlessTarget target;
    FaultHook faults;

    Scene(int w, int h, int effect, std::uint32_t seed, std::int32_t schritt) : target(w, h)
    {
        static const PatternTile oldTile(oldPixel), newTile(newPixel), pictureTile(picturePixel);
        effekte_anlegen(st.effekte);
        st.aktueller_effekt = effect;
        st.current().schritt = schritt;
        st.aktuelles_delay = 0;
        st.random.seedWith(seed);
        st.neues_bild_dc.create(target.dc(), w, h);
        const int bw = std::max(w / 2, 1), bh = std::max(h / 2, 1);
        st.bild.bild_dc.create(target.dc(), bw, bh);
        st.bild.bild_breite = bw;
        st.bild.bild_hoehe = bh;
        st.bild.bild_x = px((w - bw) / 2.0);
        st.bild.bild_y = px((h - bh) / 2.0);
        oldTile.fill(target.bitmap());
        newTile.fill(*st.neues_bild_dc.bitmap());
        pictureTile.fill(*st.bild.bild_dc.bitmap());
        BitBlt(st.neues_bild_dc.dc(), st.bild.bild_x, st.bild.bild_y, bw, bh, st.bild.bild_dc.dc(), 0, 0);
    }
    bool run()
    {
        st.fehlertext.clear();
        return dispatchEffect(st, target);
    }
    void failCall(int n)
    {
        faults.failAt = n;
        target.dc()->faultHook = &faults;
    }
    bool showsNewPicture() const { return target.bitmap() == *st.neues_bild_dc.bitmap(); }
};

std::unique_ptr<Scene> scene(int effect, int w, int h, int s, std::uint32_t seed)
{
    return std::make_unique<Scene>(w, h, effect, seed, storedFor(effect, s, 0));
}

// Puts the target back to the old picture for a second run with the same
// seed and stored width.
template <class S>
void rewind(S& h, std::uint32_t seed, int stored)
{
    static const PatternTile oldTile(oldPixel);
    oldTile.fill(h.target.bitmap());
    h.st.random.seedWith(seed);
    h.st.current().schritt = stored;
    h.st.abbruch = false;
    h.target.resetPumps();
    h.target.onPump = nullptr;
    h.faults = FaultHook{};
    h.target.dc()->faultHook = nullptr;
}

// The target after step n, taken when step n + 1 begins; the run stops
// there. Empty when the run has no step n + 1.
Bitmap frameAfter(Harness& h, int n)
{
    Bitmap shot;
    h.target.onPump = [&](int pump) {
        if (pump == n + 1) {
            shot = h.target.bitmap();
            h.st.abbruch = true;
        }
    };
    h.run();
    return shot;
}

// Pixels of the frame that show the new picture.
QRegion newPixels(const Harness& h, const Bitmap& frame)
{
    QRegion r;
    const Bitmap& n = *h.st.neues_bild_dc.bitmap();
    for (int y = 0; y < frame.height(); ++y)
        for (int x = 0; x < frame.width();) {
            if (frame.pixel(x, y) != n.pixel(x, y)) {
                ++x;
                continue;
            }
            int e = x;
            while (e < frame.width() && frame.pixel(e, y) == n.pixel(e, y)) ++e;
            r += QRect(x, y, e - x, 1);
            x = e;
        }
    return r;
}

// Pixels not showing the new picture (few expected).
template <class S>
std::vector<QPoint> leftOld(const S& h)
{
    std::vector<QPoint> out;
    const Bitmap& a = h.target.bitmap();
    const Bitmap& b = *h.st.neues_bild_dc.bitmap();
    for (int y = 0; y < a.height(); ++y) {
        if (std::equal(a.row(y), a.row(y) + a.width(), b.row(y))) continue;
        for (int x = 0; x < a.width(); ++x)
            if (a.row(y)[x] != b.row(y)[x]) out.push_back(QPoint(x, y));
    }
    return out;
}

// The composed picture with the picture alone moved to (x, y): what a push
// in shows on the part it has uncovered.
Bitmap composedWithPictureAt(const Harness& h, int px0, int py0)
{
    Bitmap t = *h.st.neues_bild_dc.bitmap();
    const Bitmap& b = *h.st.bild.bild_dc.bitmap();
    for (int y = 0; y < b.height(); ++y)
        for (int x = 0; x < b.width(); ++x) {
            const int tx = px0 + x, ty = py0 + y;
            if (tx >= 0 && ty >= 0 && tx < t.width() && ty < t.height()) t.setPixel(tx, ty, b.pixel(x, y));
        }
    return t;
}

// What a push shows after step n, from the pushes' geometry.
Bitmap expectedPushFrame(const Harness& h, int effect, int dir, int n, int s)
{
    const int W = h.target.bitmap().width(), H = h.target.bitmap().height();
    const Bitmap& neu = *h.st.neues_bild_dc.bitmap();
    const PictureState& p = h.st.bild;
    const int k = n * s;
    Bitmap f = oldPicture(W, H);
    auto take = [&](const Bitmap& from, QRect part, QPoint src) {
        for (int y = part.top(); y <= part.bottom(); ++y)
            for (int x = part.left(); x <= part.right(); ++x)
                if (x >= 0 && y >= 0 && x < W && y < H)
                    f.setPixel(x, y, from.pixel(src.x() + x - part.left(), src.y() + y - part.top()));
    };
    switch (effect) {
    case 49: {
        const bool left = dir == 1;
        const int at = left ? std::min(p.bild_x, k - p.bild_breite) : (W - k > p.bild_x ? W - k : p.bild_x);
        const QRect part = left ? QRect(0, 0, k, H) : QRect(W - k, 0, k, H);
        take(composedWithPictureAt(h, at, p.bild_y), part, part.topLeft());
        break;
    }
    case 50: {
        const bool top = dir == 1;
        const int at = top ? std::min(p.bild_y, k - p.bild_hoehe) : (H - k > p.bild_y ? H - k : p.bild_y);
        const QRect part = top ? QRect(0, 0, W, k) : QRect(0, H - k, W, k);
        take(composedWithPictureAt(h, p.bild_x, at), part, part.topLeft());
        break;
    }
    case 71: {
        const int w = k, hh = px(double(w) * H / W);
        const QPoint corner[4] = {{0, 0}, {W - w, 0}, {0, H - hh}, {W - w, H - hh}};
        const QPoint source[4] = {{W - w, H - hh}, {0, H - hh}, {W - w, 0}, {0, 0}};
        take(neu, QRect(corner[dir], QSize(w, hh)), source[dir]);
        break;
    }
    case 55: {
        // Old halves moved out by k, the new picture between them.
        const int m = px(W / 2.0);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x)
                f.setPixel(x, y, x < m - k ? oldPixel(x + k, y) : x < m + k ? neu.pixel(x, y) : oldPixel(x - k, y));
        break;
    }
    case 56: {
        const int m = px(H / 2.0);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x)
                f.setPixel(x, y, y < m - k ? oldPixel(x, y + k) : y < m + k ? neu.pixel(x, y) : oldPixel(x, y - k));
        break;
    }
    }
    return f;
}

// Replaces the half-size picture alone by one of the target's full size.
void fullSizePicture(Harness& h)
{
    const int w = h.target.bitmap().width(), hh = h.target.bitmap().height();
    h.st.bild.bild_dc.create(h.target.dc(), w, hh);
    h.st.bild.bild_breite = w;
    h.st.bild.bild_hoehe = hh;
    h.st.bild.bild_x = 0;
    h.st.bild.bild_y = 0;
    for (int y = 0; y < hh; ++y)
        for (int x = 0; x < w; ++x) {
            h.st.bild.bild_dc.bitmap()->setPixel(x, y, picturePixel(x, y));
            h.st.neues_bild_dc.bitmap()->setPixel(x, y, picturePixel(x, y));
        }
}

} // namespace

class TestTransitionsA : public QObject {
    Q_OBJECT
private slots:
    void registered_data();
    void registered();
    void runsToTheEnd_data();
    void runsToTheEnd();
    void examples_data();
    void examples();
    void firstPieces_data();
    void firstPieces();
    void diagonalFronts_data();
    void diagonalFronts();
    void pushFrames_data();
    void pushFrames();
    void randomDraws_data();
    void randomDraws();
    void stepWidth_data();
    void stepWidth();
    void stopsMidway_data();
    void stopsMidway();
    void copyFailure_data();
    void copyFailure();
    void emptyTarget_data();
    void emptyTarget();
    void piecesBeforeLastCopy_data();
    void piecesBeforeLastCopy();
    void coversLargeScreens_data();
    void coversLargeScreens();
};

void TestTransitionsA::registered_data()
{
    QTest::addColumn<int>("effect");
    for (const EffectInfo& e : kEffects) QTest::newRow(qPrintable(QString::number(e.effect))) << e.effect;
}

void TestTransitionsA::registered()
{
    QFETCH(int, effect);
    QVERIFY(routineBuilt(effect));
    QCOMPARE(routineNumber(effect), info(effect).routine);
}

void TestTransitionsA::runsToTheEnd_data()
{
    QTest::addColumn<int>("effect");
    QTest::addColumn<int>("w");
    QTest::addColumn<int>("h");
    QTest::addColumn<int>("s");
    QTest::addColumn<uint>("seed");
    const QSize sizes[] = {{800, 600}, {1024, 768}, {801, 601}, {7, 5}, {1, 1}, {1, 600}, {800, 1}, {3, 2}, {16, 15}, {47, 33}};
    for (const EffectInfo& e : kEffects)
        for (const QSize& z : sizes)
            for (uint seed : {1u, 2u, 3u, 4u}) {
                // Directions differ by seed; the big sizes once per direction.
                if (z.width() >= 800 && z.height() >= 600 && seed > 2) continue;
                const int s = narrowest(e.effect) + (seed == 3 ? 3 : 0);
                QTest::addRow("%d %dx%d s%d seed%u", e.effect, z.width(), z.height(), s, seed)
                    << e.effect << z.width() << z.height() << s << seed;
            }
}

void TestTransitionsA::runsToTheEnd()
{
    QFETCH(int, effect);
    QFETCH(int, w);
    QFETCH(int, h);
    QFETCH(int, s);
    QFETCH(uint, seed);
    auto sc = scene(effect, w, h, s, seed);
    QVERIFY(sc->run());
    QVERIFY(sc->st.fehlertext.isEmpty());
    QVERIFY(sc->showsNewPicture());
    QCOMPARE(long(sc->target.pumps()), expectedSteps(effect, w, h, s, seed));
    if (info(effect).increment) QCOMPARE(sc->st.effekte[std::size_t(effect)].schritt, s);
}

void TestTransitionsA::examples_data()
{
    QTest::addColumn<int>("effect");
    QTest::addColumn<int>("w");
    QTest::addColumn<int>("h");
    QTest::addColumn<int>("s");
    QTest::addColumn<uint>("seed");
    QTest::addColumn<int>("steps");
    QTest::newRow("001 across 800") << 2 << 800 << 600 << 1 << 1u << 800;
    QTest::newRow("002 across 800") << 3 << 800 << 600 << 1 << 1u << 401;
    QTest::newRow("017 down 600, gaps top-down") << 34 << 800 << 600 << 1 << seedFor(2, 1) << 32;
    QTest::newRow("017 down 600, gaps bottom-up") << 34 << 800 << 600 << 1 << seedFor(2, 0) << 32;
    QTest::newRow("019 width 47: cells of 2") << 42 << 47 << 30 << 1 << 1u << 48;
    QTest::newRow("005 800x600 s1") << 8 << 800 << 600 << 1 << 1u << 1002;
    QTest::newRow("007 Richtungswechsel 800x600 s4") << 11 << 800 << 600 << 4 << 1u << 102;
    QTest::newRow("008 800x600 s1 reaches 800") << 12 << 800 << 600 << 1 << 1u << 801;
    QTest::newRow("012 s4 width 1022 from the left") << 49 << 1022 << 100 << 4 << seedFor(2, 1) << 255;
    QTest::newRow("012 s4 width 1022 from the right") << 49 << 1022 << 100 << 4 << seedFor(2, 0) << 255;
    // Halves go to the even neighbour.
    QTest::newRow("002 width 801: centre 400") << 3 << 801 << 20 << 1 << 1u << 401;
    QTest::newRow("002 width 803: centre 402") << 3 << 803 << 20 << 1 << 1u << 403;
    QTest::newRow("004 height 601: centre 300") << 5 << 20 << 601 << 1 << 1u << 301;
    QTest::newRow("017 height 16: band 0 raised to 1") << 34 << 20 << 16 << 1 << 1u << 16;
    QTest::newRow("018 width 120: band round(2.5) = 2") << 32 << 120 << 10 << 1 << seedFor(2, 1) << 60;
    QTest::newRow("007 square 1x1") << 10 << 1 << 1 << 1 << 1u << 1;
    QTest::newRow("014 s5 width 1022") << 71 << 1022 << 50 << 5 << 1u << 204;
}

void TestTransitionsA::examples()
{
    QFETCH(int, effect);
    QFETCH(int, w);
    QFETCH(int, h);
    QFETCH(int, s);
    QFETCH(uint, seed);
    QFETCH(int, steps);
    auto hs = harness(effect, w, h, s, seed);
    QVERIFY(hs->run());
    QCOMPARE(hs->target.pumps(), steps);
    QVERIFY(hs->showsNewPicture());
}

// What the first step uncovers on a 200 x 100 target, per direction.
void TestTransitionsA::firstPieces_data()
{
    QTest::addColumn<int>("effect");
    QTest::addColumn<int>("s");
    QTest::addColumn<uint>("seed");
    QTest::addColumn<QRegion>("expected");
    auto row = [](const char* name, int effect, int s, int dir, const QRegion& r) {
        QTest::newRow(name) << effect << s << seedFor(2, dir) << r;
    };
    row("001 from the left", 2, 1, 0, QRect(0, 0, 1, 100));
    row("001 from the right", 2, 1, 1, QRect(199, 0, 1, 100));
    row("002 opening at the centre", 3, 1, 0, QRect(100, 0, 1, 100));
    row("002 closing from the edges", 3, 1, 1, QRect(0, 0, 1, 100)); // its partner at 200 is off
    row("003 from the top", 4, 1, 0, QRect(0, 0, 200, 1));
    row("003 from the bottom", 4, 1, 1, QRect(0, 99, 200, 1));
    row("004 opening", 5, 1, 0, QRect(0, 50, 200, 1));
    row("004 closing", 5, 1, 1, QRect(0, 0, 200, 1));
    row("017 band of H/32", 34, 1, 0, QRect(0, 0, 200, 3));
    row("017 (klein) band of 2", 35, 1, 1, QRect(0, 0, 200, 2));
    row("018 band of W/48", 32, 1, 0, QRect(0, 0, 4, 100));
    row("018 (klein) band of 2", 33, 1, 1, QRect(0, 0, 2, 100));
    QRegion col, cells2, rowCells;
    for (int y = 0; y < 100; y += 8) col += QRect(0, y, 4, 4);
    for (int y = 0; y < 100; y += 4) cells2 += QRect(0, y, 2, 2);
    for (int x = 0; x < 200; x += 8) rowCells += QRect(x, 0, 4, 4);
    row("019 first column of cells", 42, 1, 0, col);
    row("019 (klein)", 43, 1, 1, cells2);
    row("020 first row of cells", 44, 1, 0, rowCells);
    row("007 grows from the centre", 10, 3, 0, QRect(100, 50, 3, 3));
    row("007 closes from the edge", 10, 1, 1, QRect(0, 0, 1, 100)); // e2 = 100: only the left side shows
    row("007 Richtungswechsel grows", 11, 2, 0, QRect(100, 50, 2, 2));
    row("007 Richtungswechsel closes", 11, 2, 1, QRect(0, 0, 2, 100));
    row("008 grows from the centre", 12, 2, 0, QRect(100, 50, 2, 2));
    row("008 starts beyond the corners", 12, 2, 1, QRegion());
}

void TestTransitionsA::firstPieces()
{
    QFETCH(int, effect);
    QFETCH(int, s);
    QFETCH(uint, seed);
    QFETCH(QRegion, expected);
    auto hs = harness(effect, 200, 100, s, seed);
    const Bitmap shot = frameAfter(*hs, 1);
    QCOMPARE(shot.width(), 200);
    const QRegion got = newPixels(*hs, shot);
    const QRect b = got.boundingRect();
    QVERIFY2((got ^ expected).isEmpty(), qPrintable(QStringLiteral("new: %1,%2 %3x%4 in %5 rectangles")
                                                        .arg(b.x()).arg(b.y()).arg(b.width()).arg(b.height())
                                                        .arg(got.rectCount())));
}

// The diagonal fronts start at the corner (005), or at the centre or at two
// opposite corners (006), that the random draw chose: after a few steps all
// new pixels lie in a band across the direction of travel near the start.
void TestTransitionsA::diagonalFronts_data()
{
    QTest::addColumn<int>("effect");
    QTest::addColumn<int>("s");
    QTest::addColumn<int>("dir");
    QTest::addColumn<QPointF>("travel");
    QTest::addColumn<QList<QPointF>>("starts");
    const QPointF tl(0, 0), tr(200, 0), br(200, 100), bl(0, 100), centre(100, 50);
    const QPointF mainDiagonal(200, 100), otherDiagonal(-200, 100);
    for (int s : {1, 3}) {
        QTest::addRow("005 top left s%d", s) << 8 << s << 0 << mainDiagonal << QList<QPointF>{tl};
        QTest::addRow("005 top right s%d", s) << 8 << s << 1 << otherDiagonal << QList<QPointF>{tr};
        QTest::addRow("005 bottom right s%d", s) << 8 << s << 2 << mainDiagonal << QList<QPointF>{br};
        QTest::addRow("005 bottom left s%d", s) << 8 << s << 3 << otherDiagonal << QList<QPointF>{bl};
        // 006: bit 0 of the draw picks the diagonal, bit 1 inwards.
        QTest::addRow("006 out, main diagonal s%d", s) << 9 << s << 0 << mainDiagonal << QList<QPointF>{centre};
        QTest::addRow("006 out, other diagonal s%d", s) << 9 << s << 1 << otherDiagonal << QList<QPointF>{centre};
        QTest::addRow("006 in, main diagonal s%d", s) << 9 << s << 2 << mainDiagonal << QList<QPointF>{tl, br};
        QTest::addRow("006 in, other diagonal s%d", s) << 9 << s << 3 << otherDiagonal << QList<QPointF>{tr, bl};
    }
}

void TestTransitionsA::diagonalFronts()
{
    QFETCH(int, effect);
    QFETCH(int, s);
    QFETCH(int, dir);
    QFETCH(QPointF, travel);
    QFETCH(QList<QPointF>, starts);
    auto hs = harness(effect, 200, 100, s, seedFor(4, dir));
    const int n = 4;
    const Bitmap shot = frameAfter(*hs, n);
    QCOMPARE(shot.width(), 200);
    const QRegion got = newPixels(*hs, shot);
    const QPointF u = travel / std::hypot(travel.x(), travel.y());
    // Fronts n - 1 steps from their start; tiles reach 2s beyond, rounded.
    const double reach = (n - 1) * s + 3 * s + 2;
    auto along = [&](int x, int y, QPointF from) { return std::abs((x - from.x()) * u.x() + (y - from.y()) * u.y()); };
    std::vector<bool> reached(std::size_t(starts.size()), false);
    for (const QRect& r : got)
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x) {
                bool close = false;
                for (int i = 0; i < starts.size(); ++i)
                    if (along(x, y, starts[i]) <= reach) close = reached[std::size_t(i)] = true;
                QVERIFY2(close, qPrintable(QStringLiteral("new pixel at %1,%2").arg(x).arg(y)));
            }
    for (bool r : reached) QVERIFY(r);
}

void TestTransitionsA::pushFrames_data()
{
    QTest::addColumn<int>("effect");
    QTest::addColumn<int>("w");
    QTest::addColumn<int>("h");
    QTest::addColumn<int>("s");
    QTest::addColumn<int>("dir");
    QTest::addColumn<bool>("fullPicture");
    for (bool full : {false, true})
        for (int dir : {0, 1}) {
            const char* f = full ? "full picture" : "half picture";
            QTest::addRow("012 dir%d s4 %s", dir, f) << 49 << 90 << 40 << 4 << dir << full;
            QTest::addRow("012 dir%d s6 odd %s", dir, f) << 49 << 91 << 41 << 6 << dir << full;
            QTest::addRow("013 dir%d s4 %s", dir, f) << 50 << 40 << 90 << 4 << dir << full;
            QTest::addRow("013 dir%d s7 odd %s", dir, f) << 50 << 41 << 91 << 7 << dir << full;
        }
    for (int c = 0; c < 4; ++c) {
        QTest::addRow("014 corner %d s1", c) << 71 << 40 << 30 << 1 << c << false;
        QTest::addRow("014 corner %d s3 odd", c) << 71 << 41 << 29 << 3 << c << false;
    }
    QTest::newRow("015 s4") << 55 << 90 << 20 << 4 << 0 << false;
    QTest::newRow("015 s5 odd") << 55 << 91 << 21 << 5 << 0 << false;
    QTest::newRow("016 s4") << 56 << 20 << 90 << 4 << 0 << false;
    QTest::newRow("016 s5 odd") << 56 << 21 << 91 << 5 << 0 << false;
}

void TestTransitionsA::pushFrames()
{
    QFETCH(int, effect);
    QFETCH(int, w);
    QFETCH(int, h);
    QFETCH(int, s);
    QFETCH(int, dir);
    QFETCH(bool, fullPicture);
    const std::uint32_t seed = effect == 71 ? seedFor(4, dir) : seedFor(2, dir);
    const long steps = expectedSteps(effect, w, h, s, seed);
    QVERIFY(steps >= 3);
    for (int n : {1, 2, int(steps / 2), int(steps - 1)}) {
        auto hs = harness(effect, w, h, s, seed);
        if (fullPicture) fullSizePicture(*hs);
        const Bitmap shot = frameAfter(*hs, n);
        QVERIFY(shot == expectedPushFrame(*hs, effect, dir, n, s));
    }
}

void TestTransitionsA::randomDraws_data()
{
    QTest::addColumn<int>("effect");
    QTest::addColumn<int>("w");
    QTest::addColumn<int>("h");
    for (const EffectInfo& e : kEffects) QTest::addRow("%d", e.effect) << e.effect << 37 << 23;
}

// Every effect draws exactly what its order or direction needs from the
// run's one generator, so the next effect's choice is not shifted; the
// random lines come in the order the draws give.
void TestTransitionsA::randomDraws()
{
    QFETCH(int, effect);
    QFETCH(int, w);
    QFETCH(int, h);
    const std::uint32_t seed = 11;
    int draws = (effect == 55 || effect == 56) ? 0 : 1; // the push-outs have no direction
    std::vector<int> slot;
    if (effect == 30 || effect == 31) slot = lineOrder(seed, ((effect == 30 ? w : h) - 1) / 2 + 1, draws);
    auto hs = harness(effect, w, h, narrowest(effect), seed);
    std::vector<int> lines; // the 2-pixel line each step uncovered
    QRegion before;
    if (!slot.empty()) {
        hs->target.onPump = [&](int pump) {
            if (pump < 2) return;
            const QRegion now = newPixels(*hs, hs->target.bitmap());
            const QRect added = (now - before).boundingRect();
            lines.push_back(effect == 30 ? added.x() / 2 : added.y() / 2);
            before = now;
        };
    }
    QVERIFY(hs->run());
    Random fresh(seed);
    for (int i = 0; i < draws; ++i) fresh.next();
    QCOMPARE(hs->st.random.next(), fresh.next());
    if (!slot.empty()) {
        QCOMPARE(lines.size() + 2, slot.size()); // all steps but the last were watched
        for (std::size_t i = 0; i < lines.size(); ++i) QCOMPARE(lines[i], slot[i + 1] - 1);
    }
}

void TestTransitionsA::stepWidth_data()
{
    QTest::addColumn<int>("effect");
    QTest::addColumn<int>("delay");
    QTest::addColumn<int>("stored");
    QTest::addColumn<int>("after");
    for (const EffectInfo& e : kEffects) {
        if (!e.increment) {
            QTest::addRow("%d keeps its width, no wait", e.effect) << e.effect << 0 << 5 << 5;
            QTest::addRow("%d keeps its width, wait", e.effect) << e.effect << 3 << 5 << 5;
            continue;
        }
        const int a = e.increment, f = e.floor;
        QTest::addRow("%d no time: wider by %d", e.effect, a) << e.effect << 0 << 5 << 5 + a;
        QTest::addRow("%d time: narrower by %d", e.effect, a) << e.effect << 3 << 9 << 9 - a;
        QTest::addRow("%d time: not below %d", e.effect, f) << e.effect << 2 << f << f;
        QTest::addRow("%d stored 0 rises to %d", e.effect, f) << e.effect << 1 << 0 << f;
        QTest::addRow("%d damaged negative width still advances", e.effect) << e.effect << 0 << -9 << f;
    }
}

void TestTransitionsA::stepWidth()
{
    QFETCH(int, effect);
    QFETCH(int, delay);
    QFETCH(int, stored);
    QFETCH(int, after);
    const int w = 61, h = 43;
    Harness hs(w, h, effect, 5, stored, delay);
    QVERIFY(hs.run());
    QCOMPARE(hs.st.effekte[std::size_t(effect)].schritt, after);
    QVERIFY(hs.showsNewPicture());
    // The run used the new width.
    QCOMPARE(long(hs.target.pumps()), expectedSteps(effect, w, h, info(effect).increment ? after : 1, 5));
}

void TestTransitionsA::stopsMidway_data()
{
    QTest::addColumn<int>("effect");
    QTest::addColumn<int>("atStep");
    QTest::addColumn<bool>("dialog"); // unterbrechung instead of abbruch
    for (const EffectInfo& e : kEffects) {
        const int steps = int(expectedSteps(e.effect, 64, 48, narrowest(e.effect), 1));
        QTest::addRow("%d at step 1", e.effect) << e.effect << 1 << false;
        QTest::addRow("%d half-way", e.effect) << e.effect << std::max(2, steps / 2) << false;
        QTest::addRow("%d half-way, dialog", e.effect) << e.effect << std::max(2, steps / 2) << true;
    }
}

void TestTransitionsA::stopsMidway()
{
    QFETCH(int, effect);
    QFETCH(int, atStep);
    QFETCH(bool, dialog);
    auto hs = harness(effect, 64, 48, narrowest(effect), 1);
    hs->target.onPump = [&](int pump) {
        if (pump == atStep) (dialog ? hs->st.unterbrechung : hs->st.abbruch) = true;
    };
    QVERIFY(!hs->run());
    QVERIFY(hs->st.fehlertext.isEmpty());
    QCOMPARE(hs->target.pumps(), atStep);
    if (atStep == 1)
        QVERIFY(hs->target.bitmap() == oldPicture(64, 48)); // nothing drawn before the first check
    else
        QVERIFY(hs->pixelsNotNew() > 0);
}

void TestTransitionsA::copyFailure_data()
{
    QTest::addColumn<int>("effect");
    QTest::addColumn<int>("which"); // 0 first copy, 1 a middle one, 2 the last
    for (const EffectInfo& e : kEffects)
        for (int which : {0, 1, 2}) QTest::addRow("%d copy %d", e.effect, which) << e.effect << which;
}

void TestTransitionsA::copyFailure()
{
    QFETCH(int, effect);
    QFETCH(int, which);
    const int w = 45, h = 31, s = narrowest(effect);
    const std::uint32_t seed = 3;
    auto hs = harness(effect, w, h, s, seed);
    const int stored = hs->st.current().schritt;
    hs->failCall(0); // count only
    QVERIFY(hs->run());
    const int total = hs->faults.calls;
    const int steps = hs->target.pumps();
    QVERIFY(total >= 1);
    const int failAt = which == 0 ? 1 : which == 1 ? std::max(1, total / 2) : total;
    rewind(*hs, seed, stored);
    hs->failCall(failAt);
    QVERIFY(!hs->run());
    QCOMPARE(hs->st.fehlertext, words(effect));
    QCOMPARE(hs->faults.calls, failAt); // stopped at the failing copy
    QVERIFY(hs->target.pumps() <= steps);
}

void TestTransitionsA::emptyTarget_data()
{
    QTest::addColumn<int>("effect");
    QTest::addColumn<int>("w");
    QTest::addColumn<int>("h");
    for (const EffectInfo& e : kEffects)
        for (const QSize& z : {QSize(0, 0), QSize(0, 9), QSize(9, 0)})
            QTest::addRow("%d %dx%d", e.effect, z.width(), z.height()) << e.effect << z.width() << z.height();
}

// A target without pixels (a preview being torn down) must neither hang nor
// divide by zero.
void TestTransitionsA::emptyTarget()
{
    QFETCH(int, effect);
    QFETCH(int, w);
    QFETCH(int, h);
    auto hs = harness(effect, w, h, narrowest(effect), 1);
    QVERIFY(hs->run());
    QVERIFY(hs->target.pumps() <= std::max(w, h) + 2);
}

void TestTransitionsA::piecesBeforeLastCopy_data()
{
    QTest::addColumn<int>("effect");
    QTest::addColumn<int>("w");
    QTest::addColumn<int>("h");
    QTest::addColumn<int>("s");
    QTest::addColumn<int>("dir");
    QTest::addColumn<bool>("exact");
    QTest::addColumn<QRegion>("old"); // what the closing whole copy must fill
    // Pushes: all but the columns (rows) the step width does not divide.
    QTest::newRow("012 from the left, 2 columns") << 49 << 1022 << 30 << 4 << 1 << true << QRegion(1020, 0, 2, 30);
    QTest::newRow("012 from the right, 2 columns") << 49 << 1022 << 30 << 4 << 0 << true << QRegion(0, 0, 2, 30);
    QTest::newRow("012 divides") << 49 << 1024 << 30 << 4 << 1 << true << QRegion();
    QTest::newRow("013 from the top, 3 rows") << 50 << 30 << 93 << 6 << 1 << true << QRegion(0, 90, 30, 3);
    QTest::newRow("013 from the bottom, 3 rows") << 50 << 30 << 93 << 6 << 0 << true << QRegion(0, 0, 30, 3);
    // m = 45, k up to 44: one old column stays at each edge.
    QTest::newRow("015 s4") << 55 << 90 << 20 << 4 << 0 << true << (QRegion(0, 0, 1, 20) + QRegion(89, 0, 1, 20));
    // m = round(45.5) = 46, k up to 44.
    QTest::newRow("016 s4") << 56 << 20 << 91 << 4 << 0 << true << (QRegion(0, 0, 20, 2) + QRegion(0, 90, 20, 1));
    // Fronts: they may leave single pixels at the border, nothing inside.
    // Sizes and widths where the fronts are known to leave a few pixels.
    for (int dir = 0; dir < 4; ++dir) {
        for (int s : {3, 8}) QTest::addRow("005 1024x768 s%d corner %d", s, dir) << 8 << 1024 << 768 << s << dir << false << QRegion();
        QTest::addRow("005 1366x768 s16 corner %d", dir) << 8 << 1366 << 768 << 16 << dir << false << QRegion();
        QTest::addRow("006 1366x768 s7 choice %d", dir) << 9 << 1366 << 768 << 7 << dir << false << QRegion();
        QTest::addRow("006 1920x1080 s8 choice %d", dir) << 9 << 1920 << 1080 << 8 << dir << false << QRegion();
    }
    QTest::newRow("008 803x803 grows") << 12 << 803 << 803 << 1 << 0 << false << QRegion();
    QTest::newRow("008 803x803 shrinks") << 12 << 803 << 803 << 1 << 1 << false << QRegion();
    QTest::newRow("008 802x802 s4") << 12 << 802 << 802 << 4 << 0 << false << QRegion();
}

// The target as the pieces alone leave it, without the closing whole copy
// (made to fail: it is the last copy).
void TestTransitionsA::piecesBeforeLastCopy()
{
    QFETCH(int, effect);
    QFETCH(int, w);
    QFETCH(int, h);
    QFETCH(int, s);
    QFETCH(int, dir);
    QFETCH(bool, exact);
    QFETCH(QRegion, old);
    const std::uint32_t seed = (effect == 8 || effect == 9) ? seedFor(4, dir) : seedFor(2, dir);
    auto sc = scene(effect, w, h, s, seed);
    const int stored = sc->st.current().schritt;
    sc->failCall(0);
    QVERIFY(sc->run());
    QVERIFY(sc->showsNewPicture());
    const int total = sc->faults.calls;
    rewind(*sc, seed, stored);
    sc->failCall(total);
    QVERIFY(!sc->run());
    QCOMPARE(sc->st.fehlertext, words(effect));
    const std::vector<QPoint> left = leftOld(*sc);
    if (exact) {
        QRegion got;
        for (const QPoint& p : left) got += QRect(p, QSize(1, 1));
        QVERIFY((got ^ old).isEmpty());
        return;
    }
    QVERIFY(long(left.size()) <= w + h);
    for (const QPoint& p : left) {
        const int border = std::min({p.x(), p.y(), w - 1 - p.x(), h - 1 - p.y()});
        QVERIFY2(border <= 2 * s, qPrintable(QStringLiteral("%1,%2 left inside").arg(p.x()).arg(p.y())));
    }
}

void TestTransitionsA::coversLargeScreens_data()
{
    QTest::addColumn<int>("effect");
    QTest::addColumn<int>("w");
    QTest::addColumn<int>("h");
    QTest::addColumn<int>("s");
    QTest::addColumn<uint>("seed");
    for (const EffectInfo& e : kEffects) {
        const int dirs = (e.effect == 8 || e.effect == 9 || e.effect == 71) ? 4 : 2;
        // Pushes move up to the whole frame each step: wider steps keep the
        // big rows quick (their closing whole copy covers any width).
        const bool push = e.floor == 4 || e.effect == 71;
        const int s1080 = e.effect == 71 ? 16 : push ? 8 : narrowest(e.effect) + (e.increment ? 2 : 0);
        const int s2160 = e.effect == 71 ? 64 : push ? 32 : e.increment ? 16 : 1;
        // One direction at each size, the fronts' corners at both.
        for (int dir = 0; dir < dirs; ++dir) {
            const uint seed = seedFor(dirs, dir);
            if (dirs == 4 || dir == 0)
                QTest::addRow("%d 1920x1080 dir%d", e.effect, dir) << e.effect << 1920 << 1080 << s1080 << seed;
            if ((dirs == 4 && dir % 2 == 1) || dir == 1)
                QTest::addRow("%d 3840x2160 dir%d", e.effect, dir) << e.effect << 3840 << 2160 << s2160 << seed;
        }
    }
}

void TestTransitionsA::coversLargeScreens()
{
    QFETCH(int, effect);
    QFETCH(int, w);
    QFETCH(int, h);
    QFETCH(int, s);
    QFETCH(uint, seed);
    auto sc = scene(effect, w, h, s, seed);
    QVERIFY(sc->run());
    QVERIFY(sc->showsNewPicture());
    QCOMPARE(long(sc->target.pumps()), expectedSteps(effect, w, h, s, seed));
}

QTEST_GUILESS_MAIN(TestTransitionsA)
#include "test_transitions_a.moc"
