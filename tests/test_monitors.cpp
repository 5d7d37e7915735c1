// The show over several monitors: turns that never overlap, pictures dealt
// by the mode, each monitor's part of the desktop, timings that only the
// primary monitor calibrates, monitors that go mid-turn, and the window
// system a Wayland session gets.
#include "platform/displayserver.h"
#include "platform/qttarget.h"
#include "platform/registry.h"
#include "start/monitors.h"
#include "start/slideshow.h"
#include "state/runstate.h"
#include "testutil.h"
#include "transitions/choice.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QtTest>

#include <memory>

using namespace vm;

namespace {

constexpr Pixel kLeft = 0xff0000, kRight = 0x00ff00;

// A run whose desktop copy holds two monitors side by side: the primary
// one (red) and a second one (green) of another size.
struct TwoMonitors {
    RunState st;
    Registry registry;
    HeadlessTarget first;
    HeadlessTarget second;
    MonitorSet set{st, registry};

    TwoMonitors(QSize a = {64, 36}, QSize b = {48, 40})
        : first(a.width(), a.height(), 0x123456), second(b.width(), b.height(), 0x123456)
    {
        effekte_anlegen(st.effekte);
        effektzeiten_vorgabe_show(st.effekte);
        st.settings.delay = 1;
        st.ScreenWidth = a.width();
        st.ScreenHeight = a.height();
        Dc display;
        st.bildschirmkopie_dc.create(&display, a.width() + b.width(), std::max(a.height(), b.height()));
        st.bildschirmkopie_dc.bitmap()->fill(kRight);
        FillRect(st.bildschirmkopie_dc.dc(), Rect{0, 0, a.width(), a.height()}, SolidBrush{colorRefFromPixel(kLeft)});
        set.add(second, QRect(QPoint(a.width(), 0), b), false, &second);
        set.add(first, QRect(QPoint(0, 0), a), true, &first);
    }
};

// What ShowNextPicture does to the position, for a list of `count` pictures.
void deal(RunState& st, int count) { st.CurrentPictureIndex = st.CurrentPictureIndex % count + 1; }

} // namespace

class TestMonitors : public QObject {
    Q_OBJECT
    ScratchConfig config_;

private slots:
    void changesNeverOverlap();
    void dealing_data();
    void dealing();
    void storedTimingsKeepTheirMeaning();
    void monitorGoneMidTurn();
    void displayChoice_data();
    void displayChoice();
};

// The slideshow's timer drives the turns while each transition lets events
// through for longer than the gap between two monitors' changes: a tick
// that started inside another would show as a begin before an end.
void TestMonitors::changesNeverOverlap()
{
    TwoMonitors run;
    struct Mark {
        int monitor;
        bool begin;
        qint64 at;
    };
    QList<Mark> marks;
    QElapsedTimer clock;
    clock.start();
    run.set.onChange = [&](int monitor, bool begin) { marks.append({monitor, begin, clock.elapsed()}); };
    QList<Pixel> desktopSeen;
    run.set.step = [&](RunState& st, Registry&, Target& target) {
        desktopSeen.append(static_cast<HeadlessTarget&>(target).bitmap().pixel(0, 0));
        deal(st, 5);
        QElapsedTimer transition;
        transition.start();
        while (transition.elapsed() < 700) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    };
    PictureBox box;
    bool ended = false;
    Slideshow show(run.st, run.registry, box, [&] { ended = true; });
    show.setMonitors(&run.set);
    show.start();
    QTRY_VERIFY_WITH_TIMEOUT(marks.size() >= 8, 60000);
    show.disableTimer();
    QVERIFY(!ended);
    for (int i = 0; i + 1 < 8; i += 2) {
        QCOMPARE(marks[i].begin, true);
        QCOMPARE(marks[i + 1].begin, false);
        QCOMPARE(marks[i + 1].monitor, marks[i].monitor);
        QCOMPARE(marks[i].monitor, (i / 2) % 2); // primary first, then in turn
        // Each waits its share of the interval (1 s over 2 monitors) after the last.
        if (i >= 2) QVERIFY2(marks[i].at - marks[i - 1].at >= 450, qPrintable(QString::number(marks[i].at - marks[i - 1].at)));
    }
    // Each monitor started from its own part of the desktop.
    QCOMPARE(desktopSeen.mid(0, 2), (QList<Pixel>{kLeft, kRight}));
}

