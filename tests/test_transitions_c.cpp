// The cross-fades, zoom and stretch, roll, spiral and wiper transitions, run
// on a headless target: steps, final frames, stops, error words, and the
// step widths and busy-waits they leave behind.
#include "transition_harness.h"

#include "platform/imagelib.h"

#include <QtTest>

#include <cmath>
#include <map>
#include <memory>

using namespace vm;
using namespace vm::testing;

namespace {

// Step width after the adaptation each routine makes before its first step.
int adapted(int effect, int schritt, int delay)
{
    int a = 1, f = 1;
    switch (effect) {
    case 47: case 48: a = 2; f = 2; break;
    case 57: case 58: a = 10; f = 10; break;
    case 63: a = 2; f = 4; break;
    case 64: a = 1; f = 4; break;
    case 73: case 74: a = 5; f = 5; break;
    case 59: a = 2; f = 8; break;
    default: break;
    }
    return delay <= 0 ? schritt + a : std::max(schritt - a, f);
}

// Wiper direction 1 to 4, as the routine draws it from the generator.
int wiperDirection(std::uint32_t seed)
{
    Random r(seed);
    return 1 + r.below(4);
}

// The first seed whose first draw of below(n) is `value`: the direction a
// routine takes with it.
std::uint32_t seedFor(int n, int value)
{
    std::uint32_t seed = 1;
    while (Random(seed).below(n) != value) ++seed;
    return seed;
}

int spiralSteps(int effect, int w, int h)
{
    const int b = std::max(px(w / (effect == 16 ? 48.0 : 8.0)), 2);
    const int nx = (w - 1) / b + 1, ny = (h - 1) / b + 1;
    // Each ring of cw x lh blocks is walked as 2 (cw + lh) steps.
    const int rings = std::min((nx + 1) / 2, (ny + 1) / 2);
    int steps = 0;
    for (int k = 0; k < rings; ++k) steps += 2 * (nx - 2 * k + ny - 2 * k);
    return steps;
}

// Steps each routine runs, from the closed forms of its loop.
int expectedSteps(int effect, int w, int h, int schritt, int delay, std::uint32_t seed)
{
    const int s = adapted(effect, schritt, delay);
    switch (effect) {
    case 46: return 72 / (delay > 0 ? 1 : std::max(schritt, 1)) + 1;
    case 47: case 48: {
        const int b = std::max(px(w / 24.0), 1);
        const int n = std::max(px(((effect == 47 ? w : h) - 1.0) / b + 1), 1);
        const int k = (72 + s - 1) / s; // passes a band needs to reach 72
        return k == 1 ? 1 : n * (n + 1) / 2 + (k - 1) * n;
    }
    case 57: case 58: return (w - px(w / 32.0)) / s + 1;
    case 63: case 73: return w / s;
    case 64: case 74: return h / s;
    case 75: case 76: return px(w / 4.0) + 1;
    case 59: return (w + s - 1) / s;
    case 15: case 16: return spiralSteps(effect, w, h);
    case 40: case 41: {
        const double delta = s * std::tan(1.0) / 100;
        const int d = wiperDirection(seed);
        const bool closing = d == 1 || d == 3;
        const double range = effect == 40 ? 3.14159 : (closing ? 3.14159 / 2 + 0.1 : 3.14159 / 2);
        return int(std::floor(range / delta)) + 1;
    }
    default: return -1;
    }
}

// Runs the effect, counting every raster call on the target, and returns
// the count: the number of the last call.
int countCalls(int w, int h, int effect, std::uint32_t seed, int schritt, int delay)
{
    Harness c(w, h, effect, seed, schritt, delay);
    c.failCall(-1);
    c.run();
    return c.faults.calls;
}

// Bounding box (x, y, w, h) of the target pixels that no longer show the
// old picture.
QRect changedBox(const Harness& hs)
{
    const Bitmap& b = hs.target.bitmap();
    QRect box;
    for (int y = 0; y < b.height(); ++y)
        for (int x = 0; x < b.width(); ++x)
            if (b.pixel(x, y) != oldPixel(x, y)) box |= QRect(x, y, 1, 1);
    return box;
}

bool columnIsNew(const Harness& hs, int targetX, int newX)
{
    for (int y = 0; y < hs.target.bitmap().height(); ++y)
        if (hs.target.bitmap().pixel(targetX, y) != hs.st.neues_bild_dc.bitmap()->pixel(newX, y)) return false;
    return true;
}

Bitmap greyOf(const Bitmap& b)
{
    RgbImage rgb = BitmapToRgb(b);
    ImageToGrayScale(rgb);
    return *RgbToBitmap(rgb);
}

const int kAll[] = {46, 47, 48, 57, 58, 63, 64, 73, 74, 75, 76, 59, 15, 16, 40, 41};

} // namespace

class TestTransitionsC : public QObject {
    Q_OBJECT

