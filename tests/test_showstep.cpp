// The show step on a headless target: fitting, backgrounds, the frame around
// the effect, failures, a stop while decoding, and the release of its buffers.
#include "pictures/showstep.h"
#include "platform/target.h"
#include "state/runstate.h"
#include "testutil.h"
#include "transitions/choice.h"
#include "transitions/frame.h"

#include <QImage>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

using namespace vm;

namespace {

// Not symmetric under a swap of red and blue, so a swapped byte order shows.
constexpr Pixel kPicture = 0xc8641e;
constexpr std::int32_t kBlueColorRef = 0xff0000; // red in the low byte
constexpr Pixel kBlue = 0x0000ff;

Pixel desktopAt(int x, int y) { return 0x400000u | Pixel((x * 3 + y) & 0xff); }
Pixel patternAt(int x, int y) { return Pixel(((x ^ y) & 0xff) << 8) | 0x200000u; }

// A target whose surface may be larger than its bitmap.
struct Surface : HeadlessTarget {
    double side; // 0: the bitmap's size
    Surface(int width, int height, double side) : HeadlessTarget(width, height), side(side) {}
    double width() const override { return side ? side : HeadlessTarget::width(); }
    double height() const override { return side ? side : HeadlessTarget::height(); }
};

// A show as the first tick leaves it, effect 1, each measured run lasting one
// second, and the scratch buffers a previous transition left standing.
struct Show {
    RunState st;
    Surface target;
    int stamps = 0;
    ColorRef brushAtStamp = 0xffffffff;
    QString artistAtStamp;

    Show(int w, int h, double surface = 0) : target(w, h, surface)
    {
        effekte_anlegen(st.effekte);
        for (int n = 1; n <= kEffectCount; ++n) {
            Effekteintrag& e = st.effekte[size_t(n)];
            e.aktiv = e.schritt = 1;
            e.verzoegerung = 50;
        }
        st.alphablend_verfuegbar = true;
        st.settings.effekt_nutzung = st.settings.blende = 1;
        st.settings.hgfarbe = kBlueColorRef;
        st.settings.tdauer = 2;
        st.laufmodus = "Saver";
        st.stoppuhr = CStopWatch([now = std::make_shared<std::uint32_t>(0)] { return *now += 1000; });
        st.ScreenWidth = w;
        st.ScreenHeight = h;
        Dc screen;
        st.bildschirmkopie_dc.create(&screen, w, h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) st.bildschirmkopie_dc.bitmap()->setPixel(x, y, desktopAt(x, y));
        if (surface) return;
        Init_Screen(st, target);
        st.puffer1.create(target.dc(), w, h);
        st.puffer2.create(target.dc(), w, h);
    }

    QString draw(const QString& path)
    {
        const QString result = DrawPicture(st, target, PictureEntry{path, QDateTime()},
                                           [this](RunState& s, Target&, const PictureEntry&, const PictureMetadata& m) {
                                               ++stamps;
                                               brushAtStamp = s.bild.hintergrund_pinsel.color;
                                               if (const ExifField* artist = m.exifTag(315)) artistAtStamp = artist->text;
                                           });
        // Whatever way the step ended, what it made for the picture is gone
        // and the screen buffers stay for the next.
        if (st.bild.bild_dc.exists() || st.puffer1.exists() || st.puffer2.exists() || st.bild.hintergrund_pinsel.color)
            return "left behind";
        if (!target.side && !(st.neues_bild_dc.exists() && st.desktop_dc.exists())) return "screen buffers released";
        return result;
    }

    const Bitmap& composed() const { return *st.neues_bild_dc.bitmap(); }
};

} // namespace

class TestShowStep : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QString file(const QString& name) const { return dir_.path() + "/" + name; }

private slots:
    void initTestCase();
    void fitting_data();
    void fitting();
    void frame_data();
    void frame();
    void failures_data();
    void failures();
    void fittingFailsAfterTheChoice();
    void stopWhileDecoding();
};

void TestShowStep::initTestCase()
{
    QVERIFY(dir_.isValid());
    for (auto [name, w, h] : {std::tuple{"wide", 4000, 3000}, {"tall", 3000, 4000}, {"small", 640, 480}, {"odd", 33, 21},
                              {"thin", 1, 2000}, {"tiny", 32, 24}, {"narrow", 50, 1024}})
        QVERIFY(solid(w, h, 0xff000000u | kPicture).save(file(QString(name) + ".png")));
    QImage pattern(1024, 768, QImage::Format_RGB32), halves(64, 32, QImage::Format_RGB32);
    for (int y = 0; y < 768; ++y)
        for (int x = 0; x < 1024; ++x) pattern.setPixel(x, y, 0xff000000u | patternAt(x, y));
    QVERIFY(pattern.save(file("exact.png")));
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 64; ++x) halves.setPixel(x, y, x < 32 ? qRgb(255, 0, 0) : qRgb(0, 0, 0));
    QVERIFY(halves.save(file("halves.png")));
}

