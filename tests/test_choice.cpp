// Effect choice, the default timings and their loading, and the
// calibration of the busy-wait count from a measured run.
#include "platform/registry.h"
#include "state/runstate.h"
#include "testutil.h"
#include "transitions/choice.h"

#include <QFile>
#include <QtTest>

#include <deque>
#include <limits>
#include <memory>

using namespace vm;

namespace {

using Numbers = QList<int>;

// A run state with the catalogue filled and exactly `on` enabled.
void enableOnly(RunState& st, const Numbers& on)
{
    effekte_anlegen(st.effekte);
    for (int n = 1; n <= kEffectCount; ++n) st.effekte[size_t(n)].aktiv = on.contains(n) ? 1 : 0;
}

Numbers allEffects()
{
    Numbers all;
    for (int n = 1; n <= kEffectCount; ++n) all << n;
    return all;
}

// A clock that hands out the given readings, then repeats the last one
// advanced by one millisecond per call.
ClockSource scriptedClock(std::deque<std::uint32_t> readings)
{
    auto left = std::make_shared<std::deque<std::uint32_t>>(std::move(readings));
    auto last = std::make_shared<std::uint32_t>(0);
    return [left, last]() {
        if (!left->empty()) {
            *last = left->front();
            left->pop_front();
        } else {
            ++*last;
        }
        return *last;
    };
}

} // namespace

class TestChoice : public QObject {
    Q_OBJECT
    ScratchConfig config_;
    QTemporaryDir pictures_;

private slots:
    void init() { QFile::remove(config_.file()); }
    void defaultColumnsWhole();
    void storedValue_data();
    void storedValue();
    void loading_data();
    void loading();
    void single_data();
    void single();
    void randomNeverRepeats_data();
    void randomNeverRepeats();
    void randomWithFewerThanTwo_data();
    void randomWithFewerThanTwo();
    void randomAlphaFallback();
    void sequenceNumeric_data();
    void sequenceNumeric();
    void sequenceWithNothingEnabledEnds();
    void sequenceInDialogTree_data();
    void sequenceInDialogTree();
    void treeMarking();
    void treeIgnoredOutsideDialog();
    void otherRuleKeepsEffect();
    void calibration_data();
    void calibration();
    void measurementWaitsForATick();
    void measurementAcrossTimerWrap();
};

// Sums over each column catch a mistyped digit anywhere in the table.
void TestChoice::defaultColumnsWhole()
{
    long long sd = 0, ss = 0, pd = 0, ps = 0;
    for (int n = 1; n <= kEffectCount; ++n) {
        sd += effektzeitenShow()[size_t(n)].verzoegerung;
        ss += effektzeitenShow()[size_t(n)].schritt;
        pd += effektzeitenVorschau()[size_t(n)].verzoegerung;
        ps += effektzeitenVorschau()[size_t(n)].schritt;
    }
    QCOMPARE(sd, 291147599LL);
    QCOMPARE(ss, 173LL);
    QCOMPARE(pd, 247406760LL);
    QCOMPARE(ps, 143LL);
}

void TestChoice::storedValue_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("effect");
    QTest::addColumn<int>("delay");
    QTest::addColumn<int>("step");
    // Entries start at D = 100, S = 3.
    QTest::newRow("D7") << "D7" << "12345" << 7 << 12345 << 3;
    QTest::newRow("S7") << "S7" << "9" << 7 << 100 << 9;
    QTest::newRow("D76") << "D76" << "-4" << 76 << -4 << 3;
    QTest::newRow("D0 ignored") << "D0" << "5" << 1 << 100 << 3;
    QTest::newRow("D77 ignored") << "D77" << "5" << 76 << 100 << 3;
    QTest::newRow("lower-case d ignored") << "d7" << "5" << 7 << 100 << 3;
    QTest::newRow("no number ignored") << "D" << "5" << 1 << 100 << 3;
    QTest::newRow("number with text ignored") << "D7a" << "5" << 7 << 100 << 3;
    QTest::newRow("value not a number keeps default") << "D7" << "abc" << 7 << 100 << 3;
    QTest::newRow("step 0 would stand still") << "S7" << "0" << 7 << 100 << 3;
    QTest::newRow("negative step") << "S7" << "-2" << 7 << 100 << 3;
}

