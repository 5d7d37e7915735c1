// Picture loading on the files of tests/data/make-testdata.sh and the hostile
// files of hostile.h and phonedata.h, which must end in their error at once
// and within memory.
#include "phonedata.h"
#include "imaging/loading.h"
#include "pictures/textstamp.h"
#include "imaging/imagereaders.h"

#include <QImageWriter>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace vm;

namespace {

using Rgb = std::array<int, 3>;
const Rgb kRed{255, 0, 0}, kGreen{0, 255, 0}, kBlue{0, 0, 255}, kYellow{255, 255, 0}, kBlack{0, 0, 0},
    kWhite{255, 255, 255};
// Colours at the centres of the quadrants: top left, top right, bottom left, bottom right.
using Quads = std::array<Rgb, 4>;
const Quads kStandard{kRed, kGreen, kBlue, kYellow}, kClockwise{kBlue, kRed, kYellow, kGreen};

void checkQuadrants(const RgbImage& img, const Quads& expected, int tolerance)
{
    const int xs[2] = {img.width / 8, img.width - 1 - img.width / 8}, ys[2] = {img.height / 8, img.height - 1 - img.height / 8};
    for (int q = 0; q < 4; ++q) {
        const std::uint8_t* p = img.row(ys[q / 2]) + std::size_t(xs[q % 2]) * 3;
        for (int c = 0; c < 3; ++c)
            QVERIFY2(std::abs(p[c] - expected[std::size_t(q)][std::size_t(c)]) <= tolerance,
                     qPrintable(QString("quadrant %1 channel %2: %3").arg(q).arg(c).arg(p[c])));
    }
}

long peakMb()
{
    struct rusage u {};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss / 1024;
}

} // namespace

Q_DECLARE_METATYPE(Quads)

class TestLoading : public QObject {
    Q_OBJECT
private slots:
    void everyFileType_data();
    void everyFileType();
    void badFiles_data();
    void badFiles();
    void hostileFiles_data();
    void hostileFiles();
    void planAdmitsRealPhotographs_data();
    void planAdmitsRealPhotographs();
    void changingFiles();
    void metadataOnlyFromPicturesAndCapped();
    void fitHintDecodesReduced_data();
    void fitHintDecodesReduced();
};

void TestLoading::everyFileType_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("exifRotate");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<Quads>("quads");
    QTest::addColumn<int>("tolerance");
    const Quads grey{Rgb{0, 0, 0}, Rgb{85, 85, 85}, Rgb{170, 170, 170}, Rgb{255, 255, 255}};
    const Quads ega{Rgb{255, 85, 85}, Rgb{85, 255, 85}, Rgb{85, 85, 255}, Rgb{255, 255, 85}};
    const QSize s(45, 29), t(29, 45);
    const auto row = [&](const char* file, const Quads& q, int tolerance = 0, QSize size = QSize(45, 29), bool rotate = true) {
        QTest::newRow(file) << QString(file) << rotate << size << q << tolerance;
    };
    row("quadrants.jpg", kStandard, 24);
    row("grey.jpg", grey, 8);
    for (const char* f : {"quadrants.bmp", "quadrants.png", "quadrants.tif", "quadrants.gif", "cga2.pcx", "packed4.pcx",
                          "ega4planes.pcx", "pal8.pcx", "pal8-raw.pcx", "rgb24.pcx", "rgb24-crossing.pcx", "im-rgb24.pcx",
                          "true24.tga", "true24-topdown-footer.tga", "true24-righttoleft.tga", "true32-rle.tga",
                          "true16-rle-topdown.tga", "mapped8.tga", "mapped8-rle-map16.tga", "mapped16-first.tga",
                          "im-mapped.tga", "im-pal8.pcx", "im-true24.tga", "im-true24-rle.tga"})
        row(f, kStandard);
    row("mono1.pcx", {kBlack, kWhite, kBlack, kWhite});
    row("packed4-v3.pcx", ega); // version 3: the standard 16 colours
    row("grey8-nopal.pcx", grey);
    row("grey8.tga", grey);
    row("grey8-rle.tga", grey);
    row("halves.wmf", {kRed, kBlue, kRed, kBlue});
    // EXIF orientation turns JPEGs only, and only when asked to.
    row("orient1.jpg", kStandard, 24, s);
    row("orient3.jpg", {kYellow, kBlue, kGreen, kRed}, 24, s);
    row("orient6.jpg", kClockwise, 24, t);
    row("orient8.jpg", {kGreen, kYellow, kRed, kBlue}, 24, t);
    QTest::newRow("orient6.jpg unturned") << "orient6.jpg" << false << s << kStandard << 24;
    row("mixed-case.Jpg", kClockwise, 24, t);
    row("thumb-orient6.jpg", kStandard, 24, s);
    row("orient6.tif", kStandard, 0, s);
}

