// Picture loading on real files of every type (made by tests/data/
// make-testdata.sh): sizes and colours, EXIF turning, reduced decoding for
// a fit, the message for every kind of bad file, and hostile files (built by
// hostile.h) that must end in their error at once and within memory.
#include "hostile.h"
#include "pictures/loading.h"
#include "pictures/textstamp.h"
#include "platform/imagereaders.h"

#include <QDir>
#include <QImage>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

using namespace vm;

namespace {

QString data(const QString& name) { return QStringLiteral(VELMIRANO_TEST_DATA "/") + name; }

using Rgb = std::array<int, 3>;
const Rgb kRed{255, 0, 0}, kGreen{0, 255, 0}, kBlue{0, 0, 255}, kYellow{255, 255, 0};
const Rgb kBlack{0, 0, 0}, kWhite{255, 255, 255};

// Colours at the centres of the four quadrants: top left, top right,
// bottom left, bottom right.
using Quads = std::array<Rgb, 4>;

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

const Quads kStandard{kRed, kGreen, kBlue, kYellow};

// Peak memory of this process so far, in megabytes.
long peakMb()
{
    struct rusage u {};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss / 1024;
}

bool write(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

} // namespace

Q_DECLARE_METATYPE(Quads)

class TestLoading : public QObject {
    Q_OBJECT
private slots:
    void everyFileType_data();
    void everyFileType();
    void exifOrientation_data();
    void exifOrientation();
    void badFiles_data();
    void badFiles();
    void hostileFiles_data();
    void hostileFiles();
    void planAdmitsRealPhotographs_data();
    void planAdmitsRealPhotographs();
    void fileCutShortWhileLoadedKeepsItsBytes();
    void metadataOnlyFromPicturesAndCapped();
    void reductionForFit_data();
    void reductionForFit();
    void fitHintDecodesReduced_data();
    void fitHintDecodesReduced();
};

void TestLoading::everyFileType_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<Quads>("quads");
    QTest::addColumn<int>("tolerance");
    const Quads grey{Rgb{0, 0, 0}, Rgb{85, 85, 85}, Rgb{170, 170, 170}, Rgb{255, 255, 255}};
    const Quads ega{Rgb{255, 85, 85}, Rgb{85, 255, 85}, Rgb{85, 85, 255}, Rgb{255, 255, 85}};
    const Quads mono{kBlack, kWhite, kBlack, kWhite};
    // 5-bit channels widen 31 to 255 and 0 to 0: the quadrant colours survive.
    QTest::newRow("jpg") << "quadrants.jpg" << kStandard << 24;
    QTest::newRow("jpg grey") << "grey.jpg" << grey << 8;
    QTest::newRow("bmp") << "quadrants.bmp" << kStandard << 0;
    QTest::newRow("png") << "quadrants.png" << kStandard << 0;
    QTest::newRow("tif") << "quadrants.tif" << kStandard << 0;
    QTest::newRow("gif") << "quadrants.gif" << kStandard << 0;
    QTest::newRow("pcx 1 bit") << "mono1.pcx" << mono << 0;
    QTest::newRow("pcx 2 bits") << "cga2.pcx" << kStandard << 0;
    QTest::newRow("pcx 4 bits packed") << "packed4.pcx" << kStandard << 0;
    QTest::newRow("pcx 4 bits, version 3 colours") << "packed4-v3.pcx" << ega << 0;
    QTest::newRow("pcx 4 planes") << "ega4planes.pcx" << kStandard << 0;
    QTest::newRow("pcx 8 bits") << "pal8.pcx" << kStandard << 0;
    QTest::newRow("pcx 8 bits raw") << "pal8-raw.pcx" << kStandard << 0;
    QTest::newRow("pcx 8 bits no palette") << "grey8-nopal.pcx" << grey << 0;
    QTest::newRow("pcx 24 bits") << "rgb24.pcx" << kStandard << 0;
    QTest::newRow("pcx 24 bits runs across lines") << "rgb24-crossing.pcx" << kStandard << 0;
    QTest::newRow("pcx 24 bits by ImageMagick") << "im-rgb24.pcx" << kStandard << 0;
    QTest::newRow("tga 24") << "true24.tga" << kStandard << 0;
    QTest::newRow("tga 24 top-down with footer") << "true24-topdown-footer.tga" << kStandard << 0;
    QTest::newRow("tga 24 right to left with id") << "true24-righttoleft.tga" << kStandard << 0;
    QTest::newRow("tga 32 rle") << "true32-rle.tga" << kStandard << 0;
    QTest::newRow("tga 16 rle top-down") << "true16-rle-topdown.tga" << kStandard << 0;
    QTest::newRow("tga grey") << "grey8.tga" << grey << 0;
    QTest::newRow("tga grey rle") << "grey8-rle.tga" << grey << 0;
    QTest::newRow("tga mapped") << "mapped8.tga" << kStandard << 0;
    QTest::newRow("tga mapped rle, 16-bit map") << "mapped8-rle-map16.tga" << kStandard << 0;
    QTest::newRow("tga 16-bit index, map from 3") << "mapped16-first.tga" << kStandard << 0;
    QTest::newRow("tga mapped by ImageMagick") << "im-mapped.tga" << kStandard << 0;
    QTest::newRow("wmf") << "halves.wmf" << Quads{kRed, kBlue, kRed, kBlue} << 0;
}

