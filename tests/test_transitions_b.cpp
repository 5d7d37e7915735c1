// Blocks, puzzle, drops and inflow; radar, circle and cross; blinds and
// beams; single push-out and banded push-in. Each effect runs on a headless
// target: it must end on the new picture after the number of steps its
// geometry gives, stop cleanly, report failed copies in its own words and
// adapt its step width where it has one.
#include "transition_harness.h"

#include "transitions/bandedpush.h"
#include "transitions/blinds.h"
#include "transitions/blocks.h"
#include "transitions/radar.h"

#include <QtTest>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <set>

using namespace vm;
using vm::testing::Harness;
using vm::testing::oldPixel;

namespace {

const int kEffects[] = {6, 7, 13, 14, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28,
                        29, 36, 37, 38, 39, 51, 52, 53, 54};

bool usesRandom(int effect)
{
    return !(effect == 19 || effect == 20 || (effect >= 36 && effect <= 39) || effect == 51 || effect == 52);
}
bool stepped(int effect) { return effect >= 51 && effect <= 54; }

// Seeds whose first draw picks way 0 and way 1 of a two-way choice.
constexpr std::uint32_t kWay0Seed = 9;
constexpr std::uint32_t kWay1Seed = 1;

int firstDraw(std::uint32_t seed)
{
    Random r(seed);
    return r.below(2);
}

int rnd(double v) { return int(std::nearbyint(v)); }

int routineOf(int effect)
{
    static const std::map<int, int> routines{
        {6, 25},  {7, 26},  {13, 27}, {14, 27}, {17, 24}, {18, 24}, {19, 28}, {20, 29}, {21, 21},
        {22, 21}, {23, 21}, {24, 21}, {25, 21}, {26, 21}, {27, 21}, {28, 21}, {29, 11}, {36, 34},
        {37, 34}, {38, 36}, {39, 36}, {51, 35}, {52, 37}, {53, 32}, {54, 33}};
    return routines.at(effect);
}

QString words(int effect) { return QStringLiteral("Fehler in BitBlt in blende_%1").arg(routineOf(effect), 3, 10, QChar('0')); }

// The cell side of the grid effects at width w.
int cellSide(int effect, double w)
{
    switch (effect) {
    case 17: return std::max(rnd(w / 16), 2);
    case 18: return std::max(rnd(w / 400), 1);
    case 22: case 25: case 28: return std::max(rnd(w / 48), 2);
    case 23: case 26: return std::max(rnd(w / 256), 2);
    default: return std::max(rnd(w / 8), 2);
    }
}

// The step width a stepped effect runs with: +2 without time to wait,
// else 2 less but not below 4.
int adapted(int schritt, int delay) { return delay < 1 ? schritt + 2 : std::max(schritt - 2, 4); }

// The number of steps each effect's geometry gives on a w x h target.
int expectedSteps(int effect, int w, int h, std::uint32_t seed, int schritt, int delay)
{
    const double W = w, H = h;
    const int S = std::max(adapted(schritt, delay), 1);
    switch (effect) {
    case 6: return int(std::floor(6.28318 / 0.01)) + 1; // a full turn in 0.01 steps
    case 7: return int(std::floor(3.14159 / 0.01)) + 1;
    case 13: return int(std::floor(std::hypot(W, H) / 2 / 1.9)) + 1;
    case 14: return 2 * (int(std::floor(std::hypot(W, H) / 4 / 1.9)) + 1);
    case 17: case 18: case 21: case 22: case 23: case 24: case 25: case 26: case 27: case 28: {
        const int b = cellSide(effect, W);
        return (rnd(W - 1) / b + 1) * (rnd(H - 1) / b + 1);
    }
    case 29: // rows from the centre to the top plus a last waiting step, or M/2 + 1 corner steps
        return firstDraw(seed) == 0 ? rnd(H / 2) + 2 : rnd(std::max(w, h) / 2.0) + 1;
    case 19: return std::max(rnd(H / 8), 1);
    case 20: return std::max(rnd(W / 10), 1);
    case 36: case 37: return w + 1;
    case 38: case 39: return h + 1;
    case 53: return w / S;
    case 54: return h / S;
    case 51: {
        const int b = std::max(rnd(H / 16), 1);
        return (w >= 1 ? (w - 1) / S + 1 : 0) * (h / (2 * b) + 1);
    }
    case 52: {
        const int b = std::max(rnd(W / 16), 1);
        return (h >= 1 ? (h - 1) / S + 1 : 0) * (w / (2 * b) + 1);
    }
    }
    return -1;
}

// The composed new picture (the picture alone sits in its middle).
Pixel fresh(const Harness& hs, int x, int y) { return hs.st.neues_bild_dc.bitmap()->pixel(x, y); }
bool isNew(const Harness& hs, int x, int y) { return hs.target.bitmap().pixel(x, y) == fresh(hs, x, y); }
bool isOld(const Harness& hs, int x, int y) { return hs.target.bitmap().pixel(x, y) == oldPixel(x, y); }

struct Box {
    int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1; // inclusive
    int width() const { return right - left + 1; }
    int height() const { return bottom - top + 1; }
};

Box newPixelsBox(const Harness& hs)
{
    Box b;
    const Bitmap& t = hs.target.bitmap();
    for (int y = 0; y < t.height(); ++y)
        for (int x = 0; x < t.width(); ++x)
            if (t.pixel(x, y) == fresh(hs, x, y)) {
                b.left = std::min(b.left, x);
                b.top = std::min(b.top, y);
                b.right = std::max(b.right, x);
                b.bottom = std::max(b.bottom, y);
            }
    return b;
}

// Runs until the start of step n: the target then shows n - 1 steps.
bool runUntilStep(Harness& hs, int n)
{
    hs.abortAtStep(n);
    return hs.run();
}

void addSizeRow(int effect, int w, int h, std::uint32_t seed, int schritt = 4, int delay = 0)
{
    QTest::addRow("e%d %dx%d seed %u", effect, w, h, seed) << effect << w << h << int(seed) << schritt << delay;
}

} // namespace

