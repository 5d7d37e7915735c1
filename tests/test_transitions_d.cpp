// Album, pinboard and mosaic; memory cards from outside; memory shuffle;
// honeycomb. Each effect runs on a headless target: its result, the final
// frame, the number of steps, stopping, failing calls and the busy-wait it
// leaves for the calibration.
#include "pictures/loading.h"
#include "transition_harness.h"

#include <QColor>
#include <QImage>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

using namespace vm;
using namespace vm::testing;

namespace {

constexpr int kHuge = 100000; // a step width that moves any card in one step

int rnd(double v) { return int(std::nearbyint(v)); }

// Picture pixels that tell their own position.
Pixel positionPixel(int x, int y) { return 0x800000u | (Pixel(x) << 11) | Pixel(y); }

// The picture alone: bw x bh at (bx, by), each pixel telling its position.
void usePicture(Harness& h, int bw, int bh, int bx, int by)
{
    h.st.bild.bild_dc.create(h.target.dc(), bw, bh);
    for (int y = 0; y < bh; ++y)
        for (int x = 0; x < bw; ++x) h.st.bild.bild_dc.bitmap()->setPixel(x, y, positionPixel(x, y));
    h.st.bild.bild_breite = bw;
    h.st.bild.bild_hoehe = bh;
    h.st.bild.bild_x = bx;
    h.st.bild.bild_y = by;
}

Pixel backgroundColour(const Harness& h) { return pixelFromColorRef(h.st.bild.hintergrund_pinsel.color); }

// neues_bild_dc as the show step composes it: background, picture centred.
void composeAsShowStep(Harness& h)
{
    Bitmap& nb = *h.st.neues_bild_dc.bitmap();
    if (h.st.settings.desktop == 1)
        nb = *h.st.desktop_dc.bitmap();
    else
        nb.fill(backgroundColour(h));
    BitBlt(h.st.neues_bild_dc.dc(), h.st.bild.bild_x, h.st.bild.bild_y, h.st.bild.bild_breite,
           h.st.bild.bild_hoehe, h.st.bild.bild_dc.dc(), 0, 0);
}

// The order in which pieces are taken: piece j into a random free slot.
std::vector<int> replayOrder(Random& r, int n)
{
    std::vector<int> order(std::size_t(n) + 1, 0);
    for (int j = 1; j <= n; ++j) {
        int i;
        do i = int(r.next() * n) + 1;
        while (order[std::size_t(i)] != 0);
        order[std::size_t(i)] = j;
    }
    return order;
}

int ceilDiv(int a, int b) { return (a + b - 1) / b; }

QString words(const char* op, int routine)
{
    return QStringLiteral("Fehler in %1 in blende_%2").arg(QLatin1String(op)).arg(routine, 3, 10, QLatin1Char('0'));
}

// The composed next picture for a run: the harness's own picture alone
// (w/2 x h/2, centred) or one covering the whole target.
void prepare(Harness& h, int desktop, bool full)
{
    h.st.settings.desktop = desktop;
    if (full) usePicture(h, targetW(h.target), targetH(h.target), 0, 0);
    composeAsShowStep(h);
}

} // namespace

class TestTransitionsD : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();

    void finalFrame_data();
    void finalFrame();
    void stepCounts_data();
    void stepCounts();
    void cardSlidesFromTheEdges_data();
    void cardSlidesFromTheEdges();
    void shuffleFollowsTheCycles_data();
    void shuffleFollowsTheCycles();
    void memoryCardsPassOverOrUnder_data();
    void memoryCardsPassOverOrUnder();
    void busyWaitForTheCalibration_data();
    void busyWaitForTheCalibration();
    void stepWidthAdaptation_data();
    void stepWidthAdaptation();
    void abortStopsAtOnce_data();
    void abortStopsAtOnce();
    void failureWords_data();
    void failureWords();
    void everyFailureHasTheRoutinesWords_data();
    void everyFailureHasTheRoutinesWords();
    void mosaicStartsAsOneBlock();

    void albumLaysEveryCell_data();
    void albumLaysEveryCell();
    void albumWithoutUsablePicturesEnds_data();
    void albumWithoutUsablePicturesEnds();
    void albumOnTinyTargets_data();
    void albumOnTinyTargets();
    void albumListRebuiltWhileRunning_data();
    void albumListRebuiltWhileRunning();
    void albumUnreadablePicture();
    void pinboardRunsLongEnough_data();
    void pinboardRunsLongEnough();

private:
    // Building a screen-sized harness costs more than most runs: the last one
    // is kept and reset for the next row of the same size.
    std::unique_ptr<Harness> reused_;
    Bitmap reusedOld_;
    Harness& reusedHarness(int w, int h, int effect, std::uint32_t seed, int schritt)
    {
        if (!reused_ || reused_->target.bitmap().width() != w || reused_->target.bitmap().height() != h) {
            reused_.reset();
            reused_ = std::make_unique<Harness>(w, h, effect, seed, schritt);
            reusedOld_ = reused_->target.bitmap();
        }
        Harness& hs = *reused_;
        hs.target.bitmap() = reusedOld_;
        hs.target.resetPumps();
        hs.target.onPump = nullptr;
        RunState& st = hs.st;
        st.aktueller_effekt = effect;
        st.effekte[std::size_t(effect)].schritt = schritt;
        st.effekte[std::size_t(effect)].verzoegerung = 0;
        st.aktuelles_delay = 0;
        st.random.seedWith(seed);
        st.abbruch = st.unterbrechung = false;
        st.puffer1.release();
        st.puffer2.release();
        return hs;
    }

    QTemporaryDir dir_;
    QString path(const QString& name) const { return dir_.path() + "/" + name; }
    void useList(Harness& h, const QStringList& names) const
    {
        h.st.pictureList.clear();
        for (const QString& n : names) h.st.pictureList.push_back(PictureEntry{path(n), {}});
    }
};