void TestLoading::everyFileType()
{
    QFETCH(QString, file);
    QFETCH(Quads, quads);
    QFETCH(int, tolerance);
    RgbImage img;
    QSize original;
    const QString path = data(file);
    QCOMPARE(LoadPicture(path, PictureExtension(path), true, img, std::nullopt, &original), QString());
    QCOMPARE(img.width, 45);
    QCOMPARE(img.height, 29);
    QCOMPARE(img.rgb.size(), std::size_t(45 * 29 * 3));
    QCOMPARE(original, QSize(45, 29));
    checkQuadrants(img, quads, tolerance);
}

void TestLoading::exifOrientation_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("exifRotate");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<Quads>("quads");
    QTest::newRow("1 turned") << "orient1.jpg" << true << QSize(45, 29) << kStandard;
    QTest::newRow("3 turned half") << "orient3.jpg" << true << QSize(45, 29) << Quads{kYellow, kBlue, kGreen, kRed};
    QTest::newRow("6 turned clockwise") << "orient6.jpg" << true << QSize(29, 45) << Quads{kBlue, kRed, kYellow, kGreen};
    QTest::newRow("8 turned counter-clockwise") << "orient8.jpg" << true << QSize(29, 45)
                                                << Quads{kGreen, kYellow, kRed, kBlue};
    QTest::newRow("6 as stored without the switch") << "orient6.jpg" << false << QSize(45, 29) << kStandard;
    QTest::newRow("photo.Jpg is a JPG") << "mixed-case.Jpg" << true << QSize(29, 45) << Quads{kBlue, kRed, kYellow, kGreen};
    QTest::newRow("tif is never turned") << "orient6.tif" << true << QSize(45, 29) << kStandard;
}

void TestLoading::exifOrientation()
{
    QFETCH(QString, file);
    QFETCH(bool, exifRotate);
    QFETCH(QSize, size);
    QFETCH(Quads, quads);
    RgbImage img;
    QSize original;
    const QString path = data(file);
    QCOMPARE(LoadPicture(path, PictureExtension(path), exifRotate, img, std::nullopt, &original), QString());
    QCOMPARE(QSize(img.width, img.height), size);
    QCOMPARE(original, size);
    checkQuadrants(img, quads, 24);
}

