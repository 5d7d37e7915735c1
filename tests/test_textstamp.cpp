// The text stamp: path parts, placeholder expansion with real EXIF and IPTC
// data, the drawing routines on small buffers, the stamp step on a headless
// target, and a few golden pictures.
#include "pictures/loading.h"
#include "pictures/textstamp.h"
#include "platform/target.h"
#include "state/runstate.h"

#include <QFile>
#include <QFileInfo>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QImage>
#include <QLocale>
#include <QTemporaryDir>
#include <QtTest>

#include <climits>
#include <cstdlib>

using namespace vm;

Q_DECLARE_METATYPE(vm::StampStyle)

namespace {

QString dataFile(const QString& name)
{
    const QString dir = QFINDTESTDATA("data/stamp");
    return dir.isEmpty() ? QString() : dir + QLatin1Char('/') + name;
}

RgbImage filled(int w, int h, int r, int g, int b)
{
    RgbImage img;
    img.allocate(w, h);
    for (std::size_t i = 0; i < img.rgb.size(); i += 3) {
        img.rgb[i] = std::uint8_t(r);
        img.rgb[i + 1] = std::uint8_t(g);
        img.rgb[i + 2] = std::uint8_t(b);
    }
    return img;
}

// A background with structure in both directions, so that misplaced or
// mirrored drawing shows.
RgbImage pattern(int w, int h)
{
    RgbImage img;
    img.allocate(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            std::uint8_t* p = &img.rgb[(std::size_t(y) * w + x) * 3];
            p[0] = std::uint8_t(40 + x * 150 / w);
            p[1] = std::uint8_t(60 + y * 120 / h);
            p[2] = std::uint8_t(((x / 8 + y / 8) % 2) ? 150 : 110);
        }
    return img;
}

struct Rgb {
    int r, g, b;
};

Rgb at(const RgbImage& img, long long x, long long y)
{
    const std::uint8_t* p = &img.rgb[(std::size_t(y) * img.width + std::size_t(x)) * 3];
    return {p[0], p[1], p[2]};
}

bool same(const Rgb& a, const Rgb& b) { return a.r == b.r && a.g == b.g && a.b == b.b; }

// Bounding box of the pixels that differ between two buffers; empty when none.
QRect changed(const RgbImage& before, const RgbImage& after)
{
    QRect box;
    for (int y = 0; y < after.height; ++y)
        for (int x = 0; x < after.width; ++x)
            if (!same(at(before, x, y), at(after, x, y))) box |= QRect(x, y, 1, 1);
    return box;
}

int countChanged(const RgbImage& before, const RgbImage& after)
{
    int n = 0;
    for (int y = 0; y < after.height; ++y)
        for (int x = 0; x < after.width; ++x) n += same(at(before, x, y), at(after, x, y)) ? 0 : 1;
    return n;
}

int maxChannel(const RgbImage& img)
{
    int m = 0;
    for (std::uint8_t v : img.rgb) m = std::max(m, int(v));
    return m;
}

// The part of `img` at (x, y) of size w x h.
RgbImage crop(const RgbImage& img, long long x, long long y, long long w, long long h)
{
    RgbImage out;
    out.allocate(int(w), int(h));
    for (long long j = 0; j < h; ++j)
        std::memcpy(&out.rgb[std::size_t(j) * out.rowBytes()],
                    &img.rgb[(std::size_t(y + j) * img.width + std::size_t(x)) * 3], out.rowBytes());
    return out;
}

// Largest per-channel difference between two buffers of the same size.
int maxDifference(const RgbImage& a, const RgbImage& b)
{
    int m = 0;
    for (std::size_t i = 0; i < a.rgb.size(); ++i) m = std::max(m, std::abs(int(a.rgb[i]) - int(b.rgb[i])));
    return m;
}

QImage toQImage(const RgbImage& img)
{
    QImage q(img.width, img.height, QImage::Format_RGB888);
    for (int y = 0; y < img.height; ++y)
        std::memcpy(q.scanLine(y), &img.rgb[std::size_t(y) * img.rowBytes()], img.rowBytes());
    return q;
}

StampStyle plainStyle(int height = 16)
{
    StampStyle s;
    s.fontName = QStringLiteral("Arial");
    s.height = height;
    s.colour = 0xffffff;
    s.opacity = 100;
    s.position = 1;
    s.offsetX = 0;
    s.offsetY = 0;
    return s;
}

std::optional<StampPlacement> draw(RgbImage& img, const QString& text, const StampStyle& style)
{
    StampTarget target;
    target.SetStampTarget(&img);
    return target.DrawStampText(text, style);
}

} // namespace

class TestTextStamp : public QObject {
    Q_OBJECT
private slots:
    void splitPath_data();
    void splitPath();
    void expand_data();
    void expand();
    void currentTimeIsReadPerPlaceholder();
    void exifReader_data();
    void exifReader();

    void emptyDrawsNothing_data();
    void emptyDrawsNothing();
    void positions_data();
    void positions();
    void boxAndFrameEncloseText();
    void boxOpacity_data();
    void boxOpacity();
    void textOpacity_data();
    void textOpacity();
    void turnedMatchesTurnedPlainText_data();
    void turnedMatchesTurnedPlainText();
    void turnedTextClipped_data();
    void turnedTextClipped();
    void lineBreakAndAlignment_data();
    void lineBreakAndAlignment();
    void attributesAddInk_data();
    void attributesAddInk();
    void fontsFallBack_data();
    void fontsFallBack();
    void arialHasMetricCompatibleStandIn();
    void outsideAndHugeStayInside_data();
    void outsideAndHugeStayInside();
    void lines_data();
    void lines();