void TestTransitionsD::initTestCase()
{
    QVERIFY(dir_.isValid());
    auto save = [this](const QString& name, int w, int h, QColor c) {
        QImage img(w, h, QImage::Format_RGB32);
        img.fill(c);
        QVERIFY(img.save(path(name)));
    };
    save("wide.png", 300, 150, QColor(255, 0, 0));
    save("tall.png", 150, 300, QColor(0, 255, 0));
    save("square.png", 200, 200, QColor(0, 0, 255));
    save("photo.jpg", 400, 300, QColor(200, 100, 50));
    save("tiny.png", 50, 50, QColor(255, 255, 0));
    save("cellsize.png", 133, 100, QColor(255, 0, 255)); // exactly one cell at 800 wide
    save("little.png", 4, 3, QColor(0, 255, 255));       // larger than the 1-pixel cells of tiny targets
    QFile broken(path("broken.jpg"));
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write("this is not a picture");
}

// --- every effect that shows the next picture -------------------------------

void TestTransitionsD::finalFrame_data()
{
    QTest::addColumn<int>("effect");
    QTest::addColumn<int>("w");
    QTest::addColumn<int>("h");
    QTest::addColumn<bool>("full");
    QTest::addColumn<int>("desktop");
    QTest::addColumn<int>("schritt");

    struct Size {
        int w, h;
    };
    const Size small[] = {{64, 48}, {37, 23}, {1, 1}, {3, 2}, {1, 600}, {600, 1}};
    for (int e : {60, 61, 62, 65, 66, 67, 70})
        for (const Size& s : small)
            QTest::addRow("%d %dx%d", e, s.w, s.h) << e << s.w << s.h << false << 0 << 2;
    // Desktop background: cards past the picture carry the desktop of their place.
    for (int e : {60, 61, 62, 67, 70}) {
        QTest::addRow("%d 64x48 desktop", e) << e << 64 << 48 << false << 1 << 2;
        QTest::addRow("%d 37x23 desktop", e) << e << 37 << 23 << false << 1 << 4;
    }
    // Odd sides leave the honeycomb's slanted edges open without the closing copy.
    QTest::addRow("66 800x600") << 66 << 800 << 600 << false << 0 << 1;
    // Screen sizes, with a step that does not divide the paths (rows of one
    // size together: they share one harness).
    for (int e : {60, 61, 62, 65, 66, 67, 70})
        QTest::addRow("%d 1920x1080", e) << e << 1920 << 1080 << false << 1 << 36;
    for (int e : {60, 62, 67})
        QTest::addRow("%d 1920x1080 full", e) << e << 1920 << 1080 << true << 0 << 60;
    for (int e : {60, 61, 62, 65, 66, 67, 70})
        QTest::addRow("%d 3840x2160", e) << e << 3840 << 2160 << false << 1 << 72;
}

void TestTransitionsD::finalFrame()
{
    QFETCH(int, effect);
    QFETCH(int, w);
    QFETCH(int, h);
    QFETCH(bool, full);
    QFETCH(int, desktop);
    QFETCH(int, schritt);
    Harness& hs = reusedHarness(w, h, effect, 7, schritt);
    hs.st.settings.desktop = desktop;
    if (full)
        usePicture(hs, w, h, 0, 0);
    else
        usePicture(hs, std::max(w / 2, 1), std::max(h / 2, 1), rnd((w - w / 2) / 2.0), rnd((h - h / 2) / 2.0));
    composeAsShowStep(hs);
    QVERIFY(hs.run());
    QCOMPARE(hs.st.fehlertext, QString());
    if (!hs.showsNewPicture()) QCOMPARE(hs.pixelsNotNew(), 0LL);
}

void TestTransitionsD::stepCounts_data()
{
    QTest::addColumn<int>("effect");
    QTest::addColumn<int>("w");
    QTest::addColumn<int>("h");
    QTest::addColumn<bool>("full");
    QTest::addColumn<int>("schritt");
    QTest::addColumn<int>("steps");

    // Honeycomb: one step per cell, nx * ny.
    QTest::newRow("65 800x600: 12 x 8") << 65 << 800 << 600 << false << 1 << 96;
    QTest::newRow("66 800x600: r 11, 51 x 33") << 66 << 800 << 600 << false << 1 << 1683;
    QTest::newRow("65 1920x1080: 12 x 7") << 65 << 1920 << 1080 << false << 1 << 84;
    QTest::newRow("66 1920x1080: r 27, 49 x 24") << 66 << 1920 << 1080 << false << 1 << 1176;
    QTest::newRow("65 1x1: r 2, 2 x 2") << 65 << 1 << 1 << false << 1 << 4;
    QTest::newRow("66 3x2") << 66 << 3 << 2 << false << 1 << 4;
    QTest::newRow("65 1x600: 2 x 201") << 65 << 1 << 600 << false << 1 << 402;
    QTest::newRow("66 600x1: 51 x 2") << 66 << 600 << 1 << false << 1 << 102;
    // Memory cards with a step past any path: one step per card.
    QTest::newRow("60 800x600 full: 8 x 6 cards") << 60 << 800 << 600 << true << kHuge << 48;
    QTest::newRow("61 800x600 full") << 61 << 800 << 600 << true << kHuge << 48;
    QTest::newRow("62 800x600 full") << 62 << 800 << 600 << true << kHuge << 48;
    QTest::newRow("60 800x600 picture 400x300: 4 x 3") << 60 << 800 << 600 << false << kHuge << 12;
    QTest::newRow("62 800x600 picture 400x300") << 62 << 800 << 600 << false << kHuge << 12;
    QTest::newRow("60 1x1") << 60 << 1 << 1 << false << kHuge << 1;
    QTest::newRow("61 1x600: b 1, 1 x 300") << 61 << 1 << 600 << false << kHuge << 300;
    // Mosaic: widths 1, 2, 3, ... growing by 1 % more each step, while they
    // fit into half the picture.
    QTest::newRow("70 800x600 full: 27 widths") << 70 << 800 << 600 << true << 1 << 27;
    QTest::newRow("70 800x600 picture 400x300") << 70 << 800 << 600 << false << 1 << 24;
    QTest::newRow("70 1920x1080 full") << 70 << 1920 << 1080 << true << 1 << 30;
    QTest::newRow("70 64x48 picture 32x24") << 70 << 64 << 48 << false << 1 << 11;
    QTest::newRow("70 4x4 picture 2x2") << 70 << 4 << 4 << false << 1 << 1;
    QTest::newRow("70 1x1: no mosaic") << 70 << 1 << 1 << false << 1 << 0;
    QTest::newRow("70 600x1: no mosaic") << 70 << 600 << 1 << false << 1 << 0;
}