    // Building a 3840 x 2160 harness costs more than most runs on it: the
    // large-screen rows share one per size and put the old picture back.
    struct Shared {
        std::unique_ptr<Harness> hs;
        Bitmap old;
    };
    std::map<std::pair<int, int>, Shared> shared_;
    Harness& sharedHarness(int w, int h, int effect, std::uint32_t seed, int schritt, int delay);

private slots:
    void cleanupTestCase() { shared_.clear(); }
    void runsToTheEnd_data();
    void runsToTheEnd();
    void coversLargeScreens_data();
    void coversLargeScreens();
    void stopsWithinAStep_data();
    void stopsWithinAStep();
    void failureWords_data();
    void failureWords();
    void blendFailuresAreIgnored_data();
    void blendFailuresAreIgnored();
    void stepWidthAndWait_data();
    void stepWidthAndWait();
    void zoomInEndsOnTheCentre_data();
    void zoomInEndsOnTheCentre();
    void growFromTheCentre();
    void shrinkKeepsBuffers();
    void stripFromTheRightStartsLeftOfThePicture();
    void bandsOfTheWidth_data();
    void bandsOfTheWidth();
    void spiralOrder();
    void rollColumns();
    void greyFirst();
    void greyHoldStops_data();
    void greyHoldStops();
    void greyScale();
    void blendIsExact_data();
    void blendIsExact();
    void stretchSamplesNearest_data();
    void stretchSamplesNearest();
    void narrowCopies_data();
    void narrowCopies();
};

void TestTransitionsC::runsToTheEnd_data()
{
    QTest::addColumn<int>("effect");
    QTest::addColumn<int>("w");
    QTest::addColumn<int>("h");
    QTest::addColumn<int>("seed");
    QTest::addColumn<int>("schritt");
    QTest::addColumn<int>("delay");
    QTest::addColumn<int>("steps"); // -1: from the closed forms above

    // Counts the design's own examples give.
    QTest::newRow("46 73 blends") << 46 << 40 << 30 << 1 << 2 << 1 << 73;
    QTest::newRow("48 1024x768 b=43 n=19") << 48 << 1024 << 768 << 1 << 4 << 1 << 19 * 20 / 2 + 35 * 19;
    QTest::newRow("57 800x600 S=10") << 57 << 800 << 600 << 1 << 10 << 1 << 78;
    QTest::newRow("75 800 201 steps") << 75 << 800 << 600 << 1 << 1 << 0 << 201;
    QTest::newRow("76 800 201 steps") << 76 << 800 << 600 << 1 << 1 << 0 << 201;
    QTest::newRow("15 800x600 8x6 grid") << 15 << 800 << 600 << 1 << 1 << 0 << 28 + 20 + 12;
    QTest::newRow("16 800x600 48x36 grid") << 16 << 800 << 600 << 1 << 1 << 0 << 1800;
    for (int d = 0; d < 4; ++d) {
        QTest::addRow("40 S=1 half turn, direction %d", d + 1) << 40 << 64 << 48 << int(seedFor(4, d)) << 1 << 1 << 202;
        QTest::addRow("41 S=1 quarter turn, direction %d", d + 1)
            << 41 << 64 << 48 << int(seedFor(4, d)) << 1 << 1 << (d == 0 || d == 2 ? 108 : 101);
    }
    // Wider wiper steps turn faster and still end.
    QTest::newRow("40 S=2") << 40 << 64 << 48 << 3 << 1 << 0 << 101;
    QTest::newRow("40 S=3") << 40 << 64 << 48 << 3 << 2 << 0 << 68;
    QTest::newRow("40 S=5") << 40 << 64 << 48 << 3 << 4 << 0 << 41;

    // Every effect at odd sizes and seeds, the tiny ones included.
    const int sizes[][2] = {{101, 57}, {57, 101}, {33, 17}, {1, 1}, {3, 2}, {1, 600}, {600, 1}, {12, 12}};
    for (int effect : kAll)
        for (const auto& sz : sizes)
            for (std::uint32_t seed : {seedFor(4, 0), seedFor(4, 1), seedFor(4, 2), seedFor(4, 3)}) {
                const bool stepped = effect != 15 && effect != 16 && effect != 75 && effect != 76;
                const int schritt = effect == 57 || effect == 58 ? 10 : 3;
                QTest::addRow("%d %dx%d seed %u", effect, sz[0], sz[1], seed)
                    << effect << sz[0] << sz[1] << int(seed) << schritt << int(seed % 2) << -1;
                if (!stepped) break; // the seed changes nothing else
            }
    // 800 x 600, both delays.
    for (int effect : kAll)
        for (int delay : {0, 1})
            QTest::addRow("%d 800x600 delay %d", effect, delay)
                << effect << 800 << 600 << 4 << (effect == 57 || effect == 58 ? 10 : 8) << delay << -1;
}

void TestTransitionsC::runsToTheEnd()
{
    QFETCH(int, effect);
    QFETCH(int, w);
    QFETCH(int, h);
    QFETCH(int, seed);
    QFETCH(int, schritt);
    QFETCH(int, delay);
    QFETCH(int, steps);
    if (steps < 0) steps = expectedSteps(effect, w, h, schritt, delay, std::uint32_t(seed));

    Harness hs(w, h, effect, std::uint32_t(seed), schritt, delay);
    QVERIFY(hs.run());
    QVERIFY(hs.st.fehlertext.isEmpty());
    QCOMPARE(hs.target.pumps(), steps);
    if (effect != 75) QCOMPARE(hs.pixelsNotNew(), 0LL);
}