void TestLoading::badFiles_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("step");
    const QString read = "IS_ReadXXX", open = "IS_OpenFileSource";
    QTest::newRow("missing") << "fehlt.jpg" << "JPG" << int(kIsFileNotFound) << open;
    QTest::newRow("zero bytes jpg") << "empty.jpg" << "JPG" << int(kIsEmptyFile) << read;
    QTest::newRow("zero bytes pcx") << "empty.pcx" << "PCX" << int(kIsEmptyFile) << read;
    QTest::newRow("corrupt bmp") << "corrupt.bmp" << "BMP" << int(kIsCorrupt) << read;
    QTest::newRow("truncated jpg") << "truncated.jpg" << "JPG" << int(kIsTruncated) << read;
    QTest::newRow("truncated png") << "truncated.png" << "PNG" << int(kIsTruncated) << read;
    QTest::newRow("truncated bmp") << "truncated.bmp" << "BMP" << int(kIsTruncated) << read;
    QTest::newRow("truncated gif") << "truncated.gif" << "GIF" << int(kIsTruncated) << read;
    QTest::newRow("truncated pcx") << "truncated.pcx" << "PCX" << int(kIsTruncated) << read;
    QTest::newRow("truncated tga") << "truncated.tga" << "TGA" << int(kIsTruncated) << read;
    QTest::newRow("png named jpg") << "png-content.jpg" << "JPG" << int(kIsWrongFormat) << read;
    QTest::newRow("jpeg named png") << "jpeg-content.png" << "PNG" << int(kIsWrongFormat) << read;
    QTest::newRow("png named tga") << "png-content.tga" << "TGA" << int(kIsWrongFormat) << read;
    QTest::newRow("jpeg named pcx") << "jpeg-content.pcx" << "PCX" << int(kIsWrongFormat) << read;
    QTest::newRow("text named gif") << "text.gif" << "GIF" << int(kIsWrongFormat) << read;
    QTest::newRow("png read as wmf") << "quadrants.png" << "WMF" << int(kIsWrongFormat) << read;
    QTest::newRow("40000 x 40000 jpg") << "huge.jpg" << "JPG" << int(kIsTooLarge) << read;
    QTest::newRow("40000 x 40000 png") << "huge.png" << "PNG" << int(kIsTooLarge) << read;
    QTest::newRow("40000 x 40000 gif") << "huge.gif" << "GIF" << int(kIsTooLarge) << read;
    QTest::newRow("40000 x 40000 pcx") << "huge.pcx" << "PCX" << int(kIsTooLarge) << read;
    QTest::newRow("40000 x 40000 tga") << "huge.tga" << "TGA" << int(kIsTooLarge) << read;
    QTest::newRow("40000 x 40000 bmp") << "huge.bmp" << "BMP" << int(kIsTooLarge) << read;
    QTest::newRow("unknown type") << "quadrants.png" << "XYZ" << int(kIsNoReader) << read;
    QTest::newRow("JPEG is not JPG") << "quadrants.jpg" << "JPEG" << int(kIsNoReader) << read;
    QTest::newRow("lower-case extension") << "quadrants.jpg" << "jpg" << int(kIsNoReader) << read;
    QTest::newRow("a folder named like a picture") << "." << "JPG" << int(kIsNotAFile) << open;
}

void TestLoading::badFiles()
{
    QFETCH(QString, file);
    QFETCH(QString, extension);
    QFETCH(int, error);
    QFETCH(QString, step);
    RgbImage img;
    img.allocate(2, 2); // whatever was there before is dropped
    const QString path = data(file);
    QCOMPARE(LoadPicture(path, extension, true, img), "Fehler " + QString::number(error) + " in " + step + "\n" + path);
    QVERIFY(img.empty());
    QCOMPARE(img.width, 0);
}

