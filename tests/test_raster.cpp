// Pixel-exact checks of the raster layer on tiny bitmaps, plus the clock,
// the stop watch and the random generator it is paced and driven by.
#include "platform/clock.h"
#include "platform/gdi.h"
#include "platform/target.h"
#include "transitions/stopwatch.h"

#include <QtTest>

using namespace vm;

namespace {

// Source pixels that tell their own position apart: 0x00XXYY + 1.
Bitmap numbered(int w, int h)
{
    Bitmap b(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) b.setPixel(x, y, Pixel(0x10000 + x * 256 + y));
    return b;
}

// What a plain copy must produce: every destination pixel whose partner
// lies inside the source takes it, everything else stays.
Bitmap referenceCopy(const Bitmap& dst, int x, int y, int w, int h, const Bitmap& src, int sx, int sy)
{
    Bitmap out = dst;
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i) {
            const int dx = x + i, dy = y + j, px = sx + i, py = sy + j;
            if (dx < 0 || dy < 0 || dx >= dst.width() || dy >= dst.height()) continue;
            if (px < 0 || py < 0 || px >= src.width() || py >= src.height()) continue;
            out.setPixel(dx, dy, src.pixel(px, py));
        }
    return out;
}

// The plain definitions the fast paths must match pixel for pixel.
// Stretch: destination index i of a rectangle samples source index
// floor(i * |s| / |d|), mirrored when the signs differ.
Bitmap referenceStretch(const Bitmap& dst, int x, int y, int w, int h, const Bitmap& src, int sx, int sy, int sw,
                        int sh, int alpha)
{
    Bitmap out = dst;
    auto axis = [](int dn, int s0, int sn, long long i) {
        const long long dAbs = std::abs(dn), sAbs = std::abs(sn);
        long long k = i * sAbs / dAbs;
        if ((dn < 0) != (sn < 0)) k = sAbs - 1 - k;
        return (sn < 0 ? s0 + sn : s0) + k;
    };
    const int dx0 = w < 0 ? x + w : x, dy0 = h < 0 ? y + h : y;
    for (int j = 0; j < std::abs(h); ++j)
        for (int i = 0; i < std::abs(w); ++i) {
            const int dx = dx0 + i, dy = dy0 + j;
            const long long px = axis(w, sx, sw, i), py = axis(h, sy, sh, j);
            if (dx < 0 || dy < 0 || dx >= dst.width() || dy >= dst.height()) continue;
            if (px < 0 || py < 0 || px >= src.width() || py >= src.height()) continue;
            const Pixel in = src.pixel(int(px), int(py)), was = dst.pixel(dx, dy);
            Pixel p = in;
            if (alpha >= 0) {
                p = 0;
                for (int shift : {0, 8, 16}) {
                    const unsigned a = (in >> shift) & 0xff, b = (was >> shift) & 0xff;
                    p |= Pixel((a * unsigned(alpha) + b * (255u - unsigned(alpha)) + 127u) / 255u) << shift;
                }
            }
            out.setPixel(dx, dy, p);
        }
    return out;
}

Bitmap noise(int w, int h, std::uint32_t seed)
{
    Bitmap b(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) b.setPixel(x, y, (Pixel(x * 2654435761u ^ y * 40503u ^ seed * 97u)) & 0xffffffu);
    return b;
}

std::vector<Pixel> rowOf(const Bitmap& b, int y)
{
    return std::vector<Pixel>(b.row(y), b.row(y) + b.width());
}

} // namespace

class TestRaster : public QObject {
    Q_OBJECT
private slots:
    void bitBltClipping_data();
    void bitBltClipping();
    void bitBltOverlapping_data();
    void bitBltOverlapping();
    void stretchNearest_data();
    void stretchNearest();
    void stretchVertical();
    void alphaBlend_data();
    void alphaBlend();
    void fillRectClipsAndConvertsColour();
    void fastPathsMatchDefinitions_data();
    void fastPathsMatchDefinitions();
    void missingContextFails();
    void faultHookFailsTheNthCallOnly();
    void bufferTripleLifecycle();
    void bitmapCreationLimits();
    void headlessTargetCountsPumps();
    void clockDifferencesSurviveWrap();
    void stopWatchAcrossWrap();
    void randomIsSeededAndInRange();
};