void TestChoice::storedValue()
{
    QFETCH(QString, name);
    QFETCH(QString, value);
    QFETCH(int, effect);
    QFETCH(int, delay);
    QFETCH(int, step);
    Effekte e;
    for (int n = 1; n <= kEffectCount; ++n) e[size_t(n)] = Effekteintrag{1, 100, 3, false, {}, {}};
    effektzeit_anwenden(e, name, value);
    QCOMPARE(e[size_t(effect)].verzoegerung, delay);
    QCOMPARE(e[size_t(effect)].schritt, step);
    for (int n = 1; n <= kEffectCount; ++n)
        if (n != effect) QVERIFY(e[size_t(n)].verzoegerung == 100 && e[size_t(n)].schritt == 3);
}

void TestChoice::loading_data()
{
    QTest::addColumn<QString>("subkey");
    QTest::addColumn<bool>("showDefaults");
    QTest::newRow("delay") << "delay" << true;
    QTest::newRow("Delay") << "Delay" << true;
    QTest::newRow("pdelay") << "pdelay" << false;
}

void TestChoice::loading()
{
    QFETCH(QString, subkey);
    QFETCH(bool, showDefaults);
    {
        Registry r;
        r.WriteSetting(subkey, "D7", "4711");
        r.WriteSetting(subkey, "S49", "12");
        r.WriteSetting(subkey, "D99", "1");
        r.WriteSetting(subkey == "pdelay" ? "delay" : "pdelay", "D8", "1"); // the other mode's
    }
    RunState st;
    st.Folders = {pictures_.path() + "/"};
    effekte_anlegen(st.effekte);
    st.effekte[3].verzoegerung = -1; // overwritten by the defaults
    Registry r;
    effektzeiten_laden(st, r, subkey);
    const auto& defaults = showDefaults ? effektzeitenShow() : effektzeitenVorschau();
    QCOMPARE(st.effekte[7].verzoegerung, 4711);
    QCOMPARE(st.effekte[7].schritt, defaults[7].schritt);
    QCOMPARE(st.effekte[49].schritt, 12);
    QCOMPARE(st.effekte[49].verzoegerung, defaults[49].verzoegerung);
    QCOMPARE(st.effekte[8].verzoegerung, defaults[8].verzoegerung);
    QCOMPARE(st.effekte[3].verzoegerung, defaults[3].verzoegerung);
    QCOMPARE(st.effekte[76].schritt, defaults[76].schritt);
}

void TestChoice::single_data()
{
    QTest::addColumn<int>("blende");
    QTest::addColumn<int>("chosen");
    QTest::newRow("17") << 17 << 17;
    QTest::newRow("76") << 76 << 76;
    QTest::newRow("0 outside") << 0 << 1;
    QTest::newRow("77 outside") << 77 << 1;
}

void TestChoice::single()
{
    QFETCH(int, blende);
    QFETCH(int, chosen);
    RunState st;
    enableOnly(st, {2, 3}); // the enabled set does not matter here
    st.alphablend_verfuegbar = true;
    st.settings.effekt_nutzung = 1;
    st.settings.blende = blende;
    for (int i = 0; i < 3; ++i) {
        effekt_waehlen(st);
        QCOMPARE(st.aktueller_effekt, chosen);
        QCOMPARE(st.voriger_effekt, chosen);
    }
}

void TestChoice::randomNeverRepeats_data()
{
    QTest::addColumn<Numbers>("on");
    QTest::addColumn<quint32>("seed");
    QTest::newRow("all") << allEffects() << 1u;
    QTest::newRow("two") << Numbers{5, 60} << 7u;
    QTest::newRow("three") << Numbers{1, 2, 76} << 99u;
    QTest::newRow("two at the ends") << Numbers{1, 76} << 12345u;
}

