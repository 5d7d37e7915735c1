// The text stamp: path parts, placeholders with real EXIF and IPTC data
// (tests/data/stamp/make-stamp-data.sh), the drawing routines on small buffers.
#include "imaging/loading.h"
#include "pictures/textstamp.h"
#include "testutil.h"

#include <QFileInfo>
#include <QLocale>
#include <QtTest>

#include <climits>

using namespace vm;

namespace {

QString dataFile(const QString& name) { return testData("stamp/" + name); }

RgbImage filled(int w, int h, int grey = 0)
{
    RgbImage img;
    img.allocate(w, h);
    std::fill(img.rgb.begin(), img.rgb.end(), std::uint8_t(grey));
    return img;
}

QRgb at(const RgbImage& img, long long x, long long y)
{
    const std::uint8_t* p = &img.rgb[(std::size_t(y) * std::size_t(img.width) + std::size_t(x)) * 3];
    return qRgb(p[0], p[1], p[2]);
}

// Bounding box of the pixels that differ between two buffers of one size.
QRect changed(const RgbImage& before, const RgbImage& after)
{
    QRect box;
    for (int y = 0; y < after.height; ++y)
        for (int x = 0; x < after.width; ++x)
            if (at(before, x, y) != at(after, x, y)) box |= QRect(x, y, 1, 1);
    return box;
}

RgbImage crop(const RgbImage& img, long long x, long long y, long long w, long long h)
{
    RgbImage out;
    out.allocate(int(w), int(h));
    for (long long j = 0; j < h; ++j)
        std::memcpy(out.row(int(j)), img.row(int(y + j)) + x * 3, out.rowBytes());
    return out;
}

int maxDifference(const RgbImage& a, const RgbImage& b)
{
    int m = 0;
    for (std::size_t i = 0; i < a.rgb.size(); ++i) m = std::max(m, std::abs(int(a.rgb[i]) - int(b.rgb[i])));
    return m;
}

StampStyle style(int height, int position = 1, int ox = 0, int oy = 0, int direction = 0)
{
    StampStyle s;
    s.fontName = QStringLiteral("Arial");
    s.height = height;
    s.colour = 0xffffff;
    s.opacity = 100;
    s.position = position;
    s.offsetX = ox;
    s.offsetY = oy;
    s.direction = direction;
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
    void expansionIsBounded_data();
    void expansionIsBounded();
    void currentTimeIsReadPerPlaceholder();
    void nothingToDraw();
    void positions_data();
    void positions();
    void boxAndFrameEncloseText();
    void boxEndingLeftOfThePictureIsNone();
    void boxOpacity_data();
    void boxOpacity();
    void turned_data();
    void turned();
    void farOutside();
};

void TestTextStamp::splitPath_data()
{
    QTest::addColumn<bool>("windows");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("parts"); // drive|folder|name|extension|last folder
    QTest::newRow("windows") << true << "C:\\Bilder\\Urlaub\\img01.jpg" << "C|Bilder\\Urlaub|img01|jpg|Urlaub";
    QTest::newRow("windows, dots in the name") << true << "D:\\Fotos\\a.b.c" << "D|Fotos|a.b|c|Fotos";
    QTest::newRow("windows, no folder") << true << "C:bild" << "C||bild||";
    QTest::newRow("windows share") << true << "\\\\server\\teil\\x.png" << "|\\server\\teil|x|png|teil";
    QTest::newRow("posix") << false << "/home/anna/Bilder/img01.jpg" << "|home/anna/Bilder|img01|jpg|Bilder";
    QTest::newRow("posix colon is no drive") << false << "/mnt/c:/x.jpg" << "|mnt/c:|x|jpg|c:";
    QTest::newRow("posix root") << false << "/img.jpg" << "||img|jpg|";
    QTest::newRow("posix hidden file") << false << "/a/.versteckt" << "|a||versteckt|a";
    QTest::newRow("bare name") << false << "bild.gif" << "||bild|gif|";
}

void TestTextStamp::splitPath()
{
    QFETCH(bool, windows);
    QFETCH(QString, path);
    const PathParts p = SplitPath(path, windows ? PathStyle::Windows : PathStyle::Posix);
    QTEST(QStringList({p.drive, p.folder, p.name, p.extension, p.lastFolder}).join('|'), "parts");
}

void TestTextStamp::expand_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("file"); // in tests/data/stamp unless it starts with "/"
    QTest::addColumn<QString>("expected");
    const QString dir = QFileInfo(dataFile("img01.jpg")).absolutePath();
    QTest::newRow("name and file date") << "%n (%t)" << "img01.jpg" << "img01 (05.03.2004)";
    QTest::newRow("upper case, every occurrence") << "%N-%n (%T) %Z %A" << "img01.jpg" << "img01-img01 (05.03.2004) 14:07:09 jpg";
    QTest::newRow("path and folders") << "[%k]%l|%p|%v" << "img01.jpg" << "[" + dir + "/img01.jpg]|" + dir.mid(1) + "|stamp";
    QTest::newRow("a name's placeholders stay") << "%k" << "/x/%a.jpg" << "/x/%a.jpg";
    QTest::newRow("a name of date placeholders") << "Name: %n" << "/x/%d %u %w.jpg" << "Name: %d %u %w";
    QTest::newRow("folders of placeholders") << "%v|%n" << "/%p%n%k/%p%v%a/%e270%i25.jpg" << "%p%v%a|%e270%i25";
    QTest::newRow("a percent before a placeholder") << "%%n%" << "/x/b.jpg" << "%b%";
    QTest::newRow("no placeholder, line break stays") << "100% sicher, %x%\\" << "img01.jpg" << "100% sicher, %x%\\";
    QTest::newRow("exif, either case") << "%e36867/%E274." << "img01.jpg" << "2004:03:05 10:11:12/6.";
    QTest::newRow("windows utf-16 title") << "%e40091" << "img01.jpg" << "Grüße aus Köln";
    QTest::newRow("windows comment trimmed") << "<%e40092>" << "img01.jpg" << "<am Rhein>";
    QTest::newRow("windows subject") << "%e40095" << "img01.jpg" << "Kölner Dom";
    QTest::newRow("absent tag") << "%e37510x" << "img01.jpg" << "?????x";
    QTest::newRow("no digits is tag 0") << "%e" << "img01.jpg" << "?????";
    QTest::newRow("274 beyond 32 bits") << "%e4294967570" << "img01.jpg" << "?????";
    QTest::newRow("very long tag") << "%e99999999999999999999999999 Ende" << "img01.jpg" << "????? Ende";
    QTest::newRow("exif of a png without") << "%e36867" << "plain.png" << "?????";
    QTest::newRow("exif of no picture") << "%e36867" << "broken.jpg" << "?????";
    QTest::newRow("keywords joined") << "%i25" << "img01.jpg" << "Köln, Rhein, Dom";
    QTest::newRow("iptc upper case") << "%I120" << "img01.jpg" << "Dom am Abend";
    QTest::newRow("city, not the envelope's 1:90") << "%i90" << "img01.jpg" << "Köln";
    QTest::newRow("absent data set") << "%i5" << "img01.jpg" << "?????";
    QTest::newRow("no iptc") << "%i25" << "noiptc.jpg" << "?????";
    QTest::newRow("the picture's own date first") << "%e36867" << "noiptc.jpg" << "2011:12:25 09:00:00";
    QTest::newRow("latin-1 keyword") << "%i25" << "latin1.jpg" << "Köln";
    QTest::newRow("values holding their placeholders") << "%e270 %i25 %i120" << "percent.jpg"
                                                       << "%e270 und %E270 %i25, 100% siehe %e36867";
    QTest::newRow("everything") << "%n.%a %t %z %e274 %e270 %i25" << "img01.jpg"
                                << "img01.jpg 05.03.2004 14:07:09 6 Abendlicht Köln, Rhein, Dom";
}