    void stampStepPutsStampedFrameOnTarget_data();
    void stampStepPutsStampedFrameOnTarget();
    void stampStepWithoutFrameLeavesTarget();
    void golden_data();
    void golden();
};

// ------------------------------------------------------------- path parts --

void TestTextStamp::splitPath_data()
{
    QTest::addColumn<bool>("windows");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("drive");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QString>("lastFolder");

    QTest::newRow("windows full") << true << "C:\\Bilder\\Urlaub\\img01.jpg" << "C" << "Bilder\\Urlaub" << "img01"
                                  << "jpg" << "Urlaub";
    QTest::newRow("windows one folder") << true << "D:\\Fotos\\a.b.c" << "D" << "Fotos" << "a.b"
                                        << "c" << "Fotos";
    QTest::newRow("windows no folder") << true << "C:bild" << "C" << "" << "bild" << "" << "";
    QTest::newRow("windows share") << true << "\\\\server\\teil\\x.png" << "" << "\\server\\teil" << "x"
                                   << "png" << "teil";
    QTest::newRow("windows dot in folder") << true << "C:\\a.b\\datei" << "C" << "a.b" << "datei" << ""
                                           << "a.b";
    QTest::newRow("posix full") << false << "/home/anna/Bilder/img01.jpg" << "" << "home/anna/Bilder" << "img01"
                                << "jpg" << "Bilder";
    QTest::newRow("posix colon is no drive") << false << "/mnt/c:/x.jpg" << "" << "mnt/c:" << "x" << "jpg"
                                             << "c:";
    QTest::newRow("posix root file") << false << "/img.jpg" << "" << "" << "img" << "jpg" << "";
    QTest::newRow("posix hidden file") << false << "/a/.versteckt" << "" << "a" << "" << "versteckt" << "a";
    QTest::newRow("posix dot in folder") << false << "/a.b/datei" << "" << "a.b" << "datei" << "" << "a.b";
    QTest::newRow("bare name") << false << "bild.gif" << "" << "" << "bild" << "gif" << "";
}

void TestTextStamp::splitPath()
{
    QFETCH(bool, windows);
    QFETCH(QString, path);
    const PathParts p = SplitPath(path, windows ? PathStyle::Windows : PathStyle::Posix);
    QTEST(p.drive, "drive");
    QTEST(p.folder, "folder");
    QTEST(p.name, "name");
    QTEST(p.extension, "extension");
    QTEST(p.lastFolder, "lastFolder");
}

// ------------------------------------------------------------ placeholders --

void TestTextStamp::expand_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("file"); // in tests/data/stamp unless it starts with "/"
    QTest::addColumn<QString>("expected");

    const QString dir = QFileInfo(dataFile(QStringLiteral("img01.jpg"))).absolutePath();

    QTest::newRow("name and date") << "%n (%t)" << "img01.jpg" << "img01 (05.03.2004)";
    QTest::newRow("upper case") << "%N (%T) %Z" << "img01.jpg" << "img01 (05.03.2004) 14:07:09";
    QTest::newRow("all occurrences") << "%n-%n-%A" << "img01.jpg" << "img01-img01-jpg";
    QTest::newRow("full path") << "[%k]" << "img01.jpg" << "[" + dir + "/img01.jpg]";
    QTest::newRow("folder parts") << "%l|%p|%v" << "img01.jpg" << "|" + dir.mid(1) + "|stamp";
    QTest::newRow("value with later placeholder") << "%k" << "/x/%a.jpg" << "/x/jpg.jpg";
    QTest::newRow("no placeholder") << "100% sicher, %x" << "img01.jpg" << "100% sicher, %x";
    QTest::newRow("line break stays") << "a%\\b" << "img01.jpg" << "a%\\b";

    QTest::newRow("date taken") << "%e36867" << "img01.jpg" << "2004:03:05 10:11:12";
    QTest::newRow("date taken upper case") << "am %E36867." << "img01.jpg" << "am 2004:03:05 10:11:12.";
    QTest::newRow("orientation") << "%e274" << "img01.jpg" << "6";
    QTest::newRow("description") << "%e270" << "img01.jpg" << "Abendlicht";
    QTest::newRow("windows title utf-16") << "%e40091" << "img01.jpg" << "Grüße aus Köln";
    QTest::newRow("windows comment trimmed") << "<%e40092>" << "img01.jpg" << "<am Rhein>";
    QTest::newRow("two exif tags") << "%e274/%e270" << "img01.jpg" << "6/Abendlicht";
    QTest::newRow("absent tag") << "%e37510x" << "img01.jpg" << "?????x";
    QTest::newRow("no digits is tag 0") << "%e" << "img01.jpg" << "?????";
    QTest::newRow("tag above 16 bits") << "%e65810" << "img01.jpg" << "?????";
    QTest::newRow("tag above 32 bits") << "%e4294967570" << "img01.jpg" << "?????";
    QTest::newRow("very long tag") << "%e99999999999999999999999999 Ende" << "img01.jpg" << "????? Ende";
    QTest::newRow("exif in png without metadata") << "%e36867" << "plain.png" << "?????";
    QTest::newRow("exif in broken file") << "%e36867" << "broken.jpg" << "?????";
    QTest::newRow("exif in missing file") << "%e36867" << "fehlt.jpg" << "?????";
    QTest::newRow("other picture's date") << "%e36867" << "noiptc.jpg" << "2011:12:24 18:00:00";

    QTest::newRow("keywords") << "%i25" << "img01.jpg" << "Köln, Rhein, Dom";
    QTest::newRow("caption upper case") << "%I120" << "img01.jpg" << "Dom am Abend";
    QTest::newRow("city, not the envelope's character set") << "%i90" << "img01.jpg" << "Köln";
    QTest::newRow("absent data set") << "%i5" << "img01.jpg" << "?????";
    QTest::newRow("no iptc") << "%i25" << "noiptc.jpg" << "?????";
    QTest::newRow("iptc in png") << "%i25" << "plain.png" << "?????";
    QTest::newRow("iptc in broken file") << "%i25" << "broken.jpg" << "?????";
    QTest::newRow("latin-1 keyword") << "%i25" << "latin1.jpg" << "Köln";
    QTest::newRow("iptc above 32 bits") << "%i4294967321" << "img01.jpg" << "?????";

    QTest::newRow("exif value with its placeholder") << "%e270" << "percent.jpg" << "%e270 und %E270";
    QTest::newRow("iptc value with its placeholder") << "%i25" << "percent.jpg" << "%i25, 100%";
    QTest::newRow("iptc value with exif placeholder") << "%i120" << "percent.jpg" << "siehe %e36867";
    QTest::newRow("both loops") << "%e270 %i25" << "percent.jpg" << "%e270 und %E270 %i25, 100%";
    QTest::newRow("everything") << "%n.%a %t %z %e274 %i25" << "img01.jpg"
                                << "img01.jpg 05.03.2004 14:07:09 6 Köln, Rhein, Dom";
}