void TestRaster::bitBltClipping_data()
{
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<int>("w");
    QTest::addColumn<int>("h");
    QTest::addColumn<int>("sx");
    QTest::addColumn<int>("sy");
    // Destination 6x5, source 5x4.
    QTest::newRow("inside") << 1 << 1 << 3 << 2 << 1 << 1;
    QTest::newRow("whole source") << 0 << 0 << 5 << 4 << 0 << 0;
    QTest::newRow("dst left") << -2 << 1 << 4 << 2 << 0 << 0;
    QTest::newRow("dst top") << 1 << -3 << 2 << 5 << 0 << 0;
    QTest::newRow("dst right") << 4 << 0 << 5 << 3 << 0 << 0;
    QTest::newRow("dst bottom") << 0 << 3 << 3 << 4 << 0 << 0;
    QTest::newRow("src left") << 2 << 1 << 3 << 2 << -2 << 0;
    QTest::newRow("src top") << 2 << 1 << 3 << 3 << 0 << -1;
    QTest::newRow("src right") << 0 << 0 << 4 << 2 << 3 << 0;
    QTest::newRow("src bottom") << 0 << 0 << 2 << 4 << 0 << 2;
    QTest::newRow("both sides at once") << -1 << -1 << 9 << 9 << -1 << -2;
    QTest::newRow("fully clipped right") << 6 << 0 << 3 << 3 << 0 << 0;
    QTest::newRow("fully clipped source") << 0 << 0 << 3 << 3 << 5 << 0;
    QTest::newRow("zero width") << 0 << 0 << 0 << 3 << 0 << 0;
    QTest::newRow("negative height") << 0 << 0 << 3 << -2 << 0 << 0;
    QTest::newRow("1x1") << 5 << 4 << 1 << 1 << 4 << 3;
}

void TestRaster::bitBltClipping()
{
    QFETCH(int, x);
    QFETCH(int, y);
    QFETCH(int, w);
    QFETCH(int, h);
    QFETCH(int, sx);
    QFETCH(int, sy);
    Bitmap src = numbered(5, 4), dst(6, 5, 0xabcdef);
    const Bitmap expected = referenceCopy(dst, x, y, w, h, src, sx, sy);
    Dc ds, dd;
    ds.select(&src);
    dd.select(&dst);
    QVERIFY(BitBlt(&dd, x, y, w, h, &ds, sx, sy));
    QVERIFY(dst == expected);
}

void TestRaster::bitBltOverlapping_data()
{
    QTest::addColumn<int>("dx");
    QTest::addColumn<int>("dy");
    QTest::newRow("right by 1") << 1 << 0;
    QTest::newRow("left by 1") << -1 << 0;
    QTest::newRow("down by 1") << 0 << 1;
    QTest::newRow("up by 1") << 0 << -1;
    QTest::newRow("down right") << 2 << 3;
    QTest::newRow("up left") << -2 << -1;
    QTest::newRow("down left") << -1 << 2;
    QTest::newRow("in place") << 0 << 0;
}

void TestRaster::bitBltOverlapping()
{
    QFETCH(int, dx);
    QFETCH(int, dy);
    Bitmap b = numbered(7, 6);
    // The copy must behave as if the source had been read before writing.
    const Bitmap snapshot = b;
    const Bitmap expected = referenceCopy(b, 1 + dx, 1 + dy, 5, 4, snapshot, 1, 1);
    Dc dc;
    dc.select(&b);
    QVERIFY(BitBlt(&dc, 1 + dx, 1 + dy, 5, 4, &dc, 1, 1));
    QVERIFY(b == expected);
}