void TestChoice::randomNeverRepeats()
{
    QFETCH(Numbers, on);
    QFETCH(quint32, seed);
    RunState st;
    enableOnly(st, on);
    st.alphablend_verfuegbar = true;
    st.settings.effekt_nutzung = 3;
    st.random.seedWith(seed);
    QSet<int> seen;
    int previous = 0;
    for (int i = 0; i < 400; ++i) {
        effekt_waehlen(st);
        QVERIFY2(st.aktueller_effekt != previous, qPrintable(QString::number(previous)));
        QVERIFY(on.contains(st.aktueller_effekt));
        QCOMPARE(st.voriger_effekt, st.aktueller_effekt);
        previous = st.aktueller_effekt;
        seen << previous;
    }
    if (on.size() <= 3) QCOMPARE(seen.size(), int(on.size())); // every enabled one comes up
}

void TestChoice::randomWithFewerThanTwo_data()
{
    QTest::addColumn<Numbers>("on");
    QTest::addColumn<int>("chosen");
    QTest::newRow("only 9") << Numbers{9} << 9;
    QTest::newRow("only 1") << Numbers{1} << 1;
    QTest::newRow("none") << Numbers{} << 1;
}

// The rule alone would search for ever; the choice must still end.
void TestChoice::randomWithFewerThanTwo()
{
    QFETCH(Numbers, on);
    QFETCH(int, chosen);
    RunState st;
    enableOnly(st, on);
    st.alphablend_verfuegbar = true;
    st.settings.effekt_nutzung = 3;
    for (int i = 0; i < 3; ++i) {
        effekt_waehlen(st);
        QCOMPARE(st.aktueller_effekt, chosen);
    }
}

// Without blending, 46 and 72 alternate as chosen numbers while every
// show step runs the plain cut.
void TestChoice::randomAlphaFallback()
{
    RunState st;
    enableOnly(st, {46, 72});
    st.alphablend_verfuegbar = false;
    st.settings.effekt_nutzung = 3;
    st.random.seedWith(3);
    effekt_waehlen(st);
    int previous = st.voriger_effekt;
    QVERIFY(previous == 46 || previous == 72);
    QCOMPARE(st.aktueller_effekt, 1);
    for (int i = 0; i < 20; ++i) {
        effekt_waehlen(st);
        QCOMPARE(st.voriger_effekt, previous == 46 ? 72 : 46);
        QCOMPARE(st.aktueller_effekt, 1);
        previous = st.voriger_effekt;
    }
    // With blending the chosen numbers run themselves.
    st.alphablend_verfuegbar = true;
    effekt_waehlen(st);
    QCOMPARE(st.aktueller_effekt, previous == 46 ? 72 : 46);
}

void TestChoice::sequenceNumeric_data()
{
    QTest::addColumn<Numbers>("on");
    QTest::addColumn<int>("letzter");
    QTest::addColumn<Numbers>("expected");
    QTest::newRow("wrap at 76") << Numbers{3, 10, 76} << 76 << Numbers{3, 10, 76, 3};
    QTest::newRow("from the middle") << Numbers{3, 10, 76} << 4 << Numbers{10, 76, 3};
    QTest::newRow("all") << allEffects() << 74 << Numbers{75, 76, 1, 2};
    QTest::newRow("one enabled") << Numbers{40} << 40 << Numbers{40, 40};
    QTest::newRow("start 0") << Numbers{2, 5} << 0 << Numbers{2, 5, 2};
    QTest::newRow("negative position") << Numbers{2, 5} << -7 << Numbers{2, 5};
    QTest::newRow("position beyond 76") << Numbers{2, 5} << 500 << Numbers{2, 5};
}