void TestTextStamp::expand()
{
    QFETCH(QString, text);
    QFETCH(QString, file);
    const QString path = file.startsWith(QLatin1Char('/')) ? file : dataFile(file);
    const QDateTime fileTime(QDate(2004, 3, 5), QTime(14, 7, 9));
    QTEST(expandPlaceholders(text, path, fileTime, LoadMetadata(path)), "expected");
}

void TestTextStamp::currentTimeIsReadPerPlaceholder()
{
    // Sunday, 4 July 2021; each reading of the clock is one second later.
    int reads = 0;
    const auto clock = [&reads] {
        return QDateTime(QDate(2021, 7, 4), QTime(9, 8, 7)).addSecs(reads++);
    };
    const QString day = QLocale::system().toString(QDate(2021, 7, 4), QStringLiteral("dddd"));
    QCOMPARE(expandPlaceholders(QStringLiteral("%d %u %U %w"), QStringLiteral("/a/b.jpg"), QDateTime(), {}, clock),
             QStringLiteral("04.07.2021 09:08:08 09:08:08 ") + day);
    QCOMPARE(reads, 3);
    QCOMPARE(expandPlaceholders(QStringLiteral("%n"), QStringLiteral("/a/b.jpg"), QDateTime(), {}, clock),
             QStringLiteral("b"));
    QCOMPARE(reads, 3);
}

void TestTextStamp::exifReader_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("tag");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QString>("group");
    QTest::addColumn<QString>("text");

    QTest::newRow("orientation") << "img01.jpg" << 274 << true << "Image" << "6";
    QTest::newRow("date taken") << "img01.jpg" << 36867 << true << "Photo" << "2004:03:05 10:11:12";
    QTest::newRow("absent") << "img01.jpg" << 33432 << false << "" << "";
    QTest::newRow("png") << "plain.png" << 274 << false << "" << "";
    QTest::newRow("broken") << "broken.jpg" << 274 << false << "" << "";
    QTest::newRow("missing") << "fehlt.jpg" << 274 << false << "" << "";
    QTest::newRow("folder") << "" << 274 << false << "" << "";
}

void TestTextStamp::exifReader()
{
    QFETCH(QString, file);
    QFETCH(int, tag);
    QFETCH(bool, found);
    const PictureMetadata metadata = LoadMetadata(dataFile(file));
    const ExifField* field = metadata.exifTag(std::uint32_t(tag));
    QCOMPARE(field != nullptr, found);
    if (!found) return;
    QTEST(field->group, "group");
    QTEST(field->text, "text");
}

// ----------------------------------------------------------------- drawing --

void TestTextStamp::emptyDrawsNothing_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("height");
    QTest::addColumn<bool>("buffer");
    QTest::addColumn<int>("boxColour");

    QTest::newRow("empty text") << "" << 16 << true << 0xff;
    QTest::newRow("height 0") << "Text" << 0 << true << 0xff;
    QTest::newRow("negative height") << "Text" << -12 << true << 0xff;
    QTest::newRow("no buffer") << "Text" << 16 << false << 0xff;
}