class TestTransitionsB : public QObject {
    Q_OBJECT
    std::map<std::pair<int, int>, std::unique_ptr<Harness>> large_;
    std::map<std::pair<int, int>, Bitmap> largeOld_;
    Harness& largeHarness(int w, int h, int effect, std::uint32_t seed, int schritt, int delay);

private slots:
    void registered_data();
    void registered();
    void endsOnTheNewPicture_data();
    void endsOnTheNewPicture();
    void largeScreens_data();
    void largeScreens();
    void cleanupTestCase();
    void stopsWhenAsked_data();
    void stopsWhenAsked();
    void failedCopy_data();
    void failedCopy();
    void stepWidth_data();
    void stepWidth();
    void cellSides_data();
    void cellSides();
    void puzzleShowsShuffledPictureFirst();
    void dropsSpillOverTheCell();
    void inflowDirection_data();
    void inflowDirection();
    void radarSweep_data();
    void radarSweep();
    void circleDirection_data();
    void circleDirection();
    void crossWays_data();
    void crossWays();
    void blindSlats_data();
    void blindSlats();
    void beamBands_data();
    void beamBands();
    void pushOutDirection_data();
    void pushOutDirection();
    void pushInStartsOneLineWide_data();
    void pushInStartsOneLineWide();
    void tooSmallForBlinds();
};

void TestTransitionsB::registered_data()
{
    QTest::addColumn<int>("effect");
    QTest::addColumn<void*>("routine");
    const std::map<int, Routine> expected{
        {6, blende_025},  {7, blende_026},  {13, blende_027}, {14, blende_027}, {17, blende_024},
        {18, blende_024}, {19, blende_028}, {20, blende_029}, {21, blende_021}, {28, blende_021},
        {29, blende_011}, {36, blende_034}, {37, blende_034}, {38, blende_036}, {39, blende_036},
        {51, blende_035}, {52, blende_037}, {53, blende_032}, {54, blende_033}};
    for (const auto& [effect, routine] : expected)
        QTest::addRow("effect %d", effect) << effect << reinterpret_cast<void*>(routine);
}

void TestTransitionsB::registered()
{
    QFETCH(int, effect);
    QFETCH(void*, routine);
    QVERIFY(routineBuilt(effect));
    QCOMPARE(reinterpret_cast<void*>(routineFor(effect)), routine);
}

void TestTransitionsB::endsOnTheNewPicture_data()
{
    QTest::addColumn<int>("effect");
    QTest::addColumn<int>("w");
    QTest::addColumn<int>("h");
    QTest::addColumn<int>("seed");
    QTest::addColumn<int>("schritt");
    QTest::addColumn<int>("delay");
    const int sizes[][2] = {{800, 600}, {37, 23}, {1, 1}, {1, 600}, {800, 1}, {3, 2}, {0, 0}};
    for (int effect : kEffects) {
        for (const auto& s : sizes) {
            addSizeRow(effect, s[0], s[1], kWay1Seed);
            if (usesRandom(effect)) addSizeRow(effect, s[0], s[1], kWay0Seed);
        }
        addSizeRow(effect, 1024, 768, kWay1Seed);
    }
    addSizeRow(13, 1024, 768, kWay0Seed); // 337 steps closing and opening
    addSizeRow(29, 1024, 768, kWay0Seed);
    // Sizes where the last band, cell or step width does not fit evenly.
    for (int effect : {17, 22, 24, 51, 52, 53, 54, 36, 38})
        addSizeRow(effect, 641, 479, 5, 7, 3);
    // One-pixel cells on a target without a line: nothing to fill, no endless draw.
    addSizeRow(18, 100, 0, kWay1Seed);
    addSizeRow(18, 0, 100, kWay1Seed);
    addSizeRow(17, 800, 610, kWay1Seed); // inflow from the bottom, height not a multiple of 50
    addSizeRow(17, 800, 610, kWay0Seed);
}

