// The raster layer against plain per-pixel definitions, plus the clock,
// the stop watch and the random generator that pace and drive it.
#include "platform/clock.h"
#include "platform/gdi.h"
#include "transitions/stopwatch.h"

#include <QtTest>

using namespace vm;

namespace {

Bitmap noise(int w, int h, std::uint32_t seed)
{
    Bitmap b(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) b.setPixel(x, y, (Pixel(x * 2654435761u ^ y * 40503u ^ seed * 97u)) & 0xffffffu);
    return b;
}

// A plain copy: every destination pixel whose partner lies inside the
// source (a separate bitmap: as it was before the call) takes it.
void referenceCopy(Bitmap& out, int x, int y, int w, int h, const Bitmap& src, int sx, int sy)
{
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i) {
            const int dx = x + i, dy = y + j, px = sx + i, py = sy + j;
            if (dx >= 0 && dy >= 0 && dx < out.width() && dy < out.height() && px >= 0 && py >= 0 &&
                px < src.width() && py < src.height())
                out.setPixel(dx, dy, src.pixel(px, py));
        }
}

// Stretch: destination index i samples source index floor(i * |s| / |d|),
// mirrored when the signs differ; alpha >= 0 blends with rounding.
Bitmap referenceStretch(const Bitmap& dst, int x, int y, int w, int h, const Bitmap& src, int sx, int sy, int sw,
                        int sh, int alpha)
{
    Bitmap out = dst;
    auto axis = [](int dn, int s0, int sn, long long i) {
        long long k = i * std::abs(sn) / std::abs(dn);
        if ((dn < 0) != (sn < 0)) k = std::abs(sn) - 1 - k;
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

} // namespace

class TestRaster : public QObject {
    Q_OBJECT
private slots:
    // Source row "abcd" into a row of 8: letters = source columns, '.' untouched.
    void stretchNearest_data()
    {
        for (const char* c : {"x", "w", "sx", "sw"}) QTest::addColumn<int>(c);
        QTest::addColumn<QString>("expected");
        QTest::newRow("double") << 0 << 8 << 0 << 4 << "aabbccdd";
        QTest::newRow("half") << 0 << 2 << 0 << 4 << "ac......";
        QTest::newRow("3 to 7") << 0 << 7 << 0 << 3 << "aaabbcc.";
        QTest::newRow("3 to 2") << 0 << 2 << 1 << 3 << "bc......";
        QTest::newRow("2 to 3") << 1 << 3 << 0 << 2 << ".aab....";
        QTest::newRow("mirror by dst") << 4 << -4 << 0 << 4 << "dcba....";
        QTest::newRow("mirror by src") << 0 << 4 << 4 << -4 << "dcba....";
        QTest::newRow("both negative") << 4 << -4 << 4 << -4 << "abcd....";
        QTest::newRow("mirror and double") << 8 << -8 << 0 << 4 << "ddccbbaa";
        QTest::newRow("clipped left") << -2 << 8 << 0 << 4 << "bbccdd..";
        QTest::newRow("clipped right") << 5 << 8 << 0 << 4 << ".....aab";
        QTest::newRow("source partly outside") << 0 << 4 << 2 << 4 << "cd......";
    }
    void stretchNearest()
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
        QVERIFY(StretchBlt(&dd, x, 0, w, 1, &ds, sx, 0, sw, 1));
        QString got;
        for (int i = 0; i < 8; ++i) got += QChar(char(dst.pixel(i, 0)));
        QCOMPARE(got, expected);
    }

    // Random rectangles against the definitions above, on bitmaps small, in
    // row bands, and large enough for streamed stores. The first round
    // covers the whole destination; the first blends take alpha 0, 128, 255.
    void fastPathsMatchDefinitions_data()
    {
        QTest::addColumn<QString>("op");
        QTest::addColumn<int>("size");  // the bitmaps' width; the height is 5/8 of it
        QTest::addColumn<int>("bands"); // 0: as the machine allows
        for (const char* op : {"copy", "copy within", "stretch", "blend", "blend stretched", "columns", "fill"})
            for (auto [size, bands] : {std::pair{13, 0}, std::pair{200, 3}, std::pair{2400, 0}})
                QTest::addRow("%s %d bands %d", op, size, bands) << QString(op) << size << bands;
    }
    void fastPathsMatchDefinitions()
    {
        QFETCH(QString, op);
        QFETCH(int, size);
        QFETCH(int, bands);
        const int W = size, H = size * 5 / 8;
        Random r(std::uint32_t(size) * 31 + std::uint32_t(qHash(op)));
        auto any = [&](int lo, int hi) { return lo + int(r.next() * (hi - lo + 1)); };
        for (int round = 0; round < (size > 1000 ? 3 : 12); ++round) {
            const int alpha = round < 3 ? std::array{0, 128, 255}[std::size_t(round)] : any(0, 255);
            Bitmap dst = noise(W, H, std::uint32_t(round)), src = noise(W * 3 / 4, H + 3, std::uint32_t(round + 100));
            const bool within = op == "copy within", whole = round == 0;
            Dc dd, ds;
            dd.select(&dst);
            dd.bands = bands;
            ds.select(within ? &dst : &src);
            const int x = whole ? 0 : any(-W / 4, W), y = whole ? 0 : any(-H / 4, H);
            const int w = whole ? W : any(-W, W + W / 4), h = whole ? H : any(-H, H + H / 4);
            const int sx = whole ? 0 : any(-W / 4, W), sy = whole ? 0 : any(-H / 4, H);
            Bitmap expected = dst;
            if (op.startsWith("copy")) {
                referenceCopy(expected, x, y, w, h, within ? dst : src, sx, sy);
                QVERIFY(BitBlt(&dd, x, y, w, h, &ds, sx, sy));
            } else if (op == "stretch" || op == "blend stretched") {
                const int sw = whole ? src.width() : any(-W, W), sh = whole ? src.height() : any(-H, H);
                const bool blend = op != "stretch";
                if (w == 0 || h == 0 || sw == 0 || sh == 0 || (blend && (w < 0 || h < 0 || sw < 0 || sh < 0))) continue;
                expected = referenceStretch(dst, x, y, w, h, src, sx, sy, sw, sh, blend ? alpha : -1);
                QVERIFY(blend ? AlphaBlend(&dd, x, y, w, h, &ds, sx, sy, sw, sh, alpha)
                              : StretchBlt(&dd, x, y, w, h, &ds, sx, sy, sw, sh));
            } else if (op == "blend") {
                const int bw = std::abs(w), bh = std::abs(h);
                expected = referenceStretch(dst, x, y, bw, bh, src, sx, sy, bw, bh, alpha);
                QVERIFY(AlphaBlend(&dd, x, y, bw, bh, &ds, sx, sy, bw, bh, alpha));
            } else if (op == "columns") {
                // One BitBlt per column, in order, is the definition.
                std::vector<int> cols(std::size_t(std::abs(w)) + 1);
                for (int& c : cols) c = any(-2, src.width() + 1);
                for (std::size_t i = 0; i < cols.size(); ++i)
                    if (cols[i] >= 0) referenceCopy(expected, x + int(i), y, 1, h, src, cols[i], sy);
                QVERIFY(CopyColumns(&dd, x, y, h, &ds, cols.data(), int(cols.size()), sy));
            } else {
                // A stored colour keeps red in the low byte.
                for (int yy = std::max(y, 0); yy < std::min(y + h, H); ++yy)
                    for (int xx = std::max(x, 0); xx < std::min(x + w, W); ++xx) expected.setPixel(xx, yy, 0x563412);
                QVERIFY(FillRect(&dd, Rect{x, y, x + w, y + h}, CreateSolidBrush(0x123456)));
            }
            QVERIFY2(dst == expected, qPrintable(QString("round %1: %2,%3 %4x%5 from %6,%7").arg(round).arg(x).arg(y)
                                                     .arg(w).arg(h).arg(sx).arg(sy)));
        }
    }

    // A missing context fails every call; the fault hook fails exactly the
    // n-th call on a context, reading or drawing, and that call draws nothing.
    void missingContextsAndFaults()
    {
        Bitmap a(2, 2, 1), b(2, 2, 2);
        Dc da, db;
        da.select(&a);
        db.select(&b);
        const int col = 0;
        QVERIFY(!BitBlt(nullptr, 0, 0, 1, 1, &da, 0, 0) && !BitBlt(&da, 0, 0, 1, 1, nullptr, 0, 0));
        QVERIFY(!StretchBlt(nullptr, 0, 0, 1, 1, &da, 0, 0, 1, 1) && !StretchBlt(&da, 0, 0, 1, 1, nullptr, 0, 0, 1, 1));
        QVERIFY(!AlphaBlend(&da, 0, 0, 1, 1, nullptr, 0, 0, 1, 1, 9) && !CopyColumns(&da, 0, 0, 1, nullptr, &col, 1, 0));
        QVERIFY(!FillRect(nullptr, Rect{0, 0, 1, 1}, SolidBrush{}) && !AlphaBlend(&da, 0, 0, 1, 1, &db, 0, 0, 1, 1, 256));
        QVERIFY(da.select(nullptr) == nullptr && da.bitmap() == &a); // selecting nothing yields nothing
        FaultHook hook{3};
        da.faultHook = &hook;
        QVERIFY(BitBlt(&da, 0, 0, 1, 1, &db, 0, 0));
        QVERIFY(StretchBlt(&da, 0, 0, 2, 2, &db, 0, 0, 1, 1));
        a.fill(1);
        QVERIFY(!BitBlt(&da, 0, 0, 2, 2, &db, 0, 0));
        QCOMPARE(a, Bitmap(2, 2, 1));
        QVERIFY(FillRect(&da, Rect{0, 0, 1, 1}, SolidBrush{}));
        QCOMPARE(hook.calls, 4);
        hook = FaultHook{1};
        QVERIFY(!BitBlt(&db, 0, 0, 1, 1, &da, 0, 0));
    }

    void bufferTriple()
    {
        Dc screen;
        BufferTriple t;
        QVERIFY(t.create(&screen, 5, 3));
        QVERIFY(t.dc()->bitmap() == t.bitmap() && t.bitmap()->width() == 5 && t.displaced() != nullptr);
        BufferTriple moved = std::move(t);
        QVERIFY(!t.exists() && moved.exists());
        moved.release();
        moved.release(); // twice is harmless
        QVERIFY(!moved.exists() && moved.bitmap() == nullptr && moved.displaced() == nullptr);
        // A bitmap that cannot be made leaves the context holding its own.
        QVERIFY(!t.create(&screen, -1, 3));
        QVERIFY(t.exists() && t.bitmap() == nullptr);
        QVERIFY(CreateCompatibleBitmap(0, 0) != nullptr);
        QVERIFY(CreateCompatibleBitmap(100000, 100000) == nullptr);
        QCOMPARE(CreateCompatibleBitmap(3840, 2160)->height(), 2160);
    }

    void clockAndStopWatchAcrossWrap()
    {
        QCOMPARE(elapsedMs(0xFFFFFFF0u, 0x10u), 32);
        QCOMPARE(elapsedMs(0x7FFFFFFFu, 0x80000005u), 6);
        QCOMPARE(elapsedMs(100u, 50u), -50);
        std::uint32_t now = 0xFFFFFF00u;
        CStopWatch w([&] { return now; });
        QCOMPARE(w.StartTime(), std::int32_t(0xFFFFFF00u));
        now += 0x200;
        QCOMPARE(w.StopWatch(), 0x200);
        QVERIFY(w.Interval() == 0x200 && w.StopTime() == 0x100);
        QCOMPARE(w.StopWatch(true, true), 0x100);
        QCOMPARE(w.StartTime(), 0x100);
        now += 5;
        QCOMPARE(w.StopWatch(), 5);
        QCOMPARE(w.StartWatch(), 0x105);
        QCOMPARE(w.StopTime(), 0);
    }

    void randomIsSeededAndInRange()
    {
        Random a(42), b(42), c(43);
        bool differs = false;
        std::array<int, 5> hits{};
        for (int i = 0; i < 2000; ++i) {
            const double x = a.next();
            QVERIFY(x >= 0.0 && x < 1.0);
            QCOMPARE(x, b.next());
            differs = differs || x != c.next();
            ++hits[std::size_t(c.below(5))];
        }
        QVERIFY(differs);
        for (int h : hits) QVERIFY(h > 300); // about 400 each
    }
};

QTEST_GUILESS_MAIN(TestRaster)
#include "test_raster.moc"