void TestTextStamp::emptyDrawsNothing()
{
    QFETCH(QString, text);
    QFETCH(int, height);
    QFETCH(bool, buffer);
    QFETCH(int, boxColour);
    RgbImage img = pattern(60, 30);
    const RgbImage before = img;
    StampStyle style = plainStyle(height);
    style.boxColour = boxColour;
    style.boxOpacity = 100;
    style.frameColour = 0xff00;
    StampTarget target;
    if (buffer) target.SetStampTarget(&img);
    QVERIFY(!target.DrawStampText(text, style).has_value());
    target.FillStampBox(0xff, -1, -1, -1, -1, 100);
    target.DrawStampLine(0xff, 0, 0, 10, 10);
    if (buffer) {
        // Only the explicit fill and line, never the text, touched it.
        RgbImage expected = before;
        StampTarget again;
        again.SetStampTarget(&expected);
        again.FillStampBox(0xff, -1, -1, -1, -1, 100);
        again.DrawStampLine(0xff, 0, 0, 10, 10);
        QCOMPARE(img.rgb, expected.rgb);
    } else {
        QCOMPARE(img.rgb, before.rgb);
    }
}

void TestTextStamp::positions_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("column"); // 0 left, 1 centre, 2 right; -1 fixed at 0 without offsets
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("ox");
    QTest::addColumn<int>("oy");

    const int columns[] = {0, 1, 2, 0, 1, 2, 0, 1, 2};
    const int rows[] = {0, 0, 0, 1, 1, 1, 2, 2, 2};
    for (int p = 1; p <= 9; ++p) {
        QTest::addRow("position %d, offsets 7/5", p) << p << columns[p - 1] << rows[p - 1] << 7 << 5;
        QTest::addRow("position %d, offsets -9/-4", p) << p << columns[p - 1] << rows[p - 1] << -9 << -4;
    }
    QTest::newRow("position 0 ignores offsets") << 0 << -1 << -1 << 7 << 5;
    QTest::newRow("position 10 ignores offsets") << 10 << -1 << -1 << -3 << 8;
}

void TestTextStamp::positions()
{
    QFETCH(int, position);
    QFETCH(int, column);
    QFETCH(int, row);
    QFETCH(int, ox);
    QFETCH(int, oy);
    const int SW = 201, SH = 120;
    RgbImage img = filled(SW, SH, 0, 0, 0);
    StampStyle style = plainStyle(14);
    style.position = position;
    style.offsetX = ox;
    style.offsetY = oy;
    const auto p = draw(img, QStringLiteral("Hxg"), style);
    QVERIFY(p.has_value());
    const auto expect = [](int where, long long room, long long size, long long offset) -> double {
        switch (where) {
        case 0: return double(offset);
        case 1: return double(room - size) / 2 + double(offset);
        case 2: return double(room - size + offset);
        default: return 0.0;
        }
    };
    QVERIFY(std::abs(double(p->x) - expect(column, SW, p->width, ox)) <= 0.5);
    QVERIFY(std::abs(double(p->y) - expect(row, SH, p->height, oy)) <= 0.5);
    // The ink lies inside the text box.
    const QRect ink = changed(filled(SW, SH, 0, 0, 0), img);
    QVERIFY(!ink.isEmpty());
    QVERIFY2(QRect(int(p->x), int(p->y), int(p->width), int(p->height)).contains(ink),
             qPrintable(QStringLiteral("ink %1,%2 %3x%4").arg(ink.x()).arg(ink.y()).arg(ink.width()).arg(ink.height())));
}

void TestTextStamp::boxAndFrameEncloseText()
{
    RgbImage img = filled(90, 50, 0, 0, 0);
    StampStyle style = plainStyle(18);
    style.position = 5;
    style.colour = 0xffffff;
    style.boxColour = 0x800000; // blue
    style.boxOpacity = 100;
    style.frameColour = 0x0000ff; // red
    const auto p = draw(img, QStringLiteral("Wg"), style);
    QVERIFY(p.has_value());
    const long long l = p->x - 1, t = p->y - 1, r = p->x + p->width + 1, b = p->y + p->height + 1;
    const Rgb red{255, 0, 0}, blue{0, 0, 128}, black{0, 0, 0};
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x) {
            const Rgb c = at(img, x, y);
            const bool onFrame = ((x == l || x == r) && y >= t && y <= b) || ((y == t || y == b) && x >= l && x <= r);
            if (onFrame) {
                QVERIFY2(same(c, red), qPrintable(QStringLiteral("frame at %1,%2").arg(x).arg(y)));
            } else if (x < l || x > r || y < t || y > b) {
                QVERIFY2(same(c, black), qPrintable(QStringLiteral("outside at %1,%2").arg(x).arg(y)));
            } else if (x >= p->x && x < p->x + p->width && y >= p->y && y < p->y + p->height) {
                QVERIFY(!same(c, black)); // text on the box
            } else {
                // The spare pixel between the text box and the frame holds
                // only the box.
                QVERIFY2(same(c, blue), qPrintable(QStringLiteral("margin at %1,%2").arg(x).arg(y)));
            }
        }
    // The text itself is there.
    int white = 0;
    for (int y = int(p->y); y < p->y + p->height; ++y)
        for (int x = int(p->x); x < p->x + p->width; ++x) white += at(img, x, y).r > 200 ? 1 : 0;
    QVERIFY(white > 20);
}