void TestTransitionsB::endsOnTheNewPicture()
{
    QFETCH(int, effect);
    QFETCH(int, w);
    QFETCH(int, h);
    QFETCH(int, seed);
    QFETCH(int, schritt);
    QFETCH(int, delay);
    Harness hs(w, h, effect, std::uint32_t(seed), schritt, delay);
    QVERIFY(hs.run());
    QVERIFY(hs.st.fehlertext.isEmpty());
    QCOMPARE(hs.pixelsNotNew(), 0LL);
    QCOMPARE(hs.target.pumps(), expectedSteps(effect, w, h, std::uint32_t(seed), schritt, delay));
    // Only the stepped effects touch their step width.
    QCOMPARE(hs.st.effekte[std::size_t(effect)].schritt, stepped(effect) ? adapted(schritt, delay) : schritt);
}

void TestTransitionsB::largeScreens_data()
{
    QTest::addColumn<int>("effect");
    QTest::addColumn<int>("w");
    QTest::addColumn<int>("h");
    QTest::addColumn<int>("seed");
    QTest::addColumn<int>("schritt");
    QTest::addColumn<int>("delay");
    for (int effect : kEffects) {
        // Alternate the ways so that both are seen at a large size.
        addSizeRow(effect, 1920, 1080, effect % 2 ? kWay1Seed : kWay0Seed, 8);
        addSizeRow(effect, 3840, 2160, effect % 2 ? kWay0Seed : kWay1Seed, 30);
    }
}

// Screen-sized harnesses are costly to fill; the large rows share one per
// size, put back to the old picture and the row's effect before each run.
Harness& TestTransitionsB::largeHarness(int w, int h, int effect, std::uint32_t seed, int schritt, int delay)
{
    std::unique_ptr<Harness>& hs = large_[{w, h}];
    if (!hs) {
        hs = std::make_unique<Harness>(w, h, effect, seed, schritt, delay);
        largeOld_[{w, h}] = hs->target.bitmap();
        return *hs;
    }
    hs->target.bitmap() = largeOld_[{w, h}];
    hs->target.resetPumps();
    hs->target.onPump = nullptr;
    hs->st.puffer1.release();
    hs->st.puffer2.release();
    hs->st.abbruch = hs->st.unterbrechung = false;
    hs->st.aktueller_effekt = effect;
    hs->st.effekte[std::size_t(effect)].schritt = schritt;
    hs->st.effekte[std::size_t(effect)].verzoegerung = delay;
    hs->st.aktuelles_delay = delay;
    hs->st.random.seedWith(seed);
    return *hs;
}

void TestTransitionsB::cleanupTestCase()
{
    large_.clear();
    largeOld_.clear();
}

// Every effect ends on the whole new picture on large screens too. Far from
// the centre the radar's and the circle's squares, 0.01 radian apart, drift
// apart; the steps fill in angles there, so that before the last step only
// the top and left edge strips (squares hang right and down from their
// points) and the surroundings of the last beam or ring may still be old.
void TestTransitionsB::largeScreens()
{
    QFETCH(int, effect);
    QFETCH(int, w);
    QFETCH(int, h);
    QFETCH(int, seed);
    QFETCH(int, schritt);
    QFETCH(int, delay);
    const int steps = expectedSteps(effect, w, h, std::uint32_t(seed), schritt, delay);
    Harness& hs = largeHarness(w, h, effect, std::uint32_t(seed), schritt, delay);
    const bool radial = effect == 6 || effect == 7 || effect == 13 || effect == 14;
    Bitmap beforeLast;
    if (radial)
        hs.target.onPump = [&](int n) {
            if (n == steps) beforeLast = hs.target.bitmap();
        };
    QVERIFY(hs.run());
    QVERIFY(hs.showsNewPicture());
    QCOMPARE(hs.target.pumps(), steps);
    if (!radial) return;

    // Where the last step draws: a ray (both ways for the double radar) or
    // a ring, in coordinates from the centre of the squares.
    const double cx = w / 2.0 + 4, cy = h / 2.0 + 4;
    Random r{std::uint32_t(seed)};
    const bool way1 = r.below(2) != 0;
    const double phi0 = 6.28318 * r.next();
    const double r0 = std::hypot(w, h) / 2;
    double lastPhi = 0, lastRho = 0;
    if (effect == 6 || effect == 7) {
        lastPhi = phi0 + (way1 ? -1 : 1) * 0.01 * (steps - 1);
    } else {
        // Entry 13 opens (way 1) or closes in one pass; entry 14's second
        // pass comes from the other end than its first.
        const int pass = effect == 13 ? steps : steps / 2;
        const bool lastPassOpens = effect == 13 ? way1 : !way1;
        lastRho = lastPassOpens ? 1.9 * (pass - 1) : r0 - 1.9 * (pass - 1);
    }
    const auto nearLastPiece = [&](int x, int y) {
        const double qx = x + 0.5 - cx, qy = y + 0.5 - cy, d = std::hypot(qx, qy);
        if (effect == 13 || effect == 14) return std::fabs(d - lastRho) <= 12;
        if (d <= 12) return true;
        double diff = std::remainder(std::atan2(qy, qx) - lastPhi, 6.283185307179586);
        if (effect == 7) diff = std::remainder(diff, 3.141592653589793);
        return std::fabs(diff) <= 0.015 + 12 / d;
    };
    long long strip = 0, elsewhere = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (beforeLast.pixel(x, y) == fresh(hs, x, y)) continue;
            if (x < 8 || y < 8)
                ++strip;
            else if (!nearLastPiece(x, y))
                ++elsewhere;
        }
    QCOMPARE(elsewhere, 0LL);
    QVERIFY(strip < w + h); // a thin trace along the edges, not a band
}