void TestTransitionsD::stepCounts()
{
    QFETCH(int, effect);
    QFETCH(int, w);
    QFETCH(int, h);
    QFETCH(bool, full);
    QFETCH(int, schritt);
    QFETCH(int, steps);
    Harness hs(w, h, effect, 3, schritt);
    prepare(hs, 0, full);
    QVERIFY(hs.run());
    QCOMPARE(hs.target.pumps(), steps);
}

// Each card slides along its row or column, from the target's edge (60, 61)
// or the picture's edge (62) to its place, S pixels a step: |place - start|
// \ S + 1 steps, none when the start already lies past the place.
void TestTransitionsD::cardSlidesFromTheEdges_data()
{
    QTest::addColumn<int>("effect");
    QTest::addColumn<int>("w");
    QTest::addColumn<int>("h");
    QTest::addColumn<bool>("full");
    QTest::addColumn<int>("S");
    QTest::addColumn<std::uint32_t>("seed");
    for (int e : {60, 61, 62}) {
        QTest::addRow("%d 160x120 S 1", e) << e << 160 << 120 << false << 1 << 1u;
        QTest::addRow("%d 160x120 S 7", e) << e << 160 << 120 << false << 7 << 2u;
        QTest::addRow("%d 200x120 full S 3", e) << e << 200 << 120 << true << 3 << 3u;
        QTest::addRow("%d 97x61 S 5", e) << e << 97 << 61 << false << 5 << 4u;
    }
}

void TestTransitionsD::cardSlidesFromTheEdges()
{
    QFETCH(int, effect);
    QFETCH(int, w);
    QFETCH(int, h);
    QFETCH(bool, full);
    QFETCH(int, S);
    QFETCH(std::uint32_t, seed);
    Harness hs(w, h, effect, seed, S - 1); // no busy-wait: the width grows by one
    prepare(hs, 0, full);
    const PictureState& p = hs.st.bild;
    const int b = rnd(w / 8.0);
    const int nx = (p.bild_breite - 1) / b + 1, ny = (p.bild_hoehe - 1) / b + 1;
    Random r(seed);
    const std::vector<int> order = replayOrder(r, nx * ny);
    int expected = 0;
    for (int k = 1; k <= nx * ny; ++k) {
        const int t = order[std::size_t(k)];
        const int ct = (t - 1) % nx * b, rt = (t - 1) / nx * b;
        const bool vertical = int(2 * r.next() + 1) == 2;
        const int offset = vertical ? rt : ct, size = vertical ? p.bild_hoehe : p.bild_breite;
        const int origin = vertical ? p.bild_y : p.bild_x, extent = vertical ? h : w;
        const int place = origin + offset;
        const bool forward = offset <= size / 2.0;
        int start = forward ? 0 : extent - 1;
        if (effect == 62) start = forward ? origin : origin + size - b;
        const int path = forward ? place - start : start - place;
        if (path >= 0) expected += path / S + 1;
    }
    QVERIFY(hs.run());
    QCOMPARE(hs.target.pumps(), expected);
    QCOMPARE(hs.st.random.next(), r.next()); // no draw more, none less
}

// 35 cards at 800 x 600; each card travels its row, then its column; the
// cards are laid cycle by cycle, each cycle from the lowest cell not done.
void TestTransitionsD::shuffleFollowsTheCycles_data()
{
    QTest::addColumn<int>("w");
    QTest::addColumn<int>("h");
    QTest::addColumn<bool>("full");
    QTest::addColumn<int>("S");
    QTest::addColumn<std::uint32_t>("seed");
    QTest::addColumn<int>("desktop");
    QTest::newRow("800x600 full, 35 cards, S huge") << 800 << 600 << true << kHuge << 1u << 0;
    QTest::newRow("800x600 full, seed 9") << 800 << 600 << true << kHuge << 9u << 1;
    QTest::newRow("240x180 full, S 1") << 240 << 180 << true << 1 << 2u << 0;
    QTest::newRow("240x180 picture 120x90, S 7") << 240 << 180 << false << 7 << 3u << 1;
    QTest::newRow("301x200 picture 150x100, S 4") << 301 << 200 << false << 4 << 4u << 0;
}