void TestChoice::sequenceNumeric()
{
    QFETCH(Numbers, on);
    QFETCH(int, letzter);
    QFETCH(Numbers, expected);
    RunState st;
    enableOnly(st, on);
    st.alphablend_verfuegbar = true;
    st.settings.effekt_nutzung = 2;
    st.settings.letzter_effekt = letzter;
    st.laufmodus = "Saver";
    for (int want : expected) {
        effekt_waehlen(st);
        QCOMPARE(st.aktueller_effekt, want);
        QCOMPARE(st.settings.letzter_effekt, want);
    }
}

void TestChoice::sequenceWithNothingEnabledEnds()
{
    RunState st;
    enableOnly(st, {});
    st.effekte[9].aktiv = 2; // only 1 counts as enabled
    st.settings.effekt_nutzung = 2;
    st.settings.letzter_effekt = 30;
    st.aktueller_effekt = 12;
    effekt_waehlen(st);
    QCOMPARE(st.aktueller_effekt, 1);
    QCOMPARE(st.settings.letzter_effekt, 30);
}

void TestChoice::sequenceInDialogTree_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<Numbers>("on");
    QTest::addColumn<int>("letzter");
    QTest::addColumn<Numbers>("expected");
    const Numbers order{5, 2, 9, 1, 7};
    QTest::newRow("tree order") << "Settings" << Numbers{2, 9, 7, 5} << 9 << Numbers{7, 5, 2, 9};
    QTest::newRow("mode word in lower case") << "settings" << Numbers{2, 9, 7, 5} << 5 << Numbers{2, 9};
    QTest::newRow("skips disabled") << "Settings" << Numbers{1, 5} << 5 << Numbers{1, 5, 1};
    QTest::newRow("position not in the tree") << "Settings" << Numbers{2, 9} << 0 << Numbers{2, 9, 2};
    QTest::newRow("nothing enabled") << "Settings" << Numbers{} << 9 << Numbers{1, 1};
}

void TestChoice::sequenceInDialogTree()
{
    QFETCH(QString, mode);
    QFETCH(Numbers, on);
    QFETCH(int, letzter);
    QFETCH(Numbers, expected);
    RunState st;
    enableOnly(st, on);
    st.alphablend_verfuegbar = true;
    st.laufmodus = mode;
    st.settings.effekt_nutzung = 2;
    st.settings.letzter_effekt = letzter;
    st.effektbaum.displayOrder = {5, 2, 9, 1, 7};
    for (int want : expected) {
        effekt_waehlen(st);
        QCOMPARE(st.aktueller_effekt, want);
    }
    if (on.isEmpty()) QCOMPARE(st.settings.letzter_effekt, letzter);
}

void TestChoice::treeMarking()
{
    RunState st;
    enableOnly(st, {10, 46});
    st.alphablend_verfuegbar = false;
    st.laufmodus = "Settings";
    st.settings.effekt_nutzung = 2;
    st.settings.letzter_effekt = 46;
    st.settings.effekt_tracken = 1;
    struct Mark {
        int previous, current;
        bool track;
    };
    QList<Mark> marks;
    st.effektbaum.mark = [&](int p, int c, bool t) { marks << Mark{p, c, t}; };
    effekt_waehlen(st); // 10
    effekt_waehlen(st); // 46, which runs as 1 without blending
    st.settings.effekt_tracken = 0;
    effekt_waehlen(st); // 10
    QCOMPARE(marks.size(), 3);
    QCOMPARE(marks[0].previous, 0); // nothing to clear before the first
    QCOMPARE(marks[0].current, 10);
    QVERIFY(marks[0].track);
    QCOMPARE(marks[1].previous, 10);
    QCOMPARE(marks[1].current, 46); // the chosen number is marked, not the fallback
    QCOMPARE(marks[2].previous, 46);
    QCOMPARE(marks[2].current, 10);
    QVERIFY(!marks[2].track);
}