void TestTransitionsB::stopsWhenAsked_data()
{
    QTest::addColumn<int>("effect");
    QTest::addColumn<int>("seed");
    QTest::addColumn<bool>("interrupt");
    for (int effect : kEffects) {
        QTest::addRow("e%d abbruch", effect) << effect << int(kWay1Seed) << false;
        QTest::addRow("e%d unterbrechung", effect) << effect << int(kWay0Seed) << true;
    }
}

void TestTransitionsB::stopsWhenAsked()
{
    QFETCH(int, effect);
    QFETCH(int, seed);
    QFETCH(bool, interrupt);
    const int w = 160, h = 120, schritt = 6, delay = 3;
    const int total = expectedSteps(effect, w, h, std::uint32_t(seed), schritt, delay);
    const int at = std::max(total / 2, 1);
    Harness hs(w, h, effect, std::uint32_t(seed), schritt, delay);
    hs.target.onPump = [&](int n) {
        if (n == at) (interrupt ? hs.st.unterbrechung : hs.st.abbruch) = true;
    };
    QVERIFY(!hs.run());
    QVERIFY(hs.st.fehlertext.isEmpty());
    QCOMPARE(hs.target.pumps(), at);
    QVERIFY(!hs.showsNewPicture());
}

void TestTransitionsB::failedCopy_data()
{
    QTest::addColumn<int>("effect");
    QTest::addColumn<int>("failAt"); // 0: the last call of a full run
    for (int effect : kEffects) {
        QTest::addRow("e%d first copy", effect) << effect << 1;
        QTest::addRow("e%d seventh copy", effect) << effect << 7;
        QTest::addRow("e%d last copy", effect) << effect << 0;
    }
}

void TestTransitionsB::failedCopy()
{
    QFETCH(int, effect);
    QFETCH(int, failAt);
    const int w = 90, h = 70;
    if (failAt == 0) {
        Harness count(w, h, effect, kWay0Seed, 6, 0);
        count.failCall(0);
        QVERIFY(count.run());
        failAt = count.faults.calls;
    }
    Harness hs(w, h, effect, kWay0Seed, 6, 0);
    hs.failCall(failAt);
    QVERIFY(!hs.run());
    QCOMPARE(hs.st.fehlertext, words(effect));
    if (failAt == 1 && (effect == 53 || effect == 54)) {
        // The snapshot of the old picture failed: no step, no adaptation.
        QCOMPARE(hs.target.pumps(), 0);
        QCOMPARE(hs.st.effekte[std::size_t(effect)].schritt, 6);
        QVERIFY(hs.st.puffer1.exists()); // left for the show step to release
    }
}

void TestTransitionsB::stepWidth_data()
{
    QTest::addColumn<int>("effect");
    QTest::addColumn<int>("schritt");
    QTest::addColumn<int>("delay");
    QTest::addColumn<int>("after");
    for (int effect : {51, 52, 53, 54}) {
        QTest::addRow("e%d no time: 4 -> 6", effect) << effect << 4 << 0 << 6;
        QTest::addRow("e%d time: 5 -> floor 4", effect) << effect << 5 << 10 << 4;
        QTest::addRow("e%d time: 9 -> 7", effect) << effect << 9 << 3 << 7;
        QTest::addRow("e%d negative delay: 30 -> 32", effect) << effect << 30 << -1 << 32;
        QTest::addRow("e%d stored 1 -> floor 4", effect) << effect << 1 << 5 << 4;
        // A damaged stored width still ends: the run moves by 1.
        QTest::addRow("e%d stored -20 -> -18", effect) << effect << -20 << 0 << -18;
    }
}

