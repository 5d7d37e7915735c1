// The show window's input and unload rules: the mouse threshold, how a
// screen-saver daemon hands us its window, the password branch through a
// fake, and a key press in the middle of a transition.
#include "platform/registry.h"
#include "start/showwindow.h"
#include "start/windows.h"
#include "state/runstate.h"
#include "testutil.h"

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QTimer>
#include <QtTest>

using namespace vm;

namespace {

// A run state as start-up leaves it for a show: a screen copy, the
// catalogue, and one picture in the list.
void prepareShow(RunState& st, const QString& picture, int effect, std::int32_t delay)
{
    effekte_anlegen(st.effekte);
    for (int n = 1; n <= kEffectCount; ++n) {
        st.effekte[size_t(n)].aktiv = 1;
        st.effekte[size_t(n)].schritt = 1;
    }
    st.effekte[size_t(effect)].verzoegerung = delay;
    st.settings.blende = effect;
    st.settings.effekt_nutzung = 1;
    st.settings.delay = 60;
    st.alphablend_verfuegbar = true;
    st.laufmodus = "Saver";
    st.ScreenWidth = st.ScreenHeight = 64;
    Dc display;
    st.bildschirmkopie_dc.create(&display, 64, 64);
    if (!picture.isEmpty()) st.pictureList.push_back(PictureEntry{picture, QDateTime::currentDateTime()});
}

struct FakePasswords {
    bool answer = false;
    int asked = 0;
    PasswordService service()
    {
        return {[] { return true; }, [this](QWidget*) {
                    ++asked;
                    return answer;
                }};
    }
};

} // namespace

class TestShowWindow : public QObject {
    Q_OBJECT
    ScratchConfig config_;
    QTemporaryDir dir_;

private slots:
    void init() { QFile::remove(config_.file()); }
    void mouseThreshold_data();
    void mouseThreshold();
    void screenSaverHost_data();
    void screenSaverHost();
    void keyBetweenTicksEndsAndSaves();
    void wrongPasswordResumes();
    void rightPasswordEnds();
    void keyDuringTransitionEndsAfterIt();
    void hostGoneEndsAtOnce_data();
    void hostGoneEndsAtOnce();
};

void TestShowWindow::mouseThreshold_data()
{
    QTest::addColumn<QPoint>("move");
    QTest::addColumn<bool>("ends");
    QTest::newRow("1+1 stays") << QPoint(1, 1) << false;
    QTest::newRow("2+1 ends") << QPoint(2, 1) << true;
    QTest::newRow("2+0 stays") << QPoint(2, 0) << false;
    QTest::newRow("0+3 ends") << QPoint(0, 3) << true;
    QTest::newRow("-1-1 stays") << QPoint(-1, -1) << false;
    QTest::newRow("-2+1 ends") << QPoint(-2, 1) << true;
}

void TestShowWindow::mouseThreshold()
{
    QFETCH(QPoint, move);
    QFETCH(bool, ends);
    const QPoint ref(100, 50);
    QCOMPARE(mouseMoveEndsShow(ref, ref + move), ends);
}

void TestShowWindow::screenSaverHost_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("env");
    QTest::addColumn<long long>("host");
    QTest::newRow("nothing") << QStringList{"velmirano", "/S"} << QByteArray() << 0LL;
    QTest::newRow("environment hex") << QStringList{"velmirano"} << QByteArray("0x1200007") << 0x1200007LL;
    QTest::newRow("environment decimal") << QStringList{"velmirano"} << QByteArray("4711") << 4711LL;
    QTest::newRow("environment junk") << QStringList{"velmirano"} << QByteArray("window") << 0LL;
    QTest::newRow("-window-id") << QStringList{"velmirano", "-window-id", "123"} << QByteArray() << 123LL;
    QTest::newRow("-window-id hex") << QStringList{"velmirano", "-window-id", "0x1f"} << QByteArray() << 31LL;
    QTest::newRow("-window-id wins over env") << QStringList{"velmirano", "-window-id", "5"} << QByteArray("9") << 5LL;
    QTest::newRow("-root") << QStringList{"velmirano", "-root"} << QByteArray() << 777LL;
    QTest::newRow("env stands in for -root") << QStringList{"velmirano", "-root", "-visual", "0x21"} << QByteArray("9")
                                             << 9LL;
    QTest::newRow("-window-id without id") << QStringList{"velmirano", "-window-id"} << QByteArray() << 0LL;
    // Our own switch wins over the environment.
    QTest::newRow("/C with env") << QStringList{"velmirano", "/C"} << QByteArray("9") << 0LL;
    QTest::newRow("/P 123 with env") << QStringList{"velmirano", "/P", "123"} << QByteArray("9") << 0LL;
    QTest::newRow("/s with env") << QStringList{"velmirano", "/s"} << QByteArray("9") << 0LL;
    QTest::newRow("/C and -root") << QStringList{"velmirano", "-root", "/C"} << QByteArray() << 0LL;
}