void TestTransitionsD::shuffleFollowsTheCycles()
{
    QFETCH(int, w);
    QFETCH(int, h);
    QFETCH(bool, full);
    QFETCH(int, S);
    QFETCH(std::uint32_t, seed);
    QFETCH(int, desktop);
    Harness hs(w, h, 67, seed, S - 1);
    hs.st.settings.desktop = desktop;
    if (full)
        usePicture(hs, w, h, 0, 0);
    else
        usePicture(hs, w / 2, h / 2, rnd((w - w / 2) / 2.0), rnd((h - h / 2) / 2.0));
    composeAsShowStep(hs);
    const PictureState& p = hs.st.bild;
    const int b = rnd(w / 6.0);
    const int nx = (p.bild_breite - 1) / b + 1, ny = (p.bild_hoehe - 1) / b + 1, n = nx * ny;
    if (full && w == 800) QCOMPARE(n, 35);
    Random r(seed);
    std::vector<int> order = replayOrder(r, n);
    auto cx = [&](int j) { return (j - 1) % nx * b; };
    auto cy = [&](int j) { return (j - 1) / nx * b; };

    int expectedSteps = 0;
    for (int k = 1; k <= n; ++k)
        expectedSteps += ceilDiv(std::abs(cx(k) - cx(order[std::size_t(k)])), S) +
                         ceilDiv(std::abs(cy(k) - cy(order[std::size_t(k)])), S) + 1;
    QList<int> expectedLaying;
    std::vector<bool> done(std::size_t(n) + 1, false);
    for (int s = 1; s <= n; ++s) {
        if (done[std::size_t(s)]) continue;
        int k = s;
        do {
            const int t = order[std::size_t(k)];
            expectedLaying << t;
            done[std::size_t(t)] = true;
            k = t;
        } while (k != s);
    }

    // A cell is laid when its top-left pixel in the floor turns into its own.
    QList<int> laying;
    std::vector<bool> right(std::size_t(n) + 1, false);
    auto look = [&] {
        for (int j = 1; j <= n; ++j) {
            const bool now = hs.st.puffer1.bitmap()->pixel(p.bild_x + cx(j), p.bild_y + cy(j)) ==
                             positionPixel(cx(j), cy(j));
            if (now && !right[std::size_t(j)]) laying << j;
            right[std::size_t(j)] = now;
        }
    };
    hs.target.onPump = [&](int pump) {
        if (pump == 1) {
            // The shuffled picture holds each cell's own card only where the
            // shuffle left it; the first cell is lifted already.
            for (int j = 1; j <= n; ++j)
                right[std::size_t(j)] = hs.st.puffer1.bitmap()->pixel(p.bild_x + cx(j), p.bild_y + cy(j)) ==
                                        positionPixel(cx(j), cy(j));
            QCOMPARE(right[1], false);
            for (int j = 2; j <= n; ++j) QCOMPARE(bool(right[std::size_t(j)]), order[std::size_t(j)] == j);
        } else {
            look();
        }
    };
    QVERIFY(hs.run());
    look();
    QCOMPARE(laying, expectedLaying);
    QCOMPARE(hs.target.pumps(), expectedSteps);
    QCOMPARE(hs.pixelsNotNew(), 0LL);
}

// 60 draws the moving card over the laid ones; 61 and 62 under them; 62
// does not erase its trail.
void TestTransitionsD::memoryCardsPassOverOrUnder_data()
{
    QTest::addColumn<int>("effect");
    QTest::addColumn<bool>("overLaid");
    QTest::addColumn<bool>("trail");
    QTest::newRow("60") << 60 << true << false;
    QTest::newRow("61") << 61 << false << false;
    QTest::newRow("62") << 62 << false << true;
}

void TestTransitionsD::memoryCardsPassOverOrUnder()
{
    QFETCH(int, effect);
    QFETCH(bool, overLaid);
    QFETCH(bool, trail);
    // 160 x 20 covered by the picture: b = 20, one row of 8 cards, S = 1.
    // Looking at the middle of each cell before every step: a laid card is
    // hidden only by a card passing over it; cells not laid yet show card
    // pixels in more than one place only where a trail is left.
    bool hidLaid = false;
    int mostStrayCells = 0;
    for (std::uint32_t seed = 1; seed <= 6; ++seed) {
        Harness hs(160, 20, effect, seed, 0);
        prepare(hs, 0, true);
        hs.target.onPump = [&](int) {
            int stray = 0;
            for (int c = 0; c < 8; ++c) {
                const int x = c * 20 + 10, y = 10;
                const Pixel floor = hs.st.puffer1.bitmap()->pixel(x, y);
                const bool laid = floor == positionPixel(x, y);
                const bool differs = hs.target.bitmap().pixel(x, y) != floor;
                if (laid && differs) hidLaid = true;
                if (!laid && differs) ++stray;
            }
            mostStrayCells = std::max(mostStrayCells, stray);
        };
        QVERIFY(hs.run());
        QCOMPARE(hs.pixelsNotNew(), 0LL);
    }
    QCOMPARE(hidLaid, overLaid);
    // The moving card itself covers the middle of exactly one cell.
    QCOMPARE(mostStrayCells > 1, trail);
}