void TestShowStep::fitting_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("screen");
    QTest::addColumn<int>("expand");
    QTest::addColumn<int>("background"); // 1: matched colour, 2: desktop, 3: both
    QTest::addColumn<QRect>("placed");
    const QSize s(1024, 768);
    QTest::newRow("4000x3000 shrinks to the screen") << "wide" << s << 0 << 0 << QRect(0, 0, 1024, 768);
    QTest::newRow("3000x4000 touches top and bottom") << "tall" << s << 0 << 0 << QRect(224, 0, 576, 768);
    QTest::newRow("640x480 unscaled") << "small" << s << 0 << 0 << QRect(192, 144, 640, 480);
    QTest::newRow("640x480 enlarged") << "small" << s << 1 << 0 << QRect(0, 0, 1024, 768);
    QTest::newRow("screen size, s = 1") << "exact" << s << 0 << 0 << QRect(0, 0, 1024, 768);
    QTest::newRow("halves go to even") << "odd" << QSize(64, 48) << 0 << 0 << QRect(16, 14, 33, 21);
    // 50 / single(4/3) = 37.4999..., where double precision gives 37.5 -> 38.
    QTest::newRow("single-precision ratio") << "narrow" << s << 0 << 0 << QRect(494, 0, 37, 768);
    QTest::newRow("one pixel wide stays one pixel") << "thin" << s << 0 << 0 << QRect(512, 0, 1, 768);
    QTest::newRow("matched colour") << "tiny" << QSize(64, 48) << 0 << 1 << QRect(16, 12, 32, 24);
    QTest::newRow("desktop, brush still made") << "tiny" << QSize(64, 48) << 0 << 2 << QRect(16, 12, 32, 24);
    QTest::newRow("desktop, matched brush") << "tiny" << QSize(64, 48) << 0 << 3 << QRect(16, 12, 32, 24);
    // Half red, half black: the one-pixel average (127.5, 0, 0) goes to even.
    QTest::newRow("matched colour is the average") << "halves" << QSize(128, 96) << 0 << 1 << QRect(32, 32, 64, 32);
}

// The whole composed frame: the picture in its place on its background,
// and the brush made for it.
void TestShowStep::fitting()
{
    QFETCH(QString, name);
    QFETCH(QSize, screen);
    QFETCH(int, background);
    QFETCH(QRect, placed);
    Show show(screen.width(), screen.height());
    QFETCH(int, expand);
    show.st.settings.expand = expand;
    show.st.settings.passende_farbe = background & 1;
    show.st.settings.desktop = background >> 1;
    show.st.settings.ausgeben = 1;
    QCOMPARE(show.draw(file(name + ".png")), QString());
    const PictureState& b = show.st.bild;
    QCOMPARE(QRect(b.bild_x, b.bild_y, b.bild_breite, b.bild_hoehe), placed);
    const Pixel fill = !(background & 1) ? kBlue : name == "halves" ? 0x800000 : kPicture;
    QCOMPARE(show.brushAtStamp, (fill >> 16 & 0xff) | (fill & 0xff00) | (fill & 0xff) << 16);
    const Bitmap& c = show.composed();
    for (int y = 0; y < screen.height(); ++y)
        for (int x = 0; x < screen.width(); ++x) {
            const Pixel inside = name == "exact" ? patternAt(x, y) : name != "halves" ? kPicture
                                 : x - placed.left() < 32 ? 0xff0000 : 0;
            const Pixel expected = placed.contains(x, y) ? inside : background & 2 ? desktopAt(x, y) : fill;
            if (c.pixel(x, y) != expected) QFAIL(qPrintable(QString("pixel %1,%2: %3").arg(x).arg(y).arg(c.pixel(x, y), 0, 16)));
        }
    QVERIFY(show.target.bitmap() == c); // effect 1 puts the frame on the target as it is
}

void TestShowStep::frame_data()
{
    QTest::addColumn<int>("effect");
    QTest::addColumn<int>("ausgeben");
    QTest::addColumn<bool>("skipMeasurement");
    QTest::addColumn<int>("stamps");
    QTest::addColumn<int>("delayAfter");
    // Every run lasts 1 s against tdauer 2 s: a measured count doubles.
    QTest::newRow("2: measured and stamped") << 2 << 1 << false << 1 << 100;
    QTest::newRow("68, album: no stamp") << 68 << 1 << false << 0 << 100;
    QTest::newRow("69, pinboard: no stamp") << 69 << 1 << false << 0 << 100;
    QTest::newRow("1: stamped, never measured") << 1 << 1 << false << 1 << 50;
    QTest::newRow("stamp switched off") << 2 << 0 << false << 0 << 100;
    QTest::newRow("after a form: neither") << 2 << 1 << true << 0 << 50;
}