void TestTextStamp::expand()
{
    QFETCH(QString, text);
    QFETCH(QString, file);
    const QString path = file.startsWith('/') ? file : dataFile(file);
    const QDateTime fileTime(QDate(2004, 3, 5), QTime(14, 7, 9));
    QTEST(expandPlaceholders(text, path, fileTime, LoadMetadata(path)), "expected");
}

// Values are inserted as they are, and what they add is cut at the cap: a
// tag of 8000 times "%i25" once grew to hundreds of millions of characters.
void TestTextStamp::expansionIsBounded_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("expected");
    const QString tag = QString("%i25").repeated(8000);
    QTest::newRow("tag of keyword placeholders") << "Titel: %e40091" << "/x/a.jpg" << ("Titel: " + tag).left(kMaxStampText - 1) + QChar(0x2026);
    QTest::newRow("keywords as they are") << "%i25" << "/x/a.jpg" << "%e40091, %i25";
    QTest::newRow("long name") << "%n" << "/x/" + QString("%e270").repeated(600) + ".jpg"
                               << QString("%e270").repeated(600).left(kMaxStampText - 1) + QChar(0x2026);
    QTest::newRow("exactly the cap") << QString(kMaxStampText, 'x') << "/x/a.jpg" << QString(kMaxStampText, 'x');
    QTest::newRow("one beyond the cap") << QString(kMaxStampText + 1, 'x') << "/x/a.jpg"
                                        << QString(kMaxStampText - 1, 'x') + QChar(0x2026);
    QTest::newRow("many tags") << QString("%e40091").repeated(100) << "/x/a.jpg"
                               << tag.left(kMaxStampText - 1) + QChar(0x2026);
}

