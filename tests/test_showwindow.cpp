// The show window and its slideshow: the next picture of a tick, the mouse
// threshold, how a screen-saver daemon hands us its window, a key between
// ticks and during a transition, and a vanished host.
#include "platform/registry.h"
#include "start/showwindow.h"
#include "start/slideshow.h"
#include "start/windows.h"
#include "transitions/frame.h"
#include "showutil.h"
#include "state/runstate.h"
#include "testutil.h"

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QTimer>
#include <QtTest>

using namespace vm;

namespace {

// A show of 64x64 pixels whose effect steps one line at a time.
void prepareShow(RunState& st, const QStringList& pictures, int effect, std::int32_t delay)
{
    ::prepareShow(st, 64, 64, pictures, effect);
    for (int n = 1; n <= kEffectCount; ++n) st.effekte[size_t(n)].schritt = 1;
    st.effekte[size_t(effect)].verzoegerung = delay;
    st.alphablend_verfuegbar = true;
}

// A 64x64 picture of one colour (a broken file for "broken") in `dir`.
QString picture(const QTemporaryDir& dir, const QString& colour)
{
    const QString path = dir.filePath(colour + ".png");
    if (colour == "broken") return writeFile(path, "\x89PNG\r\n\x1a\n broken") ? path : QString();
    return solid(64, 64, QColor(colour).rgb()).save(path) ? path : QString();
}

bool boxIs(const PictureBox& box, ColorRef colour)
{
    if (box.bitmap().width() != 64 || box.bitmap().height() != 64) return false;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            if (box.bitmap().pixel(x, y) != pixelFromColorRef(colour)) return false;
    return true;
}

} // namespace

class TestShowWindow : public QObject {
    Q_OBJECT
    ScratchConfig config_;
    QTemporaryDir dir_;

private slots:
    void init() { QFile::remove(config_.file()); }
    void nextPicture_data();
    void nextPicture();
    void inputRules();
    void keyBetweenTicks();
    void keyDuringTransitionEndsAfterIt();
    void hostGoneEndsAtOnce_data();
    void hostGoneEndsAtOnce();
};

void TestShowWindow::nextPicture_data()
{
    QTest::addColumn<QStringList>("pictures");
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("after");
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<int>("colour"); // the whole box afterwards, 0xBBGGRR
    // With these seeds the first random number is the lowest, or the highest, there is.
    const quint32 lowest = 27562631, highest = 5374434;
    QTest::newRow("next") << QStringList{"red", "lime"} << 1 << 2 << 1u << 0x00ff00;
    QTest::newRow("wraps at the end") << QStringList{"red", "lime"} << 2 << 1 << 1u << 0x0000ff;
    QTest::newRow("out of range restarts") << QStringList{"red", "lime"} << -5 << 1 << 1u << 0x0000ff;
    QTest::newRow("failed, lowest colour") << QStringList{"red", "broken"} << 1 << 2 << lowest << 0x000001;
    QTest::newRow("failed, highest colour") << QStringList{"broken"} << 0 << 1 << highest << 0xffffff;
    QTest::newRow("empty list, lowest colour") << QStringList{} << 3 << 3 << lowest << 0x000001;
    QTest::newRow("empty list, highest colour") << QStringList{} << 0 << 0 << highest << 0xffffff;
}

// A failure is logged with the file's name and shows a random plain colour, never black.
void TestShowWindow::nextPicture()
{
    QFETCH(QStringList, pictures);
    QFETCH(int, before);
    QFETCH(int, after);
    QFETCH(quint32, seed);
    QFETCH(int, colour);
    QStringList paths;
    for (const QString& p : pictures) paths << picture(dir_, p);
    RunState st;
    Registry registry;
    prepareShow(st, paths, 1, 0);
    st.random.seedWith(seed);
    st.CurrentPictureIndex = before;
    PictureBox box;
    box.resize(64, 64);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QCOMPARE(Init_Screen(st, box), QString());
    box.clearTo(pixelFromColorRef(0x808080));
    ShowNextPicture(st, registry, box);
    QCOMPARE(st.CurrentPictureIndex, after);
    QVERIFY(boxIs(box, ColorRef(colour)));
    const bool failed = pictures.value(after - 1) == "broken";
    QCOMPARE(registry.ReadSetting("error", "numbers", ""), failed ? QString("1") : QString());
    QCOMPARE(registry.ReadSetting("error", "number0", "").contains("broken.png"), failed);
}