void TestShowWindow::screenSaverHost()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, env);
    QFETCH(long long, host);
    QCOMPARE(screenSaverHostWindow(args, env, 777), host);
}

void TestShowWindow::keyBetweenTicksEndsAndSaves()
{
    RunState st;
    Registry registry;
    prepareShow(st, QString(), 1, 0);
    MainScreen screen(st, registry, MainScreen::Mode::FullScreen, 0, PasswordService{});
    QTRY_VERIFY(!screen.slideshow().tickRunning() && screen.slideshow().timerEnabled());
    QTest::keyClick(&screen.Picture1(), Qt::Key_A);
    QVERIFY(screen.unloaded());
    QVERIFY(st.abbruch);
    QCOMPARE(registry.ReadSetting("misc", "message", ""), QString("PICTURE_KEYDOWN "));
    QCOMPARE(registry.EnumSettings("delay").size(), size_t(152));
}

void TestShowWindow::wrongPasswordResumes()
{
    RunState st;
    Registry registry;
    prepareShow(st, QString(), 1, 0);
    FakePasswords fake;
    MainScreen screen(st, registry, MainScreen::Mode::FullScreen, 0, fake.service());
    QTRY_VERIFY(screen.slideshow().timerEnabled());
    QTest::keyClick(&screen.Picture1(), Qt::Key_A);
    QCOMPARE(fake.asked, 1);
    QVERIFY(!screen.unloaded());
    QVERIFY(!st.abbruch);
    QVERIFY(screen.slideshow().timerEnabled()); // the show goes on
    QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::BlankCursor);
    QVERIFY(registry.ReadSetting("misc", "message", "none") == "none");
}

void TestShowWindow::rightPasswordEnds()
{
    RunState st;
    Registry registry;
    prepareShow(st, QString(), 1, 0);
    FakePasswords fake;
    fake.answer = true;
    MainScreen screen(st, registry, MainScreen::Mode::FullScreen, 0, fake.service());
    QTRY_VERIFY(screen.slideshow().timerEnabled());
    QTest::keyClick(&screen.Picture1(), Qt::Key_A);
    QCOMPARE(fake.asked, 1);
    QVERIFY(screen.unloaded());
    QVERIFY(QGuiApplication::overrideCursor() == nullptr);
    QCOMPARE(registry.ReadSetting("misc", "message", ""), QString("PICTURE_KEYDOWN "));
}

void TestShowWindow::keyDuringTransitionEndsAfterIt()
{
    const QString picture = dir_.filePath("p.png");
    QImage img(64, 64, QImage::Format_RGB32);
    img.fill(Qt::red);
    QVERIFY(img.save(picture));
    RunState st;
    Registry registry;
    // A slow line-by-line transition: it lets events through at every step.
    prepareShow(st, picture, 2, 20'000'000);
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
    const QString picture = dir_.filePath("p.png");
    QImage img(64, 64, QImage::Format_RGB32);
    img.fill(Qt::red);
    QVERIFY(img.save(picture));
    RunState st;
    Registry registry;
    prepareShow(st, duringTransition ? picture : QString(), 2, 100'000'000);
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
    QVERIFY(wasRunning);
    QVERIFY(st.abbruch);
    QVERIFY(!show.timerEnabled());
    int red = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) red += box.bitmap().pixel(x, y) == pixelFromColorRef(0x0000ff);
    if (duringTransition) QVERIFY2(red < 64 * 64, "the transition ran to its end");
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
