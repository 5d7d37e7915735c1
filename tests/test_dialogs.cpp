// The settings dialog, the effect tree and the text stamp dialog, driven
// through their controls as a person would, with the platform's choosers
// answered by the test.
#include "dialogs/effecttree.h"
#include "dialogs/optionsdialog.h"
#include "dialogs/stampdialog.h"
#include "pictures/textstamp.h"
#include "start/slideshow.h"
#include "start/startup.h"
#include "state/runstate.h"
#include "testutil.h"

#include <QApplication>
#include <QComboBox>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSettings>
#include <QtTest>

using namespace vm;

namespace {

// What the fake choosers were asked and what they answer.
struct Answers {
    QStringList messages; // icon, title and text of each message
    QString folder;
    std::int32_t colour = -1;

    Choosers choosers()
    {
        Choosers c;
        c.message = [this](QWidget*, MessageIcon icon, const QString& title, const QString& text) {
            messages << QString("%1 %2: %3").arg(int(icon)).arg(title, text);
        };
        c.chooseFolder = [this](QWidget*, const QString&, const QString&, const QString&) { return folder; };
        c.chooseColour = [this](QWidget*, const QString&, std::int32_t) { return colour; };
        return c;
    }
};

QStringList message(MessageIcon icon, const QString& text)
{
    return text.isEmpty() ? QStringList{} : QStringList{QString("%1 Velmirano: %2").arg(int(icon)).arg(text)};
}

QWidget* indexedChild(QWidget* parent, const char* name, int index)
{
    for (QWidget* w : parent->findChildren<QWidget*>(QString::fromUtf8(name)))
        if (w->property("index").toInt() == index) return w;
    return nullptr;
}

// Clicks near the left edge, where a check box or option button has its
// indicator whatever width the layout gave it.
void press(QWidget* w)
{
    QVERIFY(w);
    QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(qMin(8, w->width() / 2), w->height() / 2));
}

void clickNode(EffectTree& tree, const QString& key)
{
    tree.scrollToItem(tree.nodeByKey(key));
    QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, tree.visualItemRect(tree.nodeByKey(key)).center());
}

int image(EffectTree& tree, const QString& key) { return EffectTree::imageOf(tree.nodeByKey(key)); }

// A dialog with the answered choosers, shown.
template <class Dialog>
struct Shown {
    Answers answers;
    std::unique_ptr<Dialog> dialog;
    template <class W = QWidget>
    W* control(const char* name) { return dialog->template findChild<W*>(QString::fromUtf8(name)); }
    void show()
    {
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
    }
};

// A settings dialog as start-up opens it, on a fresh or prepared store,
// with the picture list the scan would make for JPG and PNG.
struct Run : Shown<Einstellungen> {
    QTemporaryDir pictures;
    RunState state;
    Registry registry;
    QList<QPair<QString, QString>> shutdowns;

    explicit Run(const std::function<void(RunState&)>& prepare = {})
    {
        for (const char* name : {"a.jpg", "b.jpg", "c.png"}) QVERIFY(writeFile(pictures.filePath(QLatin1String(name))));
        loadStartState(state, registry, pictures.path());
        Dc display;
        state.bildschirmkopie_dc.create(&display, 64, 48);
        state.ScreenWidth = 64;
        state.ScreenHeight = 48;
        if (prepare) prepare(state);
        dialog = std::make_unique<Einstellungen>(state, registry, answers.choosers());
        dialog->buildPictureList = [](RunState& s) {
            const QStringList masks = QStringList{s.settings.jpg == 1 ? "*.jpg" : "", s.settings.png == 1 ? "*.png" : ""};
            s.pictureList.clear();
            for (const QString& folder : s.Folders)
                for (const QString& name : QDir(folder).entryList(masks, QDir::Files, QDir::Name))
                    s.pictureList.push_back({folder + name, {}});
        };
        dialog->shutdown = [this](RunState&, Registry&, const QString& key, const QString& message) {
            shutdowns.append({key, message});
        };
        dialog->fill();
        show();
    }
    QWidget* order(int index) { return indexedChild(dialog.get(), "SortierungArt", index); }
    void focus(QLineEdit* box)
    {
        QApplication::setActiveWindow(dialog.get());
        QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
        box->setFocus();
        box->selectAll();
    }
};

