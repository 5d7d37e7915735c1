// The effect catalogue, its dispatch and the pieces of the transition
// frame that every routine stands on.
#include "platform/target.h"
#include "state/runstate.h"
#include "transitions/catalogue.h"
#include "transitions/frame.h"

#include <QCryptographicHash>
#include <QtTest>

using namespace vm;

class TestCatalogue : public QObject {
    Q_OBJECT
private slots:
    // The whole table as "n|gruppe|name|alpha|routine" lines, against the
    // hash of the table as published, plus the rows with spelling traps.
    void catalogue()
    {
        Effekte e;
        e[5].aktiv = 1;
        e[5].verzoegerung = 77;
        effekte_anlegen(e);
        QVERIFY(e[5].aktiv == 1 && e[5].verzoegerung == 77); // only group, name and the flag are written
        QByteArray table;
        for (int n = 1; n <= kEffectCount; ++n)
            table += QString("%1|%2|%3|%4|%5\n").arg(n).arg(e[size_t(n)].gruppe, e[size_t(n)].name)
                         .arg(int(e[size_t(n)].braucht_alphablend)).arg(routineNumber(n)).toUtf8();
        QCOMPARE(QCryptographicHash::hash(table, QCryptographicHash::Sha1).toHex(),
                 QByteArray("9c5c5c0f171fed2143e4fc1156e4b8c9b02741dd"));
        for (auto [n, line] : {std::pair{12, "Überzeichnen|Quadrat auf spitze|0|8"},
                               std::pair{46, "Überblenden|Gesamt|1|9"},
                               std::pair{62, "Sonstiges|Memory von aussen schlieren|0|38"},
                               std::pair{72, "Sonstiges|Einfärben|1|9"}})
            QVERIFY2(table.contains(QString("\n%1|%2\n").arg(n).arg(line).toUtf8()), line);
    }

    // Numbers outside 2 to 76 run the plain cut and become 1.
    void dispatch_data()
    {
        QTest::addColumn<int>("effect");
        QTest::addColumn<int>("after");
        QTest::newRow("0") << 0 << 1;
        QTest::newRow("-4") << -4 << 1;
        QTest::newRow("77") << 77 << 1;
        QTest::newRow("5 stays") << 5 << 5;
    }
    void dispatch()
    {
        QFETCH(int, effect);
        QFETCH(int, after);
        RunState st;
        HeadlessTarget t(10, 6);
        QVERIFY(prepare(st, t, 0).isEmpty());
        st.aktueller_effekt = effect;
        QVERIFY(dispatchEffect(st, t));
        QCOMPARE(st.aktueller_effekt, after);
        QCOMPARE(t.bitmap(), Bitmap(10, 6, 0xff0000));
    }

    // The show starts from the scaled desktop; a failure names its call,
    // and what was made before it stays.
    void initScreen_data()
    {
        QTest::addColumn<int>("failAt");
        QTest::addColumn<QString>("words");
        QTest::newRow("whole") << 0 << "";
        QTest::newRow("stretch") << 1 << "Fehler in StretchBlt in Modul Init_Screen";
        QTest::newRow("copy") << 2 << "Fehler in BitBlt in Modul Init_Screen";
    }
    void initScreen()
    {
        QFETCH(int, failAt);
        QFETCH(QString, words);
        RunState st;
        HeadlessTarget t(5, 3, 0x777777);
        QCOMPARE(prepare(st, t, failAt), words);
        QVERIFY(st.desktop_dc.exists());
        QCOMPARE(st.neues_bild_dc.exists(), words.isEmpty());
        if (!words.isEmpty()) return;
        QCOMPARE(st.dimensionen, QString("5 x 3"));
        QCOMPARE(st.desktop_dc.dc()->stretchMode, StretchMode::ColorOnColor);
        QCOMPARE(t.bitmap(), Bitmap(5, 3, 0x0000ff));
        QCOMPARE(*st.neues_bild_dc.bitmap(), Bitmap(5, 3, 0xff0000));
    }

    void numericHelpers()
    {
        QVERIFY(Maximum({0, 1}) == 1 && Maximum({4, 1}) == 4 && Minimum({3, 1, 1}) == 1 && Minimum({-2}) == -2);
        QCOMPARE(MaximumDbl({0.5, 2.25, 2.0}), 2.25);
        double x = 1.5, edge = 2.0, low = 0.0, mid = 1.0;
        QCOMPARE(ArcCos(x), std::acos(0.5));
        QCOMPARE(x, 0.5); // the caller's value moved by one
        QVERIFY(ArcCos(edge) == 0.0 && ArcCos(low) == 0.0 && ArcCos(mid) == std::acos(0.0));
        QVERIFY(px(2.5) == 2 && px(3.5) == 4 && px(-0.5) == 0 && px(399.5) == 400 && px(1.49) == 1);
        QCOMPARE(errorWords("BitBlt", 7), QString("Fehler in BitBlt in blende_007"));
        QCOMPARE(moduleErrorWords("StretchBlt", 30), QString("Fehler in StretchBlt in Modul blende_030"));
    }

private:
    // Screen buffers of the target's size from a blue 10x10 screen copy,
    // the next picture in red; the fault hook on both screen and target.
    QString prepare(RunState& st, HeadlessTarget& t, int failAt)
    {
        effekte_anlegen(st.effekte);
        st.ScreenWidth = st.ScreenHeight = 10;
        Dc screen;
        st.bildschirmkopie_dc.create(&screen, 10, 10);
        st.bildschirmkopie_dc.bitmap()->fill(0x0000ff);
        hook_ = FaultHook{failAt};
        st.bildschirmkopie_dc.dc()->faultHook = t.dc()->faultHook = &hook_;
        const QString words = Init_Screen(st, t);
        t.dc()->faultHook = nullptr;
        if (words.isEmpty()) st.neues_bild_dc.bitmap()->fill(0xff0000);
        return words;
    }
    FaultHook hook_;
};

QTEST_GUILESS_MAIN(TestCatalogue)
#include "test_catalogue.moc"