void TestMonitors::dealing_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QList<int>>("monitors"); // which monitor each change went to
    QTest::addColumn<QList<int>>("pictures"); // the position after it
    QTest::addColumn<int>("wait");
    QTest::newRow("own pictures: the next ones in turn")
        << 0 << QList<int>{0, 1, 0, 1, 0, 1} << QList<int>{1, 2, 3, 4, 5, 1} << 500;
    QTest::newRow("same picture: one per round")
        << 1 << QList<int>{0, 1, 0, 1, 0, 1} << QList<int>{1, 1, 2, 2, 3, 3} << 500;
    QTest::newRow("primary only: the whole interval")
        << 2 << QList<int>{0, 0, 0, 0, 0, 0} << QList<int>{1, 2, 3, 4, 5, 1} << 1000;
    QTest::newRow("a hand-edited mode counts as own pictures")
        << 7 << QList<int>{0, 1, 0, 1, 0, 1} << QList<int>{1, 2, 3, 4, 5, 1} << 500;
}

void TestMonitors::dealing()
{
    QFETCH(int, mode);
    QFETCH(QList<int>, monitors);
    QFETCH(QList<int>, pictures);
    QFETCH(int, wait);
    TwoMonitors run;
    run.st.settings.bildschirme = mode;
    QList<int> went, dealt;
    int current = -1;
    run.set.onChange = [&](int monitor, bool begin) {
        if (begin) current = monitor;
    };
    run.set.step = [&](RunState& st, Registry&, Target&) {
        deal(st, 5);
        went.append(current);
        dealt.append(st.CurrentPictureIndex);
    };
    for (int i = 0; i < 6; ++i) QCOMPARE(run.set.changeNext().waitMs, wait);
    QCOMPARE(went, monitors);
    QCOMPARE(dealt, pictures);
    // The monitor left out is black, not the desktop.
    const Pixel corner = run.second.bitmap().pixel(0, 0);
    QCOMPARE(corner, mode == 2 ? Pixel(0) : kRight);
}

// A transition whose length follows its surface: as many steps as lines,
// each a fixed cost plus the busy-wait. Twenty changes on two monitors of
// different sizes leave the stored count where twenty on one monitor do.
void TestMonitors::storedTimingsKeepTheirMeaning()
{
    constexpr int kEffect = 5;
    std::uint32_t now = 1000;
    auto transition = [&now](RunState& st, Registry&, Target& target) {
        st.aktueller_effekt = kEffect;
        st.aktuelles_delay = st.current().verzoegerung;
        st.stoppuhr.StartWatch();
        now += std::uint32_t(target.height() * (0.5 + st.aktuelles_delay * 1e-5));
        zeitmessung(st);
    };
    auto stored = [](const RunState& st) { return st.effekte[kEffect].verzoegerung; };

    // One monitor: from the default towards its steady value.
    TwoMonitors single({1920, 1080}, {1280, 720});
    single.st.settings.bildschirme = 2;
    single.st.stoppuhr = CStopWatch([&now] { return now; });
    single.set.step = transition;
    std::int32_t low = INT32_MAX, high = INT32_MIN;
    for (int i = 0; i < 20; ++i) {
        single.set.changeNext();
        if (i >= 10) {
            low = std::min(low, stored(single.st));
            high = std::max(high, stored(single.st));
        }
    }

    // Two monitors, from the same stored value.
    TwoMonitors both({1920, 1080}, {1280, 720});
    both.st.effekte[kEffect].verzoegerung = stored(single.st);
    both.st.stoppuhr = CStopWatch([&now] { return now; });
    both.set.step = transition;
    for (int i = 0; i < 20; ++i) {
        both.set.changeNext();
        QVERIFY2(stored(both.st) >= low && stored(both.st) <= high,
                 qPrintable(QStringLiteral("change %1: %2 outside %3..%4").arg(i).arg(stored(both.st)).arg(low).arg(high)));
    }
    // The second monitor found its own steady value: (2000 / 720 - 0.5) / 1e-5.
    const Monitor& second = both.set.at(1);
    QVERIFY(!second.primary);
    QVERIFY(std::abs(second.timings[kEffect].verzoegerung - 227778) < 2300);
}