void TestTransitionsC::coversLargeScreens_data()
{
    QTest::addColumn<int>("effect");
    QTest::addColumn<int>("w");
    QTest::addColumn<int>("h");
    QTest::addColumn<int>("seed");
    QTest::addColumn<int>("schritt");
    QTest::addColumn<int>("delay");
    // Wide steps where the routine has them (the frame must be whole
    // whatever the width); the wipers and the spiral run as usual. Each
    // direction at 1920 x 1080, one (two for the wipers) at 3840 x 2160.
    struct Row {
        int effect, schritt, delay, directions;
    };
    const Row rows[] = {{46, 40, 0, 1}, {47, 70, 0, 2}, {48, 70, 0, 2}, {57, 300, 0, 1}, {58, 300, 0, 1},
                        {63, 300, 0, 1}, {64, 300, 0, 1}, {73, 300, 0, 2}, {74, 300, 0, 2}, {59, 300, 0, 1},
                        {15, 1, 0, 1}, {16, 1, 0, 1}, {40, 1, 1, 4}, {41, 1, 1, 4}};
    for (const Row& r : rows)
        for (int d = 0; d < r.directions; ++d) {
            const int seed = int(seedFor(r.directions, d));
            QTest::addRow("%d 1920x1080 direction %d", r.effect, d) << r.effect << 1920 << 1080 << seed << r.schritt << r.delay;
            if (d == 0 || (r.directions == 4 && d == 3))
                QTest::addRow("%d 3840x2160 direction %d", r.effect, d) << r.effect << 3840 << 2160 << seed << r.schritt << r.delay;
        }
    // ZoomOut ends with the whole picture; 961 full stretches at 3840 are
    // too slow for this program, the last step is the same at any size.
    QTest::newRow("76 1920x1080") << 76 << 1920 << 1080 << 1 << 1 << 0;
}

Harness& TestTransitionsC::sharedHarness(int w, int h, int effect, std::uint32_t seed, int schritt, int delay)
{
    Shared& s = shared_[{w, h}];
    if (!s.hs) {
        s.hs = std::make_unique<Harness>(w, h, effect, seed, schritt, delay);
        s.old = s.hs->target.bitmap();
    }
    Harness& hs = *s.hs;
    hs.target.bitmap() = s.old;
    hs.target.resetPumps();
    hs.target.onPump = nullptr;
    hs.st.abbruch = hs.st.unterbrechung = false;
    hs.st.puffer1.release();
    hs.st.puffer2.release();
    hs.st.aktueller_effekt = effect;
    hs.st.effekte[std::size_t(effect)].schritt = schritt;
    hs.st.effekte[std::size_t(effect)].verzoegerung = delay;
    hs.st.aktuelles_delay = delay;
    hs.st.random.seedWith(seed);
    return hs;
}

void TestTransitionsC::coversLargeScreens()
{
    QFETCH(int, effect);
    QFETCH(int, w);
    QFETCH(int, h);
    QFETCH(int, seed);
    QFETCH(int, schritt);
    QFETCH(int, delay);
    Harness& hs = sharedHarness(w, h, effect, std::uint32_t(seed), schritt, delay);
    QVERIFY(!hs.showsNewPicture());
    QVERIFY(hs.run());
    QVERIFY(hs.showsNewPicture());
}

void TestTransitionsC::stopsWithinAStep_data()
{
    QTest::addColumn<int>("effect");
    QTest::addColumn<int>("stopAt");
    QTest::addColumn<bool>("dialog"); // unterbrechung instead of abbruch
    for (int effect : kAll) {
        QTest::addRow("%d first step", effect) << effect << 1 << false;
        QTest::addRow("%d mid-way", effect) << effect << 5 << false;
        QTest::addRow("%d dialog", effect) << effect << 3 << true;
    }
}

void TestTransitionsC::stopsWithinAStep()
{
    QFETCH(int, effect);
    QFETCH(int, stopAt);
    QFETCH(bool, dialog);
    Harness hs(80, 60, effect, 1, 1, 1);
    hs.target.onPump = [&](int pump) {
        if (pump == stopAt) (dialog ? hs.st.unterbrechung : hs.st.abbruch) = true;
    };
    QVERIFY(!hs.run());
    QVERIFY(hs.st.fehlertext.isEmpty());
    QCOMPARE(hs.target.pumps(), stopAt);
    QVERIFY(hs.pixelsNotNew() > 0);
}

