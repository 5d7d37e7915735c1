// The image library's operations on RGB buffers (scaling, turning,
// allocation limits) and the PCX and TGA decoders on hand-made edge cases.
#include "platform/imagelib.h"
#include "imaging/pcx.h"
#include "imaging/tga.h"

#include <QtTest>

using namespace vm;

namespace {

using Grid = std::vector<std::vector<int>>;

// A picture from rows of grey values (r = g = b), and back.
RgbImage greys(const Grid& rows)
{
    RgbImage img;
    img.allocate(int(rows[0].size()), int(rows.size()));
    for (std::size_t i = 0; i < img.rgb.size(); ++i) img.rgb[i] = std::uint8_t(rows[i / 3 / rows[0].size()][i / 3 % rows[0].size()]);
    return img;
}

Grid greysOf(const RgbImage& img)
{
    Grid rows(std::size_t(img.height), std::vector<int>(std::size_t(img.width)));
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x) rows[std::size_t(y)][std::size_t(x)] = img.row(y)[x * 3];
    return rows;
}

// Pixels that tell their position: (x, y, 7).
RgbImage numbered(int w, int h)
{
    RgbImage img;
    img.allocate(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            std::uint8_t* p = img.row(y) + x * 3;
            p[0] = std::uint8_t(x);
            p[1] = std::uint8_t(y);
            p[2] = 7;
        }
    return img;
}

QByteArray header(int size, std::initializer_list<std::pair<int, int>> bytes)
{
    QByteArray d(size, '\0');
    for (auto [at, value] : bytes) d[at] = char(value);
    return d;
}

// A version 5 RLE PCX header.
QByteArray pcx(int bpp, int planes, int w, int bytesPerLine)
{
    return header(128, {{0, 10}, {1, 5}, {2, 1}, {3, bpp}, {8, (w - 1) & 0xFF}, {9, (w - 1) >> 8},
                        {65, planes}, {66, bytesPerLine & 0xFF}, {67, bytesPerLine >> 8}});
}

QByteArray tga(int type, int depth, int w, int h, int mapType = 0, int mapLength = 0, int mapBits = 0)
{
    return header(18, {{1, mapType}, {2, type}, {5, mapLength}, {7, mapBits}, {12, w & 0xFF}, {13, w >> 8},
                       {14, h & 0xFF}, {15, h >> 8}, {16, depth}});
}

} // namespace

Q_DECLARE_METATYPE(Grid)

class TestImageLib : public QObject {
    Q_OBJECT
private slots:
    void resize_data();
    void resize();
    void rotate();
    void allocateLimits();
    void decoderEdgeCases_data();
    void decoderEdgeCases();
};

void TestImageLib::resize_data()
{
    QTest::addColumn<Grid>("in");
    QTest::addColumn<Grid>("out");
    QTest::newRow("same size copies") << Grid{{1, 2, 3}, {4, 5, 6}} << Grid{{1, 2, 3}, {4, 5, 6}};
    QTest::newRow("half: 2x2 blocks") << Grid{{0, 4, 100, 100}, {8, 12, 200, 200}} << Grid{{6, 150}};
    // Destination pixel 0 covers source 0 and half of 1, pixel 1 the rest.
    QTest::newRow("3 to 2: shares") << Grid{{0, 90, 180}} << Grid{{30, 150}};
    // Growing interpolates between the neighbouring source centres.
    QTest::newRow("2 to 4 grows linearly") << Grid{{0, 200}} << Grid{{0, 50, 150, 200}};
    QTest::newRow("grow one way, shrink the other") << Grid{{0, 200}, {100, 100}} << Grid{{50, 75, 125, 150}};
}

void TestImageLib::resize()
{
    QFETCH(Grid, in);
    QFETCH(Grid, out);
    RgbImage dst;
    QVERIFY(dst.allocate(int(out[0].size()), int(out.size())));
    QVERIFY(ResizeImage(greys(in), dst));
    QCOMPARE(greysOf(dst), out);
}

void TestImageLib::rotate()
{
    // For each output pixel, row by row: the source (x, y) it shows.
    const std::vector<std::pair<int, QList<QPoint>>> turns{
        {0, {{0, 1}, {0, 0}, {1, 1}, {1, 0}, {2, 1}, {2, 0}}}, // clockwise, 2 x 3
        {1, {{2, 1}, {1, 1}, {0, 1}, {2, 0}, {1, 0}, {0, 0}}}, // half, 3 x 2
        {2, {{2, 0}, {2, 1}, {1, 0}, {1, 1}, {0, 0}, {0, 1}}}}; // counter-clockwise, 2 x 3
    for (const auto& [code, from] : turns) {
        RgbImage img = numbered(3, 2);
        QVERIFY(QuickRotateImageInPlace(img, code));
        QCOMPARE(img.width, code == 1 ? 3 : 2);
        QList<QPoint> shown;
        for (int i = 0; i < 6; ++i) {
            const std::uint8_t* p = img.rgb.data() + i * 3;
            QCOMPARE(int(p[2]), 7);
            shown << QPoint(p[0], p[1]);
        }
        QCOMPARE(shown, from);
    }
    // Larger than one tile: four quarter turns, or one each way, lead back.
    RgbImage big = numbered(70, 45);
    const RgbImage copy = big;
    for (int code : {0, 0, 0, 0, 2, 0}) QVERIFY(QuickRotateImageInPlace(big, code));
    QCOMPARE(big.rgb, copy.rgb);
}