struct Stamp : Shown<Textstempel> {
    Settings settings;
    explicit Stamp(const std::function<void(Settings&)>& prepare = {})
    {
        if (prepare) prepare(settings);
        dialog = std::make_unique<Textstempel>(settings, answers.choosers());
        show();
    }
};

} // namespace

class TestDialogs : public QObject {
    Q_OBJECT
    ScratchConfig config_;

private slots:
    void init() { QFile::remove(config_.file()); }
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }
    void durations();
    void treeClicks_data();
    void treeClicks();
    void okWritesSettings();
    void leavingWithoutOk();
    void subDialogRestartsWaitingPreview();
    void changeDuringTransitionShowsNextPictureAtOnce();
    void previewResumesAfterTheLastPicture_data();
    void previewResumesAfterTheLastPicture();
    void stampNumberBoxes();
    void stampPositions();
    void stampFontStandIn();
    void stampSample();
};

// A refused duration shows "1" and one message, on leaving the box or on
// Enter, which then saves the checked value.
void TestDialogs::durations()
{
    {
        Run run;
        for (auto [box, typed, shown] : {std::tuple{"delay", "0", "1"}, {"delay", "61", "1"}, {"Überblendzeit", "abc", "1"},
                                         {"Überblendzeit", "60", "60"}, {"delay", "99", "1"}}) {
            auto* edit = run.control<QLineEdit>(box);
            run.focus(edit);
            run.answers.messages.clear();
            QTest::keyClicks(edit, typed);
            QVERIFY(run.answers.messages.isEmpty()); // nothing happens while typing
            if (typed == QLatin1String("99")) break;
            run.control("Bildpfadliste")->setFocus(Qt::TabFocusReason);
            QCOMPARE(edit->text(), QString(shown));
            QCOMPARE(box[0] == 'd' ? run.state.settings.delay : run.state.settings.tdauer, QString(shown).toInt());
            QCOMPARE(run.answers.messages, message(MessageIcon::Information, QString(typed) == shown ? "" : kDurationMessage));
        }
        QTest::keyClick(run.control("delay"), Qt::Key_Return);
        QCOMPARE(run.answers.messages, message(MessageIcon::Information, kDurationMessage));
        QVERIFY(!run.dialog->isVisible());
    }
    QCOMPARE(QSettings(config_.file(), QSettings::IniFormat).value("misc/delay").toString(), QString("1"));
}

void TestDialogs::treeClicks_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QList<int>>("before");
    QTest::addColumn<QString>("clicked");
    QTest::addColumn<QString>("refusal");
    QTest::addColumn<QList<int>>("after"); // empty: all 76
    const char* random = "Für Zufallseffekte müssen zwei Einträge aktiviert sein";
    const char* sequence = "Für eine Effektfolge müssen zwei Einträge aktiviert sein";
    const QList<int> pushIn{49, 50, 51, 52, 71};
    QTest::newRow("random, two on, refused") << 3 << QList<int>{5, 9} << "B005" << random << QList<int>{5, 9};
    QTest::newRow("random, three on, off") << 3 << QList<int>{5, 9, 12} << "B005" << "" << QList<int>{9, 12};
    QTest::newRow("sequence, full group and one more, refused")
        << 2 << (pushIn + QList<int>{3}) << "Einschieben" << sequence << (pushIn + QList<int>{3});
    QTest::newRow("sequence, full group and two more, off")
        << 2 << (pushIn + QList<int>{3, 4}) << "Einschieben" << "" << QList<int>{3, 4};
    QTest::newRow("random, part of a group, all on")
        << 3 << QList<int>{49, 3} << "Einschieben" << "" << (pushIn + QList<int>{3});
    QTest::newRow("sequence, root, all on") << 2 << QList<int>{5, 9} << "Blendenbaum" << "" << QList<int>{};
}