void TestTransitionsB::stepWidth()
{
    QFETCH(int, effect);
    QFETCH(int, schritt);
    QFETCH(int, delay);
    QFETCH(int, after);
    const int w = 203, h = 150;
    Harness hs(w, h, effect, kWay1Seed, schritt, delay);
    QVERIFY(hs.run());
    QCOMPARE(hs.st.effekte[std::size_t(effect)].schritt, after);
    QCOMPARE(hs.target.pumps(), expectedSteps(effect, w, h, kWay1Seed, schritt, delay));
    QVERIFY(hs.showsNewPicture());
}

void TestTransitionsB::cellSides_data()
{
    QTest::addColumn<int>("effect");
    QTest::addColumn<int>("side");
    QTest::addColumn<int>("seed");
    QTest::newRow("21 blocks") << 21 << 100 << 1;
    QTest::newRow("22 blocks small") << 22 << 17 << 2;
    QTest::newRow("23 blocks very small") << 23 << 3 << 3;
    QTest::newRow("27 drops") << 27 << 100 << 4;
    QTest::newRow("28 drops small") << 28 << 17 << 5;
    QTest::newRow("17 inflow") << 17 << 50 << 6;
    QTest::newRow("18 inflow small") << 18 << 2 << 7;
}

// The first step uncovers one cell of side b at a grid position (cut at
// the edges; a drop reaches past it).
void TestTransitionsB::cellSides()
{
    QFETCH(int, effect);
    QFETCH(int, side);
    QFETCH(int, seed);
    const int w = 800, h = 600;
    QCOMPARE(cellSide(effect, w), side);
    Harness hs(w, h, effect, std::uint32_t(seed));
    QVERIFY(!runUntilStep(hs, 2));
    if (effect == 27 || effect == 28) {
        // The square is somewhere inside the drop: find a grid cell that is
        // wholly new.
        const Box box = newPixelsBox(hs);
        int found = 0;
        for (int y = 0; y < h; y += side)
            for (int x = 0; x < w; x += side) {
                if (x < box.left || y < box.top || x > box.right || y > box.bottom) continue;
                bool all = true;
                for (int yy = y; yy < std::min(y + side, h) && all; ++yy)
                    for (int xx = x; xx < std::min(x + side, w) && all; ++xx) all = isNew(hs, xx, yy);
                found += all;
            }
        QCOMPARE(found, 1);
        return;
    }
    const Box box = newPixelsBox(hs);
    QCOMPARE(box.left % side, 0);
    QCOMPARE(box.top % side, 0);
    QCOMPARE(box.width(), std::min(side, w - box.left));
    QCOMPARE(box.height(), std::min(side, h - box.top));
    QCOMPARE(hs.pixelsNotNew(), (long long)w * h - (long long)box.width() * box.height());
}

void TestTransitionsB::puzzleShowsShuffledPictureFirst()
{
    const int w = 800, h = 600, b = 100; // 8 x 6 whole cells
    Harness hs(w, h, 24, 11);
    QVERIFY(!runUntilStep(hs, 1)); // nothing stepped yet, no wait yet
    QCOMPARE(hs.target.pumps(), 1);
    // Every cell on the target is one cell of the new picture, each used once,
    // and the order is not the picture's own.
    std::set<int> used;
    int inPlace = 0;
    for (int cy = 0; cy < h / b; ++cy)
        for (int cx = 0; cx < w / b; ++cx) {
            int from = -1;
            for (int c = 0; c < (w / b) * (h / b) && from < 0; ++c) {
                const int sx = c % (w / b) * b, sy = c / (w / b) * b;
                bool same = true;
                for (int y = 0; y < b && same; y += 7)
                    for (int x = 0; x < b && same; x += 3)
                        same = hs.target.bitmap().pixel(cx * b + x, cy * b + y) == fresh(hs, sx + x, sy + y);
                if (same) from = c;
            }
            QVERIFY2(from >= 0, "a cell that is not from the new picture");
            used.insert(from);
            inPlace += from == cy * (w / b) + cx;
        }
    QCOMPARE(int(used.size()), (w / b) * (h / b));
    QVERIFY(inPlace < (w / b) * (h / b) / 2);
}