// The busy-wait during the run and the one left for the calibration.
void TestTransitionsD::busyWaitForTheCalibration_data()
{
    QTest::addColumn<int>("effect");
    QTest::addColumn<bool>("full");
    QTest::addColumn<int>("tdauer");
    QTest::addColumn<int>("delay");
    QTest::addColumn<int>("during");
    QTest::addColumn<int>("after");
    // 800 x 600; cards: 038 b 100, 48 full-screen, 12 for the 400 x 300
    // picture; 046 b 133, 35 full-screen, 12 for the picture.
    QTest::newRow("60 tdauer 5 delay 9: 20 per step") << 60 << false << 5 << 9 << 20 << 5;
    QTest::newRow("60 full tdauer 5 delay 9") << 60 << true << 5 << 9 << 20 << 20;
    QTest::newRow("61 tdauer 10: unchanged, 10 / 48 * 12 = 2.5 -> 2") << 61 << false << 10 << 10 << 10 << 2;
    QTest::newRow("62 tdauer 12: 14 / 4 = 3.5 -> 4") << 62 << false << 12 << 14 << 14 << 4;
    QTest::newRow("60 tdauer 3 delay 0: 3.33 -> 3") << 60 << false << 3 << 0 << 3 << 1;
    QTest::newRow("60 tdauer 0 counts as 1") << 60 << false << 0 << 9 << 100 << 25;
    QTest::newRow("67 tdauer 2 delay 9: 75") << 67 << false << 2 << 9 << 75 << 26;
    QTest::newRow("67 tdauer 2 delay 2: 22.5 -> 22") << 67 << false << 2 << 2 << 22 << 8;
    QTest::newRow("67 tdauer 2 delay 0: 7.5 -> 8") << 67 << true << 2 << 0 << 8 << 8;
    QTest::newRow("67 full tdauer 15: unchanged") << 67 << true << 15 << 35 << 35 << 35;
    QTest::newRow("67 tdauer 20 delay 7: 2.4 -> 2") << 67 << false << 20 << 7 << 7 << 2;
    QTest::newRow("67 huge delay stays in range") << 67 << true << 1 << 2147483647 << 2147483647 << 2147483647;
}

void TestTransitionsD::busyWaitForTheCalibration()
{
    QFETCH(int, effect);
    QFETCH(bool, full);
    QFETCH(int, tdauer);
    QFETCH(int, delay);
    QFETCH(int, during);
    QFETCH(int, after);
    Harness hs(800, 600, effect, 5, kHuge, delay);
    prepare(hs, 0, full);
    hs.st.settings.tdauer = tdauer;
    int seen = -1;
    bool waitedAlways = true;
    hs.target.onPump = [&](int pump) {
        if (pump == 1) seen = hs.st.aktuelles_delay;
        waitedAlways = waitedAlways && hs.st.aktuelles_delay == seen;
    };
    if (delay == 2147483647) {
        // A stop at the first step shows the wait without spending it.
        hs.target.onPump = [&](int) {
            seen = hs.st.aktuelles_delay;
            hs.st.abbruch = true;
        };
        QVERIFY(!hs.run());
        QCOMPARE(seen, during);
        return;
    }
    QVERIFY(hs.run());
    QCOMPARE(seen, during);
    QVERIFY(waitedAlways);
    QCOMPARE(hs.st.aktuelles_delay, after);
}

void TestTransitionsD::stepWidthAdaptation_data()
{
    QTest::addColumn<int>("effect");
    QTest::addColumn<int>("schritt");
    QTest::addColumn<int>("delay");
    QTest::addColumn<int>("after");
    for (int e : {60, 61, 62, 67}) {
        QTest::addRow("%d no wait: wider", e) << e << 3 << 0 << 4;
        QTest::addRow("%d wait: narrower", e) << e << 3 << 5 << 2;
        QTest::addRow("%d floor 1", e) << e << 1 << 5 << 1;
    }
    // Neither the honeycomb, the mosaic nor the album use a step width.
    QTest::newRow("65 untouched") << 65 << 3 << 0 << 3;
    QTest::newRow("70 untouched") << 70 << 3 << 0 << 3;
}

void TestTransitionsD::stepWidthAdaptation()
{
    QFETCH(int, effect);
    QFETCH(int, schritt);
    QFETCH(int, delay);
    QFETCH(int, after);
    Harness hs(48, 36, effect, 1, schritt, delay);
    prepare(hs, 0, false);
    QVERIFY(hs.run());
    QCOMPARE(hs.st.effekte[std::size_t(effect)].schritt, after);
}

void TestTransitionsD::abortStopsAtOnce_data()
{
    QTest::addColumn<int>("effect");
    QTest::addColumn<int>("step");
    QTest::addColumn<bool>("unterbrechung");
    for (int e : {60, 61, 62, 65, 66, 67, 68, 69, 70})
        for (int step : {1, 2, 9}) {
            QTest::addRow("%d at step %d", e, step) << e << step << false;
            if (step == 2) QTest::addRow("%d interrupted at step 2", e) << e << step << true;
        }
}

void TestTransitionsD::abortStopsAtOnce()
{
    QFETCH(int, effect);
    QFETCH(int, step);
    QFETCH(bool, unterbrechung);
    Harness hs(160, 120, effect, 11, 1);
    prepare(hs, 0, false);
    useList(hs, {"wide.png", "tall.png"});
    hs.target.onPump = [&](int pump) {
        if (pump != step) return;
        if (unterbrechung)
            hs.st.unterbrechung = true;
        else
            hs.st.abbruch = true;
    };
    QVERIFY(!hs.run());
    QCOMPARE(hs.st.fehlertext, QString());
    QCOMPARE(hs.target.pumps(), step);
}

