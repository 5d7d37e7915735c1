// Effect choice, the default timings and their loading, and the
// calibration of the busy-wait count from a measured run.
#include "platform/registry.h"
#include "state/runstate.h"
#include "testutil.h"
#include "transitions/choice.h"

#include <QFile>
#include <QtTest>

#include <limits>
#include <memory>

using namespace vm;
using Numbers = QList<int>;

namespace {

// A run state with the catalogue filled and exactly `on` enabled ({-1}:
// all); returns the enabled numbers.
Numbers enableOnly(RunState& st, Numbers on, bool blending = true)
{
    effekte_anlegen(st.effekte);
    if (on == Numbers{-1})
        for (int n = 1; n <= kEffectCount; ++n) on << n;
    for (int n = 1; n <= kEffectCount; ++n) st.effekte[size_t(n)].aktiv = on.contains(n) ? 1 : 0;
    st.alphablend_verfuegbar = blending;
    return on;
}

// What runs for a chosen number: the blends need AlphaBlend.
int runs(int chosen, bool blending)
{
    return blending || !Numbers{46, 47, 48, 72}.contains(chosen) ? chosen : 1;
}

} // namespace

class TestChoice : public QObject {
    Q_OBJECT
    ScratchConfig config_;

private slots:
    void init() { QFile::remove(config_.file()); }

    // Sums over each column catch a mistyped digit anywhere in the table.
    void defaultColumns()
    {
        long long sd = 0, ss = 0, pd = 0, ps = 0;
        for (int n = 1; n <= kEffectCount; ++n) {
            sd += effektzeitenShow()[size_t(n)].verzoegerung;
            ss += effektzeitenShow()[size_t(n)].schritt;
            pd += effektzeitenVorschau()[size_t(n)].verzoegerung;
            ps += effektzeitenVorschau()[size_t(n)].schritt;
        }
        QCOMPARE(QList<long long>({sd, ss, pd, ps}), QList<long long>({291147599, 173, 247406760, 143}));
    }