void TestTransitionsB::dropsSpillOverTheCell()
{
    const int w = 800, h = 600, b = 100;
    const int R = rnd(std::sqrt(2 * 50.0 * 50.0)); // 71
    Harness hs(w, h, 27, 3);
    QVERIFY(!runUntilStep(hs, 2));
    // Find the cell: the wholly new grid cell.
    int cellX = -1, cellY = -1;
    for (int y = 0; y < h; y += b)
        for (int x = 0; x < w; x += b)
            if (isNew(hs, x, y) && isNew(hs, x + b - 1, y + b - 1) && isNew(hs, x + b / 2, y + b / 2)) {
                cellX = x;
                cellY = y;
            }
    QVERIFY(cellX >= 0);
    long long outside = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (!isNew(hs, x, y)) continue;
            const bool inCell = x >= cellX && x < cellX + b && y >= cellY && y < cellY + b;
            if (inCell) continue;
            ++outside;
            // Within the circle through the cell's corners.
            QVERIFY(std::hypot(x + 0.5 - (cellX + b / 2.0), y + 0.5 - (cellY + b / 2.0)) <= R + 1.5);
        }
    QVERIFY(outside > 1000);
}

void TestTransitionsB::inflowDirection_data()
{
    QTest::addColumn<int>("effect");
    QTest::addColumn<int>("seed");
    QTest::newRow("17 from the top") << 17 << int(kWay0Seed);
    QTest::newRow("17 from the bottom") << 17 << int(kWay1Seed);
    QTest::newRow("18 from the top") << 18 << int(kWay0Seed);
    QTest::newRow("18 from the bottom") << 18 << int(kWay1Seed);
}

void TestTransitionsB::inflowDirection()
{
    QFETCH(int, effect);
    QFETCH(int, seed);
    const int w = 800, h = 610;
    const int b = cellSide(effect, w);
    const bool fromBottom = firstDraw(std::uint32_t(seed)) != 0;
    Harness hs(w, h, effect, std::uint32_t(seed));
    // Three cells in: each is at the bottom (or top) of its column or on top
    // of (below) the cells already there.
    QVERIFY(!runUntilStep(hs, 4));
    const Box box = newPixelsBox(hs);
    if (fromBottom) {
        QCOMPARE(box.bottom, h - 1);
        QVERIFY(box.top >= h - 3 * b);
    } else {
        QCOMPARE(box.top, 0);
        QVERIFY(box.bottom < 3 * b);
    }
    QCOMPARE(box.left % b, 0);
}

void TestTransitionsB::radarSweep_data()
{
    QTest::addColumn<int>("effect");
    QTest::addColumn<int>("seed");
    for (int effect : {6, 7})
        for (int seed : {1, 2, 9, 14}) QTest::addRow("e%d seed %d", effect, seed) << effect << seed;
}

// After 100 steps the beam has swept about one radian from the random start
// angle, in the drawn direction (and its opposite too for the double radar).
void TestTransitionsB::radarSweep()
{
    QFETCH(int, effect);
    QFETCH(int, seed);
    const int w = 640, h = 480;
    Random r{std::uint32_t(seed)};
    const double dir = r.below(2) == 0 ? 1 : -1;
    const double phi0 = 6.28318 * r.next();
    Harness hs(w, h, effect, std::uint32_t(seed));
    QVERIFY(!runUntilStep(hs, 101));
    const auto at = [&](double phi, double dist) {
        return std::pair<int, int>(int(std::floor(w / 2.0 + 4 + std::cos(phi) * dist)),
                                   int(std::floor(h / 2.0 + 4 + std::sin(phi) * dist)));
    };
    const int beams = effect == 7 ? 2 : 1;
    for (int k = 0; k < beams; ++k) {
        for (double dist : {40.0, 120.0, 200.0}) {
            const auto [x1, y1] = at(phi0 + k * 3.14159 + dir * 0.5, dist);
            QVERIFY2(isNew(hs, x1, y1), "inside the swept wedge");
            const auto [x2, y2] = at(phi0 + k * 3.14159 - dir * 0.5, dist);
            QVERIFY2(isOld(hs, x2, y2), "behind the start angle");
            const auto [x3, y3] = at(phi0 + k * 3.14159 + dir * 1.5, dist);
            QVERIFY2(isOld(hs, x3, y3), "ahead of the beam");
        }
    }
}

void TestTransitionsB::circleDirection_data()
{
    QTest::addColumn<int>("effect");
    QTest::addColumn<int>("seed");
    QTest::newRow("13 closing") << 13 << int(kWay0Seed);
    QTest::newRow("13 opening") << 13 << int(kWay1Seed);
    QTest::newRow("14 closing first") << 14 << int(kWay0Seed);
    QTest::newRow("14 opening first") << 14 << int(kWay1Seed);
}

