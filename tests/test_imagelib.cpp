// The image library's operations on RGB buffers (scaling, turning,
// allocation limits) and the PCX and TGA decoders on hand-made edge cases.
#include "platform/imagelib.h"
#include "platform/pcx.h"
#include "platform/tga.h"

#include <QtTest>

using namespace vm;

namespace {

// A picture from rows of grey values (r = g = b).
RgbImage greys(const std::vector<std::vector<int>>& rows)
{
    RgbImage img;
    img.allocate(int(rows[0].size()), int(rows.size()));
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x)
            for (int c = 0; c < 3; ++c) img.row(y)[x * 3 + c] = std::uint8_t(rows[std::size_t(y)][std::size_t(x)]);
    return img;
}

std::vector<std::vector<int>> greysOf(const RgbImage& img)
{
    std::vector<std::vector<int>> rows(std::size_t(img.height), std::vector<int>(std::size_t(img.width)));
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
            img.row(y)[x * 3] = std::uint8_t(x);
            img.row(y)[x * 3 + 1] = std::uint8_t(y);
            img.row(y)[x * 3 + 2] = 7;
        }
    return img;
}

using Grid = std::vector<std::vector<int>>;

} // namespace

Q_DECLARE_METATYPE(Grid)

class TestImageLib : public QObject {
    Q_OBJECT
private slots:
    void resize_data();
    void resize();
    void rotate_data();
    void rotate();
    void allocateLimits_data();
    void allocateLimits();
    void decoderEdgeCases_data();
    void decoderEdgeCases();
};

void TestImageLib::resize_data()
{
    QTest::addColumn<Grid>("in");
    QTest::addColumn<int>("w");
    QTest::addColumn<int>("h");
    QTest::addColumn<Grid>("out");
    QTest::newRow("same size copies") << Grid{{1, 2, 3}, {4, 5, 6}} << 3 << 2 << Grid{{1, 2, 3}, {4, 5, 6}};
    QTest::newRow("half: 2x2 blocks") << Grid{{0, 4, 100, 100}, {8, 12, 200, 200}} << 2 << 1 << Grid{{6, 150}};
    // Destination pixel 0 covers source 0 and half of 1, pixel 1 the rest.
    QTest::newRow("3 to 2: shares") << Grid{{0, 90, 180}} << 2 << 1 << Grid{{30, 150}};
    QTest::newRow("1 x 1 is the average") << Grid{{10, 20}, {30, 41}} << 1 << 1 << Grid{{25}};
    // Growing interpolates between the neighbouring source centres.
    QTest::newRow("2 to 4 grows linearly") << Grid{{0, 200}} << 4 << 1 << Grid{{0, 50, 150, 200}};
    QTest::newRow("grow one way, shrink the other") << Grid{{0, 200}, {100, 100}} << 4 << 1
                                                    << Grid{{50, 75, 125, 150}};
}

void TestImageLib::resize()
{
    QFETCH(Grid, in);
    QFETCH(int, w);
    QFETCH(int, h);
    QFETCH(Grid, out);
    const RgbImage src = greys(in);
    RgbImage dst;
    QVERIFY(dst.allocate(w, h));
    QVERIFY(ResizeImage(src, dst));
    QCOMPARE(greysOf(dst), out);
}

void TestImageLib::rotate_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("w");
    QTest::addColumn<int>("h");
    // For each output pixel (row by row): the source (x, y) it shows.
    QTest::addColumn<QList<QPoint>>("from");
    QTest::newRow("0 clockwise") << 0 << 2 << 3
                                 << QList<QPoint>{{0, 1}, {0, 0}, {1, 1}, {1, 0}, {2, 1}, {2, 0}};
    QTest::newRow("1 half") << 1 << 3 << 2 << QList<QPoint>{{2, 1}, {1, 1}, {0, 1}, {2, 0}, {1, 0}, {0, 0}};
    QTest::newRow("2 counter-clockwise") << 2 << 2 << 3
                                         << QList<QPoint>{{2, 0}, {2, 1}, {1, 0}, {1, 1}, {0, 0}, {0, 1}};
}