void TestRaster::stretchNearest_data()
{
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("w");
    QTest::addColumn<int>("sx");
    QTest::addColumn<int>("sw");
    QTest::addColumn<QString>("expected"); // letters = source columns, '.' = untouched
    // Source row "abcd", destination 8 wide.
    QTest::newRow("same size") << 0 << 4 << 0 << 4 << "abcd....";
    QTest::newRow("double") << 0 << 8 << 0 << 4 << "aabbccdd";
    QTest::newRow("half") << 0 << 2 << 0 << 4 << "ac......";
    QTest::newRow("odd up 3 to 7") << 0 << 7 << 0 << 3 << "aaabbcc.";
    QTest::newRow("odd down 3 to 2") << 0 << 2 << 1 << 3 << "bc......";
    QTest::newRow("2 to 3") << 1 << 3 << 0 << 2 << ".aab....";
    QTest::newRow("mirror by dst width") << 4 << -4 << 0 << 4 << "dcba....";
    QTest::newRow("mirror by src width") << 0 << 4 << 4 << -4 << "dcba....";
    QTest::newRow("both negative: no mirror") << 4 << -4 << 4 << -4 << "abcd....";
    QTest::newRow("mirror and double") << 8 << -8 << 0 << 4 << "ddccbbaa";
    QTest::newRow("clipped left") << -2 << 8 << 0 << 4 << "bbccdd..";
    QTest::newRow("clipped right") << 5 << 8 << 0 << 4 << ".....aab";
    QTest::newRow("source partly outside") << 0 << 4 << 2 << 4 << "cd......";
    QTest::newRow("empty") << 0 << 0 << 0 << 4 << "........";
}

void TestRaster::stretchNearest()
{
    QFETCH(int, x);
    QFETCH(int, w);
    QFETCH(int, sx);
    QFETCH(int, sw);
    QFETCH(QString, expected);
    Bitmap src(4, 1), dst(8, 1, '.');
    for (int i = 0; i < 4; ++i) src.setPixel(i, 0, Pixel('a' + i));
    Dc ds, dd;
    ds.select(&src);
    dd.select(&dst);
    dd.stretchMode = StretchMode::ColorOnColor;
    QVERIFY(StretchBlt(&dd, x, 0, w, 1, &ds, sx, 0, sw, 1));
    QString got;
    for (Pixel p : rowOf(dst, 0)) got += QChar(char(p));
    QCOMPARE(got, expected);
}

void TestRaster::stretchVertical()
{
    // 1x3 column "xyz" to 2x5 upside down: rows floor(i*3/5) mirrored.
    Bitmap src(1, 3), dst(2, 5);
    src.setPixel(0, 0, 'x');
    src.setPixel(0, 1, 'y');
    src.setPixel(0, 2, 'z');
    Dc ds, dd;
    ds.select(&src);
    dd.select(&dst);
    QVERIFY(StretchBlt(&dd, 0, 5, 2, -5, &ds, 0, 0, 1, 3));
    QString col;
    for (int y = 0; y < 5; ++y) {
        QCOMPARE(dst.pixel(0, y), dst.pixel(1, y));
        col += QChar(char(dst.pixel(0, y)));
    }
    QCOMPARE(col, QString("zzyyx"));
}

void TestRaster::alphaBlend_data()
{
    QTest::addColumn<int>("alpha");
    QTest::addColumn<uint>("src");
    QTest::addColumn<uint>("dst");
    QTest::addColumn<uint>("expected");
    QTest::newRow("0 keeps the destination") << 0 << 0xffffffu << 0x102030u << 0x102030u;
    QTest::newRow("255 copies the source") << 255 << 0x0a0b0cu << 0xffffffu << 0x0a0b0cu;
    // (255*128 + 0*127 + 127) / 255 = 128, (0*128 + 255*127 + 127) / 255 = 127
    QTest::newRow("128 halves") << 128 << 0xff0000u << 0x00ff00u << 0x807f00u;
    QTest::newRow("128 on equal colours") << 128 << 0x646464u << 0x646464u << 0x646464u;
}