void TestTransitionsC::failureWords_data()
{
    QTest::addColumn<int>("effect");
    QTest::addColumn<int>("call"); // 0 = the last call of a full run
    QTest::addColumn<QString>("words");
    QTest::addColumn<int>("stepsBefore"); // pumps when it stops; -1 = not checked

    QTest::newRow("46 final copy") << 46 << 0 << "Fehler in BitBlt in blende_009" << -1;
    QTest::newRow("47 final copy") << 47 << 0 << "Fehler in BitBlt in blende_010" << -1;
    QTest::newRow("48 final copy") << 48 << 0 << "Fehler in BitBlt in blende_010" << -1;
    QTest::newRow("57 stretch") << 57 << 1 << "Fehler in StretchBlt in Modul blende_030" << 1;
    QTest::newRow("57 final copy") << 57 << 0 << "Fehler in BitBlt in blende_030" << -1;
    QTest::newRow("58 snapshot of the old picture") << 58 << 1 << "Fehler in BitBlt in blende_031" << 0;
    QTest::newRow("58 frame onto the target") << 58 << 3 << "Fehler in BitBlt in blende_031" << 2;
    QTest::newRow("58 final copy") << 58 << 0 << "Fehler in BitBlt in blende_031" << -1;
    QTest::newRow("63 stretch") << 63 << 2 << "Fehler in StretchBlt in Modul blende_043" << 2;
    QTest::newRow("63 final copy") << 63 << 0 << "Fehler in BitBlt in blende_043" << -1;
    QTest::newRow("64 stretch") << 64 << 1 << "Fehler in StretchBlt in Modul blende_044" << 1;
    QTest::newRow("64 final copy") << 64 << 0 << "Fehler in BitBlt in blende_044" << -1;
    QTest::newRow("73 stretch") << 73 << 1 << "Fehler in StretchBlt in blende_049" << 1;
    QTest::newRow("73 final copy") << 73 << 0 << "Fehler in BitBlt in blende_049" << -1;
    QTest::newRow("74 stretch") << 74 << 3 << "Fehler in StretchBlt in blende_050" << 3;
    QTest::newRow("74 final copy") << 74 << 0 << "Fehler in BitBlt in blende_050" << -1;
    QTest::newRow("75 stretch") << 75 << 4 << "Fehler in StretchBlt in blende_051" << 4;
    QTest::newRow("76 last stretch") << 76 << 0 << "Fehler in StretchBlt in blende_051" << -1;
    QTest::newRow("59 first column") << 59 << 1 << "Fehler in BitBlt in blende_039" << 1;
    QTest::newRow("59 final copy") << 59 << 0 << "Fehler in BitBlt in blende_039" << -1;
    QTest::newRow("15 a block") << 15 << 6 << "Fehler in BitBlt in blende_040" << 6;
    QTest::newRow("16 last block") << 16 << 0 << "Fehler in BitBlt in blende_040" << -1;
    QTest::newRow("40 a square") << 40 << 7 << "Fehler in BitBlt in blende_041" << 1;
    QTest::newRow("40 final copy") << 40 << 0 << "Fehler in BitBlt in blende_041" << -1;
    QTest::newRow("41 a mirrored square") << 41 << 2 << "Fehler in BitBlt in blende_042" << 1;
    QTest::newRow("41 final copy") << 41 << 0 << "Fehler in BitBlt in blende_042" << -1;
}

void TestTransitionsC::failureWords()
{
    QFETCH(int, effect);
    QFETCH(int, call);
    QFETCH(QString, words);
    QFETCH(int, stepsBefore);
    const int w = 64, h = 48;
    if (call == 0) call = countCalls(w, h, effect, 1, 1, 1);
    Harness hs(w, h, effect, 1, 1, 1);
    hs.failCall(call);
    QVERIFY(!hs.run());
    QCOMPARE(hs.st.fehlertext, words);
    QCOMPARE(hs.faults.calls, call); // nothing is retried or drawn after it
    if (stepsBefore >= 0) QCOMPARE(hs.target.pumps(), stepsBefore);
}

void TestTransitionsC::blendFailuresAreIgnored_data()
{
    QTest::addColumn<int>("effect");
    QTest::addColumn<int>("call");
    QTest::newRow("46 first blend") << 46 << 1;
    QTest::newRow("46 a later blend") << 46 << 30;
    QTest::newRow("47 a band") << 47 << 3;
    QTest::newRow("48 a band") << 48 << 10;
}

void TestTransitionsC::blendFailuresAreIgnored()
{
    QFETCH(int, effect);
    QFETCH(int, call);
    Harness hs(64, 48, effect, 1, 1, 1);
    hs.failCall(call);
    QVERIFY(hs.run());
    QVERIFY(hs.st.fehlertext.isEmpty());
    QVERIFY(hs.showsNewPicture());
}