void TestShowStep::frame()
{
    QFETCH(int, effect);
    QFETCH(int, stamps);
    Show show(64, 48);
    show.st.settings.blende = effect;
    QFETCH(int, ausgeben);
    show.st.settings.ausgeben = ausgeben;
    QFETCH(bool, skipMeasurement);
    show.st.messung_auslassen = skipMeasurement;
    show.st.fehlertext = "left over";
    QCOMPARE(show.draw(testData("meta.jpg")), QString());
    QCOMPARE(show.st.aktueller_effekt, effect);
    QCOMPARE(show.st.voriger_effekt, effect);
    QCOMPARE(show.stamps, stamps);
    QCOMPARE(show.artistAtStamp, QString(stamps ? "Velmiworks" : "")); // the EXIF data read with the picture
    QTEST(show.st.effekte[size_t(effect)].verzoegerung, "delayAfter");
    QVERIFY(!show.st.messung_auslassen);
    QVERIFY(show.st.fehlertext.isEmpty());
    if (effect != 68 && effect != 69) QVERIFY(show.target.bitmap() == show.composed());
}

void TestShowStep::failures_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("desktop");
    QTest::addColumn<bool>("onTarget");
    QTest::addColumn<int>("failAt");
    QTest::addColumn<QString>("message");
    const QString transition = "Blendengruppe: Sonstiges\nBlende: Ohne Effekt\n\nFehler in BitBlt in blende_000";
    QTest::newRow("desktop copy") << "tiny" << 1 << false << 1 << "Fehler in BitBlt in DrawPicture";
    QTest::newRow("background fill") << "tiny" << 0 << false << 1 << "Fehler in FillRect in DrawPicture";
    QTest::newRow("picture copy") << "tiny" << 0 << false << 2 << "Fehler in BitBlt in DrawPicture";
    QTest::newRow("transition, reading") << "tiny" << 0 << false << 3 << transition;
    QTest::newRow("transition, drawing") << "tiny" << 0 << true << 1 << transition;
    QTest::newRow("missing file") << "nowhere" << 0 << false << 0 << "";
}

void TestShowStep::failures()
{
    QFETCH(QString, name);
    QFETCH(int, desktop);
    QFETCH(bool, onTarget);
    QFETCH(QString, message);
    Show show(64, 48);
    show.st.settings.desktop = desktop;
    show.st.settings.ausgeben = 1;
    show.st.settings.effekt_nutzung = 2;
    show.st.settings.letzter_effekt = 76; // the sequence gives 1 next
    FaultHook hook;
    QFETCH(int, failAt);
    hook.failAt = failAt;
    (onTarget ? show.target.dc() : show.st.neues_bild_dc.dc())->faultHook = &hook;
    const Bitmap before = show.target.bitmap();
    const QString path = file(name + ".png");
    const QString result = show.draw(path);
    if (message.isEmpty()) { // the loader's own words, with the path; no effect was chosen
        QVERIFY(result.startsWith("Fehler ") && result.endsWith("\n" + path));
        QCOMPARE(show.st.voriger_effekt, 0);
    } else {
        QCOMPARE(result, message + "\n" + path);
        QCOMPARE(show.st.voriger_effekt, 1);
    }
    QVERIFY(show.target.bitmap() == before);
    QCOMPARE(show.stamps, 0);
    QCOMPARE(show.st.effekte[1].verzoegerung, 50);
}

// A surface so large that the enlarged picture cannot be held: the words
// come after the effect was chosen, and nothing is drawn.
void TestShowStep::fittingFailsAfterTheChoice()
{
    Show show(64, 48, 20000);
    show.st.settings.expand = 1;
    show.st.settings.effekt_nutzung = 2;
    show.st.settings.letzter_effekt = 4;
    QCOMPARE(show.draw(file("tiny.png")), "GlobalAlloc fehlgeschlagen " + file("tiny.png"));
    QCOMPARE(show.st.voriger_effekt, 5);
    QCOMPARE(show.st.bild.neue_breite, 20000);
}

// A key while the decoder hangs: the step ends at once, as stopped by the
// user, before any effect is chosen.
void TestShowStep::stopWhileDecoding()
{
    qputenv("VELMIRANO_DECODER_FAULT", "hang:tiny");
    Show show(64, 48);
    show.st.settings.ausgeben = 1;
    const Bitmap before = show.target.bitmap();
    QTimer::singleShot(50, [&show] { show.st.abbruch = true; });
    const QString result = show.draw(file("tiny.png"));
    qunsetenv("VELMIRANO_DECODER_FAULT");
    QCOMPARE(result, QString());
    QCOMPARE(show.st.voriger_effekt, 0);
    QCOMPARE(show.stamps, 0);
    QVERIFY(show.target.bitmap() == before);
}

QTEST_GUILESS_MAIN(TestShowStep)
#include "test_showstep.moc"