void TestLoading::hostileFiles_data()
{
    using namespace hostile;
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<int>("error");
    QTest::addColumn<double>("planGb"); // what the decode would have allocated, at least; 0: not asked
    const int tooMany = kIsTooManyParts, tooLarge = kIsTooLarge;
    // Camera raw under a picture's name never reaches a parser but ours.
    QTest::newRow("crw named jpg, heaps nested") << crw(2000) << "JPG" << int(kIsWrongFormat) << 0.0;
    // The decoder's marker list grows by walking it: quadratic in the count.
    QTest::newRow("jpeg, 200000 comments") << jpegWithComments(200000) << "JPG" << tooMany << 0.0;
    QTest::newRow("jpeg, 4000 comments is a picture") << jpegWithComments(4000) << "JPG" << int(kIsOk) << 0.0;
    QTest::newRow("jpeg, 3000 empty scans") << jpegWithScans(3000) << "JPG" << tooMany << 0.0;
    QTest::newRow("jpeg, 90 scans is a picture") << jpegWithScans(80) << "JPG" << int(kIsOk) << 0.0;
    // Coefficients of every block are kept whatever the output scale.
    QTest::newRow("progressive cmyk jpeg 12000x12000") << jpegFrame(12000, 12000, 4, true) << "JPG" << tooLarge << 1.1;
    QTest::newRow("baseline cmyk jpeg 12000x12000, decoded reduced")
        << jpegFrame(12000, 12000, 4, false) << "JPG" << int(kIsCorrupt) << 0.0;
    QTest::newRow("png text chunk claiming 2 GB")
        << png(1, 1, 8, 2, pngChunk("tEXt", "abc", 0x7FFFFFF0)) << "PNG" << int(kIsTruncated) << 0.0;
    QTest::newRow("png, 5000 text chunks")
        << png(1, 1, 8, 2, pngChunk("tEXt", QByteArray("k\0v", 3)).repeated(5000)) << "PNG" << tooMany << 0.0;
    QTest::newRow("png 16 bits 11000x11000") << png(11000, 11000, 16, 2, pngChunk("IEND", {})) << "PNG" << tooLarge << 1.7;
    QTest::newRow("tiff 16 bits 11000x11000") << tiffRgb(11000, 11000, 16) << "TIF" << tooLarge << 1.7;
    QTest::newRow("bmp rle 12000x12000") << bmp(12000, 12000, 8, 1, QByteArray(8, '\0') + QByteArray("\0\x01", 2))
                                         << "BMP" << tooLarge << 1.1;
    QTest::newRow("gif with a 12000x12000 screen") << gifScreen(12000, 12000) << "GIF" << tooLarge << 1.1;
    // Found by fuzzing: decoders that allocate what no header said.
    QTest::newRow("gif frame beyond an empty screen")
        << QByteArray::fromHex("4749463839610000ff21f90400002c000021000000463800ff21f9000400000000002c000000002d3b1d0000"
                               "0201000000464961492a43ff00")
        << "GIF" << int(kIsCorrupt) << 0.0;
    QTest::newRow("bmp whose header claims megabytes")
        << QByteArray::fromHex("424d00360000605f5f5f5f5ea0a010000000230d2a95010018000000001c009700d0d0") << "BMP"
        << int(kIsCorrupt) << 0.0;
    // Width times row bytes times height once left 64 bits.
    QTest::newRow("bmp of 2^31 x -2^31 at 64 bits")
        << bmp(0x7FFFFFFF, std::int32_t(0x80000000u), 64, 0, QByteArray(64, '\0')) << "BMP" << int(kIsCorrupt) << 0.0;
    QTest::newRow("tiff named jpg, 2 MB orientation text")
        << tiffRgb(1, 1, 8, {tiffText(274, 2'000'000)}) << "JPG" << int(kIsWrongFormat) << 0.0;
    // The metafile player loops forever on bitmap headers of other sizes.
    QTest::newRow("wmf bitmap header of 16 bytes") << wmfWithBitmap(16) << "WMF" << int(kIsCorrupt) << 0.0;
    QByteArray maxRecord = wmfWithBitmap(40);
    maxRecord.replace(22 + 12, 4, le32(0x40000000)); // the largest record, as the header states it
    QTest::newRow("wmf claiming a record of 2 GB") << maxRecord << "WMF" << int(kIsCorrupt) << 0.0;
    QTest::newRow("wmf bitmap header of 40 bytes") << wmfWithBitmap(40) << "WMF" << int(kIsOk) << 0.0;
}

void TestLoading::hostileFiles()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, extension);
    QFETCH(int, error);
    QFETCH(double, planGb);
    QTemporaryDir dir;
    const QString path = dir.path() + "/bild." + extension.toLower();
    QVERIFY(write(path, bytes));
    const long before = peakMb();
    RgbImage img;
    const QString message = LoadPicture(path, extension, true, img, QSize(1024, 768));
    QCOMPARE(message, error == kIsOk ? QString() : "Fehler " + QString::number(error) + " in IS_ReadXXX\n" + path);
    QCOMPARE(img.empty(), error != kIsOk);
    // Refused before anything was allocated for it.
    QVERIFY2(peakMb() - before < 100, qPrintable(QString::number(peakMb() - before) + " MB"));
    if (planGb > 0) {
        SourceResult opened = OpenFileSource(path);
        const char* format = extension == "PNG" ? "png" : extension == "TIF" ? "tiff" : extension == "BMP" ? "bmp"
                             : extension == "GIF" ? "gif" : "jpeg";
        const DecodePlan plan = PlanDecode(*opened.source, format, 3);
        QCOMPARE(plan.error, error);
        QVERIFY2(double(plan.bytes) > planGb * 1e9, qPrintable(QString::number(plan.bytes)));
    }
}