void TestRaster::alphaBlend()
{
    QFETCH(int, alpha);
    QFETCH(uint, src);
    QFETCH(uint, dst);
    QFETCH(uint, expected);
    Bitmap s(3, 2, src), d(3, 2, dst);
    Dc ds, dd;
    ds.select(&s);
    dd.select(&d);
    QVERIFY(AlphaBlend(&dd, 0, 0, 3, 2, &ds, 0, 0, 3, 2, alpha));
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) QCOMPARE(d.pixel(x, y), Pixel(expected));
    QVERIFY(!AlphaBlend(&dd, 0, 0, 3, 2, &ds, 0, 0, 3, 2, 256));
}

// Random rectangles, clipped or not, small and large enough to be split
// over threads, against the plain definitions above.
void TestRaster::fastPathsMatchDefinitions_data()
{
    QTest::addColumn<QString>("op");
    QTest::addColumn<int>("size");  // the bitmaps' width; the height is 5/8 of it
    QTest::addColumn<int>("bands"); // 0: as the machine allows
    for (const char* op : {"copy", "copy within", "stretch", "blend", "blend stretched", "columns", "fill"})
        for (auto [size, bands] : {std::pair{13, 0}, std::pair{200, 3}, std::pair{1400, 0}})
            QTest::addRow("%s %d bands %d", op, size, bands) << QString(op) << size << bands;
}

void TestRaster::fastPathsMatchDefinitions()
{
    QFETCH(QString, op);
    QFETCH(int, size);
    QFETCH(int, bands);
    const int W = size, H = size * 5 / 8;
    Random r(std::uint32_t(size) * 31 + std::uint32_t(qHash(op)));
    auto any = [&](int lo, int hi) { return lo + int(r.next() * (hi - lo + 1)); };
    for (int round = 0; round < (size > 1000 ? 4 : 12); ++round) {
        Bitmap dst = noise(W, H, std::uint32_t(round)), src = noise(W * 3 / 4, H + 3, std::uint32_t(round + 100));
        Dc dd, ds;
        dd.select(&dst);
        dd.bands = bands;
        ds.select(op == "copy within" ? &dst : &src);
        const Bitmap& from = op == "copy within" ? dst : src;
        const int x = any(-W / 4, W), y = any(-H / 4, H), w = any(-W, W + W / 4), h = any(-H, H + H / 4);
        const int sx = any(-W / 4, W), sy = any(-H / 4, H);
        Bitmap expected;
        if (op == "copy" || op == "copy within") {
            expected = referenceCopy(dst, x, y, w, h, Bitmap(from), sx, sy);
            QVERIFY(BitBlt(&dd, x, y, w, h, &ds, sx, sy));
        } else if (op == "stretch" || op == "blend stretched") {
            const int sw = any(-W, W), sh = any(-H, H), alpha = op == "stretch" ? -1 : any(0, 255);
            if (w == 0 || h == 0 || sw == 0 || sh == 0 || (alpha >= 0 && (w < 0 || h < 0 || sw < 0 || sh < 0)))
                continue;
            expected = referenceStretch(dst, x, y, w, h, src, sx, sy, sw, sh, alpha);
            QVERIFY(alpha < 0 ? StretchBlt(&dd, x, y, w, h, &ds, sx, sy, sw, sh)
                              : AlphaBlend(&dd, x, y, w, h, &ds, sx, sy, sw, sh, alpha));
        } else if (op == "blend") {
            const int alpha = any(0, 255), bw = std::abs(w), bh = std::abs(h);
            expected = referenceStretch(dst, x, y, bw, bh, src, sx, sy, bw, bh, alpha);
            QVERIFY(AlphaBlend(&dd, x, y, bw, bh, &ds, sx, sy, bw, bh, alpha));
        } else if (op == "columns") {
            std::vector<int> cols(std::size_t(std::abs(w)) + 1);
            for (int& c : cols) c = any(-2, src.width() + 1);
            Bitmap plain = dst;
            Dc dp;
            dp.select(&plain);
            for (std::size_t i = 0; i < cols.size(); ++i)
                if (cols[i] >= 0) BitBlt(&dp, x + int(i), y, 1, h, &ds, cols[i], sy);
            expected = plain;
            QVERIFY(CopyColumns(&dd, x, y, h, &ds, cols.data(), int(cols.size()), sy));
        } else {
            expected = dst;
            const Rect rc{x, y, x + w, y + h};
            for (int yy = std::max(rc.top, 0); yy < std::min(rc.bottom, H); ++yy)
                for (int xx = std::max(rc.left, 0); xx < std::min(rc.right, W); ++xx) expected.setPixel(xx, yy, 0x563412);
            QVERIFY(FillRect(&dd, rc, CreateSolidBrush(0x123456)));
        }
        QVERIFY2(dst == expected, qPrintable(QString("round %1: %2,%3 %4x%5 from %6,%7").arg(round).arg(x).arg(y)
                                                 .arg(w).arg(h).arg(sx).arg(sy)));
    }
}