void TestTransitionsB::circleDirection()
{
    QFETCH(int, effect);
    QFETCH(int, seed);
    const int w = 400, h = 300; // R0 = 250
    const bool opening = firstDraw(std::uint32_t(seed)) != 0;
    {
        Harness hs(w, h, effect, std::uint32_t(seed));
        QVERIFY(!runUntilStep(hs, 21)); // 20 rings: 38 pixels of radius
        const bool centre = isNew(hs, w / 2, h / 2);
        const bool corner = isNew(hs, w - 3, h - 3);
        QCOMPARE(centre, opening);
        QCOMPARE(corner, !opening);
    }
    if (effect == 14) {
        // The second pass starts at the other end: one step into it, both
        // the centre and the corners are new and the half-radius ring is not.
        const int half = int(std::floor(250 / 2 / 1.9)) + 1;
        Harness hs(w, h, effect, std::uint32_t(seed));
        QVERIFY(!runUntilStep(hs, half + 2));
        QVERIFY(isNew(hs, w / 2, h / 2));
        QVERIFY(isNew(hs, 2, 2));
        QVERIFY(isOld(hs, w / 2 + 4 + int(std::cos(0.3) * (opening ? 140 : 110)),
                      h / 2 + 4 + int(std::sin(0.3) * (opening ? 140 : 110))));
    }
}

void TestTransitionsB::crossWays_data()
{
    QTest::addColumn<int>("seed");
    QTest::addColumn<int>("w");
    QTest::addColumn<int>("h");
    QTest::addColumn<int>("steps");
    // The first way on 1024 x 768: 385 copying steps (y = 384 down to 0) and
    // one that only waits.
    QTest::newRow("widening 1024x768") << int(kWay0Seed) << 1024 << 768 << 386;
    QTest::newRow("corners 1024x768") << int(kWay1Seed) << 1024 << 768 << 513;
    QTest::newRow("widening 400x400") << int(kWay0Seed) << 400 << 400 << 202;
    QTest::newRow("corners 400x400") << int(kWay1Seed) << 400 << 400 << 201;
}

void TestTransitionsB::crossWays()
{
    QFETCH(int, seed);
    QFETCH(int, w);
    QFETCH(int, h);
    QFETCH(int, steps);
    const bool widening = firstDraw(std::uint32_t(seed)) == 0;
    {
        Harness hs(w, h, 29, std::uint32_t(seed));
        QVERIFY(!runUntilStep(hs, 4)); // three steps
        QCOMPARE(isNew(hs, w / 2, h / 2), widening);
        QCOMPARE(isNew(hs, w / 2, 0), widening); // the centre column runs top to bottom
        const int a = rnd(w / 2.0 - std::max(w, h) / 2.0), b = rnd(h / 2.0 - std::max(w, h) / 2.0);
        if (a >= 0 && b >= 0) QCOMPARE(isNew(hs, a + 1, b + 1), !widening);
        QVERIFY(isOld(hs, w / 4, h / 4));
    }
    Harness hs(w, h, 29, std::uint32_t(seed));
    QVERIFY(hs.run());
    QCOMPARE(hs.target.pumps(), steps);
    QVERIFY(hs.showsNewPicture());
}

void TestTransitionsB::blindSlats_data()
{
    QTest::addColumn<int>("effect");
    QTest::addColumn<int>("w");
    QTest::addColumn<int>("h");
    QTest::addColumn<int>("slat");
    QTest::newRow("19 height 600") << 19 << 800 << 600 << 75;
    QTest::newRow("20 width 800") << 20 << 800 << 600 << 80;
    QTest::newRow("19 height 12") << 19 << 30 << 12 << 2; // 1.5 rounds to 2
    QTest::newRow("20 width 25") << 20 << 25 << 9 << 2;   // 2.5 rounds to 2
}

// Step i draws line i of every slat: after one step, line 0 of each slat
// is new and line 1 is not.
void TestTransitionsB::blindSlats()
{
    QFETCH(int, effect);
    QFETCH(int, w);
    QFETCH(int, h);
    QFETCH(int, slat);
    const bool rows = effect == 19;
    {
        Harness hs(w, h, effect);
        QVERIFY(!runUntilStep(hs, 2));
        const int extent = rows ? h : w;
        for (int start = 0; start < extent; start += slat)
            for (int line = 0; line < 2 && start + line < extent; ++line) {
                const int at = start + line;
                QCOMPARE(rows ? isNew(hs, w / 2, at) : isNew(hs, at, h / 2), line == 0);
            }
    }
    Harness hs(w, h, effect);
    QVERIFY(hs.run());
    QCOMPARE(hs.target.pumps(), slat);
}

void TestTransitionsB::beamBands_data()
{
    QTest::addColumn<int>("effect");
    QTest::addColumn<int>("w");
    QTest::addColumn<int>("h");
    QTest::addColumn<int>("band");
    QTest::addColumn<int>("bands");
    QTest::newRow("36 height 600") << 36 << 800 << 600 << 38 << 16; // 37.5 rounds to 38
    QTest::newRow("37 height 600") << 37 << 800 << 600 << 2 << 300; // 2.34 rounds to 2
    QTest::newRow("38 width 800") << 38 << 800 << 600 << 50 << 16;
    QTest::newRow("39 width 800") << 39 << 800 << 600 << 3 << 267; // 3.125 rounds to 3
    QTest::newRow("37 floor 2") << 37 << 300 << 200 << 2 << 100;   // 0.78 is raised to 2
}

