// HEIC/HEIF, AVIF, WebP and JPEG XL: the phone-sized picture of each format
// against the same picture as PNG, turning once and their EXIF in the stamp,
// in this process and in the decoder process. Their hostile kinds are
// loaded with the others' in test_loading.
#include "phonedata.h"
#include "pictures/decoding.h"
#include "imaging/loading.h"
#include "pictures/textstamp.h"
#include "testutil.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace vm;

namespace {

QString data(const QString& name) { return testData("phone/" + name); }

// Mean and largest difference of any channel between two pictures of one size.
struct Difference {
    double mean = 0;
    int largest = 0;
};
Difference compare(const RgbImage& a, const RgbImage& b)
{
    Difference d;
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < a.rgb.size(); ++i) {
        const int v = std::abs(int(a.rgb[i]) - int(b.rgb[i]));
        sum += std::uint64_t(v);
        d.largest = std::max(d.largest, v);
    }
    d.mean = a.rgb.empty() ? 0 : double(sum) / double(a.rgb.size());
    return d;
}

// Whether the quadrant centres of `img` have the colours of `expected`.
bool sameQuadrants(const RgbImage& img, const QImage& expected, int tolerance)
{
    if (img.width != expected.width() || img.height != expected.height()) return false;
    for (int qy : {1, 3})
        for (int qx : {1, 3}) {
            const int x = img.width * qx / 4, y = img.height * qy / 4;
            const QRgb want = expected.pixel(x, y);
            const std::uint8_t* got = img.row(y) + 3 * x;
            if (std::abs(got[0] - qRed(want)) > tolerance || std::abs(got[1] - qGreen(want)) > tolerance ||
                std::abs(got[2] - qBlue(want)) > tolerance)
                return false;
        }
    return true;
}

const QByteArray kDate = "2023:07:14 09:30:00";

} // namespace

class TestPhoneFormats : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;

    QString write(const QString& name, const QByteArray& bytes)
    {
        const QString path = dir_.path() + u'/' + name;
        return writeFile(path, bytes) ? path : QString();
    }

private slots:
    void extensions();
    void phonePictureMatchesPng_data();
    void phonePictureMatchesPng();
    void turnedOnce_data();
    void turnedOnce();
};

// Only the whole extension names a format; the others keep their tail.
void TestPhoneFormats::extensions()
{
    for (auto [path, extension] : {std::pair{"/f/IMG_0001.HEIC", "HEIC"}, {"/f/a.heif", "HEIF"}, {"/f/a.Avif", "AVIF"},
                                   {"/f/a.webp", "WEBP"}, {"/f/a.jxl", "JXL"}, {"/f/a.eic", "EIC"}, {"/f.webp/bild", "ILD"}})
        QCOMPARE(PictureExtension(path), QString(extension));
}

void TestPhoneFormats::phonePictureMatchesPng_data()
{
    QTest::addColumn<QString>("file");
    for (const char* file : {"photo.heic", "photo.avif", "photo.webp", "photo.jxl"}) QTest::newRow(file) << file;
}

// Stored size in full, then fitted to 1920x1080 by the decoder process as
// the show does, like the PNG of the same picture.
void TestPhoneFormats::phonePictureMatchesPng()
{
    QFETCH(QString, file);
    RgbImage full;
    QSize stored;
    QCOMPARE(LoadPicture(data(file), PictureExtension(file), false, full, std::nullopt, &stored), QString());
    QCOMPARE(QSize(full.width, full.height), QSize(4032, 3024));
    QCOMPARE(stored, QSize(4032, 3024));

    PictureDecoder decoder;
    RgbImage fitted, reference;
    QCOMPARE(DecodePicture(decoder, data(file), false, QSizeF(1920, 1080), false, fitted, &stored), QString());
    QCOMPARE(stored, QSize(4032, 3024));
    QCOMPARE(DecodePicture(decoder, data("photo.png"), false, QSizeF(1920, 1080), false, reference), QString());
    QCOMPARE(QSize(fitted.width, fitted.height), QSize(1440, 1080));
    QCOMPARE(QSize(reference.width, reference.height), QSize(1440, 1080));
    // Lossy coding leaves small differences, larger at sharp edges.
    const Difference d = compare(fitted, reference);
    QVERIFY2(d.mean <= 1.5 && d.largest <= 48, qPrintable(QString("mean %1, largest %2").arg(d.mean).arg(d.largest)));
}

void TestPhoneFormats::turnedOnce_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("exifRotate");
    QTest::addColumn<bool>("upright"); // else as stored
    QTest::addColumn<QString>("stamp"); // %e36867, the date taken
    // Upright is portrait; stored turned a quarter counter-clockwise, so a
    // quarter clockwise (orientation 6) makes it upright.
    const QImage upright = phone::quadrants(48, 64);
    const QImage stored = upright.transformed(QTransform().rotate(-90));
    const QByteArray six = phone::exif(6, kDate), one = phone::exif(1, kDate);
    const QString date = kDate, none = kUnreadable;
    for (bool on : {false, true}) {
        const QString setting = on ? " exifrotate on" : " exifrotate off";
        QTest::newRow(qPrintable("HEIC irot 90" + setting)) << "irot.heic" << phone::heif(stored, 6) << on << true << none;
        // As a phone writes it: the turn as irot and again as EXIF orientation.
        QTest::newRow(qPrintable("HEIC irot and EXIF 6" + setting))
            << "phone.heic" << phone::heif(stored, 6, six) << on << true << date;
        QTest::newRow(qPrintable("AVIF irot and EXIF 6" + setting))
            << "phone.avif" << phone::heif(stored, 6, six, true) << on << true << date;
        QTest::newRow(qPrintable("HEIC EXIF 6 alone" + setting)) << "exif6.heic" << phone::heif(stored, 1, six) << on << on << date;
        QTest::newRow(qPrintable("WebP EXIF 6" + setting)) << "exif6.webp" << phone::webp(stored, six) << on << on << date;
        // An EXIF chunk with the JPEG segment's marker in front of the block.
        QTest::newRow(qPrintable("WebP EXIF 6, marker kept" + setting))
            << "marke.webp" << phone::webp(stored, QByteArray("Exif\0\0", 6) + six) << on << on << date;
        QTest::newRow(qPrintable("HEIC upright, EXIF 1" + setting))
            << "up.heic" << phone::heif(upright, 1, one) << on << true << date;
    }
}

void TestPhoneFormats::turnedOnce()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, exifRotate);
    QFETCH(bool, upright);
    QVERIFY(!bytes.isEmpty());
    const QString path = write(name, bytes);
    const QImage expected = upright ? phone::quadrants(48, 64) : phone::quadrants(48, 64).transformed(QTransform().rotate(-90));
    RgbImage img;
    QSize stored;
    QCOMPARE(LoadPicture(path, PictureExtension(path), exifRotate, img, std::nullopt, &stored), QString());
    QVERIFY(sameQuadrants(img, expected, 40));
    QCOMPARE(stored, expected.size());
    // The same through the decoder process, fitted to a screen, with the
    // metadata the stamp reads.
    PictureDecoder decoder;
    PictureMetadata metadata;
    QCOMPARE(DecodePicture(decoder, path, exifRotate, QSizeF(96, 96), true, img, nullptr, &metadata), QString());
    QCOMPARE(QSize(img.width, img.height), upright ? QSize(72, 96) : QSize(96, 72));
    QTEST(expandPlaceholders("%e36867", path, QDateTime::currentDateTime(), metadata), "stamp");
}

QTEST_GUILESS_MAIN(TestPhoneFormats)
#include "test_phoneformats.moc"