    // One stored value on entries that start at D = 100, S = 3.
    void storedValue_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("effect");
        QTest::addColumn<int>("delay");
        QTest::addColumn<int>("step");
        QTest::newRow("D7") << "D7" << "12345" << 7 << 12345 << 3;
        QTest::newRow("S7") << "S7" << "9" << 7 << 100 << 9;
        QTest::newRow("D76") << "D76" << "-4" << 76 << -4 << 3;
        QTest::newRow("D0 ignored") << "D0" << "5" << 1 << 100 << 3;
        QTest::newRow("D77 ignored") << "D77" << "5" << 76 << 100 << 3;
        QTest::newRow("lower-case d ignored") << "d7" << "5" << 7 << 100 << 3;
        QTest::newRow("number with text ignored") << "D7a" << "5" << 7 << 100 << 3;
        QTest::newRow("value not a number") << "D7" << "abc" << 7 << 100 << 3;
        QTest::newRow("step 0 would stand still") << "S7" << "0" << 7 << 100 << 3;
        QTest::newRow("negative step") << "S7" << "-2" << 7 << 100 << 3;
    }
    void storedValue()
    {
        QFETCH(QString, name);
        QFETCH(QString, value);
        QFETCH(int, effect);
        QFETCH(int, delay);
        QFETCH(int, step);
        Effekte e;
        for (int n = 1; n <= kEffectCount; ++n) e[size_t(n)] = Effekteintrag{1, 100, 3, false, {}, {}};
        effektzeit_anwenden(e, name, value);
        for (int n = 1; n <= kEffectCount; ++n) {
            QCOMPARE(e[size_t(n)].verzoegerung, n == effect ? delay : 100);
            QCOMPARE(e[size_t(n)].schritt, n == effect ? step : 3);
        }
    }

    // The mode's subkey over the mode's defaults; the other mode's values stay out.
    void loading_data()
    {
        QTest::addColumn<QString>("subkey");
        QTest::addColumn<bool>("show");
        QTest::newRow("delay") << "delay" << true;
        QTest::newRow("Delay") << "Delay" << true;
        QTest::newRow("pdelay") << "pdelay" << false;
    }
    void loading()
    {
        QFETCH(QString, subkey);
        QFETCH(bool, show);
        Registry r;
        r.WriteSetting(subkey, "D7", "4711");
        r.WriteSetting(subkey, "S49", "12");
        r.WriteSetting(subkey, "D99", "1");
        r.WriteSetting(show ? "pdelay" : "delay", "D8", "1");
        RunState st;
        effektzeiten_laden(st, r, subkey);
        for (int n = 1; n <= kEffectCount; ++n) {
            const Effektzeit d = (show ? effektzeitenShow() : effektzeitenVorschau())[size_t(n)];
            QCOMPARE(st.effekte[size_t(n)].verzoegerung, n == 7 ? 4711 : d.verzoegerung);
            QCOMPARE(st.effekte[size_t(n)].schritt, n == 49 ? 12 : d.schritt);
        }
    }

    // The deterministic rules: the numbers chosen one after the other. The
    // dialog's tree shows 5, 2, 9, 1, 7 in this order.
    void choices_data()
    {
        QTest::addColumn<int>("rule");
        QTest::addColumn<QString>("mode");
        QTest::addColumn<Numbers>("on");
        QTest::addColumn<int>("start"); // blende, letzter_effekt or the effect before
        QTest::addColumn<bool>("blending");
        QTest::addColumn<Numbers>("chosen");
        QTest::newRow("single") << 1 << "Saver" << Numbers{2, 3} << 17 << true << Numbers{17, 17};
        QTest::newRow("single 0") << 1 << "Saver" << Numbers{2} << 0 << true << Numbers{1};
        QTest::newRow("single 77") << 1 << "Saver" << Numbers{2} << 77 << true << Numbers{1};
        QTest::newRow("single 46 without blending") << 1 << "Saver" << Numbers{} << 46 << false << Numbers{46, 46};
        QTest::newRow("sequence wraps") << 2 << "Saver" << Numbers{3, 10, 76} << 76 << true << Numbers{3, 10, 76, 3};
        QTest::newRow("sequence all") << 2 << "Saver" << Numbers{-1} << 74 << true << Numbers{75, 76, 1, 2};
        QTest::newRow("sequence of one") << 2 << "Saver" << Numbers{40} << 40 << true << Numbers{40, 40};
        QTest::newRow("sequence from 0") << 2 << "Saver" << Numbers{2, 5} << 0 << true << Numbers{2, 5, 2};
        QTest::newRow("sequence from 500") << 2 << "Saver" << Numbers{2, 5} << 500 << true << Numbers{2, 5};
        QTest::newRow("sequence, tree only in the dialog") << 2 << "Saver" << Numbers{2, 5, 9} << 2 << true << Numbers{5, 9};
        QTest::newRow("sequence of none") << 2 << "Saver" << Numbers{} << 30 << true << Numbers{1, 1};
        QTest::newRow("tree order") << 2 << "Settings" << Numbers{2, 9, 7, 5} << 9 << true << Numbers{7, 5, 2, 9};
        QTest::newRow("tree, lower-case mode") << 2 << "settings" << Numbers{2, 9, 7, 5} << 5 << true << Numbers{2, 9};
        QTest::newRow("tree skips disabled") << 2 << "Settings" << Numbers{1, 5} << 5 << true << Numbers{1, 5, 1};
        QTest::newRow("tree from outside it") << 2 << "Settings" << Numbers{2, 9} << 0 << true << Numbers{2, 9, 2};
        QTest::newRow("tree of none") << 2 << "Settings" << Numbers{} << 9 << true << Numbers{1, 1};
        // With fewer than two the random rule alone would search for ever.
        QTest::newRow("random of one") << 3 << "Saver" << Numbers{9} << 0 << true << Numbers{9, 9, 9};
        QTest::newRow("random of none") << 3 << "Saver" << Numbers{} << 0 << true << Numbers{1, 1};
        QTest::newRow("other rule keeps") << 0 << "Saver" << Numbers{2, 3} << 33 << true << Numbers{33, 33};
    }
    void choices()
    {
        QFETCH(int, rule);
        QFETCH(QString, mode);
        QFETCH(Numbers, on);
        QFETCH(int, start);
        QFETCH(bool, blending);
        QFETCH(Numbers, chosen);
        RunState st;
        enableOnly(st, on, blending);
        st.laufmodus = mode;
        st.settings.effekt_nutzung = rule;
        st.settings.blende = st.settings.letzter_effekt = st.aktueller_effekt = start;
        st.effektbaum.displayOrder = {5, 2, 9, 1, 7};
        for (int want : chosen) {
            effekt_waehlen(st);
            QCOMPARE(st.voriger_effekt, want);
            QCOMPARE(st.aktueller_effekt, runs(want, blending));
            if (rule == 2) QCOMPARE(st.settings.letzter_effekt, on.isEmpty() ? start : want);
        }
    }

    // Random: never the number before, only enabled ones, each comes up;
    // without AlphaBlend the blends' numbers still alternate but run as 1.
    void random_data()
    {
        QTest::addColumn<Numbers>("on");
        QTest::addColumn<quint32>("seed");
        QTest::addColumn<bool>("blending");
        QTest::newRow("all") << Numbers{-1} << 1u << true;
        QTest::newRow("two") << Numbers{5, 60} << 7u << true;
        QTest::newRow("three") << Numbers{1, 2, 76} << 99u << true;
        QTest::newRow("46 and 72 without blending") << Numbers{46, 72} << 3u << false;
        QTest::newRow("46 and 72 with blending") << Numbers{46, 72} << 3u << true;
        QTest::newRow("2, 47, 48 without blending") << Numbers{2, 47, 48} << 5u << false;
    }
    void random()
    {
        QFETCH(Numbers, on);
        QFETCH(quint32, seed);
        QFETCH(bool, blending);
        RunState st;
        on = enableOnly(st, on, blending);
        st.settings.effekt_nutzung = 3;
        st.random.seedWith(seed);
        QSet<int> seen;
        for (int i = 0, previous = 0; i < 400; ++i, previous = st.voriger_effekt) {
            effekt_waehlen(st);
            QVERIFY2(st.voriger_effekt != previous && on.contains(st.voriger_effekt), qPrintable(QString::number(previous)));
            QCOMPARE(st.aktueller_effekt, runs(st.voriger_effekt, blending));
            seen << st.voriger_effekt;
        }
        if (on.size() <= 3) QCOMPARE(seen.size(), int(on.size()));
    }

    // In the dialog the tree marks the number chosen (not its fallback) and
    // unmarks the one before.
    void treeMarking()
    {
        RunState st;
        enableOnly(st, {10, 46}, false);
        st.laufmodus = "Settings";
        st.settings.effekt_nutzung = 2;
        st.settings.letzter_effekt = 46;
        st.settings.effekt_tracken = 1;
        QStringList marks;
        st.effektbaum.mark = [&](int p, int c, bool t) { marks << QString("%1>%2%3").arg(p).arg(c).arg(t ? "+" : ""); };
        effekt_waehlen(st);
        effekt_waehlen(st);
        st.settings.effekt_tracken = 0;
        effekt_waehlen(st);
        QCOMPARE(marks, QStringList({"0>10+", "10>46+", "46>10"}));
    }

    // wanted / measured x count, halves to even; a count of 0 restarts from
    // wanted / measured. Clock readings: the start, then every look at it.
    void calibration_data()
    {
        QTest::addColumn<int>("tdauer");
        QTest::addColumn<QList<uint>>("clock");
        QTest::addColumn<int>("delay");
        QTest::addColumn<int>("interval");
        QTest::addColumn<int>("expected");
        QTest::newRow("twice as long, 500.5") << 1 << QList<uint>{1000, 3000} << 1001 << 2000 << 500;
        QTest::newRow("501.5") << 1 << QList<uint>{1000, 3000} << 1003 << 2000 << 502;
        QTest::newRow("half the time doubles") << 3 << QList<uint>{1000, 2500} << 40000 << 1500 << 80000;
        QTest::newRow("count 0: T/t") << 2 << QList<uint>{1000, 1500} << 0 << 500 << 4;
        QTest::newRow("T/t rounded") << 1 << QList<uint>{1000, 1003} << 0 << 3 << 333;
        QTest::newRow("negative count, 0.5") << 2 << QList<uint>{1000, 5000} << -5 << 4000 << 0;
        QTest::newRow("at most 16 times more") << 60 << QList<uint>{1000, 1001} << 100000 << 1 << 1600000;
        QTest::newRow("16 times, not capped") << 16 << QList<uint>{1000, 2000} << 7 << 1000 << 112;
        QTest::newRow("a fast run of a big count") << 60 << QList<uint>{1000, 1034} << 1000000 << 34 << 16000000;
        QTest::newRow("never above the sane maximum") << 60 << QList<uint>{1000, 1001} << 1000000000 << 1 << 1000000000;
        QTest::newRow("a stale count at INT32_MAX shrinks") << 1 << QList<uint>{1000, 3000} << 2147483647 << 2000 << 1000000000;
        QTest::newRow("from 0, T/t as always") << 60 << QList<uint>{1000, 1001} << 0 << 1 << 60000;
        QTest::newRow("waits for a tick") << 1 << QList<uint>{500, 500, 500, 500, 504} << 0 << 4 << 250;
        QTest::newRow("across the wrap") << 1 << QList<uint>{0xfffffc18u, 1000} << 300 << 2000 << 150;
    }
    void calibration()
    {
        QFETCH(int, tdauer);
        QFETCH(QList<uint>, clock);
        QFETCH(int, delay);
        QFETCH(int, interval);
        QFETCH(int, expected);
        RunState st;
        effekte_anlegen(st.effekte);
        auto left = std::make_shared<QList<uint>>(clock);
        st.stoppuhr = CStopWatch([left] { return left->size() > 1 ? left->takeFirst() : left->first()++; });
        st.settings.tdauer = tdauer;
        st.aktueller_effekt = 17;
        st.effekte[18].verzoegerung = 888;
        st.aktuelles_delay = delay;
        zeitmessung(st);
        QCOMPARE(st.stoppuhr.Interval(), interval);
        QCOMPARE(st.effekte[17].verzoegerung, expected);
        QCOMPARE(st.effekte[18].verzoegerung, 888);
    }
};

QTEST_GUILESS_MAIN(TestChoice)
#include "test_choice.moc"