// A move of more than two pixels ends the show; our own switch wins over the
// daemon's XSCREENSAVER_WINDOW.
void TestShowWindow::inputRules()
{
    for (auto [dx, dy, ends] : {std::tuple{1, 1, false}, {2, 1, true}, {2, 0, false}, {-2, 1, true}})
        QCOMPARE(mouseMoveEndsShow(QPoint(100, 50), QPoint(100 + dx, 50 + dy)), ends);
    const std::tuple<QStringList, const char*, long long> hosts[] = {
        {{"/S"}, "", 0}, {{}, "0x1200007", 0x1200007}, {{}, "window", 0}, {{"-window-id", "123"}, "", 123},
        {{"-window-id", "5"}, "9", 5}, {{"-window-id"}, "", 0}, {{"-root"}, "", 777}, {{"-root", "-visual", "0x21"}, "9", 9},
        {{"/C"}, "9", 0}, {{"/P", "123"}, "9", 0}, {{"-root", "/C"}, "", 0}, {{"S"}, "9", 0}};
    for (const auto& [args, env, host] : hosts)
        QCOMPARE(screenSaverHostWindow(QStringList{"velmirano"} + args, env, 777), host);
}

// (The password branch is for systems that ask one; this one never does.)
void TestShowWindow::keyBetweenTicks()
{
    RunState st;
    Registry registry;
    prepareShow(st, {}, 1, 0);
    MainScreen screen(st, registry, MainScreen::Mode::FullScreen, 0, PasswordService{});
    QTRY_VERIFY(!screen.slideshow().tickRunning() && screen.slideshow().timerEnabled());
    QTest::keyClick(&screen.Picture1(), Qt::Key_A);
    QVERIFY(screen.unloaded() && st.abbruch && !screen.slideshow().timerEnabled());
    QVERIFY(QGuiApplication::overrideCursor() == nullptr);
    QCOMPARE(registry.ReadSetting("misc", "message", ""), QString("PICTURE_KEYDOWN "));
    QCOMPARE(registry.EnumSettings("delay").size(), size_t(152));
}

void TestShowWindow::keyDuringTransitionEndsAfterIt()
{
    RunState st;
    Registry registry;
    // A slow line-by-line transition: it lets events through at every step.
    prepareShow(st, {picture(dir_, "red")}, 2, 20'000'000);
    MainScreen screen(st, registry, MainScreen::Mode::FullScreen, 0, PasswordService{});
    bool sawTick = false;
    QTimer::singleShot(200, &screen, [&] {
        sawTick = screen.slideshow().tickRunning();
        QTest::keyClick(&screen.Picture1(), Qt::Key_A);
        // The first request only stops the transition; a second one during
        // the same tick must not unload while the tick still draws.
        QTest::keyClick(&screen.Picture1(), Qt::Key_B);
        QVERIFY(!screen.unloaded());
    });
    QTRY_VERIFY_WITH_TIMEOUT(screen.unloaded(), 30000);
    QVERIFY(sawTick);
    QCOMPARE(registry.ReadSetting("misc", "message", ""), QString("PICTURE_KEYDOWN PICTURE_KEYDOWN "));
    QCOMPARE(registry.ReadSetting("misc", "letztes_bild", ""), QString("1"));
    QVERIFY(!st.neues_bild_dc.exists()); // released by the unload, after the tick
}

void TestShowWindow::hostGoneEndsAtOnce_data()
{
    QTest::addColumn<bool>("duringTransition");
    QTest::newRow("during a transition") << true;
    QTest::newRow("between pictures") << false;
}

// The host is watched all the time, not only when a tick starts: a slow
// transition stops early, and a 60 s interval is not waited out.
void TestShowWindow::hostGoneEndsAtOnce()
{
    QFETCH(bool, duringTransition);
    RunState st;
    Registry registry;
    prepareShow(st, duringTransition ? QStringList{picture(dir_, "red")} : QStringList{}, 2, 100'000'000);
    PictureBox box;
    box.resize(64, 64);
    box.show();
    bool gone = false, wasRunning = false;
    int ends = 0;
    Slideshow show(st, registry, box, [&] { ++ends; }, [&] { return gone; });
    show.start();
    if (duringTransition) {
        QTimer::singleShot(300, &box, [&] {
            wasRunning = show.tickRunning();
            gone = true;
        });
    } else {
        QTRY_VERIFY(show.timerEnabled() && show.Timer1.interval() == 60000); // after the first picture
        gone = wasRunning = true;
    }
    QTRY_COMPARE_WITH_TIMEOUT(ends, 1, 20000);
    QVERIFY(wasRunning && st.abbruch && !show.timerEnabled());
    if (duringTransition) QVERIFY2(!boxIs(box, 0x0000ff), "the transition ran to its end");
    QTest::qWait(100);
    QCOMPARE(ends, 1);
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    TestShowWindow t;
    return QTest::qExec(&t, argc, argv);
}
#include "test_showwindow.moc"