void TestImageLib::rotate()
{
    QFETCH(int, code);
    QFETCH(int, w);
    QFETCH(int, h);
    QFETCH(QList<QPoint>, from);
    RgbImage img = numbered(3, 2);
    QVERIFY(QuickRotateImageInPlace(img, code));
    QCOMPARE(img.width, w);
    QCOMPARE(img.height, h);
    for (int i = 0; i < w * h; ++i) {
        const std::uint8_t* p = img.row(i / w) + (i % w) * 3;
        QCOMPARE(QPoint(p[0], p[1]), from[i]);
        QCOMPARE(int(p[2]), 7);
    }

    // A picture larger than one tile: four quarter turns lead back.
    RgbImage big = numbered(70, 45), copy = big;
    for (int i = 0; i < 4; ++i) QVERIFY(QuickRotateImageInPlace(big, 0));
    QCOMPARE(big.rgb, copy.rgb);
    QVERIFY(QuickRotateImageInPlace(big, 2));
    QVERIFY(QuickRotateImageInPlace(big, 0));
    QCOMPARE(big.rgb, copy.rgb);
}

void TestImageLib::allocateLimits_data()
{
    QTest::addColumn<int>("w");
    QTest::addColumn<int>("h");
    QTest::addColumn<bool>("ok");
    QTest::newRow("1 x 1") << 1 << 1 << true;
    QTest::newRow("zero") << 0 << 5 << false;
    QTest::newRow("40000 x 40000") << 40000 << 40000 << false;
    QTest::newRow("side too long") << 2'000'000 << 1 << false;
}

void TestImageLib::allocateLimits()
{
    QFETCH(int, w);
    QFETCH(int, h);
    QFETCH(bool, ok);
    RgbImage img;
    QCOMPARE(img.allocate(w, h), ok);
    QCOMPARE(img.empty(), !ok);
    if (ok) {
        QCOMPARE(img.rgb.size(), std::size_t(w) * std::size_t(h) * 3);
        QVERIFY(std::all_of(img.rgb.begin(), img.rgb.end(), [](std::uint8_t b) { return b == 0; }));
    }
}

namespace {

QByteArray pcxHeader(int bpp, int planes, int w, int h, int bytesPerLine, int version = 5, int encoding = 1)
{
    QByteArray d(128, '\0');
    d[0] = 0x0A;
    d[1] = char(version);
    d[2] = char(encoding);
    d[3] = char(bpp);
    d[8] = char((w - 1) & 0xFF);
    d[9] = char((w - 1) >> 8);
    d[10] = char((h - 1) & 0xFF);
    d[11] = char((h - 1) >> 8);
    d[65] = char(planes);
    d[66] = char(bytesPerLine & 0xFF);
    d[67] = char(bytesPerLine >> 8);
    return d;
}

} // namespace

namespace {

QByteArray tgaHeader(int type, int depth, int w, int h, int descriptor = 0, int mapType = 0, int mapLength = 0,
                     int mapBits = 0)
{
    QByteArray d(18, '\0');
    d[1] = char(mapType);
    d[2] = char(type);
    d[5] = char(mapLength & 0xFF);
    d[6] = char(mapLength >> 8);
    d[7] = char(mapBits);
    d[12] = char(w & 0xFF);
    d[13] = char(w >> 8);
    d[14] = char(h & 0xFF);
    d[15] = char(h >> 8);
    d[16] = char(depth);
    d[17] = char(descriptor);
    return d;
}

} // namespace