void TestImageLib::allocateLimits()
{
    RgbImage img;
    QVERIFY(img.allocate(3, 2));
    QCOMPARE(std::vector<std::uint8_t>(img.rgb.begin(), img.rgb.end()), std::vector<std::uint8_t>(18, 0));
    for (auto [w, h] : {std::pair{0, 5}, {40000, 40000}, {2'000'000, 1}}) {
        RgbImage refused;
        QVERIFY(!refused.allocate(w, h) && refused.empty());
    }
}

void TestImageLib::decoderEdgeCases_data()
{
    QTest::addColumn<bool>("isPcx");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("error");
    QTest::addColumn<int>("firstRed"); // red of pixel (0, 0) when decoded
    const auto row = [](const char* name, bool isPcx, const QByteArray& file, int error, int firstRed = 0) {
        QTest::newRow(name) << isPcx << file << error << firstRed;
    };
    row("pcx: 8 bits without palette: grey", true, pcx(8, 1, 2, 2) + "\xC2\x40", kIsOk, 0x40);
    row("pcx: run of zero length is skipped", true, pcx(8, 1, 2, 2) + "\xC0\x99\xC2\x10", kIsOk, 0x10);
    row("pcx: run without its value", true, pcx(8, 1, 2, 2) + "\xC2", kIsTruncated);
    row("pcx: 8 bits in 2 planes", true, pcx(8, 2, 2, 2) + QByteArray(8, '\0'), kIsUnsupported);
    row("pcx: line shorter than the width", true, pcx(8, 1, 10, 4), kIsCorrupt);
    row("pcx: window inverted", true, pcx(8, 1, 2, 2).replace(4, 1, "\x05"), kIsCorrupt);
    row("pcx: header only", true, pcx(8, 1, 2, 2).left(60), kIsTruncated);
    row("pcx: 65535 wide, no data", true, pcx(8, 1, 65535, 65535), kIsTruncated);
    row("tga: index outside the map is black", false, tga(1, 8, 2, 1, 1, 1, 24) + QByteArray("\0\0\xFF\0\x05", 5), kIsOk, 255);
    row("tga: run packet across the row end", false, tga(10, 24, 2, 2) + QByteArray("\x83\0\0\x77", 4), kIsOk, 0x77);
    row("tga: run packet longer than the picture", false, tga(10, 24, 1, 1) + QByteArray("\xFF\0\0\x66", 4), kIsOk, 0x66);
    row("tga: raw packet cut short", false, tga(10, 24, 2, 1) + QByteArray("\x01\0\0\x66\0", 5), kIsTruncated);
    row("tga: zero width", false, tga(2, 24, 0, 5), kIsCorrupt);
    row("tga: mapped without a map", false, tga(1, 8, 2, 2) + QByteArray(4, '\0'), kIsWrongFormat);
    row("tga: short header", false, tga(2, 24, 2, 2).left(10), kIsTruncated);
    row("tga: 65535 x 65535", false, tga(2, 24, 65535, 65535), kIsTooLarge);
    row("tga: 8000 x 8000 rle, no data", false, tga(10, 24, 8000, 8000), kIsTruncated);
}

// Within the budget a picture decodes; beyond it nothing is allocated.
void TestImageLib::decoderEdgeCases()
{
    QFETCH(bool, isPcx);
    QFETCH(QByteArray, file);
    QFETCH(int, error);
    const auto decode = [&](RgbImage& img, std::uint64_t budget) {
        const auto* d = reinterpret_cast<const std::uint8_t*>(file.constData());
        return isPcx ? DecodePCX(d, std::size_t(file.size()), img, budget) : DecodeTGA(d, std::size_t(file.size()), img, budget);
    };
    RgbImage img;
    QCOMPARE(decode(img, UINT64_MAX), error);
    QCOMPARE(img.empty(), error != kIsOk);
    if (error != kIsOk) return;
    QTEST(int(img.rgb[0]), "firstRed");
    QCOMPARE(decode(img, 5), int(kIsTooLarge));
}

QTEST_GUILESS_MAIN(TestImageLib)
#include "test_imagelib.moc"