// Every effect's and group's image follows the click; the root counts complete groups.
void TestDialogs::treeClicks()
{
    QFETCH(int, mode);
    QFETCH(QList<int>, before);
    QFETCH(QString, clicked);
    QFETCH(QString, refusal);
    QFETCH(QList<int>, after);
    Run run([&](RunState& s) {
        s.settings.effekt_nutzung = mode;
        for (int n = 1; n <= kEffectCount; ++n) s.effekte[std::size_t(n)].aktiv = before.contains(n) ? 1 : 0;
    });
    EffectTree& tree = run.dialog->tree();
    clickNode(tree, clicked);
    QCOMPARE(run.answers.messages, message(MessageIcon::Exclamation, refusal));
    QList<int> expected = after;
    for (int n = 1; n <= kEffectCount; ++n) {
        if (after.isEmpty()) expected << n;
        QCOMPARE(run.state.effekte[std::size_t(n)].aktiv, int(expected.contains(n)));
        QCOMPARE(image(tree, EffectTree::effectKey(n)), int(expected.contains(n) ? EffectTree::EffectOn : EffectTree::EffectOff));
    }
    int on = 0, full = 0;
    for (int n : {49, 50, 51, 52, 71}) on += int(expected.contains(n));
    QCOMPARE(image(tree, "Einschieben"),
             int(on == 5 ? EffectTree::GroupAllOn : on == 0 ? EffectTree::GroupNoneOn : EffectTree::GroupSomeOn));
    for (int g = 0; g < tree.root()->childCount(); ++g) full += EffectTree::imageOf(tree.root()->child(g)) == EffectTree::GroupAllOn;
    QCOMPARE(EffectTree::imageOf(tree.root()),
             int(full == 5 ? EffectTree::RootAllOn : full == 0 ? EffectTree::RootMarked : EffectTree::RootSomeOn));
}

void TestDialogs::okWritesSettings()
{
    QTemporaryDir second;
    {
        Run run([&](RunState& s) {
            s.settings.letzter_effekt = 33;
            s.settings.text = QStringLiteral("Hallo, Welt");
        });
        run.answers.folder = second.path();
        // The size it opens with fits 1024x768 less a window frame and a panel.
        QVERIFY(run.dialog->sizeHint().width() <= 1000 && run.dialog->sizeHint().height() <= 700);
        for (const char* name : {"Hinzufügen", "FarbwahlButton", "PNG", "AVIF", "ExifDrehen", "mitTextstempel", "mitDesktop", "BlendeFolge"})
            press(run.control(name));
        QVERIFY(run.control("TextstempelButton")->isEnabled());
        press(run.order(1));
        for (int n = 1; n <= kEffectCount; ++n)
            if (n != 5 && n != 46 && n != 71) clickNode(run.dialog->tree(), EffectTree::effectKey(n));
        run.control<QLineEdit>("delay")->setText("7");
        run.control<QComboBox>("Bildschirme")->setCurrentIndex(2);
        press(run.control("ok"));
        QVERIFY(run.answers.messages.isEmpty() && !run.dialog->isVisible() && run.state.abbruch);
        QCOMPARE(run.shutdowns, (QList<QPair<QString, QString>>{{"pdelay", "OK"}}));
    }
    QSettings written(config_.file(), QSettings::IniFormat);
    QStringList expected, actual;
    for (const char* v : {"recursive=0", "delay=7", "reihenfolge=1", "desktop=1", "passende_farbe=0", "blende=1",
                          "effekt_tracken=0", "effekt_nutzung=2", "tdauer=2", "hgfarbe=0", "expand=0", "exifrotate=1",
                          "jpg=1", "bmp=0", "tif=0", "pcx=0", "png=1", "gif=0", "heic=1", "avif=0", "webp=1", "jxl=1", "bildschirme=2"})
        expected << QString("misc/") + v;
    for (const QString& key : written.allKeys())
        if (key.startsWith("misc/")) actual << key + u'=' + written.value(key).toString();
    expected.sort();
    actual.sort();
    QCOMPARE(actual, expected);
    QCOMPARE(written.value("textstempel/ausgeben").toString() + written.value("textstempel/text").toString(), QString("1Hallo, Welt"));
    QCOMPARE(written.value("path/2").toString(), second.path() + u'/');
    written.beginGroup("zblenden");
    QCOMPARE(written.childKeys(), (QStringList{"46", "5", "71"}));
}