// Where a failing call lies, and the words it leaves.
void TestTransitionsD::failureWords_data()
{
    QTest::addColumn<int>("effect");
    QTest::addColumn<int>("desktop");
    QTest::addColumn<bool>("onCard"); // the call fails on the card buffer, counted from step 1
    QTest::addColumn<int>("call");
    QTest::addColumn<QString>("expected");
    for (int e : {60, 61, 62})
        QTest::addRow("%d: background onto the target", e) << e << 0 << false << 1 << words("BitBlt", 38);
    QTest::newRow("60: first card's colour") << 60 << 0 << true << 1 << words("FillRect", 38);
    QTest::newRow("60: first card's picture") << 60 << 0 << true << 2 << words("BitBlt", 38);
    QTest::newRow("61: first card's desktop") << 61 << 1 << true << 2 << words("BitBlt", 38);
    QTest::newRow("60: first card onto the target") << 60 << 0 << false << 2 << words("BitBlt", 38);
    QTest::newRow("65: middle band") << 65 << 0 << false << 1 << words("BitBlt", 45);
    QTest::newRow("65: a slanted side") << 65 << 0 << false << 4 << words("BitBlt", 45);
    QTest::newRow("67: shuffled picture onto the target") << 67 << 0 << false << 1 << words("BitBlt", 46);
    QTest::newRow("67: first card drawn") << 67 << 0 << false << 2 << words("BitBlt", 46);
    QTest::newRow("68: colour background") << 68 << 0 << false << 1 << words("FillRect", 47);
    QTest::newRow("69: desktop background") << 69 << 1 << false << 1 << words("BitBlt", 47);
    QTest::newRow("68: first thumbnail") << 68 << 0 << false << 2 << words("BitBlt", 47);
    QTest::newRow("70: colour background") << 70 << 0 << false << 1 << words("FillRect", 48);
    QTest::newRow("70: desktop background") << 70 << 1 << false << 1 << words("BitBlt", 48);
    QTest::newRow("70: first block picture") << 70 << 0 << false << 2 << words("StretchBlt", 48);
    QTest::newRow("70: reduction") << 70 << 0 << true << 1 << words("StretchBlt", 48);
}

void TestTransitionsD::failureWords()
{
    QFETCH(int, effect);
    QFETCH(int, desktop);
    QFETCH(bool, onCard);
    QFETCH(int, call);
    QFETCH(QString, expected);
    Harness hs(160, 120, effect, 2, 1);
    prepare(hs, desktop, false);
    useList(hs, {"wide.png", "square.png"});
    if (onCard) {
        hs.faults.failAt = call;
        hs.target.onPump = [&](int pump) {
            // 038 composes its cards in puffer2; 048 reduces into puffer1.
            BufferTriple& buffer = effect == 70 ? hs.st.puffer1 : hs.st.puffer2;
            if (pump == 1) buffer.dc()->faultHook = &hs.faults;
        };
    } else {
        hs.failCall(call);
    }
    QVERIFY(!hs.run());
    QCOMPARE(hs.st.fehlertext, expected);
}

// Whichever call fails, the run stops with one of the routine's own words;
// every kind of call the routine makes is met.
void TestTransitionsD::everyFailureHasTheRoutinesWords_data()
{
    QTest::addColumn<int>("effect");
    QTest::addColumn<int>("desktop");
    QTest::addColumn<bool>("onCard");
    QTest::addColumn<QStringList>("expected");
    const QStringList b38{words("BitBlt", 38)}, bf38{words("BitBlt", 38), words("FillRect", 38)};
    const QStringList b46{words("BitBlt", 46)}, bf46{words("BitBlt", 46), words("FillRect", 46)};
    for (int e : {60, 61, 62}) {
        QTest::addRow("%d target", e) << e << 0 << false << b38;
        QTest::addRow("%d cards", e) << e << 0 << true << bf38;
        QTest::addRow("%d cards on the desktop", e) << e << 1 << true << bf38;
    }
    QTest::newRow("65 target") << 65 << 0 << false << QStringList{words("BitBlt", 45)};
    QTest::newRow("67 target") << 67 << 0 << false << b46;
    QTest::newRow("67 cards") << 67 << 0 << true << bf46;
    QTest::newRow("67 cards on the desktop") << 67 << 1 << true << bf46;
    QTest::newRow("68 target") << 68 << 0 << false << QStringList{words("BitBlt", 47), words("FillRect", 47)};
    QTest::newRow("69 target on the desktop") << 69 << 1 << false << QStringList{words("BitBlt", 47)};
    QTest::newRow("70 target")
        << 70 << 0 << false << QStringList{words("BitBlt", 48), words("FillRect", 48), words("StretchBlt", 48)};
}

void TestTransitionsD::everyFailureHasTheRoutinesWords()
{
    QFETCH(int, effect);
    QFETCH(int, desktop);
    QFETCH(bool, onCard);
    QFETCH(QStringList, expected);
    QSet<QString> seen;
    // The album loads a picture per cell: a flat target has few cells. The
    // pinboard lays 25 at least, all alike after the first few.
    const bool album = effect == 68 || effect == 69;
    const int lastCall = effect == 69 ? 4 : 5000;
    for (int call = 1; call <= lastCall; ++call) {
        Harness hs(40, album ? 6 : 30, effect, 3, 3);
        prepare(hs, desktop, false);
        useList(hs, {"wide.png"});
        hs.faults.failAt = call;
        if (onCard)
            hs.target.onPump = [&](int pump) {
                if (pump == 1) hs.st.puffer2.dc()->faultHook = &hs.faults;
            };
        else
            hs.target.dc()->faultHook = &hs.faults;
        if (effect == 69) {
            hs.st.stoppuhr = CStopWatch([&hs] { return std::uint32_t(hs.target.pumps()) * 1000u; });
            hs.st.stoppuhr.StartWatch();
        }
        const bool ok = hs.run();
        if (ok) break; // fewer calls than `call`: every call has been failed once
        QVERIFY2(!hs.st.fehlertext.isEmpty(), qPrintable(QString::number(call)));
        seen << hs.st.fehlertext;
        QVERIFY(call < 5000);
    }
    QStringList got = seen.values();
    got.sort();
    QStringList want = expected;
    want.sort();
    QCOMPARE(got, want);
}