void TestTextStamp::boxOpacity_data()
{
    QTest::addColumn<int>("opacity");
    QTest::addColumn<int>("background"); // grey level
    QTest::addColumn<int>("colour");
    QTest::addColumn<int>("r");
    QTest::addColumn<int>("g");
    QTest::addColumn<int>("b");

    QTest::newRow("50 white on black") << 50 << 0 << 0xffffff << 128 << 128 << 128;
    QTest::newRow("50 red on grey") << 50 << 100 << 0x0000ff << 178 << 50 << 50;
    QTest::newRow("25 blue on grey") << 25 << 200 << 0xff0000 << 150 << 150 << 214;
    QTest::newRow("0 keeps the picture") << 0 << 90 << 0xffffff << 90 << 90 << 90;
    QTest::newRow("100 covers") << 100 << 90 << 0x336699 << 0x99 << 0x66 << 0x33;
    QTest::newRow("above 100 covers") << 250 << 90 << 0x336699 << 0x99 << 0x66 << 0x33;
    QTest::newRow("negative keeps") << -20 << 90 << 0x336699 << 90 << 90 << 90;
}

void TestTextStamp::boxOpacity()
{
    QFETCH(int, opacity);
    QFETCH(int, background);
    QFETCH(int, colour);
    RgbImage img = filled(12, 9, background, background, background);
    StampTarget target;
    target.SetStampTarget(&img);
    target.FillStampBox(colour, 2, 3, 7, -1, opacity);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 12; ++x) {
            const Rgb c = at(img, x, y);
            if (x >= 2 && x < 7 && y >= 3) {
                QTEST(c.r, "r");
                QTEST(c.g, "g");
                QTEST(c.b, "b");
            } else {
                QVERIFY(same(c, Rgb{background, background, background}));
            }
        }
}

void TestTextStamp::textOpacity_data()
{
    QTest::addColumn<int>("direction");
    QTest::addColumn<int>("opacity");
    QTest::addColumn<int>("low");
    QTest::addColumn<int>("high");

    for (int d = 0; d <= 3; ++d) {
        QTest::addRow("direction %d, 100", d) << d << 100 << 250 << 255;
        QTest::addRow("direction %d, 50", d) << d << 50 << 125 << 130;
        QTest::addRow("direction %d, 0", d) << d << 0 << 0 << 0;
    }
}

void TestTextStamp::textOpacity()
{
    QFETCH(int, direction);
    QFETCH(int, opacity);
    RgbImage img = filled(80, 80, 0, 0, 0);
    StampStyle style = plainStyle(24);
    style.direction = direction;
    style.opacity = opacity;
    style.position = 5;
    QVERIFY(draw(img, QStringLiteral("IHI"), style).has_value());
    const int m = maxChannel(img);
    QFETCH(int, low);
    QFETCH(int, high);
    QVERIFY2(m >= low && m <= high, qPrintable(QString::number(m)));
}

void TestTextStamp::turnedMatchesTurnedPlainText_data()
{
    QTest::addColumn<int>("direction");
    QTest::newRow("90 clockwise") << 1;
    QTest::newRow("180") << 2;
    QTest::newRow("90 counter-clockwise") << 3;
}

void TestTextStamp::turnedMatchesTurnedPlainText()
{
    QFETCH(int, direction);
    StampStyle style = plainStyle(20);
    style.position = 1;
    RgbImage flat = filled(120, 120, 0, 0, 0);
    const auto p0 = draw(flat, QStringLiteral("Bq7"), style);
    QVERIFY(p0.has_value());
    RgbImage expected = crop(flat, 0, 0, p0->width, p0->height);
    QVERIFY(QuickRotateImageInPlace(expected, direction - 1));

    style.direction = direction;
    RgbImage turned = filled(120, 120, 0, 0, 0);
    const auto p = draw(turned, QStringLiteral("Bq7"), style);
    QVERIFY(p.has_value());
    // The box size is exchanged before positioning for a quarter turn.
    QCOMPARE(p->width, direction == 2 ? p0->width : p0->height);
    QCOMPARE(p->height, direction == 2 ? p0->height : p0->width);
    QCOMPARE(p->x, 0);
    QCOMPARE(p->y, 0);
    QVERIFY(maxDifference(crop(turned, 0, 0, p->width, p->height), expected) <= 3);
    // Nothing outside the box.
    QVERIFY(QRect(0, 0, int(p->width), int(p->height)).contains(changed(filled(120, 120, 0, 0, 0), turned)));
}

void TestTextStamp::turnedTextClipped_data()
{
    QTest::addColumn<int>("direction");
    QTest::addColumn<int>("ox");
    QTest::addColumn<int>("oy");
    for (int d = 0; d <= 3; ++d) {
        QTest::addRow("direction %d, cut left and top", d) << d << -9 << -13;
        QTest::addRow("direction %d, cut right and bottom", d) << d << 48 << 40;
        QTest::addRow("direction %d, cut left and bottom", d) << d << -5 << 38;
    }
}