void TestTransitionsC::stepWidthAndWait_data()
{
    QTest::addColumn<int>("effect");
    QTest::addColumn<int>("schritt");
    QTest::addColumn<int>("delay");
    QTest::addColumn<int>("tdauer");
    QTest::addColumn<int>("schrittAfter");
    QTest::addColumn<int>("delayAfter");

    QTest::newRow("46 waits: width 1") << 46 << 7 << 5 << 2 << 1 << 5;
    QTest::newRow("46 long time: still 1") << 46 << 7 << 5 << 60 << 1 << 5;
    QTest::newRow("46 time out of range: 1") << 46 << 7 << 5 << 0 << 1 << 5;
    QTest::newRow("46 no wait: width kept") << 46 << 7 << 0 << 2 << 7 << 0;
    QTest::newRow("46 stored 0 ends") << 46 << 0 << 0 << 2 << 0 << 0;
    QTest::newRow("47 tdauer 3, 59 -> 20") << 47 << 4 << 59 << 3 << 2 << 20;
    QTest::newRow("47 no wait: +2") << 47 << 2 << 0 << 2 << 4 << 0;
    QTest::newRow("47 1.5 -> 2") << 47 << 2 << 2 << 2 << 2 << 2;
    QTest::newRow("48 4.5 -> 4") << 48 << 9 << 8 << 2 << 7 << 4;
    QTest::newRow("48 tdauer 1 keeps") << 48 << 2 << 9 << 1 << 2 << 9;
    QTest::newRow("57 no wait: +10") << 57 << 10 << 0 << 2 << 20 << 0;
    QTest::newRow("57 floor 10") << 57 << 12 << 3 << 2 << 10 << 3;
    QTest::newRow("58 -10") << 58 << 25 << 3 << 2 << 15 << 3;
    QTest::newRow("63 +2") << 63 << 6 << 0 << 2 << 8 << 0;
    QTest::newRow("63 floor 4") << 63 << 5 << 1 << 2 << 4 << 1;
    QTest::newRow("64 +1") << 64 << 4 << 0 << 2 << 5 << 0;
    QTest::newRow("64 floor 4") << 64 << 4 << 1 << 2 << 4 << 1;
    QTest::newRow("73 +5") << 73 << 10 << 0 << 2 << 15 << 0;
    QTest::newRow("74 floor 5") << 74 << 7 << 1 << 2 << 5 << 1;
    QTest::newRow("75 set to 1") << 75 << 10 << 0 << 2 << 1 << 0;
    QTest::newRow("76 set to 1 from 0") << 76 << 0 << 3 << 2 << 1 << 3;
    QTest::newRow("59 +2") << 59 << 8 << 0 << 2 << 10 << 0;
    QTest::newRow("59 floor 8") << 59 << 9 << 1 << 2 << 8 << 1;
    QTest::newRow("40 +1") << 40 << 1 << 0 << 2 << 2 << 0;
    QTest::newRow("41 floor 1") << 41 << 3 << 1 << 2 << 2 << 1;
    QTest::newRow("15 tdauer 1 doubles") << 15 << 1 << 3 << 1 << 1 << 8;
    QTest::newRow("15 tdauer 2 keeps") << 15 << 1 << 3 << 2 << 1 << 3;
    QTest::newRow("16 tdauer 2, 99 -> 250") << 16 << 1 << 99 << 2 << 1 << 250;
    QTest::newRow("16 2.5 -> 2") << 16 << 1 << 1 << 4 << 1 << 2;
    QTest::newRow("16 tdauer 5 keeps") << 16 << 1 << 7 << 5 << 1 << 7;
    QTest::newRow("16 time out of range keeps") << 16 << 1 << 7 << 0 << 1 << 7;
}

void TestTransitionsC::stepWidthAndWait()
{
    QFETCH(int, effect);
    QFETCH(int, schritt);
    QFETCH(int, delay);
    QFETCH(int, tdauer);
    QFETCH(int, schrittAfter);
    QFETCH(int, delayAfter);
    Harness hs(48, 36, effect, 1, schritt, delay);
    hs.st.settings.tdauer = tdauer;
    int delayInSteps = -1;
    hs.target.onPump = [&](int pump) {
        if (pump == 1) delayInSteps = hs.st.aktuelles_delay;
    };
    QVERIFY(hs.run());
    QCOMPARE(hs.st.effekte[std::size_t(effect)].schritt, schrittAfter);
    QCOMPARE(hs.st.aktuelles_delay, delayAfter);
    QCOMPARE(delayInSteps, delayAfter); // the steps already wait the new count
    QCOMPARE(hs.st.effekte[std::size_t(effect)].verzoegerung, delay); // calibration's business
    if (effect != 75) QVERIFY(hs.showsNewPicture());
}

void TestTransitionsC::zoomInEndsOnTheCentre_data()
{
    QTest::addColumn<int>("w");
    QTest::addColumn<int>("h");
    QTest::addColumn<QRect>("source");
    QTest::newRow("800x600") << 800 << 600 << QRect(200, 150, 400, 300);
    QTest::newRow("101x57") << 101 << 57 << QRect(25, 14, 51, 29);
    QTest::newRow("3x2") << 3 << 2 << QRect(1, 0, 1, 1);
    QTest::newRow("1x1 whole") << 1 << 1 << QRect(0, 0, 1, 1);
}

void TestTransitionsC::zoomInEndsOnTheCentre()
{
    QFETCH(int, w);
    QFETCH(int, h);
    QFETCH(QRect, source);
    Harness hs(w, h, 75, 1, 1, 0);
    QVERIFY(hs.run());
    HeadlessTarget expected(w, h);
    QVERIFY(StretchBlt(expected.dc(), 0, 0, w, h, hs.st.neues_bild_dc.dc(), source.x(), source.y(), source.width(),
                       source.height()));
    QVERIFY(hs.target.bitmap() == expected.bitmap());
}