// After the first step the picture is one block of one colour.
void TestTransitionsD::mosaicStartsAsOneBlock()
{
    Harness hs(64, 48, 70, 1, 1);
    prepare(hs, 0, false);
    QSet<Pixel> afterFirst;
    hs.target.onPump = [&](int pump) {
        if (pump != 2) return;
        const PictureState& p = hs.st.bild;
        for (int y = p.bild_y; y < p.bild_y + p.bild_hoehe; ++y)
            for (int x = p.bild_x; x < p.bild_x + p.bild_breite; ++x) afterFirst << hs.target.bitmap().pixel(x, y);
        // Outside the picture: the background.
        QCOMPARE(hs.target.bitmap().pixel(0, 0), backgroundColour(hs));
    };
    QVERIFY(hs.run());
    QCOMPARE(afterFirst.size(), 1);
}

// --- album and pinboard ------------------------------------------------------

void TestTransitionsD::albumLaysEveryCell_data()
{
    QTest::addColumn<int>("w");
    QTest::addColumn<int>("h");
    QTest::addColumn<QStringList>("list");
    QTest::addColumn<int>("desktop");
    QTest::addColumn<int>("cells");
    QTest::addColumn<int>("minSteps");
    const QStringList large{"wide.png", "tall.png", "square.png"};
    const QStringList mixed{"wide.png", "tiny.png", "cellsize.png", "tall.png"};
    // 800 x 600: s = 133, 799 \ 133 + 1 = 7 columns, 599 \ 133 + 1 = 5 rows.
    QTest::newRow("800x600: 7 x 5") << 800 << 600 << large << 0 << 35 << 35;
    QTest::newRow("800x600 on the desktop") << 800 << 600 << large << 1 << 35 << 35;
    QTest::newRow("800x600 small ones skipped") << 800 << 600 << mixed << 0 << 35 << 35;
    QTest::newRow("1920x1080: 6 x 4") << 1920 << 1080 << QStringList{"photo.jpg", "wide.png"} << 0 << 24 << 24;
    QTest::newRow("3x2: cell of 1 pixel") << 3 << 2 << large << 0 << 6 << 6;
    QTest::newRow("1x60: 60 cells of 1 pixel") << 1 << 60 << large << 0 << 60 << 60;
}

void TestTransitionsD::albumLaysEveryCell()
{
    QFETCH(int, w);
    QFETCH(int, h);
    QFETCH(QStringList, list);
    QFETCH(int, desktop);
    QFETCH(int, cells);
    QFETCH(int, minSteps);
    Harness hs(w, h, 68, 4);
    hs.st.settings.desktop = desktop;
    useList(hs, list);
    QVERIFY(hs.run());
    QCOMPARE(hs.st.fehlertext, QString());
    QVERIFY(hs.target.pumps() >= minSteps);
    if (list.size() == 3) QCOMPARE(hs.target.pumps(), cells); // every picture is usable

    // Every cell fully on the target holds one thumbnail: the picture's
    // colour, its aspect kept, its longer side the cell's, centred.
    const int s = std::max(rnd(w / 6.0), 1);
    const Bitmap& t = hs.target.bitmap();
    auto background = [&](int x, int y) {
        return desktop == 1 ? desktopPixel(x, y) : backgroundColour(hs);
    };
    const QSet<Pixel> wide{0xff0000}, tall{0x00ff00}, square{0x0000ff}, tiny{0xffff00}, cellsize{0xff00ff};
    int checked = 0;
    for (int cy = 0; cy + s <= h; cy += s)
        for (int cx = 0; cx + s <= w; cx += s) {
            int left = w, right = -1, top = h, bottom = -1;
            for (int y = cy; y < cy + s; ++y)
                for (int x = cx; x < cx + s; ++x)
                    if (t.pixel(x, y) != background(x, y)) {
                        left = std::min(left, x), right = std::max(right, x);
                        top = std::min(top, y), bottom = std::max(bottom, y);
                    }
            QVERIFY2(right >= 0, "empty cell");
            const int tw = right - left + 1, th = bottom - top + 1;
            const Pixel c = t.pixel(left, top);
            QVERIFY(!tiny.contains(c) && !cellsize.contains(c));
            if (s > 2 && w >= 800) {
                if (wide.contains(c)) QVERIFY(std::abs(tw - 2 * th) <= 1);
                if (tall.contains(c)) QVERIFY(std::abs(th - 2 * tw) <= 1);
                if (square.contains(c)) QCOMPARE(tw, th);
                QCOMPARE(std::max(tw, th), s);
                QVERIFY(std::abs((left - cx) - (cx + s - 1 - right)) <= 1);
                QVERIFY(std::abs((top - cy) - (cy + s - 1 - bottom)) <= 1);
            }
            ++checked;
        }
    QVERIFY(checked > 0);
}

void TestTransitionsD::albumWithoutUsablePicturesEnds_data()
{
    QTest::addColumn<int>("effect");
    QTest::addColumn<QStringList>("list");
    QTest::newRow("68 empty list") << 68 << QStringList{};
    QTest::newRow("69 empty list") << 69 << QStringList{};
    QTest::newRow("68 only small pictures") << 68 << QStringList{"tiny.png", "cellsize.png"};
    QTest::newRow("69 only small pictures") << 69 << QStringList{"tiny.png", "cellsize.png", "tiny.png"};
}

void TestTransitionsD::albumWithoutUsablePicturesEnds()
{
    QFETCH(int, effect);
    QFETCH(QStringList, list);
    Harness hs(800, 600, effect, 6);
    useList(hs, list);
    QVERIFY(hs.run());
    QCOMPARE(hs.st.fehlertext, QString());
    // Each distinct picture is looked at; the run ends soon after.
    QVERIFY(hs.target.pumps() >= int(QSet<QString>(list.begin(), list.end()).size()));
    QVERIFY(hs.target.pumps() < 200);
    const Bitmap& t = hs.target.bitmap();
    for (int y = 0; y < t.height(); y += 7)
        for (int x = 0; x < t.width(); x += 7) QCOMPARE(t.pixel(x, y), backgroundColour(hs));
}