void TestLoading::everyFileType()
{
    QFETCH(QString, file);
    QFETCH(bool, exifRotate);
    QFETCH(QSize, size);
    QFETCH(Quads, quads);
    QFETCH(int, tolerance);
    RgbImage img;
    QSize original;
    const QString path = testData(file);
    QCOMPARE(LoadPicture(path, PictureExtension(path), exifRotate, img, std::nullopt, &original), QString());
    QCOMPARE(QSize(img.width, img.height), size);
    QCOMPARE(img.rgb.size(), std::size_t(45 * 29 * 3));
    QCOMPARE(original, size);
    checkQuadrants(img, quads, tolerance);
}

void TestLoading::badFiles_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<int>("error");
    const auto row = [](const char* file, const char* extension, int error) {
        QTest::addRow("%s as %s", file, extension) << QString(file) << QString(extension) << error;
    };
    row("fehlt.jpg", "JPG", kIsFileNotFound);
    row(".", "JPG", kIsNotAFile); // a folder named like a picture
    row("empty.jpg", "JPG", kIsEmptyFile);
    row("empty.pcx", "PCX", kIsEmptyFile);
    row("corrupt.bmp", "BMP", kIsCorrupt);
    for (const char* ext : {"JPG", "PNG", "BMP", "GIF", "PCX", "TGA"})
        row(qPrintable("truncated." + QString(ext).toLower()), ext, kIsTruncated);
    row("huge.pcx", "PCX", kIsTooLarge); // 40000 x 40000; the other formats' in hostile.h
    row("huge.tga", "TGA", kIsTooLarge);
    row("png-content.jpg", "JPG", kIsWrongFormat);
    row("jpeg-content.png", "PNG", kIsWrongFormat);
    row("png-content.tga", "TGA", kIsWrongFormat);
    row("jpeg-content.pcx", "PCX", kIsWrongFormat);
    row("text.gif", "GIF", kIsWrongFormat);
    row("quadrants.png", "WMF", kIsWrongFormat);
    row("quadrants.png", "XYZ", kIsNoReader);
    row("quadrants.jpg", "JPEG", kIsNoReader);
    row("quadrants.jpg", "jpg", kIsNoReader); // the caller upper-cases
}

void TestLoading::badFiles()
{
    QFETCH(QString, file);
    QFETCH(QString, extension);
    QFETCH(int, error);
    RgbImage img;
    img.allocate(2, 2); // whatever was there before is dropped
    const QString path = testData(file);
    const char* step = error == kIsFileNotFound || error == kIsNotAFile ? " in IS_OpenFileSource\n" : " in IS_ReadXXX\n";
    QCOMPARE(LoadPicture(path, extension, true, img), "Fehler " + QString::number(error) + step + path);
    QVERIFY(img.empty());
}

void TestLoading::hostileFiles_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<int>("error");
    for (const hostile::File& f : hostile::files() + phone::files())
        QTest::newRow(f.name) << f.bytes << QString(f.extension) << f.error;
}

void TestLoading::hostileFiles()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, extension);
    QFETCH(int, error);
    QTemporaryDir dir;
    const QString path = dir.path() + "/bild." + extension.toLower();
    QVERIFY(writeFile(path, bytes));
    const long before = peakMb();
    RgbImage img;
    const QString message = LoadPicture(path, extension, true, img, QSize(1024, 768));
    QCOMPARE(message, error == kIsOk ? QString() : "Fehler " + QString::number(error) + " in IS_ReadXXX\n" + path);
    QCOMPARE(img.empty(), error != kIsOk);
    // Refused before anything was allocated for it.
    QVERIFY2(peakMb() - before < 100, qPrintable(QString::number(peakMb() - before) + " MB"));
}

void TestLoading::planAdmitsRealPhotographs_data()
{
    using namespace hostile;
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("format");
    QTest::addColumn<int>("reduction"); // asked for, then planned
    QTest::addColumn<int>("planned");
    QTest::newRow("100 MP jpeg") << jpegFrame(12000, 8400, 3, false) << "jpeg" << 0 << 0;
    // 1.15 GB of coefficients and output together: decoded at half size.
    QTest::newRow("130 MP progressive jpeg, halved") << jpegFrame(13000, 10000, 3, true) << "jpeg" << 0 << 1;
    QTest::newRow("fit hint kept") << jpegFrame(12000, 8400, 3, true) << "jpeg" << 2 << 2;
    QTest::newRow("100 MP tiff") << tiffRgb(12000, 8400, 8) << "tiff" << 0 << 0;
    QTest::newRow("100 MP png") << png(12000, 8400, 8, pngChunk("IEND", {})) << "png" << 0 << 0;
}

void TestLoading::planAdmitsRealPhotographs()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, format);
    QFETCH(int, reduction);
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.path() + "/bild", bytes));
    const DecodePlan plan = PlanDecode(*OpenFileSource(dir.path() + "/bild").source, qPrintable(format), reduction);
    QCOMPARE(plan.error, int(kIsOk));
    QTEST(plan.reduction, "planned");
    QVERIFY(plan.bytes <= DecodeBudgetBytes());
}

