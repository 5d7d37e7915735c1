// The show step on a headless target: fitting and centring, backgrounds,
// the transition frame around the effect, calibration and stamp, failures
// (the fitting's after the effect choice), a stop while the picture is
// decoded, and the release of everything made for one picture.
#include "pictures/showstep.h"
#include "platform/target.h"
#include "state/runstate.h"
#include "transitions/choice.h"
#include "transitions/frame.h"

#include <QImage>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

using namespace vm;

namespace {

constexpr Pixel kGreen = 0x00c800;
constexpr std::int32_t kBlueColorRef = 0xff0000; // blue, red in the low byte
constexpr Pixel kBlue = 0x0000ff;

Pixel desktopAt(int x, int y) { return 0x400000u | Pixel((x * 3 + y) & 0xff); }
Pixel patternAt(int x, int y) { return Pixel(((x ^ y) & 0xff) << 8) | 0x200000u; }

// Advances 1000 ms with every reading: each measured run lasts one second.
ClockSource secondsClock()
{
    auto now = std::make_shared<std::uint32_t>(0);
    return [now]() { return *now += 1000; };
}

// A show as the first tick leaves it: desktop on the target, buffers made,
// effect 1 chosen by the single rule, no waiting.
struct Show {
    RunState st;
    HeadlessTarget target;
    int stamps = 0;
    ColorRef brushAtStamp = 0xffffffff;
    bool pictureAtStamp = false;
    QString artistAtStamp;

    Show(int w, int h) : target(w, h)
    {
        prepare(st, w, h);
        Init_Screen(st, target);
    }

    static void prepare(RunState& st, int w, int h)
    {
        effekte_anlegen(st.effekte);
        for (int n = 1; n <= kEffectCount; ++n) st.effekte[size_t(n)] .aktiv = 1;
        for (int n = 1; n <= kEffectCount; ++n) st.effekte[size_t(n)].verzoegerung = 50;
        for (int n = 1; n <= kEffectCount; ++n) st.effekte[size_t(n)].schritt = 1;
        st.alphablend_verfuegbar = true;
        st.settings.effekt_nutzung = 1;
        st.settings.blende = 1;
        st.settings.hgfarbe = kBlueColorRef;
        st.settings.tdauer = 2;
        st.laufmodus = "Saver";
        st.stoppuhr = CStopWatch(secondsClock());
        st.ScreenWidth = w;
        st.ScreenHeight = h;
        Dc screen;
        st.bildschirmkopie_dc.create(&screen, w, h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) st.bildschirmkopie_dc.bitmap()->setPixel(x, y, desktopAt(x, y));
    }

    QString draw(const QString& path)
    {
        return DrawPicture(st, target, PictureEntry{path, QDateTime()},
                           [this](RunState& s, Target&, const PictureEntry&, const PictureMetadata& m) {
                               ++stamps;
                               brushAtStamp = s.bild.hintergrund_pinsel.color;
                               pictureAtStamp = s.bild.bild_dc.exists();
                               if (const ExifField* artist = m.exifTag(315)) artistAtStamp = artist->text;
                           });
    }

    const Bitmap& composed() const { return *st.neues_bild_dc.bitmap(); }
};

} // namespace

class TestShowStep : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;

    QString file(const char* name) const { return dir_.path() + "/" + name; }

    static void save(const QImage& img, const QString& path) { QVERIFY(img.save(path)); }

private slots:
    void initTestCase();
    void fitting_data();
    void fitting();
    void unscaledKeepsPixels();
    void background_data();
    void background();
    void matchedColour_data();
    void matchedColour();
    void frame_data();
    void frame();
    void failures_data();
    void failures();
    void cleanupOnEveryPath_data();
    void cleanupOnEveryPath();
    void choiceEveryStep();
    void fittingFailsAfterTheChoice();
    void stopWhileDecoding();
    void stampGetsTheMetadata();
};

void TestShowStep::initTestCase()
{
    QVERIFY(dir_.isValid());
    auto solid = [](int w, int h, QRgb c) {
        QImage img(w, h, QImage::Format_RGB32);
        img.fill(c);
        return img;
    };
    save(solid(4000, 3000, qRgb(0, 200, 0)), file("wide.png"));
    save(solid(3000, 4000, qRgb(0, 200, 0)), file("tall.png"));
    save(solid(640, 480, qRgb(0, 200, 0)), file("small.png"));
    save(solid(33, 21, qRgb(0, 200, 0)), file("odd.png"));
    save(solid(1, 2000, qRgb(0, 200, 0)), file("thin.png"));
    save(solid(32, 24, qRgb(0, 200, 0)), file("tiny.png"));
    save(solid(50, 1024, qRgb(0, 200, 0)), file("narrow.png"));
    QImage pattern(1024, 768, QImage::Format_RGB32);
    for (int y = 0; y < 768; ++y)
        for (int x = 0; x < 1024; ++x) pattern.setPixel(x, y, 0xff000000u | patternAt(x, y));
    save(pattern, file("exact.png"));
    QImage halves(64, 32, QImage::Format_RGB32);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 64; ++x) halves.setPixel(x, y, x < 32 ? qRgb(255, 0, 0) : qRgb(0, 0, 255));
    save(halves, file("halves.png"));
}