// Cells of one pixel: the album fills them all, the pinboard lays its 25.
void TestTransitionsD::albumOnTinyTargets_data()
{
    QTest::addColumn<int>("effect");
    QTest::addColumn<int>("w");
    QTest::addColumn<int>("h");
    QTest::addColumn<int>("steps");
    QTest::newRow("68 1x1") << 68 << 1 << 1 << 1;
    QTest::newRow("68 3x2") << 68 << 3 << 2 << 6;
    QTest::newRow("68 1x600") << 68 << 1 << 600 << 600;
    QTest::newRow("68 600x1: s 100") << 68 << 600 << 1 << 6;
    QTest::newRow("69 1x1") << 69 << 1 << 1 << 25;
    QTest::newRow("69 3x2") << 69 << 3 << 2 << 25;
    QTest::newRow("69 1x600") << 69 << 1 << 600 << 25;
}

void TestTransitionsD::albumOnTinyTargets()
{
    QFETCH(int, effect);
    QFETCH(int, w);
    QFETCH(int, h);
    QFETCH(int, steps);
    Harness hs(w, h, effect, 5);
    useList(hs, {w >= 600 ? "wide.png" : "little.png"});
    hs.st.stoppuhr = CStopWatch([&hs] { return std::uint32_t(hs.target.pumps()) * 1000u; });
    hs.st.stoppuhr.StartWatch();
    QVERIFY(hs.run());
    QCOMPARE(hs.target.pumps(), steps);
    if (effect == 68 && w < 600) { // every 1-pixel cell holds its thumbnail
        const Bitmap& t = hs.target.bitmap();
        for (int y = 0; y < t.height(); ++y) QVERIFY(t.pixel(0, y) != backgroundColour(hs));
    }
}

// The list can be rebuilt while events run: shorter, without anything
// usable, or empty.
void TestTransitionsD::albumListRebuiltWhileRunning_data()
{
    QTest::addColumn<int>("effect");
    QTest::addColumn<QStringList>("rebuilt");
    QTest::addColumn<int>("steps");
    // 800 x 600: 35 cells; the pinboard's clock gives 25 pictures.
    QTest::newRow("68 shorter list") << 68 << QStringList{"wide.png"} << 35;
    QTest::newRow("69 shorter list") << 69 << QStringList{"wide.png"} << 25;
    QTest::newRow("68 only a small picture left") << 68 << QStringList{"tiny.png"} << 3;
    QTest::newRow("68 emptied") << 68 << QStringList{} << 3;
    QTest::newRow("69 emptied") << 69 << QStringList{} << 3;
}

void TestTransitionsD::albumListRebuiltWhileRunning()
{
    QFETCH(int, effect);
    QFETCH(QStringList, rebuilt);
    QFETCH(int, steps);
    Harness hs(800, 600, effect, 8);
    useList(hs, {"wide.png", "tall.png", "square.png", "photo.jpg", "square.png", "tall.png"});
    hs.st.stoppuhr = CStopWatch([&hs] { return std::uint32_t(hs.target.pumps()) * 1000u; });
    hs.st.stoppuhr.StartWatch();
    hs.target.onPump = [&](int pump) {
        if (pump == 3) useList(hs, rebuilt);
    };
    QVERIFY(hs.run());
    QCOMPARE(hs.st.fehlertext, QString());
    QCOMPARE(hs.target.pumps(), steps);
}

void TestTransitionsD::albumUnreadablePicture()
{
    Harness hs(160, 120, 68, 1);
    useList(hs, {"broken.jpg"});
    RgbImage img;
    const QString expected = LoadPicture(path("broken.jpg"), "JPG", false, img);
    QVERIFY(!expected.isEmpty());
    QVERIFY(!hs.run());
    QCOMPARE(hs.st.fehlertext, expected);

    // A readable picture sets the picture size to its own.
    Harness ok(160, 120, 68, 1);
    useList(ok, {"wide.png"});
    QVERIFY(ok.run());
    QCOMPARE(ok.st.bild.bild_breite, 300);
    QCOMPARE(ok.st.bild.bild_hoehe, 150);
}

// At least 25 pictures and more than 15 s; thumbnails never touch the top
// row or the left column (their corner is at least 1, 1).
void TestTransitionsD::pinboardRunsLongEnough_data()
{
    QTest::addColumn<int>("msPerStep");
    QTest::addColumn<int>("steps");
    QTest::newRow("fast pictures: 25") << 1000 << 25;
    QTest::newRow("slow clock: more than 15 s") << 100 << 151;
}

void TestTransitionsD::pinboardRunsLongEnough()
{
    QFETCH(int, msPerStep);
    QFETCH(int, steps);
    Harness hs(300, 200, 69, 12);
    useList(hs, {"wide.png", "tall.png", "square.png"});
    hs.st.stoppuhr = CStopWatch([&hs, msPerStep] { return std::uint32_t(hs.target.pumps() * msPerStep); });
    hs.st.stoppuhr.StartWatch();
    QVERIFY(hs.run());
    QCOMPARE(hs.target.pumps(), steps);
    const Bitmap& t = hs.target.bitmap();
    for (int x = 0; x < t.width(); ++x) QCOMPARE(t.pixel(x, 0), backgroundColour(hs));
    for (int y = 0; y < t.height(); ++y) QCOMPARE(t.pixel(0, y), backgroundColour(hs));
}

QTEST_GUILESS_MAIN(TestTransitionsD)
#include "test_transitions_d.moc"