void TestTransitionsC::growFromTheCentre()
{
    // 800 x 600 with width 10: first 25 x 19 at (388, 290), last 795 wide.
    Harness hs(800, 600, 57, 1, 20, 1);
    QRect first;
    hs.target.onPump = [&](int pump) {
        if (pump == 2) first = changedBox(hs);
    };
    hs.failCall(countCalls(800, 600, 57, 1, 20, 1)); // keep the last stretched frame
    QVERIFY(!hs.run());
    QCOMPARE(first, QRect(388, 290, 25, 19));
    QCOMPARE(changedBox(hs), QRect(2, 2, 795, 596));
}

void TestTransitionsC::shrinkKeepsBuffers()
{
    Harness hs(90, 70, 58, 1, 10, 1);
    bool oldAfterFirst = false, edgeNewAfterSecond = false, centreOldAfterSecond = false;
    hs.target.onPump = [&](int pump) {
        const Bitmap& b = hs.target.bitmap();
        if (pump == 2) oldAfterFirst = b.pixel(0, 0) == oldPixel(0, 0) && b.pixel(45, 35) == oldPixel(45, 35);
        if (pump == 3) {
            edgeNewAfterSecond = b.pixel(0, 0) == newPixel(0, 0) && b.pixel(89, 69) == newPixel(89, 69);
            centreOldAfterSecond = b.pixel(45, 35) != hs.st.neues_bild_dc.bitmap()->pixel(45, 35);
        }
        if (pump == 4) hs.st.abbruch = true;
    };
    QVERIFY(!hs.run());
    QVERIFY(oldAfterFirst);
    QVERIFY(edgeNewAfterSecond);
    QVERIFY(centreOldAfterSecond);
    QVERIFY(hs.st.puffer1.exists()); // the show step releases them
    QVERIFY(hs.st.puffer2.exists());
}

void TestTransitionsC::stripFromTheRightStartsLeftOfThePicture()
{
    // Width 100 in steps of 5 ends with the full strip; from the right it is
    // taken from x = -1, so target column 1 shows the picture's column 0.
    for (int direction : {0, 1}) {
        const std::uint32_t seed = seedFor(2, direction);
        const bool fromRight = direction == 1;
        Harness hs(100, 40, 73, seed, 5, 1);
        hs.failCall(countCalls(100, 40, 73, seed, 5, 1));
        QVERIFY(!hs.run());
        QCOMPARE(hs.target.pumps(), 20);
        if (fromRight) {
            QVERIFY(columnIsNew(hs, 1, 0));
            QVERIFY(columnIsNew(hs, 99, 98));
        } else {
            QVERIFY(hs.showsNewPicture());
        }
    }
}

void TestTransitionsC::bandsOfTheWidth_data()
{
    QTest::addColumn<int>("effect");
    QTest::addColumn<int>("w");
    QTest::addColumn<int>("h");
    QTest::addColumn<QRect>("firstFromStart"); // what the first pass blends
    QTest::addColumn<QRect>("firstFromEnd");
    QTest::addColumn<QRect>("secondFromEnd"); // the second pass's new band
    // Counted from the end the first band may lie past the edge: n rounds up.
    QTest::newRow("48 1024x768: 43 high") << 48 << 1024 << 768 << QRect(0, 0, 1024, 43) << QRect()
                                          << QRect(0, 731, 1024, 37);
    QTest::newRow("47 1024x768: 43 wide") << 47 << 1024 << 768 << QRect(0, 0, 43, 768) << QRect()
                                          << QRect(989, 0, 35, 768);
    QTest::newRow("47 11 wide: bands of 1") << 47 << 11 << 5 << QRect(0, 0, 1, 5) << QRect(10, 0, 1, 5)
                                            << QRect(9, 0, 2, 5);
}

void TestTransitionsC::bandsOfTheWidth()
{
    QFETCH(int, effect);
    QFETCH(int, w);
    QFETCH(int, h);
    QFETCH(QRect, firstFromStart);
    QFETCH(QRect, firstFromEnd);
    QFETCH(QRect, secondFromEnd);
    for (int direction : {0, 1}) {
        const std::uint32_t seed = seedFor(2, direction);
        const bool fromEnd = direction == 1;
        Harness hs(w, h, effect, seed, 4, 1);
        QRect afterFirst, afterSecond;
        hs.target.onPump = [&](int pump) {
            if (pump == 2) afterFirst = changedBox(hs);
            if (pump == 4) {
                afterSecond = changedBox(hs);
                hs.st.abbruch = true;
            }
        };
        QVERIFY(!hs.run());
        if (!fromEnd) {
            QCOMPARE(afterFirst, firstFromStart);
        } else {
            QCOMPARE(afterFirst, firstFromEnd);
            QCOMPARE(afterSecond, secondFromEnd);
        }
    }
}