// Abbrechen, the close box and Escape unload once and write no settings.
void TestDialogs::leavingWithoutOk()
{
    {
        Run run;
        run.dialog->startPreview();
        press(run.control("PNG"));
        press(run.control("abbrechen"));
        QVERIFY(!run.dialog->isVisible() && run.state.abbruch && !run.dialog->Timer1().isActive());
        QVERIFY(run.dialog->close());
        QTest::keyClick(run.dialog.get(), Qt::Key_Escape);
        QCOMPARE(run.shutdowns, (QList<QPair<QString, QString>>{{"pdelay", "OK"}}));
    }
    QCOMPARE(QSettings(config_.file(), QSettings::IniFormat).allKeys(), QStringList());
}

void TestDialogs::subDialogRestartsWaitingPreview()
{
    Run run;
    run.dialog->Timer1().start(60000); // waiting for the next picture
    bool held = false;
    QTimer::singleShot(0, [&] {
        held = !run.dialog->Timer1().isActive();
        QApplication::activeModalWidget()->close();
    });
    press(run.control("Info"));
    QVERIFY(held && run.state.messung_auslassen && !run.state.unterbrechung && run.dialog->Timer1().isActive());
    QCOMPARE(run.dialog->Timer1().interval(), 1);
}

void TestDialogs::changeDuringTransitionShowsNextPictureAtOnce()
{
    QTemporaryDir dir;
    for (auto [name, colour] : {std::pair{"a.png", 0xff0000u}, {"b.png", 0x00ff00u}})
        QVERIFY(solid(288, 216, colour).save(dir.filePath(name))); // exactly the preview's size
    Run run([&](RunState& s) {
        s.Folders = {dir.path() + u'/'};
        s.settings = {.delay = 60, .blende = 2, .jpg = 0, .png = 1};
        s.effekte[2].verzoegerung = 100'000'000; // line by line, slowly
        s.effekte[2].schritt = 1;
    });
    bool midTransition = false;
    QTimer::singleShot(300, run.dialog.get(), [&] {
        midTransition = run.dialog->slideshow().tickRunning();
        press(run.control("FarbwahlButton")); // any change interrupts the preview
        run.state.effekte[2].verzoegerung = 0; // the next transition is quick
    });
    run.dialog->startPreview();
    // Long before the 60 s interval the next picture is there, whole.
    QTRY_VERIFY_WITH_TIMEOUT(run.state.CurrentPictureIndex == 2 && !run.dialog->slideshow().tickRunning(), 10000);
    QVERIFY(midTransition && !run.state.unterbrechung);
    QCOMPARE(run.state.decoder.started(), 3); // each next picture was decoded during the interval
    for (QPoint p : {QPoint(0, 0), QPoint(287, 215), QPoint(144, 108)})
        QCOMPARE(run.dialog->preview().bitmap().pixel(p.x(), p.y()), pixelFromColorRef(0x00ff00));
}

void TestDialogs::previewResumesAfterTheLastPicture_data()
{
    QTest::addColumn<int>("letztesBild");
    QTest::addColumn<int>("first");
    QTest::newRow("after the first") << 1 << 2;
    QTest::newRow("after the last: wraps") << 3 << 1;
    QTest::newRow("nothing shown yet") << 0 << 1;
}

// The dialog's live preview goes on after the picture a run showed last.
void TestDialogs::previewResumesAfterTheLastPicture()
{
    QFETCH(int, letztesBild);
    QFETCH(int, first);
    QTemporaryDir dir;
    const QList<std::pair<const char*, QRgb>> pictures{{"a.png", 0xff0000}, {"b.png", 0x00ff00}, {"c.png", 0x0000ff}};
    for (auto [name, colour] : pictures) QVERIFY(solid(288, 216, colour).save(dir.filePath(name))); // the preview's size
    Run run([&](RunState& s) {
        s.Folders = {dir.path() + u'/'};
        s.settings = {.delay = 60, .letztes_bild = letztesBild, .jpg = 0, .png = 1};
    });
    QCOMPARE(run.state.PictureCount(), 3);
    run.dialog->startPreview();
    QTRY_VERIFY_WITH_TIMEOUT(run.state.decoder.started() >= 1 && !run.dialog->slideshow().tickRunning() &&
                                 run.state.CurrentPictureIndex >= 1, 10000);
    QCOMPARE(run.state.CurrentPictureIndex, first);
    const QRgb colour = pictures[first - 1].second;
    QCOMPARE(run.dialog->preview().bitmap().pixel(144, 108),
             pixelFromColorRef(ColorRef(qBlue(colour) << 16 | qGreen(colour) << 8 | qRed(colour))));
}