void TestShowStep::fitting_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("w");
    QTest::addColumn<int>("h");
    QTest::addColumn<int>("expand");
    QTest::addColumn<QRect>("placed");
    QTest::newRow("4000x3000 shrinks to the screen") << "wide.png" << 1024 << 768 << 0 << QRect(0, 0, 1024, 768);
    QTest::newRow("3000x4000 touches top and bottom") << "tall.png" << 1024 << 768 << 0 << QRect(224, 0, 576, 768);
    QTest::newRow("640x480 unscaled") << "small.png" << 1024 << 768 << 0 << QRect(192, 144, 640, 480);
    QTest::newRow("640x480 enlarged") << "small.png" << 1024 << 768 << 1 << QRect(0, 0, 1024, 768);
    QTest::newRow("screen size, s = 1, enlarging on") << "exact.png" << 1024 << 768 << 1 << QRect(0, 0, 1024, 768);
    QTest::newRow("halves go to even") << "odd.png" << 64 << 48 << 0 << QRect(16, 14, 33, 21);
    // 50 / single(4/3) = 37.4999..., where double precision gives 37.5 -> 38.
    QTest::newRow("single-precision ratio") << "narrow.png" << 1024 << 768 << 0 << QRect(494, 0, 37, 768);
    QTest::newRow("one pixel wide stays one pixel") << "thin.png" << 1024 << 768 << 0 << QRect(512, 0, 1, 768);
}

void TestShowStep::fitting()
{
    QFETCH(QString, name);
    QFETCH(int, w);
    QFETCH(int, h);
    QFETCH(int, expand);
    QFETCH(QRect, placed);
    Show show(w, h);
    show.st.settings.expand = expand;
    QCOMPARE(show.draw(file(qPrintable(name))), QString());
    const PictureState& b = show.st.bild;
    QCOMPARE(QRect(b.bild_x, b.bild_y, b.bild_breite, b.bild_hoehe), placed);
    const Bitmap& c = show.composed();
    if (name != "exact.png") {
        QCOMPARE(c.pixel(placed.left(), placed.top()), kGreen);
        QCOMPARE(c.pixel(placed.right(), placed.bottom()), kGreen);
    }
    if (placed.left() > 0) QCOMPARE(c.pixel(placed.left() - 1, placed.top()), kBlue);
    if (placed.right() + 1 < w) QCOMPARE(c.pixel(placed.right() + 1, placed.bottom()), kBlue);
    if (placed.top() > 0) QCOMPARE(c.pixel(placed.left(), placed.top() - 1), kBlue);
    // Effect 1 puts the composed picture on the target as it is.
    QVERIFY(show.target.bitmap() == c);
}

// s = 1: resizing to the same size keeps every pixel, as not resizing does.
void TestShowStep::unscaledKeepsPixels()
{
    for (int expand : {0, 1}) {
        Show show(1024, 768);
        show.st.settings.expand = expand;
        QCOMPARE(show.draw(file("exact.png")), QString());
        const Bitmap& c = show.composed();
        for (int y = 0; y < 768; y += 7)
            for (int x = 0; x < 1024; x += 5) QCOMPARE(c.pixel(x, y), patternAt(x, y));
    }
}

void TestShowStep::background_data()
{
    QTest::addColumn<int>("desktop");
    QTest::addColumn<int>("matched");
    QTest::addColumn<bool>("showsDesktop");
    QTest::addColumn<uint>("brush");
    QTest::newRow("fixed colour") << 0 << 0 << false << uint(kBlueColorRef);
    QTest::newRow("desktop, brush still made") << 1 << 0 << true << uint(kBlueColorRef);
    QTest::newRow("desktop with matched brush") << 1 << 1 << true << 0x00c800u;
}