void TestTransitionsC::spiralOrder()
{
    // Entry 16 at 800 x 600: blocks of 17 from (-8, -6); entry 15: the
    // first ring is row 1, column 8, row 6, column 1 of 100-pixel blocks.
    {
        Harness hs(800, 600, 16, 1, 1, 0);
        QRect one, two, rowDone;
        hs.target.onPump = [&](int pump) {
            if (pump == 2) one = changedBox(hs);
            if (pump == 3) two = changedBox(hs);
            if (pump == 49) rowDone = changedBox(hs);
        };
        QVERIFY(hs.run());
        QCOMPARE(one, QRect(0, 0, 9, 11));
        QCOMPARE(two, QRect(0, 0, 26, 11));
        QCOMPARE(rowDone, QRect(0, 0, 800, 11));
    }
    Harness hs(800, 600, 15, 1, 1, 0);
    QRect topRow, rightColumn;
    bool leftStillOld = false, leftNew = false;
    hs.target.onPump = [&](int pump) {
        const Bitmap& b = hs.target.bitmap();
        if (pump == 9) topRow = changedBox(hs);
        if (pump == 15) rightColumn = changedBox(hs);
        if (pump == 23) leftStillOld = b.pixel(50, 450) == oldPixel(50, 450) && b.pixel(50, 550) == newPixel(50, 550);
        if (pump == 29) {
            leftNew = b.pixel(50, 450) == newPixel(50, 450) && b.pixel(50, 150) == newPixel(50, 150);
            hs.st.abbruch = true;
        }
    };
    QVERIFY(!hs.run());
    QCOMPARE(topRow, QRect(0, 0, 800, 100));
    QCOMPARE(rightColumn, QRect(0, 0, 800, 600));
    QVERIFY(leftStillOld);
    QVERIFY(leftNew);
    const Bitmap& b = hs.target.bitmap();
    QCOMPARE(b.pixel(750, 550), newPixel(750, 550));
    QCOMPARE(b.pixel(150, 150), oldPixel(150, 150)); // the second ring not begun
    QCOMPARE(b.pixel(400, 300), oldPixel(400, 300));
}

void TestTransitionsC::rollColumns()
{
    // W = 800: a roll of 133 columns; width 8. The first step shows only
    // the roll's right end at column 0; in the second, roll column 133
    // shows source column x = 8, column 126 the source column 8 + 20.
    Harness hs(800, 600, 59, 1, 10, 1);
    bool first = false, right = false, inner = false, flatLeft = true;
    hs.target.onPump = [&](int pump) {
        if (pump == 2) first = changedBox(hs) == QRect(0, 0, 1, 600) && columnIsNew(hs, 0, 0);
        if (pump == 3) {
            right = columnIsNew(hs, 8, 8);
            inner = columnIsNew(hs, 1, 28);
        }
        if (pump == 40) {
            // x = 304: left of the roll (x - r = 171) the picture lies flat.
            for (int x = 0; x < 171; ++x) flatLeft = flatLeft && columnIsNew(hs, x, x);
            hs.st.abbruch = true;
        }
    };
    QVERIFY(!hs.run());
    QVERIFY(first);
    QVERIFY(right);
    QVERIFY(inner);
    QVERIFY(flatLeft);
}

void TestTransitionsC::greyFirst()
{
    // The one slow test: a second of grey, then 73 blends (width 1 while
    // there is time to wait). The hold is not part of the measured time.
    Harness hs(40, 30, 72, 1, 2, 1);
    const Bitmap grey = greyOf(*hs.st.neues_bild_dc.bitmap());
    const std::int32_t startedAt = hs.st.stoppuhr.StartTime();
    bool greyShown = false;
    int blendSteps = 0;
    hs.target.onPump = [&](int pump) {
        if (pump == 1) greyShown = hs.target.bitmap() == grey;
        if (hs.st.stoppuhr.StartTime() != startedAt) ++blendSteps;
    };
    QVERIFY(hs.run());
    QVERIFY(greyShown);
    QCOMPARE(blendSteps, 73);
    QVERIFY(hs.st.stoppuhr.StartTime() - startedAt > 1000);
    QCOMPARE(hs.st.effekte[72].schritt, 1);
    QVERIFY(hs.showsNewPicture());
}

void TestTransitionsC::greyHoldStops_data()
{
    QTest::addColumn<bool>("dialog");
    QTest::newRow("abbruch") << false;
    QTest::newRow("unterbrechung") << true;
}

void TestTransitionsC::greyHoldStops()
{
    QFETCH(bool, dialog);
    Harness hs(40, 30, 72, 1, 2, 1);
    const Bitmap grey = greyOf(*hs.st.neues_bild_dc.bitmap());
    hs.target.onPump = [&](int) { (dialog ? hs.st.unterbrechung : hs.st.abbruch) = true; };
    QVERIFY(!hs.run());
    QVERIFY(hs.st.fehlertext.isEmpty());
    QCOMPARE(hs.target.pumps(), 1); // at once, not after the second
    QVERIFY(hs.target.bitmap() == grey);
}

void TestTransitionsC::greyScale()
{
    RgbImage img;
    QVERIFY(img.allocate(5, 1));
    const std::uint8_t in[] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255, 10, 20, 30};
    std::copy(std::begin(in), std::end(in), img.rgb.begin());
    QVERIFY(ImageToGrayScale(img));
    const std::uint8_t out[] = {76, 76, 76, 150, 150, 150, 29, 29, 29, 255, 255, 255, 18, 18, 18};
    QVERIFY(std::equal(std::begin(out), std::end(out), img.rgb.begin()));
    RgbImage empty;
    QVERIFY(!ImageToGrayScale(empty));
}

