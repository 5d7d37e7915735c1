// The effect catalogue, its dispatch and the pieces of the transition
// frame that every routine stands on.
#include "platform/target.h"
#include "state/runstate.h"
#include "transitions/catalogue.h"
#include "transitions/frame.h"

#include <QSet>
#include <QtTest>

using namespace vm;

namespace {

// A run state with screen buffers of the target's size: the desktop in
// blue, the next picture in red.
void prepare(RunState& st, HeadlessTarget& t)
{
    effekte_anlegen(st.effekte);
    st.ScreenWidth = 10;
    st.ScreenHeight = 10;
    Dc screen;
    QVERIFY(st.bildschirmkopie_dc.create(&screen, 10, 10));
    st.bildschirmkopie_dc.bitmap()->fill(0x0000ff);
    QCOMPARE(Init_Screen(st, t), QString());
    st.neues_bild_dc.bitmap()->fill(0xff0000);
}

} // namespace

class TestCatalogue : public QObject {
    Q_OBJECT
private slots:
    void catalogueShape();
    void dispatchOutsideRangeRunsTheCut_data();
    void dispatchOutsideRangeRunsTheCut();
    void initScreen();
    void initScreenFailures_data();
    void initScreenFailures();
    void numericHelpers();
    void errorWordForms();
    void roundingHalvesToEven();
};

void TestCatalogue::catalogueShape()
{
    Effekte e;
    e[5].aktiv = 1;
    e[5].verzoegerung = 77;
    effekte_anlegen(e);
    QCOMPARE(e[5].aktiv, 1); // only group, name and the alpha flag are written
    QCOMPARE(e[5].verzoegerung, 77);
    QVERIFY(e[0].name.isEmpty() && e[0].gruppe.isEmpty());
    QSet<QString> groups;
    QSet<int> alpha;
    QSet<QString> keys;
    for (int n = 1; n <= kEffectCount; ++n) {
        groups << e[size_t(n)].gruppe;
        if (e[size_t(n)].braucht_alphablend) alpha << n;
        keys << e[size_t(n)].gruppe + "/" + e[size_t(n)].name;
    }
    QCOMPARE(groups, (QSet<QString>{"Sonstiges", "Überzeichnen", "Überblenden", "Einschieben", "Rausschieben"}));
    QCOMPARE(alpha, (QSet<int>{46, 47, 48, 72}));
    QCOMPARE(keys.size(), kEffectCount); // the tree needs distinct names within a group
    QCOMPARE(e[12].name, QString("Quadrat auf spitze"));
    QCOMPARE(e[60].name, QString("Memory von aussen (überführen)"));
    QCOMPARE(e[62].name, QString("Memory von aussen schlieren"));
    QCOMPARE(e[17].name, QString("Einfließen"));
    QCOMPARE(e[71].gruppe, QString("Einschieben"));
    QCOMPARE(e[65].gruppe, QString("Überzeichnen"));
}

void TestCatalogue::dispatchOutsideRangeRunsTheCut_data()
{
    QTest::addColumn<int>("effect");
    QTest::addColumn<int>("after");
    QTest::newRow("1") << 1 << 1;
    QTest::newRow("0") << 0 << 1;
    QTest::newRow("-4") << -4 << 1;
    QTest::newRow("77") << 77 << 1;
    QTest::newRow("a real number stays") << 5 << 5;
}

void TestCatalogue::dispatchOutsideRangeRunsTheCut()
{
    QFETCH(int, effect);
    QFETCH(int, after);
    RunState st;
    HeadlessTarget t(10, 6);
    prepare(st, t);
    st.aktueller_effekt = effect;
    st.effekte[size_t(after)].schritt = 1;
    st.aktuelles_delay = 0;
    QVERIFY(dispatchEffect(st, t));
    QCOMPARE(st.aktueller_effekt, after);
    QCOMPARE(t.bitmap(), Bitmap(10, 6, 0xff0000));
    QVERIFY(st.fehlertext.isEmpty());
}

void TestCatalogue::initScreen()
{
    RunState st;
    HeadlessTarget t(5, 3, 0x777777);
    prepare(st, t);
    QCOMPARE(st.dimensionen, QString("5 x 3"));
    QCOMPARE(st.desktop_dc.bitmap()->width(), 5);
    QCOMPARE(st.neues_bild_dc.bitmap()->height(), 3);
    QCOMPARE(st.desktop_dc.dc()->stretchMode, StretchMode::ColorOnColor);
    // The show starts from the scaled desktop.
    QCOMPARE(t.bitmap(), Bitmap(5, 3, 0x0000ff));
}

void TestCatalogue::initScreenFailures_data()
{
    QTest::addColumn<int>("failAt");
    QTest::addColumn<QString>("words");
    QTest::newRow("stretch") << 1 << "Fehler in StretchBlt in Modul Init_Screen";
    QTest::newRow("copy") << 2 << "Fehler in BitBlt in Modul Init_Screen";
}

void TestCatalogue::initScreenFailures()
{
    QFETCH(int, failAt);
    QFETCH(QString, words);
    RunState st;
    HeadlessTarget t(5, 3);
    Dc screen;
    st.bildschirmkopie_dc.create(&screen, 4, 4);
    st.ScreenWidth = st.ScreenHeight = 4;
    FaultHook hook;
    hook.failAt = failAt;
    st.bildschirmkopie_dc.dc()->faultHook = &hook;
    t.dc()->faultHook = &hook;
    QCOMPARE(Init_Screen(st, t), words);
    QVERIFY(st.desktop_dc.exists()); // what was made before the failure stays
    QVERIFY(!st.neues_bild_dc.exists());
}

void TestCatalogue::numericHelpers()
{
    QCOMPARE(Maximum({0, 1}), 1);
    QCOMPARE(Maximum({4, 1}), 4);
    QCOMPARE(Minimum({3, 1, 1}), 1);
    QCOMPARE(Minimum({-2}), -2);
    QCOMPARE(MaximumDbl({0.5, 2.25, 2.0}), 2.25);
    double x = 1.5;
    QCOMPARE(ArcCos(x), std::acos(0.5));
    QCOMPARE(x, 0.5); // the caller's value moved by one
    double edge = 2.0;
    QCOMPARE(ArcCos(edge), 0.0);
    double low = 0.0;
    QCOMPARE(ArcCos(low), 0.0);
    double mid = 1.0;
    QCOMPARE(ArcCos(mid), std::acos(0.0));
}

void TestCatalogue::errorWordForms()
{
    QCOMPARE(errorWords("BitBlt", 7), QString("Fehler in BitBlt in blende_007"));
    QCOMPARE(moduleErrorWords("StretchBlt", 30), QString("Fehler in StretchBlt in Modul blende_030"));
    QCOMPARE(errorWords("FillRect", 38), QString("Fehler in FillRect in blende_038"));
}

void TestCatalogue::roundingHalvesToEven()
{
    QCOMPARE(px(2.5), 2);
    QCOMPARE(px(3.5), 4);
    QCOMPARE(px(-0.5), 0);
    QCOMPARE(px(399.5), 400);
    QCOMPARE(px(1.49), 1);
}

QTEST_GUILESS_MAIN(TestCatalogue)
#include "test_catalogue.moc"