void TestRaster::fillRectClipsAndConvertsColour()
{
    Bitmap b(4, 3, 0);
    Dc dc;
    dc.select(&b);
    // Stored colours keep red in the low byte.
    QVERIFY(FillRect(&dc, Rect{-5, 1, 2, 10}, CreateSolidBrush(0x0000ff)));
    QCOMPARE(b.pixel(0, 0), Pixel(0));
    QCOMPARE(b.pixel(0, 1), Pixel(0xff0000));
    QCOMPARE(b.pixel(1, 2), Pixel(0xff0000));
    QCOMPARE(b.pixel(2, 1), Pixel(0));
    QVERIFY(FillRect(&dc, Rect{3, 0, 1, 3}, CreateSolidBrush(0xffffff))); // empty: nothing
    QCOMPARE(b.pixel(3, 0), Pixel(0));
    QCOMPARE(colorRefFromPixel(pixelFromColorRef(0x123456)), ColorRef(0x123456));
}

void TestRaster::missingContextFails()
{
    Bitmap b(2, 2);
    Dc dc;
    dc.select(&b);
    QVERIFY(!BitBlt(nullptr, 0, 0, 1, 1, &dc, 0, 0));
    QVERIFY(!BitBlt(&dc, 0, 0, 1, 1, nullptr, 0, 0));
    QVERIFY(!StretchBlt(nullptr, 0, 0, 1, 1, &dc, 0, 0, 1, 1));
    QVERIFY(!StretchBlt(&dc, 0, 0, 1, 1, nullptr, 0, 0, 1, 1));
    QVERIFY(!AlphaBlend(&dc, 0, 0, 1, 1, nullptr, 0, 0, 1, 1, 9));
    QVERIFY(!FillRect(nullptr, Rect{0, 0, 1, 1}, SolidBrush{}));
    QVERIFY(dc.select(nullptr) == nullptr); // selecting nothing yields nothing
    QCOMPARE(dc.bitmap(), &b);
}

void TestRaster::faultHookFailsTheNthCallOnly()
{
    Bitmap a(2, 2, 1), b(2, 2, 2);
    Dc da, db;
    da.select(&a);
    db.select(&b);
    FaultHook hook;
    hook.failAt = 3;
    da.faultHook = &hook;
    QVERIFY(BitBlt(&da, 0, 0, 1, 1, &db, 0, 0));
    QVERIFY(StretchBlt(&da, 0, 0, 2, 2, &db, 0, 0, 1, 1));
    a.fill(1);
    QVERIFY(!BitBlt(&da, 0, 0, 2, 2, &db, 0, 0)); // the third call
    QCOMPARE(a, Bitmap(2, 2, 1));                   // and it drew nothing
    QVERIFY(FillRect(&da, Rect{0, 0, 1, 1}, SolidBrush{}));
    QCOMPARE(hook.calls, 4);
    // The hook counts calls reading from the context as well.
    hook.calls = 0;
    hook.failAt = 1;
    QVERIFY(!BitBlt(&db, 0, 0, 1, 1, &da, 0, 0));
}

