// The transitions' contract, one table over the effects per property; every
// drawn frame is checked by the frame table (test_frames).
#include "framerun.h"

#include <QtTest>

#include <memory>

using namespace vm;
using frames::Scene;
using Ints = QList<int>;

namespace {

// Step-width adaptation (increment, floor) of the routines that adapt.
struct Adaptation {
    int increment, floor;
};
Adaptation adaptation(int effect)
{
    switch (effect) {
    case 8: case 9: case 10: case 11: case 12: case 40: case 41: case 60: case 61: case 62: case 67: case 71:
        return {1, 1};
    case 47: case 48: return {2, 2};
    case 49: case 50: case 51: case 52: case 53: case 54: case 55: case 56: case 63: return {2, 4};
    case 64: return {1, 4};
    case 57: case 58: return {10, 10};
    case 59: return {2, 8};
    case 73: case 74: return {5, 5};
    default: return {0, 0};
    }
}

QString words(const char* op, int effect, bool module = false)
{
    return module ? moduleErrorWords(op, routineNumber(effect)) : errorWords(op, routineNumber(effect));
}

} // namespace

class TestTransitions : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { pictures_ = std::make_unique<frames::AlbumPictures>(); }

    // On the screens people have, every effect whose steps cover the screen
    // ends on the whole new picture (album and pinboard lay their own, the
    // zoom-in ends on the picture's centre magnified).
    void coversTheScreen_data()
    {
        QTest::addColumn<int>("effect");
        QTest::addColumn<QSize>("size");
        for (QSize size : {QSize(1920, 1080), QSize(3840, 2160)})
            for (int n = 1; n <= kEffectCount; ++n)
                // The zoom-out's 961 screen-sized steps are checked at the smaller size.
                if (n != 68 && n != 69 && n != 75 && !(n == 76 && size.width() > 1920))
                    QTest::addRow("%d %dx%d", n, size.width(), size.height()) << n << size;
    }
    void coversTheScreen()
    {
        QFETCH(int, effect);
        QFETCH(QSize, size);
        Scene sc(size.width(), size.height(), effect);
        // Wide steps keep the big rows quick; the frame must be whole at any width.
        if (adaptation(effect).increment > 0) sc.entry().schritt = size.width() / 40;
        QVERIFY(sc.run());
        QVERIFY(sc.showsNewPicture());
    }

    // Worked examples: the steps made, and the width and wait left for the
    // calibration (-1: not looked at; -n: at least n). Picture: empty = two
    // thirds of the target.
    void examples_data()
    {
        QTest::addColumn<int>("effect");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<Ints>("given");    // schritt, verzoegerung, tdauer
        QTest::addColumn<Ints>("expected"); // steps, schritt, aktuelles_delay
        const QSize t;
        QTest::newRow("2: one step per column") << 2 << QSize(800, 600) << t << Ints{0, 0, 2} << Ints{800, -1, -1};
        QTest::newRow("3: 800/2 + 1 steps") << 3 << QSize(800, 600) << t << Ints{0, 0, 2} << Ints{401, -1, -1};
        QTest::newRow("8: s = 1, D = 1000") << 8 << QSize(800, 600) << t << Ints{2, 1, 2} << Ints{1002, 1, -1};
        QTest::newRow("13: 640 / 1.9 + 1") << 13 << QSize(1024, 768) << t << Ints{0, 0, 2} << Ints{337, -1, -1};
        QTest::newRow("19: H / 8 slats") << 19 << QSize(800, 600) << t << Ints{0, 0, 2} << Ints{75, -1, -1};
        QTest::newRow("20: W / 10 slats") << 20 << QSize(800, 600) << t << Ints{0, 0, 2} << Ints{80, -1, -1};
        QTest::newRow("15: 8 x 6 spiral, corners twice") << 15 << QSize(800, 600) << t << Ints{0, 0, 2} << Ints{60, -1, -1};
        QTest::newRow("16: short time slows the spiral") << 16 << QSize(800, 600) << t << Ints{0, 99, 2} << Ints{-1, -1, 250};
        QTest::newRow("40: S = 1, half a turn") << 40 << QSize(800, 600) << t << Ints{2, 1, 2} << Ints{202, 1, -1};
        QTest::newRow("47: tdauer 3, 59 -> 20") << 47 << QSize(91, 53) << t << Ints{4, 59, 3} << Ints{-1, 2, 20};
        QTest::newRow("49: s 4 on 1022") << 49 << QSize(1022, 600) << t << Ints{4, 1, 2} << Ints{255, 4, -1};
        QTest::newRow("53: no wait, 4 -> 6") << 53 << QSize(91, 53) << t << Ints{4, 0, 2} << Ints{-1, 6, -1};
        QTest::newRow("53: waits, 5 -> floor 4") << 53 << QSize(91, 53) << t << Ints{5, 10, 2} << Ints{-1, 4, -1};
        QTest::newRow("60: 8 x 6 cards, tdauer 5") << 60 << QSize(800, 600) << QSize(800, 600) << Ints{1000, 9, 5} << Ints{-1, -1, 20};
        QTest::newRow("65: 12 x 8 cells") << 65 << QSize(800, 600) << t << Ints{0, 0, 2} << Ints{96, -1, -1};
        QTest::newRow("67: 7 x 5 cards all move") << 67 << QSize(800, 600) << QSize(800, 600) << Ints{1000, 0, 20} << Ints{-36, -1, -1};
        QTest::newRow("68: 7 x 5 album cells") << 68 << QSize(800, 600) << t << Ints{0, 0, 2} << Ints{35, -1, -1};
        QTest::newRow("75: width set to 1") << 75 << QSize(91, 53) << t << Ints{9, 3, 2} << Ints{-1, 1, -1};
    }
    void examples()
    {
        QFETCH(int, effect);
        QFETCH(QSize, size);
        QFETCH(QSize, picture);
        QFETCH(Ints, given);
        QFETCH(Ints, expected);
        Scene sc(size.width(), size.height(), effect, pictures_->files(), picture);
        sc.entry().schritt = given[0];
        sc.entry().verzoegerung = given[1];
        sc.st.settings.tdauer = given[2];
        QVERIFY(sc.run());
        if (expected[0] >= 0) QCOMPARE(sc.target.pumps(), expected[0]);
        if (expected[0] < -1) QVERIFY(sc.target.pumps() >= -expected[0]);
        if (expected[1] >= 0) QCOMPARE(sc.entry().schritt, expected[1]);
        if (expected[2] >= 0) QCOMPARE(sc.st.aktuelles_delay, expected[2]);
    }

    // A picture one pixel high or wide, as a panorama fitted to the screen
    // gives: every effect ends, in no more steps than with a picture of two
    // thirds of the screen (the cards and blocks count from the picture).
    void thinPictures_data()
    {
        QTest::addColumn<int>("effect");
        QTest::addColumn<QSize>("picture");
        for (int n = 1; n <= kEffectCount; ++n) {
            if (n == 68 || n == 69) continue; // they load their own pictures
            QTest::addRow("%d: 320 x 1", n) << n << QSize(320, 1);
            QTest::addRow("%d: 1 x 240", n) << n << QSize(1, 240);
        }
    }
    void thinPictures()
    {
        QFETCH(int, effect);
        QFETCH(QSize, picture);
        Scene usual(320, 240, effect, pictures_->files());
        QVERIFY(usual.run());
        Scene thin(320, 240, effect, pictures_->files(), picture);
        QVERIFY2(thin.run(), qPrintable(thin.st.fehlertext));
        QVERIFY2(thin.target.pumps() <= usual.target.pumps() + 2,
                 qPrintable(QStringLiteral("%1 steps, usually %2").arg(thin.target.pumps()).arg(usual.target.pumps())));
    }

    // A failing graphics call stops the routine with its own words: at the
    // first call on the target, in the middle of the run and at the last.
    void failureWords_data()
    {
        QTest::addColumn<int>("effect");
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("middle");
        QTest::addColumn<QString>("last");
        for (int n = 1; n <= kEffectCount; ++n) {
            QString first = words("BitBlt", n), middle = first, last = first;
            switch (n) {
            case 46: case 47: case 48: case 72: first = middle = QString(); break; // blends go on regardless
            case 57: case 63: case 64: first = middle = words("StretchBlt", n, true); break;
            case 73: case 74: first = middle = words("StretchBlt", n); break;
            case 75: case 76: first = middle = last = words("StretchBlt", n); break;
            case 68: case 69: first = words("FillRect", n); break;
            case 70: first = words("FillRect", n), middle = words("StretchBlt", n); break;
            }
            QTest::addRow("%d", n) << n << first << middle << last;
        }
    }
    void failureWords()
    {
        QFETCH(int, effect);
        QFETCH(QString, first);
        QFETCH(QString, middle);
        QFETCH(QString, last);
        FaultHook count;
        {
            Scene sc(91, 53, effect, pictures_->files());
            sc.target.dc()->faultHook = &count;
            QVERIFY(sc.run());
        }
        const int calls = count.calls;
        const std::pair<int, QString> cases[] = {{1, first}, {(calls + 1) / 2, middle}, {calls, last}};
        for (const auto& [call, expected] : cases) {
            Scene sc(91, 53, effect, pictures_->files());
            FaultHook fail{call};
            sc.target.dc()->faultHook = &fail;
            const bool ok = sc.run();
            QCOMPARE(sc.st.fehlertext, expected);
            QCOMPARE(ok, expected.isEmpty());
        }
    }

    // Before its first step a routine widens its step by the increment when
    // there was no time to wait, and else narrows it towards the floor.
    void stepWidth_data()
    {
        QTest::addColumn<int>("effect");
        QTest::addColumn<int>("schritt");
        QTest::addColumn<int>("delay");
        QTest::addColumn<int>("after");
        for (int n = 1; n <= kEffectCount; ++n) {
            const Adaptation a = adaptation(n);
            if (a.increment == 0) continue;
            QTest::addRow("%d no wait", n) << n << a.floor << 0 << a.floor + a.increment;
            QTest::addRow("%d narrows", n) << n << a.floor + a.increment + 3 << 1 << a.floor + 3;
            QTest::addRow("%d floor", n) << n << a.floor + 1 << 1 << a.floor;
        }
        for (int n : {46, 72}) {
            QTest::addRow("%d fade waits", n) << n << 7 << 1 << 1;
            QTest::addRow("%d fade no wait", n) << n << 7 << 0 << 7;
        }
    }
    void stepWidth()
    {
        QFETCH(int, effect);
        QFETCH(int, schritt);
        QFETCH(int, delay);
        QFETCH(int, after);
        Scene sc(91, 53, effect);
        sc.entry().schritt = schritt;
        sc.entry().verzoegerung = delay;
        QVERIFY(sc.run());
        QCOMPARE(sc.entry().schritt, after);
    }

    // A key (abbruch) or the dialog (unterbrechung) mid-way: false, no
    // error words, and nothing drawn after the step that saw the flag.
    void stopsWithinAStep_data()
    {
        QTest::addColumn<int>("effect");
        QTest::addColumn<bool>("dialog");
        for (int n = 2; n <= kEffectCount; ++n) QTest::addRow("%d", n) << n << (n % 2 == 0);
    }
    void stopsWithinAStep()
    {
        QFETCH(int, effect);
        QFETCH(bool, dialog);
        int steps = 0;
        {
            Scene sc(91, 53, effect, pictures_->files());
            QVERIFY(sc.run());
            steps = sc.target.pumps();
        }
        const int stopAt = std::max(steps / 2, 1);
        Scene sc(91, 53, effect, pictures_->files());
        std::uint64_t seen = 0;
        sc.target.onPump = [&](int pump) {
            if (pump != stopAt) return;
            (dialog ? sc.st.unterbrechung : sc.st.abbruch) = true;
            seen = frames::hashBitmap(sc.target.bitmap());
        };
        QVERIFY(!sc.run());
        QVERIFY(sc.st.fehlertext.isEmpty());
        QCOMPARE(sc.target.pumps(), stopAt);
        QCOMPARE(frames::hashBitmap(sc.target.bitmap()), seen);
    }

    // Hand-edited counts and widths at the top of their range: every effect
    // ends, its waits cut once they take twice the transition time, and the
    // rest of the run goes without waiting. The clock moves 10 ms a look.
    void staleCountsEnd_data()
    {
        QTest::addColumn<int>("effect");
        for (int n = 2; n <= kEffectCount; ++n) QTest::addRow("%d", n) << n;
    }
    void staleCountsEnd()
    {
        QFETCH(int, effect);
        Scene sc(91, 53, effect, pictures_->files());
        auto now = std::make_shared<std::uint32_t>(0);
        sc.st.stoppuhr = CStopWatch([now] { return *now += 10; });
        sc.st.settings.tdauer = 1;
        sc.entry().verzoegerung = std::numeric_limits<std::int32_t>::max();
        sc.entry().schritt = std::numeric_limits<std::int32_t>::max();
        auto looks = std::make_shared<int>(0);
        sc.st.stoppuhr = CStopWatch([now, looks] { ++*looks; return *now += 10; });
        sc.run();
        // The album and the pinboard take their cell count from the width:
        // an absurd one is a loading error, not a hang.
        if (effect != 68 && effect != 69) QVERIFY2(sc.st.fehlertext.isEmpty(), qPrintable(sc.st.fehlertext));
        // The pinboard looks at the clock once per picture laid, not to wait,
        // and how many it lays depends on how soon the decoder answers.
        if (effect == 69) return;
        // A routine that waited at all was cut within its budget of 2 s.
        if (sc.st.aktuelles_delay != 0) QVERIFY2(*looks < 10, qPrintable(QString::number(*looks))); // it never waited
        // (72 holds its grey picture a second first, then starts timing anew.)
        QVERIFY2(*looks <= 2 * (2000 / 10) + 10, qPrintable(QString::number(*looks)));
    }

    // A key during one long wait is served within it: events run every
    // 20 ms of the wait and the step ends at once.
    void keyDuringALongWait_data()
    {
        QTest::addColumn<int>("stopAt");
        QTest::addColumn<bool>("dialog");
        QTest::newRow("first look") << 2 << false;
        QTest::newRow("later") << 7 << false;
        QTest::newRow("dialog") << 3 << true;
    }
    void keyDuringALongWait()
    {
        QFETCH(int, stopAt);
        QFETCH(bool, dialog);
        Scene sc(91, 53, 2);
        auto now = std::make_shared<std::uint32_t>(0);
        sc.st.stoppuhr = CStopWatch([now] { return *now += 1; });
        sc.st.settings.tdauer = 60;
        sc.entry().verzoegerung = std::numeric_limits<std::int32_t>::max();
        std::uint32_t seenAt = 0;
        sc.target.onPump = [&](int pump) {
            if (pump != stopAt) return;
            (dialog ? sc.st.unterbrechung : sc.st.abbruch) = true;
            seenAt = *now;
        };
        QVERIFY(!sc.run());
        QVERIFY(sc.st.fehlertext.isEmpty());
        QCOMPARE(sc.target.pumps(), stopAt);
        // Pumps came every 20 ms of the clock, not after the whole wait.
        QVERIFY2(seenAt <= std::uint32_t(stopAt) * 21, qPrintable(QString::number(seenAt)));
        QCOMPARE(*now, seenAt); // nothing waited after the stop
    }

    // The album and the pinboard decode each picture they draw once per
    // transition, whatever number of cells it fills, and the cells decoded
    // ahead are the ones the sequence then draws: no decoder run is wasted
    // on a wrong guess, and the result is the same.
    void cellsDecodedOnce_data()
    {
        QTest::addColumn<int>("effect");
        QTest::addColumn<int>("files");
        QTest::newRow("album, 3 pictures") << 68 << 3;
        QTest::newRow("album, 12 pictures") << 68 << 12;
        QTest::newRow("pinboard, 12 pictures") << 69 << 12;
    }
    void cellsDecodedOnce()
    {
        QFETCH(int, effect);
        QFETCH(int, files);
        QTemporaryDir dir;
        QStringList list;
        for (int i = 0; i < files; ++i) {
            list << dir.filePath(QStringLiteral("%1.png").arg(i));
            QVERIFY(QFile::copy(pictures_->files()[i % 3], list.back()));
        }
        Scene alone(800, 600, effect, list);
        alone.st.decoder.aheadEnabled = false;
        QVERIFY(alone.run());
        Scene ahead(800, 600, effect, list);
        QVERIFY(ahead.run());
        QVERIFY(ahead.target.pumps() > files * 2); // more cells than pictures
        // Where the pinboard ends depends on the clock: the guesses made
        // for cells beyond its end are the only ones that may go unused.
        if (effect == 68)
            QCOMPARE(ahead.st.decoder.started(), alone.st.decoder.started());
        else
            QVERIFY(ahead.st.decoder.started() <= alone.st.decoder.started() + 2);
        if (files == 3) QCOMPARE(ahead.st.decoder.started(), 3);
        QVERIFY(ahead.target.bitmap() == alone.target.bitmap());
    }

private:
    std::unique_ptr<frames::AlbumPictures> pictures_;
};

QTEST_GUILESS_MAIN(TestTransitions)
#include "test_transitions.moc"