// The raster operations' fast paths these transitions lean on (unscaled
// blends, stretches that repeat rows, copies a few pixels wide) against the
// plain definitions.
namespace {

Bitmap noise(int w, int h, std::uint32_t seed)
{
    Random r(seed);
    Bitmap b(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) b.setPixel(x, y, Pixel(r.next() * 16777216.0));
    return b;
}

} // namespace

void TestTransitionsC::blendIsExact_data()
{
    QTest::addColumn<int>("alpha");
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    for (int a : {0, 1, 2, 71, 72, 127, 128, 200, 254, 255}) QTest::addRow("alpha %d", a) << a << 0 << 0;
    QTest::newRow("clipped left and top") << 100 << -3 << -2;
    QTest::newRow("clipped right and bottom") << 100 << 9 << 7;
}

void TestTransitionsC::blendIsExact()
{
    QFETCH(int, alpha);
    QFETCH(int, x);
    QFETCH(int, y);
    Bitmap dst = noise(37, 23, 1), src = noise(37, 23, 2);
    const Bitmap before = dst;
    Dc d, s;
    d.select(&dst);
    s.select(&src);
    QVERIFY(AlphaBlend(&d, x, y, 30, 20, &s, 2, 1, 30, 20, alpha));
    for (int py = 0; py < 23; ++py)
        for (int px_ = 0; px_ < 37; ++px_) {
            const int sx = px_ - x + 2, sy = py - y + 1;
            Pixel want = before.pixel(px_, py);
            if (px_ >= x && px_ < x + 30 && py >= y && py < y + 20 && sx < 37 && sy < 23) {
                want = 0;
                for (int shift : {0, 8, 16}) {
                    const unsigned a = (src.pixel(sx, sy) >> shift) & 0xff, b = (before.pixel(px_, py) >> shift) & 0xff;
                    want |= ((a * unsigned(alpha) + b * (255u - unsigned(alpha)) + 127u) / 255u) << shift;
                }
            }
            if (dst.pixel(px_, py) != want) QFAIL(qPrintable(QString("pixel %1,%2").arg(px_).arg(py)));
        }
}

void TestTransitionsC::stretchSamplesNearest_data()
{
    QTest::addColumn<QRect>("to");
    QTest::addColumn<QRect>("from");
    QTest::newRow("twice") << QRect(0, 0, 40, 30) << QRect(5, 5, 20, 15);
    QTest::newRow("one and a half") << QRect(0, 0, 40, 30) << QRect(3, 2, 27, 20);
    QTest::newRow("a strip pulled open") << QRect(0, 0, 40, 30) << QRect(0, 0, 3, 30);
    QTest::newRow("shrunk") << QRect(10, 8, 13, 9) << QRect(0, 0, 40, 30);
    QTest::newRow("same size") << QRect(0, 0, 40, 30) << QRect(0, 0, 40, 30);
    QTest::newRow("source one pixel left") << QRect(0, 0, 40, 30) << QRect(-1, 0, 40, 30);
    QTest::newRow("partly outside") << QRect(-5, 20, 50, 20) << QRect(30, 25, 20, 10);
}

void TestTransitionsC::stretchSamplesNearest()
{
    QFETCH(QRect, to);
    QFETCH(QRect, from);
    Bitmap dst = noise(40, 30, 3), src = noise(40, 30, 4);
    const Bitmap before = dst;
    Dc d, s;
    d.select(&dst);
    s.select(&src);
    QVERIFY(StretchBlt(&d, to.x(), to.y(), to.width(), to.height(), &s, from.x(), from.y(), from.width(),
                       from.height()));
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) {
            Pixel want = before.pixel(x, y);
            if (to.contains(x, y)) {
                const int sx = from.x() + (x - to.x()) * from.width() / to.width();
                const int sy = from.y() + (y - to.y()) * from.height() / to.height();
                if (sx >= 0 && sx < 40 && sy >= 0 && sy < 30) want = src.pixel(sx, sy);
            }
            if (dst.pixel(x, y) != want) QFAIL(qPrintable(QString("pixel %1,%2").arg(x).arg(y)));
        }
}

void TestTransitionsC::narrowCopies_data()
{
    QTest::addColumn<int>("width");
    for (int w : {1, 2, 3, 4, 5}) QTest::addRow("%d wide", w) << w;
}

void TestTransitionsC::narrowCopies()
{
    QFETCH(int, width);
    Bitmap dst = noise(12, 9, 5), src = noise(12, 9, 6);
    const Bitmap before = dst;
    Dc d, s;
    d.select(&dst);
    s.select(&src);
    QVERIFY(BitBlt(&d, 10, -1, width, 20, &s, 3, 0));
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 12; ++x) {
            const bool inside = x >= 10 && x < 10 + width && y < 8;
            QCOMPARE(dst.pixel(x, y), inside ? src.pixel(x - 7, y + 1) : before.pixel(x, y));
        }
}

QTEST_GUILESS_MAIN(TestTransitionsC)
#include "test_transitions_c.moc"