void TestRaster::bufferTripleLifecycle()
{
    Dc screen;
    BufferTriple t;
    QVERIFY(!t.exists());
    QVERIFY(t.create(&screen, 5, 3));
    QVERIFY(t.exists());
    QCOMPARE(t.bitmap()->width(), 5);
    QCOMPARE(t.dc()->bitmap(), t.bitmap());
    QVERIFY(t.displaced() != nullptr);
    BufferTriple moved = std::move(t);
    QVERIFY(!t.exists());
    QVERIFY(moved.exists());
    moved.release();
    moved.release(); // twice is harmless
    QVERIFY(!moved.exists());
    QVERIFY(moved.bitmap() == nullptr && moved.displaced() == nullptr);
    // A bitmap that cannot be made leaves a context without it: selection fails.
    BufferTriple bad;
    QVERIFY(!bad.create(&screen, -1, 3));
    QVERIFY(bad.exists());
    QVERIFY(bad.bitmap() == nullptr);
}

void TestRaster::bitmapCreationLimits()
{
    QVERIFY(CreateCompatibleBitmap(0, 0) != nullptr);
    QVERIFY(CreateCompatibleBitmap(-1, 5) == nullptr);
    QVERIFY(CreateCompatibleBitmap(100000, 100000) == nullptr);
    QCOMPARE(CreateCompatibleBitmap(3840, 2160)->height(), 2160);
}

void TestRaster::headlessTargetCountsPumps()
{
    HeadlessTarget t(7, 3, 0x55);
    QCOMPARE(t.width(), 7.0);
    QCOMPARE(t.dc()->bitmap()->pixel(6, 2), Pixel(0x55));
    int seen = 0;
    t.onPump = [&](int n) { seen = n; };
    t.pumpMessages();
    t.pumpMessages();
    QCOMPARE(t.pumps(), 2);
    QCOMPARE(seen, 2);
}

void TestRaster::clockDifferencesSurviveWrap()
{
    QCOMPARE(elapsedMs(0xFFFFFFF0u, 0x10u), 32);
    QCOMPARE(elapsedMs(100u, 50u), -50);
    QCOMPARE(elapsedMs(0x7FFFFFFFu, 0x80000005u), 6);
    const std::uint32_t a = timeGetTime();
    QVERIFY(elapsedMs(a, timeGetTime()) >= 0);
}

void TestRaster::stopWatchAcrossWrap()
{
    std::uint32_t now = 0xFFFFFF00u;
    CStopWatch w([&] { return now; });
    QCOMPARE(w.StartTime(), std::int32_t(0xFFFFFF00u));
    now += 0x200; // wraps past zero
    QCOMPARE(w.StopWatch(), 0x200);
    QCOMPARE(w.Interval(), 0x200);
    QCOMPARE(w.StopTime(), std::int32_t(0x100));
    QCOMPARE(w.StopWatch(true, true), std::int32_t(0x100));
    QCOMPARE(w.StartTime(), std::int32_t(0x100));
    now += 5;
    QCOMPARE(w.StopWatch(), 5);
    QCOMPARE(w.StartWatch(), std::int32_t(0x105));
    QCOMPARE(w.StopTime(), 0);
}

void TestRaster::randomIsSeededAndInRange()
{
    Random a(42), b(42), c(43), d(7);
    bool differs = false;
    std::array<int, 5> hits{};
    for (int i = 0; i < 2000; ++i) {
        const double x = a.next();
        QVERIFY(x >= 0.0 && x < 1.0);
        QCOMPARE(x, b.next());
        differs = differs || x != c.next();
        ++hits[std::size_t(d.below(5))];
    }
    QVERIFY(differs);
    for (int h : hits) QVERIFY(h > 300); // each of 5 cases about 400 times
}

QTEST_GUILESS_MAIN(TestRaster)
#include "test_raster.moc"