// A monitor whose screen goes during its own turn ends that turn early and
// goes with its window after it; the others go on.
void TestMonitors::monitorGoneMidTurn()
{
    TwoMonitors run;
    auto window = std::make_unique<QWidget>();
    QPointer<QWidget> watch = window.get();
    HeadlessTarget third(32, 32);
    run.set.add(third, QRect(0, 0, 32, 32), false, &third, std::move(window));
    QList<int> went;
    int current = -1;
    run.set.onChange = [&](int monitor, bool begin) {
        if (begin) current = monitor;
    };
    bool stopAsked = false;
    run.set.step = [&](RunState& st, Registry&, Target& target) {
        went.append(current);
        if (&target == &third) {
            run.set.remove(&third);
            QCOMPARE(run.set.count(), 3); // not during its turn
            stopAsked = st.unterbrechung;
        }
    };
    for (int i = 0; i < 3; ++i) run.set.changeNext();
    QVERIFY(stopAsked);
    QCOMPARE(run.set.count(), 2);
    QVERIFY(watch && !watch->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!watch);
    run.st.unterbrechung = false;
    for (int i = 0; i < 4; ++i) run.set.changeNext();
    QCOMPARE(went, (QList<int>{0, 1, 2, 0, 1, 0, 1}));
    // One that goes between turns goes at once; a new one joins the turns.
    run.set.remove(&run.second);
    QCOMPARE(run.set.count(), 1);
    HeadlessTarget fourth(16, 16);
    run.set.add(fourth, QRect(0, 0, 16, 16), false, &fourth);
    went.clear();
    for (int i = 0; i < 2; ++i) run.set.changeNext();
    QCOMPARE(went, (QList<int>{0, 1}));
}

void TestMonitors::displayChoice_data()
{
    QTest::addColumn<QByteArray>("qpa");
    QTest::addColumn<QByteArray>("wayland");
    QTest::addColumn<QByteArray>("session");
    QTest::addColumn<QByteArray>("x11");
    QTest::addColumn<QByteArray>("platform");
    QTest::addColumn<bool>("problem");
    QTest::newRow("X11 session") << QByteArray() << QByteArray() << QByteArray("x11") << QByteArray(":0") << QByteArray() << false;
    QTest::newRow("Wayland with XWayland") << QByteArray() << QByteArray("wayland-0") << QByteArray() << QByteArray(":1") << QByteArray("xcb") << false;
    QTest::newRow("Wayland session type only") << QByteArray() << QByteArray() << QByteArray("Wayland") << QByteArray(":1") << QByteArray("xcb") << false;
    QTest::newRow("Wayland without X") << QByteArray() << QByteArray("wayland-0") << QByteArray("wayland") << QByteArray() << QByteArray() << true;
    QTest::newRow("the person's own choice") << QByteArray("wayland") << QByteArray("wayland-0") << QByteArray() << QByteArray(":1") << QByteArray() << false;
    QTest::newRow("nothing at all") << QByteArray() << QByteArray() << QByteArray() << QByteArray() << QByteArray() << false;
}

void TestMonitors::displayChoice()
{
    QFETCH(QByteArray, qpa);
    QFETCH(QByteArray, wayland);
    QFETCH(QByteArray, session);
    QFETCH(QByteArray, x11);
    QFETCH(QByteArray, platform);
    QFETCH(bool, problem);
    const DisplayChoice c = chooseDisplay(qpa, wayland, session, x11);
    QCOMPARE(c.platform, platform);
    QCOMPARE(!c.problem.isEmpty(), problem);
}

QTEST_MAIN(TestMonitors)
#include "test_monitors.moc"