void TestTextStamp::expansionIsBounded()
{
    QFETCH(QString, text);
    QFETCH(QString, file);
    PictureMetadata metadata;
    ExifField title;
    title.tag = 40091;
    title.group = "Image";
    const QString tag = QString("%i25").repeated(8000);
    title.bytes = QByteArray(reinterpret_cast<const char*>(tag.utf16()), tag.size() * 2);
    metadata.exif.push_back(title);
    metadata.iptc.push_back({2, 25, "%e40091"});
    metadata.iptc.push_back({2, 25, "%i25"});
    const QString s = expandPlaceholders(text, file, QDateTime(), metadata);
    QVERIFY(s.size() <= kMaxStampText);
    QTEST(s, "expected");
}

void TestTextStamp::currentTimeIsReadPerPlaceholder()
{
    int reads = 0; // each reading of the clock is one second later
    const auto clock = [&reads] { return QDateTime(QDate(2021, 7, 4), QTime(9, 8, 7)).addSecs(reads++); };
    const QString day = QLocale::system().toString(QDate(2021, 7, 4), QStringLiteral("dddd"));
    QCOMPARE(expandPlaceholders("%d %u %U %w", "/a/b.jpg", QDateTime(), {}, clock), "04.07.2021 09:08:08 09:08:08 " + day);
    QCOMPARE(reads, 3);
}

// An empty text, a height of 0 or less, no buffer or no opacity: nothing is drawn.
void TestTextStamp::nothingToDraw()
{
    RgbImage img = filled(60, 30, 77);
    StampTarget target;
    target.SetStampTarget(&img);
    StampStyle invisible = style(16);
    invisible.opacity = 0;
    QVERIFY(!target.DrawStampText("", style(16)) && !target.DrawStampText("Text", style(0)) &&
            !target.DrawStampText("Text", style(-12)) && target.DrawStampText("Text", invisible));
    target.SetStampTarget(nullptr);
    QVERIFY(!target.DrawStampText("Text", style(16)));
    target.FillStampBox(0xff, -1, -1, -1, -1, 100);
    target.DrawStampLine(0xff, 0, 0, 10, 10);
    QCOMPARE(img.rgb, filled(60, 30, 77).rgb);
}

void TestTextStamp::positions_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("ox");
    QTest::addColumn<int>("oy");
    QTest::addColumn<int>("alignment");
    QTest::addColumn<QPoint>("anchor"); // column and row: 0 left/top, 1 centre, 2 right/bottom; -1 at 0, no offsets
    QTest::addColumn<int>("side");      // where the short first line sits: 0 left, 1 centre, 2 right
    for (int p = 1; p <= 9; ++p) {
        const QPoint anchor((p - 1) % 3, (p - 1) / 3);
        QTest::addRow("%d, offsets 7/5", p) << p << 7 << 5 << 0 << anchor << anchor.x();
        QTest::addRow("%d, offsets -9/-4", p) << p << -9 << -4 << 0 << anchor << anchor.x();
    }
    QTest::newRow("0 ignores offsets") << 0 << 7 << 5 << 0 << QPoint(-1, -1) << 0;
    QTest::newRow("10 ignores offsets") << 10 << -3 << 8 << 0 << QPoint(-1, -1) << 0;
    QTest::newRow("3 aligned left") << 3 << 0 << 0 << 1 << QPoint(2, 0) << 0;
    QTest::newRow("1 centred") << 1 << 0 << 0 << 2 << QPoint(0, 0) << 1;
    QTest::newRow("1 aligned right") << 1 << 0 << 0 << 3 << QPoint(0, 0) << 2;
    QTest::newRow("3, unknown alignment is left") << 3 << 0 << 0 << 7 << QPoint(2, 0) << 0;
}