void TestImageLib::decoderEdgeCases_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("error");
    QTest::addColumn<int>("firstRed"); // red of pixel (0, 0) when decoded
    const QByteArray grey2x1 = pcxHeader(8, 1, 2, 1, 2) + QByteArray("\xC2\x40", 2);
    QTest::newRow("pcx: 8 bits without palette: grey") << QString("pcx") << grey2x1 << int(kIsOk) << 0x40;
    QTest::newRow("pcx: run of zero length is skipped") << QString("pcx")
        << pcxHeader(8, 1, 2, 1, 2) + QByteArray("\xC0\x99\xC2\x10", 4) << int(kIsOk) << 0x10;
    QTest::newRow("pcx: run without its value") << QString("pcx") << pcxHeader(8, 1, 2, 1, 2) + QByteArray("\xC2", 1) << int(kIsTruncated)
                                           << 0;
    QTest::newRow("pcx: 8 bits in 2 planes") << QString("pcx") << pcxHeader(8, 2, 2, 1, 2) + QByteArray(8, '\0') << int(kIsUnsupported)
                                        << 0;
    QTest::newRow("pcx: 16 bits") << QString("pcx") << pcxHeader(16, 1, 2, 1, 4) << int(kIsUnsupported) << 0;
    QTest::newRow("pcx: line shorter than the width") << QString("pcx") << pcxHeader(8, 1, 10, 1, 4) << int(kIsCorrupt) << 0;
    QByteArray inverted = pcxHeader(8, 1, 2, 1, 2);
    inverted[4] = 5; // xmin beyond xmax
    QTest::newRow("pcx: window inverted") << QString("pcx") << inverted << int(kIsCorrupt) << 0;
    QTest::newRow("pcx: header only") << QString("pcx") << pcxHeader(8, 1, 2, 1, 2).left(60) << int(kIsTruncated) << 0;
    QTest::newRow("pcx: bad version") << QString("pcx") << pcxHeader(8, 1, 2, 1, 2, 9) << int(kIsWrongFormat) << 0;
    QTest::newRow("pcx: bad encoding") << QString("pcx") << pcxHeader(8, 1, 2, 1, 2, 5, 7) << int(kIsWrongFormat) << 0;
    QTest::newRow("pcx: 65535 wide, no data") << QString("pcx") << pcxHeader(8, 1, 65535, 2, 65535) << int(kIsTruncated) << 0;
    QTest::newRow("tga: index outside the map is black") << QString("tga")
        << tgaHeader(1, 8, 2, 1, 0, 1, 1, 24) + QByteArray("\x00\x00\xFF", 3) + QByteArray("\x00\x05", 2) << int(kIsOk)
        << 255;
    QTest::newRow("tga: run packet across the row end") << QString("tga")
        << tgaHeader(10, 24, 2, 2) + QByteArray("\x83\x00\x00\x77", 4) << int(kIsOk) << 0x77;
    QTest::newRow("tga: run packet longer than the picture") << QString("tga")
        << tgaHeader(10, 24, 1, 1) + QByteArray("\xFF\x00\x00\x66", 4) << int(kIsOk) << 0x66;
    QTest::newRow("tga: raw packet cut short") << QString("tga") << tgaHeader(10, 24, 2, 1) + QByteArray("\x01\x00\x00\x66\x00", 5)
                                          << int(kIsTruncated) << 0;
    QTest::newRow("tga: zero width") << QString("tga") << tgaHeader(2, 24, 0, 5) << int(kIsCorrupt) << 0;
    QTest::newRow("tga: no image type") << QString("tga") << tgaHeader(0, 24, 2, 2) << int(kIsWrongFormat) << 0;
    QTest::newRow("tga: mapped without a map") << QString("tga") << tgaHeader(1, 8, 2, 2) + QByteArray(4, '\0') << int(kIsWrongFormat) << 0;
    QTest::newRow("tga: depth 12") << QString("tga") << tgaHeader(2, 12, 2, 2) << int(kIsWrongFormat) << 0;
    QTest::newRow("tga: short header") << QString("tga") << tgaHeader(2, 24, 2, 2).left(10) << int(kIsTruncated) << 0;
    QTest::newRow("tga: 65535 x 65535") << QString("tga") << tgaHeader(2, 24, 65535, 65535) << int(kIsTooLarge) << 0;
    QTest::newRow("tga: 8000 x 8000 rle, no data") << QString("tga") << tgaHeader(10, 24, 8000, 8000) << int(kIsTruncated) << 0;
}

void TestImageLib::decoderEdgeCases()
{
    QFETCH(QString, format);
    QFETCH(QByteArray, file);
    QFETCH(int, error);
    QFETCH(int, firstRed);
    RgbImage img;
    const auto* d = reinterpret_cast<const std::uint8_t*>(file.constData());
    QCOMPARE(format == "pcx" ? DecodePCX(d, std::size_t(file.size()), img) : DecodeTGA(d, std::size_t(file.size()), img),
             error);
    QCOMPARE(img.empty(), error != kIsOk);
    if (error == kIsOk) QCOMPARE(int(img.rgb[0]), firstRed);
    // Within the budget the picture decodes, beyond it nothing is allocated.
    if (error == kIsOk)
        QCOMPARE(format == "pcx" ? DecodePCX(d, std::size_t(file.size()), img, 5) : DecodeTGA(d, std::size_t(file.size()), img, 5),
                 int(kIsTooLarge));
}

QTEST_GUILESS_MAIN(TestImageLib)
#include "test_imagelib.moc"