// Text that reaches over the edges shows the same pixels as the part of the
// whole text drawn on a large buffer.
void TestTextStamp::turnedTextClipped()
{
    QFETCH(int, direction);
    QFETCH(int, ox);
    QFETCH(int, oy);
    StampStyle style = plainStyle(18);
    style.direction = direction;
    style.colour = 0x20c0ff;
    style.opacity = 80;

    const int margin = 100;
    RgbImage big = filled(60 + 2 * margin, 50 + 2 * margin, 10, 20, 30);
    style.offsetX = ox + margin;
    style.offsetY = oy + margin;
    QVERIFY(draw(big, QStringLiteral("Tag"), style).has_value());

    RgbImage small = filled(60, 50, 10, 20, 30);
    style.offsetX = ox;
    style.offsetY = oy;
    QVERIFY(draw(small, QStringLiteral("Tag"), style).has_value());
    QVERIFY(countChanged(filled(60, 50, 10, 20, 30), small) > 0);
    QVERIFY(maxDifference(crop(big, margin, margin, 60, 50), small) <= 3);
}

void TestTextStamp::lineBreakAndAlignment_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("alignment");
    QTest::addColumn<int>("side"); // where the short first line sits: 0 left, 1 centre, 2 right

    QTest::newRow("position 1 automatic") << 1 << 0 << 0;
    QTest::newRow("position 2 automatic") << 2 << 0 << 1;
    QTest::newRow("position 3 automatic") << 3 << 0 << 2;
    QTest::newRow("position 9 automatic") << 9 << 0 << 2;
    QTest::newRow("position 0 automatic") << 0 << 0 << 0;
    QTest::newRow("position 3 left") << 3 << 1 << 0;
    QTest::newRow("position 1 centred") << 1 << 2 << 1;
    QTest::newRow("position 1 right") << 1 << 3 << 2;
    QTest::newRow("unknown alignment is left") << 3 << 7 << 0;
}

void TestTextStamp::lineBreakAndAlignment()
{
    QFETCH(int, position);
    QFETCH(int, alignment);
    QFETCH(int, side);
    StampStyle style = plainStyle(16);
    style.position = position;
    style.alignment = alignment;

    RgbImage one = filled(200, 90, 0, 0, 0);
    const auto single = draw(one, QStringLiteral("WWWWWWWW"), style);
    RgbImage img = filled(200, 90, 0, 0, 0);
    const auto p = draw(img, QStringLiteral("I%\\WWWWWWWW"), style);
    QVERIFY(single && p);
    // Two lines: the box is about twice as high and as wide as the long line.
    QVERIFY(p->height >= 2 * single->height - 3 && p->height <= 2 * single->height + 3);
    QVERIFY(std::abs(p->width - single->width) <= 1);

    // The first line ("I") lies in the upper half of the box.
    QRect firstLine;
    for (long long y = p->y; y < p->y + p->height / 2; ++y)
        for (long long x = p->x; x < p->x + p->width; ++x)
            if (at(img, x, y).r > 0) firstLine |= QRect(int(x), int(y), 1, 1);
    QVERIFY(!firstLine.isEmpty());
    const double centre = (firstLine.left() + firstLine.right()) / 2.0 - double(p->x);
    const double third = double(p->width) / 3;
    QVERIFY2(centre >= side * third && centre < (side + 1) * third, qPrintable(QString::number(centre)));
}

void TestTextStamp::attributesAddInk_data()
{
    QTest::addColumn<int>("weight");
    QTest::addColumn<bool>("underline");
    QTest::addColumn<bool>("strikeOut");
    QTest::newRow("bold") << 700 << false << false;
    QTest::newRow("underline") << 400 << true << false;
    QTest::newRow("strike-out") << 400 << false << true;
}

void TestTextStamp::attributesAddInk()
{
    QFETCH(int, weight);
    QFETCH(bool, underline);
    QFETCH(bool, strikeOut);
    const auto ink = [](const StampStyle& s) {
        RgbImage img = filled(160, 40, 0, 0, 0);
        draw(img, QStringLiteral("mmmmmmmm"), s);
        int sum = 0;
        for (std::size_t i = 0; i < img.rgb.size(); i += 3) sum += img.rgb[i];
        return sum;
    };
    StampStyle style = plainStyle(20);
    const int plain = ink(style);
    style.weight = weight;
    style.underline = underline;
    style.strikeOut = strikeOut;
    QVERIFY(ink(style) > plain + plain / 10);
}

void TestTextStamp::fontsFallBack_data()
{
    QTest::addColumn<QString>("face");
    QTest::newRow("Arial") << "Arial";
    QTest::newRow("Liberation Sans") << "Liberation Sans";
    QTest::newRow("not installed") << "Gibtsnicht Grotesk XYZ";
    QTest::newRow("empty") << "";
}

void TestTextStamp::fontsFallBack()
{
    QFETCH(QString, face);
    StampStyle style = plainStyle(16);
    style.fontName = face;
    RgbImage img = filled(120, 30, 0, 0, 0);
    const auto p = draw(img, QStringLiteral("Velmirano"), style);
    QVERIFY(p.has_value());
    QVERIFY(p->width > 40 && p->height >= 16);
    QVERIFY(countChanged(filled(120, 30, 0, 0, 0), img) > 60);
}

// With fonts-liberation2 installed, Arial resolves to a face with Arial's
// widths, so stamps keep the size they were laid out for.
void TestTextStamp::arialHasMetricCompatibleStandIn()
{
    QFont arial(QStringLiteral("Arial"));
    arial.setPixelSize(100);
    QFont liberation(QStringLiteral("Liberation Sans"));
    liberation.setPixelSize(100);
    QCOMPARE(QFontInfo(liberation).family(), QStringLiteral("Liberation Sans"));
    const QString text = QStringLiteral("Velmirano 0123456789");
    QCOMPARE(QFontMetricsF(arial).horizontalAdvance(text), QFontMetricsF(liberation).horizontalAdvance(text));
}