void TestLoading::changingFiles()
{
    // Another program emptying the file while it is read: the source holds
    // its own copy, so the reader neither faults nor sees the new length.
    QTemporaryDir dir;
    const QString path = dir.path() + "/bild.png";
    QVERIFY(QFile::copy(testData("quadrants.png"), path));
    SourceResult opened = OpenFileSource(path);
    QVERIFY(opened.source);
    QVERIFY(::truncate(QFile::encodeName(path).constData(), 0) == 0);
    const ReadResult read = ReadPNG(*opened.source);
    QCOMPARE(read.error, int(kIsOk));
    checkQuadrants(read.image, kStandard, 0);
    // A pipe named like a picture is refused at once, not waited on.
    QVERIFY(::mkfifo(QFile::encodeName(dir.path() + "/pipe.jpg").constData(), 0644) == 0);
    QCOMPARE(OpenFileSource(dir.path() + "/pipe.jpg").error, int(kIsNotAFile));
}

void TestLoading::metadataOnlyFromPicturesAndCapped()
{
    using namespace hostile;
    const auto span = [](const QByteArray& b) {
        return std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(b.constData()), std::size_t(b.size()));
    };
    // exiv2 would read this raw camera file; it is no picture we show.
    const QByteArray raw = crw(3);
    QVERIFY(!ReadPictureMetadata(span(raw)));
    // Megabytes of text in a tag cost nothing and show as unreadable; the
    // orientation of megabytes is no orientation. exiv2 never sees them.
    const QByteArray big = tiffRgb(1, 1, 8, {tiffText(270, 5'000'000), tiffText(274, 40'000'000), tiffText(315, 3000)});
    const long before = peakMb();
    const auto metadata = ReadPictureMetadata(span(big));
    QVERIFY2(peakMb() - before < 20, qPrintable(QString::number(peakMb() - before) + " MB"));
    QVERIFY(metadata);
    QVERIFY(!metadata->exifTag(274));
    QCOMPARE(metadata->exifTag(315)->text.size(), qsizetype(kMaxMetadataText));
    QCOMPARE(expandPlaceholders("%e270|%e274", "/b/x.tif", QDateTime(), *metadata), QString("?????|?????"));
}

void TestLoading::fitHintDecodesReduced_data()
{
    QTest::addColumn<QString>("file"); // empty: the 1600 x 1200 picture made here
    QTest::addColumn<bool>("exifRotate");
    QTest::addColumn<QSize>("fit");
    QTest::addColumn<QSize>("decoded");
    QTest::addColumn<QSize>("original");
    QTest::newRow("no hint") << "" << false << QSize() << QSize(1600, 1200) << QSize(1600, 1200);
    QTest::newRow("quarter") << "" << false << QSize(400, 300) << QSize(400, 300) << QSize(1600, 1200);
    QTest::newRow("one short of a quarter") << "" << false << QSize(401, 301) << QSize(800, 600) << QSize(1600, 1200);
    QTest::newRow("at most an eighth") << "" << false << QSize(100, 100) << QSize(200, 150) << QSize(1600, 1200);
    QTest::newRow("turned, then fitted") << "orient6.jpg" << true << QSize(8, 12) << QSize(8, 12) << QSize(29, 45);
    QTest::newRow("not turned, fitted") << "orient6.jpg" << false << QSize(12, 8) << QSize(12, 8) << QSize(45, 29);
}

void TestLoading::fitHintDecodesReduced()
{
    QFETCH(QString, file);
    QFETCH(bool, exifRotate);
    QFETCH(QSize, fit);
    QFETCH(QSize, decoded);
    QTemporaryDir dir;
    QString path = testData(file);
    if (file.isEmpty()) { // quadrants again, large enough for reduced decoding
        QImage img(1600, 1200, QImage::Format_RGB32);
        img.fill(Qt::yellow);
        for (int y = 0; y < 1200; ++y)
            for (int x = 0; x < 1600; ++x)
                if (x < 800 || y < 600) img.setPixel(x, y, y < 600 ? (x < 800 ? 0xFF0000 : 0x00FF00) : 0x0000FF);
        path = dir.path() + "/gross.jpg";
        QVERIFY(QImageWriter(path).write(img));
    }
    RgbImage out;
    QSize stored;
    const std::optional<QSize> hint = fit.isValid() ? std::optional<QSize>(fit) : std::nullopt;
    QCOMPARE(LoadPicture(path, "JPG", exifRotate, out, hint, &stored), QString());
    QCOMPARE(QSize(out.width, out.height), decoded);
    QTEST(stored, "original");
    checkQuadrants(out, exifRotate ? kClockwise : kStandard, 40);
}

QTEST_MAIN(TestLoading)
#include "test_loading.moc"