void TestChoice::treeIgnoredOutsideDialog()
{
    RunState st;
    enableOnly(st, {2, 5, 9});
    st.alphablend_verfuegbar = true;
    st.laufmodus = "Saver";
    st.settings.effekt_nutzung = 2;
    st.settings.letzter_effekt = 2;
    st.effektbaum.displayOrder = {9, 2, 5};
    int marked = 0;
    st.effektbaum.mark = [&](int, int, bool) { ++marked; };
    effekt_waehlen(st);
    QCOMPARE(st.aktueller_effekt, 5);
    effekt_waehlen(st);
    QCOMPARE(st.aktueller_effekt, 9);
    QCOMPARE(marked, 0);
}

void TestChoice::otherRuleKeepsEffect()
{
    RunState st;
    enableOnly(st, {2, 3});
    st.alphablend_verfuegbar = true;
    st.settings.effekt_nutzung = 0;
    st.aktueller_effekt = 33;
    effekt_waehlen(st);
    QCOMPARE(st.aktueller_effekt, 33);
    QCOMPARE(st.voriger_effekt, 33);
}

void TestChoice::calibration_data()
{
    QTest::addColumn<int>("tdauer");
    QTest::addColumn<int>("measured");
    QTest::addColumn<int>("delay");
    QTest::addColumn<int>("expected");
    QTest::newRow("twice as long, 500.5 to even") << 1 << 2000 << 1001 << 500;
    QTest::newRow("501.5 to even") << 1 << 2000 << 1003 << 502;
    QTest::newRow("exact time keeps the count") << 2 << 2000 << 123457 << 123457;
    QTest::newRow("half the time doubles") << 3 << 1500 << 40000 << 80000;
    QTest::newRow("count 0 restarts from T/t") << 2 << 500 << 0 << 4;
    QTest::newRow("T/t rounded") << 1 << 3 << 0 << 333;
    QTest::newRow("negative count, 0.5 to even") << 2 << 4000 << -5 << 0;
    QTest::newRow("beyond the count's range") << 60 << 1 << 100000 << std::numeric_limits<int>::max();
}

void TestChoice::calibration()
{
    QFETCH(int, tdauer);
    QFETCH(int, measured);
    QFETCH(int, delay);
    QFETCH(int, expected);
    RunState st;
    effekte_anlegen(st.effekte);
    st.stoppuhr = CStopWatch(scriptedClock({1000, 1000 + std::uint32_t(measured)}));
    st.settings.tdauer = tdauer;
    st.aktueller_effekt = 17;
    st.effekte[17].verzoegerung = 999;
    st.effekte[18].verzoegerung = 888;
    st.aktuelles_delay = delay;
    zeitmessung(st);
    QCOMPARE(st.effekte[17].verzoegerung, expected);
    QCOMPARE(st.effekte[18].verzoegerung, 888);
    QCOMPARE(st.stoppuhr.Interval(), measured);
}

// A run shorter than the timer's resolution is measured again until the
// timer has moved on.
void TestChoice::measurementWaitsForATick()
{
    RunState st;
    effekte_anlegen(st.effekte);
    st.stoppuhr = CStopWatch(scriptedClock({500, 500, 500, 500, 504}));
    st.settings.tdauer = 1;
    st.aktueller_effekt = 2;
    st.aktuelles_delay = 8;
    zeitmessung(st);
    QCOMPARE(st.stoppuhr.Interval(), 4);
    QCOMPARE(st.effekte[2].verzoegerung, 2000);
}

void TestChoice::measurementAcrossTimerWrap()
{
    RunState st;
    effekte_anlegen(st.effekte);
    st.stoppuhr = CStopWatch(scriptedClock({0xfffffc18u, 0x000003e8u})); // -1000 .. 1000
    st.settings.tdauer = 1;
    st.aktueller_effekt = 2;
    st.aktuelles_delay = 300;
    zeitmessung(st);
    QCOMPARE(st.stoppuhr.Interval(), 2000);
    QCOMPARE(st.effekte[2].verzoegerung, 150);
}

QTEST_GUILESS_MAIN(TestChoice)
#include "test_choice.moc"