// Where the text box goes, that the ink stays in it, and how "%\" breaks
// the text into lines aligned in the box (by default as the position's column).
void TestTextStamp::positions()
{
    QFETCH(int, position);
    QFETCH(int, ox);
    QFETCH(int, oy);
    QFETCH(QPoint, anchor);
    QFETCH(int, side);
    StampStyle s = style(14, position, ox, oy);
    QFETCH(int, alignment);
    s.alignment = alignment;
    const int SW = 201, SH = 120;
    RgbImage img = filled(SW, SH);
    const auto p = draw(img, "I%\\WWWWWW", s);
    QVERIFY(p);
    const auto expect = [](int where, long long room, long long size, long long offset) {
        return where < 0 ? 0.0 : double(room - size) * where / 2 + double(offset);
    };
    QVERIFY(std::abs(double(p->x) - expect(anchor.x(), SW, p->width, ox)) <= 0.5);
    QVERIFY(std::abs(double(p->y) - expect(anchor.y(), SH, p->height, oy)) <= 0.5);
    const QRect box(int(p->x), int(p->y), int(p->width), int(p->height));
    const QRect ink = changed(filled(SW, SH), img);
    QVERIFY(box.contains(ink));
    if (!QRect(0, 0, SW, SH).contains(box)) return;
    if (side != 1) QVERIFY(ink.width() < box.width()); // a spare column beside text aligned to a side
    const RgbImage top = crop(img, p->x, p->y, p->width, p->height / 2);
    const QRect firstLine = changed(filled(top.width, top.height), top);
    QVERIFY(!firstLine.isEmpty());
    const double centre = (firstLine.left() + firstLine.right()) / 2.0, third = double(p->width) / 3;
    QVERIFY2(centre >= side * third && centre < (side + 1) * third, qPrintable(QString::number(centre)));
}

// The box and the frame lie one pixel around the text box.
void TestTextStamp::boxAndFrameEncloseText()
{
    RgbImage img = filled(90, 50);
    StampStyle s = style(18, 5);
    s.boxColour = 0x800000; // blue
    s.boxOpacity = 100;
    s.frameColour = 0x0000ff; // red
    const auto p = draw(img, "Wg", s);
    QVERIFY(p);
    const long long l = p->x - 1, t = p->y - 1, r = p->x + p->width + 1, b = p->y + p->height + 1;
    int white = 0;
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x) {
            const QRgb c = at(img, x, y);
            const bool inside = x >= p->x && x < p->x + p->width && y >= p->y && y < p->y + p->height;
            if (((x == l || x == r) && y >= t && y <= b) || ((y == t || y == b) && x >= l && x <= r))
                QCOMPARE(c, qRgb(255, 0, 0));
            else if (x < l || x > r || y < t || y > b)
                QCOMPARE(c, qRgb(0, 0, 0));
            else if (!inside)
                QCOMPARE(c, qRgb(0, 0, 128)); // the spare pixel holds only the box
            white += inside && qRed(c) > 200;
        }
    QVERIFY(white > 20);
}

// A box computed to end at -1 (or before) lies left of the picture: -1 means
// "to the edge" only to FillStampBox.
void TestTextStamp::boxEndingLeftOfThePictureIsNone()
{
    RgbImage probe = filled(40, 30);
    StampStyle s = style(12);
    const auto p = draw(probe, "X", s);
    QVERIFY(p);
    s.colour = 0;
    s.boxColour = 0xffffff;
    s.boxOpacity = 100;
    for (long long right : {-2, -1, 0}) { // x + width + 1
        s.offsetX = int(right - p->width - 1);
        RgbImage img = filled(40, 30);
        QVERIFY(draw(img, "X", s));
        QVERIFY2(changed(filled(40, 30), img).isEmpty(), qPrintable(QString::number(right)));
    }
}