// Typed into one dialog in turn; "500-" types the sign last, as a minus alone is refused.
void TestDialogs::stampNumberBoxes()
{
    const QString height = QString::fromUtf8(
        "Texthöhe nicht zulässig.\r\nWerte zwischen 1 und 100 sind erlaubt.\r\n\r\nEs wird der vorherige Wert verwendet.");
    const QString y = QString::fromUtf8("Y-Offset der Textposition nicht zulässig.\r\nWerte zwischen -500 und 500 sind "
                                        "erlaubt.\r\n\r\nEs wird der vorwerige Wert verwendet.");
    Stamp stamp;
    const Settings& s = stamp.settings;
    for (auto [box, typed, refusal, shown, setting] :
         {std::tuple{"StempelTextHöhe", "200", height, "20", &s.hoehe}, {"StempelTextHöhe", "", height, "20", &s.hoehe},
          {"StempelTextOffsetX", "500-", QString(), "-500", &s.offsetx}, {"StempelTextOffsetY", "a", y, "10", &s.offsety},
          {"StempelTextOffsetY", "500", QString(), "500", &s.offsety}}) {
        auto* edit = stamp.control<QLineEdit>(box);
        edit->setFocus();
        edit->selectAll();
        stamp.answers.messages.clear();
        if (!*typed) QTest::keyClick(edit, Qt::Key_Backspace);
        const QString text = QString(typed).remove('-');
        QTest::keyClicks(edit, text);
        if (text != typed) QTest::keyClick(edit, Qt::Key_Home), QTest::keyClick(edit, '-');
        QCOMPARE(edit->text(), QString(shown));
        QCOMPARE(*setting, QString(shown).toInt());
        QCOMPARE(stamp.answers.messages, message(MessageIcon::Exclamation, refusal));
    }
}

void TestDialogs::stampPositions()
{
    Stamp stamp;
    auto box = [&](int i) { return indexedChild(stamp.dialog.get(), "StempelTextPosition", i); };
    // Clicking the marked box again leaves none marked: position 0.
    for (auto [clicked, position] : {std::pair{1, 1}, {5, 5}, {5, 0}, {9, 9}}) {
        if (clicked != 1) press(box(clicked));
        QCOMPARE(stamp.settings.position, position);
        for (int i = 1; i <= 9; ++i)
            QCOMPARE(box(i)->palette().color(QPalette::Window).name() + box(i)->property("tag").toString(),
                     QString(i == position ? "#00ff00True" : "#ffffffFalse"));
    }
}

// A face that is not installed shows the family the sample is drawn in; the
// stored name stays until the person picks one.
void TestDialogs::stampFontStandIn()
{
    const QString standIn = QFontInfo(QFont(QStringList{"Arial"})).family();
    Settings arial;
    Answers answers;
    Choosers choosers = answers.choosers();
    choosers.fontFaces = [&] { return std::vector<FontFace>{{"Aaa"}, {standIn}, {"Zzz"}}; };
    Textstempel dialog(arial, choosers);
    QCOMPARE(dialog.findChild<QComboBox*>("StempelTextSchrift")->currentText(), standIn);
    QCOMPARE(arial.schriftart, QString("Arial"));
}

// The sample follows what is typed (how a stamp is drawn: test_textstamp).
void TestDialogs::stampSample()
{
    Stamp stamp([](Settings& s) { s.text.clear(); });
    const QImage plain = stamp.dialog->sample();
    stamp.control<QLineEdit>("StempelText")->setFocus();
    QTest::keyClicks(stamp.control("StempelText"), "X");
    QVERIFY(stamp.dialog->sample() != plain);
}

QTEST_MAIN(TestDialogs)
#include "test_dialogs.moc"