void TestTextStamp::outsideAndHugeStayInside_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("ox");
    QTest::addColumn<int>("oy");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("direction");
    QTest::addColumn<bool>("inkExpected");

    for (int d = 0; d <= 3; ++d) {
        QTest::addRow("position 3 past right, direction %d", d) << 3 << 10 << 0 << 14 << d << true;
        QTest::addRow("position 6 past right, direction %d", d) << 6 << 10 << 0 << 14 << d << true;
        QTest::addRow("position 9 past right and bottom, direction %d", d) << 9 << 10 << 10 << 14 << d << true;
        QTest::addRow("far right, direction %d", d) << 1 << INT_MAX << 0 << 14 << d << false;
        QTest::addRow("far left, direction %d", d) << 9 << INT_MIN << INT_MIN << 14 << d << false;
        QTest::addRow("far below, direction %d", d) << 5 << 0 << INT_MAX << 14 << d << false;
        QTest::addRow("huge height, direction %d", d) << 1 << 0 << 0 << INT_MAX << d << true;
        QTest::addRow("large height, direction %d", d) << 5 << -30 << 20 << 500 << d << true;
    }
}

// Whatever lies outside the buffer is cut off; the sanitizer build checks
// that nothing is written outside.
void TestTextStamp::outsideAndHugeStayInside()
{
    QFETCH(int, position);
    QFETCH(int, ox);
    QFETCH(int, oy);
    QFETCH(int, height);
    QFETCH(int, direction);
    QFETCH(bool, inkExpected);
    RgbImage img = filled(50, 30, 0, 0, 0);
    StampStyle style = plainStyle(height);
    style.position = position;
    style.offsetX = ox;
    style.offsetY = oy;
    style.direction = direction;
    style.boxColour = 0x404040;
    style.boxOpacity = 50;
    style.frameColour = 0x00ff00;
    const auto p = draw(img, QStringLiteral("HHHH"), style);
    QVERIFY(p.has_value());
    QCOMPARE(img.rgb.size(), std::size_t(50 * 30 * 3));
    QCOMPARE(countChanged(filled(50, 30, 0, 0, 0), img) > 0, inkExpected);
    if (position == 3 || position == 6 || position == 9) {
        if (ox == 10) QCOMPARE(p->x + p->width, 50 + 10); // 10 pixels past the right edge
    }
}

void TestTextStamp::lines_data()
{
    QTest::addColumn<QList<int>>("line"); // x1 y1 x2 y2
    QTest::addColumn<QList<int>>("onLine"); // pairs of pixels that must be set
    QTest::addColumn<int>("count");         // number of pixels set

    QTest::newRow("horizontal") << QList<int>{2, 3, 6, 3} << QList<int>{2, 3, 6, 3} << 5;
    QTest::newRow("horizontal reversed") << QList<int>{6, 3, 2, 3} << QList<int>{2, 3, 6, 3} << 5;
    QTest::newRow("vertical clipped") << QList<int>{4, -100, 4, 100} << QList<int>{4, 0, 4, 9} << 10;
    QTest::newRow("single point") << QList<int>{5, 5, 5, 5} << QList<int>{5, 5} << 1;
    QTest::newRow("diagonal") << QList<int>{0, 0, 9, 9} << QList<int>{0, 0, 5, 5, 9, 9} << 10;
    QTest::newRow("diagonal clipped") << QList<int>{-5, -5, 20, 20} << QList<int>{0, 0, 9, 9} << 10;
    QTest::newRow("outside") << QList<int>{-5, 20, 30, 20} << QList<int>{} << 0;
    QTest::newRow("far outside diagonal") << QList<int>{INT_MIN, INT_MIN, INT_MIN + 5, INT_MAX} << QList<int>{} << 0;
}

void TestTextStamp::lines()
{
    QFETCH(QList<int>, line);
    QFETCH(QList<int>, onLine);
    QFETCH(int, count);
    RgbImage img = filled(12, 10, 0, 0, 0);
    StampTarget target;
    target.SetStampTarget(&img);
    target.DrawStampLine(0x00ff00, line[0], line[1], line[2], line[3]);
    for (int i = 0; i + 1 < onLine.size(); i += 2) QVERIFY(same(at(img, onLine[i], onLine[i + 1]), Rgb{0, 255, 0}));
    QCOMPARE(countChanged(filled(12, 10, 0, 0, 0), img), count);
}

// ---------------------------------------------------------------- the step --

void TestTextStamp::stampStepPutsStampedFrameOnTarget_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expanded");
    QTest::addColumn<int>("richtung");
    QTest::newRow("name and file date") << "%n (%t)" << "img01 (05.03.2004)" << 0;
    QTest::newRow("keywords turned") << "%i25" << "Köln, Rhein, Dom" << 1;
    QTest::newRow("two lines") << "%N%\\%e36867" << "img01%\\2004:03:05 10:11:12" << 2;
}