void TestShowStep::background()
{
    QFETCH(int, desktop);
    QFETCH(int, matched);
    QFETCH(bool, showsDesktop);
    QFETCH(uint, brush);
    Show show(64, 48);
    show.st.settings.desktop = desktop;
    show.st.settings.passende_farbe = matched;
    show.st.settings.ausgeben = 1;
    QCOMPARE(show.draw(file("tiny.png")), QString());
    QCOMPARE(show.stamps, 1);
    QVERIFY(show.pictureAtStamp);
    QCOMPARE(show.brushAtStamp, ColorRef(brush));
    const Bitmap& c = show.composed();
    for (auto [x, y] : {std::pair{0, 0}, {63, 47}, {15, 11}, {48, 36}})
        QCOMPARE(c.pixel(x, y), showsDesktop ? desktopAt(x, y) : kBlue);
    QCOMPARE(c.pixel(16, 12), kGreen);
    QCOMPARE(c.pixel(47, 35), kGreen);
}

void TestShowStep::matchedColour_data()
{
    QTest::addColumn<int>("expand");
    QTest::newRow("unscaled") << 0;
    QTest::newRow("enlarged") << 1;
}

// Half red, half blue: the one-pixel average is (127.5, 0, 127.5), to even.
void TestShowStep::matchedColour()
{
    QFETCH(int, expand);
    Show show(128, 96);
    show.st.settings.passende_farbe = 1;
    show.st.settings.expand = expand;
    QCOMPARE(show.draw(file("halves.png")), QString());
    QCOMPARE(show.composed().pixel(0, 0), rgbPixel(128, 0, 128));
    QCOMPARE(show.composed().pixel(127, 95), rgbPixel(128, 0, 128));
}

void TestShowStep::frame_data()
{
    QTest::addColumn<int>("effect");
    QTest::addColumn<int>("ausgeben");
    QTest::addColumn<bool>("skipMeasurement");
    QTest::addColumn<bool>("alpha");
    QTest::addColumn<int>("ran");
    QTest::addColumn<int>("stamps");
    QTest::addColumn<int>("delayAfter");
    // Every run lasts 1 s against tdauer 2 s: a measured count doubles.
    QTest::newRow("2: measured and stamped") << 2 << 1 << false << true << 2 << 1 << 100;
    QTest::newRow("68: no stamp") << 68 << 1 << false << true << 68 << 0 << 100;
    QTest::newRow("69: no stamp") << 69 << 1 << false << true << 69 << 0 << 100;
    QTest::newRow("1: stamped, never measured") << 1 << 1 << false << true << 1 << 1 << 50;
    QTest::newRow("stamp switched off") << 2 << 0 << false << true << 2 << 0 << 100;
    QTest::newRow("after a form: neither") << 2 << 1 << true << true << 2 << 0 << 50;
}

void TestShowStep::frame()
{
    QFETCH(int, effect);
    QFETCH(int, ausgeben);
    QFETCH(bool, skipMeasurement);
    QFETCH(bool, alpha);
    QFETCH(int, ran);
    QFETCH(int, stamps);
    QFETCH(int, delayAfter);
    Show show(64, 48);
    show.st.settings.blende = effect;
    show.st.settings.ausgeben = ausgeben;
    show.st.messung_auslassen = skipMeasurement;
    show.st.alphablend_verfuegbar = alpha;
    show.st.fehlertext = "left over";
    QCOMPARE(show.draw(file("tiny.png")), QString());
    QCOMPARE(show.st.aktueller_effekt, ran);
    QCOMPARE(show.st.voriger_effekt, effect);
    QCOMPARE(show.stamps, stamps);
    QCOMPARE(show.st.effekte[size_t(effect)].verzoegerung, delayAfter);
    QVERIFY(!show.st.messung_auslassen);
    QVERIFY(show.st.fehlertext.isEmpty());
    if (ran != 68 && ran != 69) QVERIFY(show.target.bitmap() == show.composed());
}

void TestShowStep::failures_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("desktop");
    QTest::addColumn<bool>("onTarget");
    QTest::addColumn<int>("failAt");
    QTest::addColumn<QString>("message");
    QTest::newRow("desktop copy") << "tiny.png" << 1 << false << 1 << "Fehler in BitBlt in DrawPicture";
    QTest::newRow("background fill") << "tiny.png" << 0 << false << 1 << "Fehler in FillRect in DrawPicture";
    QTest::newRow("picture copy") << "tiny.png" << 0 << false << 2 << "Fehler in BitBlt in DrawPicture";
    QTest::newRow("picture copy on the desktop") << "tiny.png" << 1 << false << 2 << "Fehler in BitBlt in DrawPicture";
    QTest::newRow("transition, reading") << "tiny.png" << 0 << false << 3
        << "Blendengruppe: Sonstiges\nBlende: Ohne Effekt\n\nFehler in BitBlt in blende_000";
    QTest::newRow("transition, drawing") << "tiny.png" << 0 << true << 1
        << "Blendengruppe: Sonstiges\nBlende: Ohne Effekt\n\nFehler in BitBlt in blende_000";
    QTest::newRow("missing file") << "nowhere.png" << 0 << false << 0 << "";
}