void TestTextStamp::boxOpacity_data()
{
    QTest::addColumn<int>("opacity");
    QTest::addColumn<int>("background"); // grey level
    QTest::addColumn<int>("colour");
    QTest::addColumn<uint>("expected");
    QTest::newRow("50 white on black") << 50 << 0 << 0xffffff << qRgb(128, 128, 128);
    QTest::newRow("50 red on grey") << 50 << 100 << 0x0000ff << qRgb(178, 50, 50);
    QTest::newRow("100 covers") << 100 << 90 << 0x336699 << qRgb(0x99, 0x66, 0x33);
    QTest::newRow("above 100 covers") << 250 << 90 << 0x336699 << qRgb(0x99, 0x66, 0x33);
    QTest::newRow("negative keeps") << -20 << 90 << 0x336699 << qRgb(90, 90, 90);
}

// (2, 3) to (7, bottom edge), right and bottom exclusive.
void TestTextStamp::boxOpacity()
{
    QFETCH(int, opacity);
    QFETCH(int, background);
    QFETCH(int, colour);
    QFETCH(uint, expected);
    RgbImage img = filled(12, 9, background);
    StampTarget target;
    target.SetStampTarget(&img);
    target.FillStampBox(colour, 2, 3, 7, -1, opacity);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 12; ++x)
            QCOMPARE(at(img, x, y), x >= 2 && x < 7 && y >= 3 ? expected : qRgb(background, background, background));
}

void TestTextStamp::turned_data()
{
    QTest::addColumn<int>("direction");
    QTest::addColumn<int>("opacity");
    for (int d = 0; d <= 3; ++d) {
        QTest::addRow("direction %d", d) << d << 100;
        QTest::addRow("direction %d, opacity 60", d) << d << 60;
    }
}

// Turned text is the plain text turned, its box's width and height exchanged
// before positioning, and clipped like it; the opacity scales the ink.
void TestTextStamp::turned()
{
    QFETCH(int, direction);
    QFETCH(int, opacity);
    StampStyle s = style(20);
    s.opacity = opacity;
    s.alignment = 1; // left in the box at every position
    RgbImage flat = filled(120, 120);
    const auto p0 = draw(flat, "Bq7", s);
    QVERIFY(p0);
    RgbImage expected = crop(flat, 0, 0, p0->width, p0->height);
    const int brightest = *std::max_element(expected.rgb.begin(), expected.rgb.end());
    QVERIFY2(std::abs(brightest - 255 * opacity / 100) <= 3, qPrintable(QString::number(brightest)));
    if (direction) QVERIFY(QuickRotateImageInPlace(expected, direction - 1));
    s.position = 9;
    s.direction = direction;
    RgbImage turned = filled(120, 120);
    const auto p = draw(turned, "Bq7", s);
    QVERIFY(p);
    QCOMPARE(QSize(int(p->width), int(p->height)), QSize(expected.width, expected.height));
    QCOMPARE(QPoint(int(p->x), int(p->y)), QPoint(120 - expected.width, 120 - expected.height));
    QVERIFY(maxDifference(crop(turned, p->x, p->y, p->width, p->height), expected) <= 3);
    QVERIFY(QRect(int(p->x), int(p->y), int(p->width), int(p->height)).contains(changed(filled(120, 120), turned)));
    // On a buffer smaller than the box, cut on every side: what shows is that part of the whole.
    RgbImage small = filled(15, 9);
    s.position = 5;
    const auto q = draw(small, "Bq7", s);
    QVERIFY(q && q->x < 0 && q->y < 0 && !changed(filled(15, 9), small).isEmpty());
    QVERIFY(maxDifference(small, crop(turned, p->x - q->x, p->y - q->y, 15, 9)) <= 3);
}

// Offsets and heights far beyond the buffer: what lies outside is cut off
// (the sanitizer build checks that nothing is written there).
void TestTextStamp::farOutside()
{
    for (int direction = 0; direction <= 3; ++direction)
        for (auto [position, x, y, height] : {std::array{1, INT_MAX, 0, 14}, {9, INT_MIN, INT_MIN, 14},
                                              {5, 0, INT_MAX, 14}, {1, 0, 0, INT_MAX}, {5, -30, 20, 500}}) {
            StampStyle s = style(height, position, x, y, direction);
            s.boxColour = 0x404040;
            s.boxOpacity = 50;
            s.frameColour = 0x00ff00;
            RgbImage img = filled(50, 30);
            QVERIFY(draw(img, "HHHH", s));
            QCOMPARE(changed(filled(50, 30), img).isEmpty(), height == 14);
        }
}

QTEST_MAIN(TestTextStamp)
#include "test_textstamp.moc"