void TestTextStamp::stampStepPutsStampedFrameOnTarget()
{
    QFETCH(QString, text);
    QFETCH(QString, expanded);
    QFETCH(int, richtung);

    // The picture as the list would see it, last written on 5 March 2004.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("img01.jpg"));
    QVERIFY(QFile::copy(dataFile(QStringLiteral("img01.jpg")), path));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(QDateTime(QDate(2004, 3, 5), QTime(14, 7, 9)), QFileDevice::FileModificationTime));
    file.close();
    const PictureEntry entry{path, QFileInfo(path).lastModified()};

    RunState state;
    state.settings.text = text;
    state.settings.richtung = richtung;
    state.settings.position = 5;
    state.settings.hintergrund = 1;
    state.settings.rahmen = 1;
    HeadlessTarget target(160, 90, 0x123456);
    QVERIFY(state.neues_bild_dc.create(target.dc(), 160, 90));
    const RgbImage frame = pattern(160, 90);
    state.neues_bild_dc.bitmap()->fill(0);
    for (int y = 0; y < 90; ++y)
        for (int x = 0; x < 160; ++x) {
            const Rgb c = at(frame, x, y);
            state.neues_bild_dc.bitmap()->setPixel(x, y, rgbPixel(c.r, c.g, c.b));
        }

    QCOMPARE(stampPicture(state, target, entry, LoadMetadata(entry.filePath)), QString());

    RgbImage expected = frame;
    QVERIFY(drawStamp(expected, state.settings, expanded).has_value());
    QCOMPARE(BitmapToRgb(target.bitmap()).rgb, expected.rgb);
    // The stamped copy stays in puffer1 for the show step's clean-up; the
    // composed frame itself is untouched.
    QVERIFY(state.puffer1.exists());
    QCOMPARE(BitmapToRgb(*state.neues_bild_dc.bitmap()).rgb, frame.rgb);
}

void TestTextStamp::stampStepWithoutFrameLeavesTarget()
{
    RunState state;
    HeadlessTarget target(40, 30, 0x123456);
    const Bitmap before = target.bitmap();
    QVERIFY(!stampPicture(state, target, PictureEntry{QStringLiteral("/a/b.jpg"), QDateTime()}, {}).isEmpty());
    QVERIFY(target.bitmap() == before);
    QVERIFY(!state.puffer1.exists());
}

// --------------------------------------------------------------- goldens ----

void TestTextStamp::golden_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<StampStyle>("style");

    StampStyle s = plainStyle(15);
    s.offsetX = 10;
    s.offsetY = 10;
    QTest::newRow("plain") << "plain" << "Velmirano" << s;

    s = plainStyle(14);
    s.weight = 700;
    s.colour = 0x40e0ff; // yellow-orange
    s.position = 9;
    s.offsetX = -6;
    s.offsetY = -6;
    s.boxColour = 0x802000;
    s.boxOpacity = 50;
    s.frameColour = 0x00ff00;
    QTest::newRow("box and frame") << "box_frame" << "img01 (05.03.2004)%\\Köln, Rhein" << s;

    s = plainStyle(18);
    s.italic = true;
    s.underline = true;
    s.colour = 0x2020ff;
    s.opacity = 70;
    s.position = 5;
    s.direction = 1;
    QTest::newRow("turned clockwise") << "turned_cw" << "Grüße" << s;

    s = plainStyle(13);
    s.strikeOut = true;
    s.position = 4;
    s.offsetX = 4;
    s.direction = 3;
    s.boxColour = 0;
    s.boxOpacity = 60;
    s.frameColour = 0xffffff;
    QTest::newRow("turned counter-clockwise") << "turned_ccw" << "Links%\\unten" << s;

    s = plainStyle(16);
    s.fontName = QStringLiteral("Liberation Serif");
    s.position = 8;
    s.direction = 2;
    s.colour = 0xffc0c0;
    QTest::newRow("upside down serif") << "upside_down" << "Kopfstand" << s;
}

// Font rasterisation may differ slightly between versions: nearly every
// pixel must match within a small difference.
void TestTextStamp::golden()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(StampStyle, style);
    RgbImage img = pattern(180, 110);
    QVERIFY(draw(img, text, style).has_value());
    const QImage actual = toQImage(img);

    const QByteArray writeTo = qgetenv("VELMIRANO_WRITE_GOLDEN");
    if (!writeTo.isEmpty()) QVERIFY(actual.save(QString::fromLocal8Bit(writeTo) + "/" + name + ".png"));

    const QImage golden = QImage(dataFile(QStringLiteral("golden/") + name + QStringLiteral(".png")))
                              .convertToFormat(QImage::Format_RGB888);
    QVERIFY2(!golden.isNull(), qPrintable(name));
    QCOMPARE(golden.size(), actual.size());
    int off = 0;
    for (int y = 0; y < golden.height(); ++y)
        for (int x = 0; x < golden.width(); ++x) {
            const QRgb a = actual.pixel(x, y), g = golden.pixel(x, y);
            if (std::abs(qRed(a) - qRed(g)) > 8 || std::abs(qGreen(a) - qGreen(g)) > 8 ||
                std::abs(qBlue(a) - qBlue(g)) > 8)
                ++off;
        }
    QVERIFY2(off <= golden.width() * golden.height() / 100, qPrintable(QString::number(off)));
}

QTEST_MAIN(TestTextStamp)
#include "test_textstamp.moc"