void TestShowStep::failures()
{
    QFETCH(QString, name);
    QFETCH(int, desktop);
    QFETCH(bool, onTarget);
    QFETCH(int, failAt);
    QFETCH(QString, message);
    Show show(64, 48);
    show.st.settings.desktop = desktop;
    show.st.settings.ausgeben = 1;
    show.st.settings.effekt_nutzung = 2;
    show.st.settings.letzter_effekt = 76; // the sequence gives 1 next
    FaultHook hook;
    hook.failAt = failAt;
    (onTarget ? show.target.dc() : show.st.neues_bild_dc.dc())->faultHook = &hook;
    const Bitmap before = show.target.bitmap();
    const QString path = file(qPrintable(name));
    const QString result = show.draw(path);
    if (message.isEmpty()) {
        // The loader's own words, always ending with the path.
        QVERIFY(result.startsWith("Fehler "));
        QVERIFY(result.endsWith("\n" + path));
        QCOMPARE(show.st.voriger_effekt, 0); // no effect was chosen
    } else {
        QCOMPARE(result, message + "\n" + path);
        QCOMPARE(show.st.voriger_effekt, 1);
    }
    QVERIFY(show.target.bitmap() == before);
    QCOMPARE(show.stamps, 0);
    QCOMPARE(show.st.effekte[1].verzoegerung, 50);
}

void TestShowStep::cleanupOnEveryPath_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("failAt");
    QTest::newRow("success") << "tiny.png" << 0;
    QTest::newRow("missing file") << "nowhere.png" << 0;
    QTest::newRow("fill failed") << "tiny.png" << 1;
    QTest::newRow("transition failed") << "tiny.png" << 3;
}

void TestShowStep::cleanupOnEveryPath()
{
    QFETCH(QString, name);
    QFETCH(int, failAt);
    Show show(64, 48);
    // Scratch buffers a transition of the previous picture left standing.
    QVERIFY(show.st.puffer1.create(show.target.dc(), 64, 48));
    QVERIFY(show.st.puffer2.create(show.target.dc(), 64, 48));
    FaultHook hook;
    hook.failAt = failAt;
    show.st.neues_bild_dc.dc()->faultHook = &hook;
    show.draw(file(qPrintable(name)));
    QVERIFY(!show.st.bild.bild_dc.exists());
    QVERIFY(!show.st.puffer1.exists());
    QVERIFY(!show.st.puffer2.exists());
    QCOMPARE(show.st.bild.hintergrund_pinsel.color, ColorRef(0));
    // The screen buffers stay for the next picture.
    QVERIFY(show.st.neues_bild_dc.exists());
    QVERIFY(show.st.desktop_dc.exists());
}

void TestShowStep::choiceEveryStep()
{
    Show show(64, 48);
    show.st.settings.effekt_nutzung = 2;
    show.st.settings.letzter_effekt = 75;
    QCOMPARE(show.draw(file("tiny.png")), QString());
    QCOMPARE(show.st.voriger_effekt, 76);
    QCOMPARE(show.draw(file("small.png")), QString());
    QCOMPARE(show.st.voriger_effekt, 1);
    QCOMPARE(show.st.settings.letzter_effekt, 1);
}

// A surface so large that the enlarged picture cannot be held: the words
// come after the effect was chosen, and nothing is drawn.
void TestShowStep::fittingFailsAfterTheChoice()
{
    struct Vast : HeadlessTarget {
        Vast() : HeadlessTarget(64, 48) {}
        double width() const override { return 20000; }
        double height() const override { return 20000; }
    } vast;
    RunState st;
    Show::prepare(st, 64, 48);
    st.settings.expand = 1;
    st.settings.effekt_nutzung = 2;
    st.settings.letzter_effekt = 4;
    const QString path = file("tiny.png");
    QCOMPARE(DrawPicture(st, vast, PictureEntry{path, {}}), "GlobalAlloc fehlgeschlagen " + path);
    QCOMPARE(st.voriger_effekt, 5);
    QCOMPARE(st.bild.neue_breite, 20000);
    QVERIFY(!st.bild.bild_dc.exists());
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

// The EXIF data read with the picture reach the stamp.
void TestShowStep::stampGetsTheMetadata()
{
    Show show(64, 48);
    show.st.settings.ausgeben = 1;
    QCOMPARE(show.draw(QStringLiteral(VELMIRANO_TEST_DATA "/meta.jpg")), QString());
    QCOMPARE(show.artistAtStamp, QString("Velmiworks"));
}

QTEST_GUILESS_MAIN(TestShowStep)
#include "test_showstep.moc"