// After one step the even bands show their first line at the near edge,
// the odd bands nothing yet (their first line is just past the far edge);
// after two steps the odd bands show their line at the far edge.
void TestTransitionsB::beamBands()
{
    QFETCH(int, effect);
    QFETCH(int, w);
    QFETCH(int, h);
    QFETCH(int, band);
    QFETCH(int, bands);
    const bool horizontal = effect <= 37;
    const int extent = horizontal ? h : w;
    const int along = horizontal ? w : h;
    QCOMPARE((extent - 1) / band + 1, bands);
    Harness hs(w, h, effect);
    QVERIFY(!runUntilStep(hs, 3));
    const auto at = [&](int line, int across) { return horizontal ? isNew(hs, line, across) : isNew(hs, across, line); };
    for (int i = 0; i < extent; ++i) {
        const bool even = (i / band) % 2 == 0;
        QCOMPARE(at(0, i), even);
        QCOMPARE(at(along - 1, i), !even);
        QVERIFY(!at(2, i) && !at(along - 2, i));
    }
}

void TestTransitionsB::pushOutDirection_data()
{
    QTest::addColumn<int>("effect");
    QTest::addColumn<int>("seed");
    QTest::newRow("53 d=1 leftwards") << 53 << int(kWay1Seed);
    QTest::newRow("53 d=0 rightwards") << 53 << int(kWay0Seed);
    QTest::newRow("54 d=0 upwards") << 54 << int(kWay0Seed);
    QTest::newRow("54 d=1 downwards") << 54 << int(kWay1Seed);
}

// After one step of width S the old picture has moved by S and the first S
// lines of the new picture have come in behind it.
void TestTransitionsB::pushOutDirection()
{
    QFETCH(int, effect);
    QFETCH(int, seed);
    const int w = 120, h = 90, S = 6; // schritt 4, no time to wait
    const int d = firstDraw(std::uint32_t(seed));
    Harness hs(w, h, effect, std::uint32_t(seed), 4, 0);
    QVERIFY(!runUntilStep(hs, 2));
    const Bitmap& t = hs.target.bitmap();
    for (int y = 0; y < h; y += 5)
        for (int x = 0; x < w; x += 3) {
            Pixel expected;
            if (effect == 53)
                expected = d == 1 ? (x < w - S ? oldPixel(x + S, y) : fresh(hs, x - (w - S), y))
                                  : (x < S ? fresh(hs, w - S + x, y) : oldPixel(x - S, y));
            else
                expected = d == 0 ? (y < h - S ? oldPixel(x, y + S) : fresh(hs, x, y - (h - S)))
                                  : (y < S ? fresh(hs, x, h - S + y) : oldPixel(x, y - S));
            QCOMPARE(t.pixel(x, y), expected);
        }
}

void TestTransitionsB::pushInStartsOneLineWide_data()
{
    QTest::addColumn<int>("effect");
    QTest::newRow("51 bands from left and right") << 51;
    QTest::newRow("52 bands from top and bottom") << 52;
}

// The first step shows one line of the first band pair only: the even band's
// last line at the near edge, the odd band's first line at the far edge.
void TestTransitionsB::pushInStartsOneLineWide()
{
    QFETCH(int, effect);
    const int w = 320, h = 240;
    const bool horizontal = effect == 51;
    const int b = rnd((horizontal ? h : w) / 16.0); // 15 or 20
    Harness hs(w, h, effect, 1, 4, 0);
    QVERIFY(!runUntilStep(hs, 2));
    const Bitmap& t = hs.target.bitmap();
    long long changed = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) changed += !isOld(hs, x, y);
    QCOMPARE(changed, 2LL * b);
    for (int i = 0; i < b; ++i) {
        if (horizontal) {
            QCOMPARE(t.pixel(0, i), fresh(hs, w - 1, i));
            QCOMPARE(t.pixel(w - 1, b + i), fresh(hs, 0, b + i));
        } else {
            QCOMPARE(t.pixel(i, 0), fresh(hs, i, h - 1));
            QCOMPARE(t.pixel(b + i, h - 1), fresh(hs, b + i, 0));
        }
    }
}

// Blinds on a target too small for one line per slat still draw the
// picture, in a single step, instead of reporting success with nothing drawn.
void TestTransitionsB::tooSmallForBlinds()
{
    for (const auto& [effect, w, h] : {std::tuple{19, 50, 4}, std::tuple{19, 50, 1}, std::tuple{20, 5, 40}}) {
        Harness hs(w, h, effect);
        QVERIFY(hs.run());
        QCOMPARE(hs.target.pumps(), 1);
        QVERIFY(hs.showsNewPicture());
    }
}

QTEST_GUILESS_MAIN(TestTransitionsB)
#include "test_transitions_b.moc"