void TestLoading::planAdmitsRealPhotographs_data()
{
    using namespace hostile;
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("format");
    QTest::addColumn<int>("reduction"); // asked for, then planned
    QTest::addColumn<int>("planned");
    QTest::newRow("100 MP jpeg in full") << jpegFrame(12000, 8400, 3, false) << "jpeg" << 0 << 0;
    QTest::newRow("100 MP progressive jpeg in full") << jpegFrame(12000, 8400, 3, true) << "jpeg" << 0 << 0;
    // 1.15 GB of coefficients and output together: decoded at half size.
    QTest::newRow("130 MP progressive jpeg, halved") << jpegFrame(13000, 10000, 3, true) << "jpeg" << 0 << 1;
    QTest::newRow("fit hint kept") << jpegFrame(12000, 8400, 3, true) << "jpeg" << 2 << 2;
    QTest::newRow("100 MP tiff of 8-bit samples") << tiffRgb(12000, 8400, 8) << "tiff" << 0 << 0;
    QTest::newRow("100 MP png") << png(12000, 8400, 8, 2, pngChunk("IEND", {})) << "png" << 0 << 0;
}

void TestLoading::planAdmitsRealPhotographs()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, format);
    QFETCH(int, reduction);
    QFETCH(int, planned);
    QTemporaryDir dir;
    QVERIFY(write(dir.path() + "/bild", bytes));
    SourceResult opened = OpenFileSource(dir.path() + "/bild");
    const DecodePlan plan = PlanDecode(*opened.source, qPrintable(format), reduction);
    QCOMPARE(plan.error, int(kIsOk));
    QCOMPARE(plan.reduction, planned);
    QVERIFY(plan.bytes <= DecodeBudgetBytes());
}

void TestLoading::fileCutShortWhileLoadedKeepsItsBytes()
{
    // Another program rewriting the file while it is read: the source holds
    // its own copy, so the reader neither faults nor sees the new length.
    QTemporaryDir dir;
    const QString path = dir.path() + "/bild.png";
    QVERIFY(QFile::copy(data("quadrants.png"), path));
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

void TestLoading::reductionForFit_data()
{
    QTest::addColumn<QSize>("stored");
    QTest::addColumn<QSize>("fit");
    QTest::addColumn<int>("reduction");
    QTest::newRow("24 MP on full HD: half") << QSize(6000, 4000) << QSize(1920, 1080) << 1;
    QTest::newRow("exactly a quarter") << QSize(1600, 1200) << QSize(400, 300) << 2;
    QTest::newRow("one short of a quarter") << QSize(1600, 1200) << QSize(401, 301) << 1;
    QTest::newRow("odd size rounds up") << QSize(1601, 1201) << QSize(401, 301) << 2;
    QTest::newRow("at most an eighth") << QSize(8000, 8000) << QSize(100, 100) << 3;
    QTest::newRow("smaller than the fit") << QSize(100, 100) << QSize(200, 200) << 0;
    QTest::newRow("tall picture, wide fit") << QSize(3000, 4000) << QSize(1024, 768) << 2;
}

void TestLoading::reductionForFit()
{
    QFETCH(QSize, stored);
    QFETCH(QSize, fit);
    QFETCH(int, reduction);
    QCOMPARE(ReductionForFit(stored, fit), reduction);
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
    QTest::newRow("half") << "" << false << QSize(640, 480) << QSize(800, 600) << QSize(1600, 1200);
    QTest::newRow("turned, then fitted") << "orient6.jpg" << true << QSize(8, 12) << QSize(8, 12) << QSize(29, 45);
    QTest::newRow("not turned, fitted") << "orient6.jpg" << false << QSize(12, 8) << QSize(12, 8) << QSize(45, 29);
}

void TestLoading::fitHintDecodesReduced()
{
    QFETCH(QString, file);
    QFETCH(bool, exifRotate);
    QFETCH(QSize, fit);
    QFETCH(QSize, decoded);
    QFETCH(QSize, original);
    QTemporaryDir dir;
    QString path = data(file);
    if (file.isEmpty()) {
        // Quadrants again, large enough for reduced decoding.
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
    QCOMPARE(stored, original);
    Quads expected = kStandard;
    if (exifRotate) expected = Quads{kBlue, kRed, kYellow, kGreen};
    checkQuadrants(out, expected, 40);
}

QTEST_MAIN(TestLoading)
#include "test_loading.moc"
