// The settings dialog, the effect tree, the text stamp dialog and the info
// box, driven through their controls as a person would, with the platform's
// choosers answered by the test.
#include "dialogs/effecttree.h"
#include "dialogs/infodialog.h"
#include "dialogs/optionsdialog.h"
#include "dialogs/stampdialog.h"
#include "pictures/textstamp.h"
#include "platform/qttarget.h"
#include "platform/registry.h"
#include "start/slideshow.h"
#include "start/startup.h"
#include "state/runstate.h"
#include "testutil.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSlider>
#include <QtTest>

#include <set>

using namespace vm;

namespace {

// What the fake choosers were asked and what they answer.
struct Answers {
    QStringList messages; // icon, title and text of each message
    QList<QStringList> folderRequests; // start, prompt, title
    QString folder;
    QStringList colourTitles;
    std::int32_t colour = -1;
    std::vector<FontFace> fonts;

    Choosers choosers()
    {
        Choosers c;
        c.message = [this](QWidget*, MessageIcon icon, const QString& title, const QString& text) {
            messages << QString("%1 %2: %3").arg(int(icon)).arg(title, text);
        };
        c.chooseFolder = [this](QWidget*, const QString& start, const QString& prompt, const QString& title) {
            folderRequests.append({start, prompt, title});
            return folder;
        };
        c.chooseColour = [this](QWidget*, const QString& title, std::int32_t) {
            colourTitles << title;
            return colour;
        };
        c.fontFaces = [this] { return fonts; };
        return c;
    }
};

QString message(MessageIcon icon, const char* text)
{
    return QString("%1 Velmirano: %2").arg(int(icon)).arg(QString::fromUtf8(text));
}

// The picture list as the scan would make it, for JPG and PNG.
void scanFolders(RunState& s)
{
    QStringList masks;
    if (s.settings.jpg == 1) masks << "*.jpg";
    if (s.settings.png == 1) masks << "*.png";
    s.pictureList.clear();
    for (const QString& folder : s.Folders)
        for (const QString& name : QDir(folder).entryList(masks, QDir::Files, QDir::Name))
            if (!masks.isEmpty()) s.pictureList.push_back({folder + name, {}});
}

void touch(const QString& path) { QVERIFY(QFile(path).open(QIODevice::WriteOnly)); }

// A plain picture exactly the size of the preview.
void writePicture(const QString& path, Qt::GlobalColor colour)
{
    QImage img(288, 216, QImage::Format_RGB32);
    img.fill(colour);
    QVERIFY(img.save(path));
}

QWidget* indexedChild(QWidget* parent, const char* name, int index)
{
    for (QWidget* w : parent->findChildren<QWidget*>(QString::fromUtf8(name)))
        if (w->property("index").toInt() == index) return w;
    return nullptr;
}

std::set<int> enabledEffects(const RunState& s)
{
    std::set<int> on;
    for (int n = 1; n <= kEffectCount; ++n)
        if (s.effekte[std::size_t(n)].aktiv != 0) on.insert(n);
    return on;
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

// A settings dialog as start-up opens it, on a fresh or prepared store.
struct Run : Shown<Einstellungen> {
    QTemporaryDir pictures;
    RunState state;
    Registry registry;
    QList<QPair<QString, QString>> shutdowns;

    explicit Run(const std::function<void(RunState&)>& prepare = {})
    {
        for (const char* name : {"a.jpg", "b.jpg", "c.png"}) touch(pictures.filePath(QLatin1String(name)));
        loadStartState(state, registry, pictures.path());
        Dc display;
        state.bildschirmkopie_dc.create(&display, 64, 48);
        state.ScreenWidth = 64;
        state.ScreenHeight = 48;
        if (prepare) prepare(state);
        dialog = std::make_unique<Einstellungen>(state, registry, answers.choosers());
        dialog->buildPictureList = scanFolders;
        dialog->shutdown = [this](RunState&, Registry&, const QString& key, const QString& message) {
            shutdowns.append({key, message});
        };
        dialog->fill();
        show();
    }
    QString folder() const { return pictures.path() + u'/'; }
    QString count() { return control<QLabel>("Bilderanzahl")->text(); }
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
    QColor background(const char* name) { return control(name)->palette().color(QPalette::Window); }
};

} // namespace

class TestDialogs : public QObject {
    Q_OBJECT
    ScratchConfig config_;

private slots:
    void init() { QFile::remove(config_.file()); }
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }
    void fillSelectsStoredOptions_data();
    void fillSelectsStoredOptions();
    void fitsA1024x768Screen();
    void fileTypesAndOrder();
    void durations_data();
    void durations();
    void enterOnDurationValidatesBeforeSaving();
    void background();
    void treeShape();
    void treeClicks_data();
    void treeClicks();
    void singleModeAndModeSwitch();
    void addFolder_data();
    void addFolder();
    void removeFolders();
    void okWritesSettings();
    void leavingWithoutOk();
    void subDialogRestartsWaitingPreview();
    void changeDuringTransitionShowsNextPictureAtOnce();
    void stampNumberBoxes_data();
    void stampNumberBoxes();
    void stampPositions();
    void stampOptionsAndColours();
    void stampFrameControls();
    void stampFontList();
    void stampSample();
    void infoBox();
};

void TestDialogs::fillSelectsStoredOptions_data()
{
    QTest::addColumn<int>("reihenfolge");
    QTest::addColumn<int>("desktop");
    QTest::addColumn<int>("matching");
    QTest::addColumn<int>("nutzung");
    QTest::addColumn<QString>("background");
    QTest::addColumn<QString>("mode");
    QTest::newRow("defaults: fixed colour, single, random order") << 5 << 0 << 0 << 1 << "freieFarbe" << "BlendeEinzel";
    QTest::newRow("desktop, sequence, by name") << 1 << 1 << 1 << 2 << "mitDesktop" << "BlendeFolge";
    QTest::newRow("matching colour, random, by date") << 2 << 0 << 1 << 3 << "passendeFarbe" << "BlendeZufall";
    QTest::newRow("fixed colour, unknown mode, none") << 0 << 0 << 0 << 4 << "freieFarbe" << "";
}

void TestDialogs::fillSelectsStoredOptions()
{
    QFETCH(int, reihenfolge);
    QFETCH(int, desktop);
    QFETCH(int, matching);
    QFETCH(int, nutzung);
    QFETCH(QString, background);
    QFETCH(QString, mode);
    Run run([&](RunState& s) {
        s.settings = {.delay = 17, .reihenfolge = reihenfolge, .desktop = desktop, .passende_farbe = matching,
                      .letztes_bild = 7, .effekt_nutzung = nutzung, .tdauer = 9, .png = nutzung == 1 ? 0 : 1};
    });
    for (int i : {0, 1, 2, 5}) QCOMPARE(run.order(i)->property("checked").toBool(), i == reihenfolge);
    QVERIFY(run.control<QRadioButton>(background.toUtf8())->isChecked());
    QCOMPARE(run.control("FarbwahlButton")->isEnabled(), background == "freieFarbe");
    for (const char* m : {"BlendeEinzel", "BlendeFolge", "BlendeZufall"})
        QCOMPARE(run.control<QRadioButton>(m)->isChecked(), mode == QLatin1String(m));
    QCOMPARE(run.state.settings.effekt_nutzung, nutzung);
    QCOMPARE(run.control<QLineEdit>("delay")->text() + run.control<QLineEdit>("Überblendzeit")->text(), QString("179"));
    QCOMPARE(run.control<QCheckBox>("PNG")->isChecked(), nutzung != 1);
    QVERIFY(!run.control("TextstempelButton")->isEnabled());
    QCOMPARE(run.control<QListWidget>("Bildpfadliste")->item(0)->text(), run.folder());
    // The file-type handlers reset the index; the fill leaves the stored one.
    QCOMPARE(run.state.CurrentPictureIndex, 7);
    QCOMPARE(run.count(), QString("Anzahl Bilder: %1").arg(nutzung == 1 ? 2 : 3));
}

void TestDialogs::fitsA1024x768Screen()
{
    // The size it opens with, on 1024x768 less a window frame and a panel.
    const QSize size = Run().dialog->sizeHint();
    QVERIFY2(size.width() <= 1000 && size.height() <= 700, qPrintable(QString("%1x%2").arg(size.width()).arg(size.height())));
}

void TestDialogs::fileTypesAndOrder()
{
    Run run;
    QList<int> sortedWith;
    run.dialog->sortPictureList = [&](RunState& s) { sortedWith << s.settings.reihenfolge; };
    press(run.order(1));
    QCOMPARE(run.state.settings.reihenfolge, 1);
    run.state.CurrentPictureIndex = 2;
    run.dialog->preview().clearTo(0x336699);
    press(run.control("JPG"));
    QCOMPARE(run.state.settings.jpg + run.state.CurrentPictureIndex, 0);
    QCOMPARE(run.count(), QString("Anzahl Bilder: 0"));
    QCOMPARE(run.dialog->preview().bitmap().pixel(5, 5), Pixel(0));
    press(run.order(2)); // nothing listed: nothing to sort
    QCOMPARE(sortedWith, QList<int>{1});
    press(run.control("PNG"));
    QCOMPARE(run.state.settings.png, 1);
    QCOMPARE(run.count(), QString("Anzahl Bilder: 1"));
}

void TestDialogs::durations_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown"); // "1" after a refusal
    for (const char* box : {"delay", "Überblendzeit"}) {
        for (const char* refused : {"0", "61", "abc"}) QTest::addRow("%s %s", box, refused) << box << refused << "1";
        QTest::addRow("%s 60", box) << QString::fromUtf8(box) << "60" << "60";
    }
}

void TestDialogs::durations()
{
    QFETCH(QString, box);
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    Run run;
    auto* edit = run.control<QLineEdit>(box.toUtf8());
    run.focus(edit);
    QTest::keyClicks(edit, typed);
    QVERIFY(run.answers.messages.isEmpty()); // nothing happens while typing
    run.control("Bildpfadliste")->setFocus(Qt::TabFocusReason);
    QCOMPARE(edit->text(), shown);
    QCOMPARE(box == "delay" ? run.state.settings.delay : run.state.settings.tdauer, shown.toInt());
    QCOMPARE(run.answers.messages,
             typed == shown ? QStringList{} : QStringList{message(MessageIcon::Information, kDurationMessage)});
}

void TestDialogs::enterOnDurationValidatesBeforeSaving()
{
    {
        Run run;
        auto* delay = run.control<QLineEdit>("delay");
        run.focus(delay);
        QTest::keyClicks(delay, "99");
        QTest::keyClick(delay, Qt::Key_Return);
        QCOMPARE(run.answers.messages.size(), 1);
        QVERIFY(!run.dialog->isVisible());
    }
    QCOMPARE(QSettings(config_.file(), QSettings::IniFormat).value("misc/delay").toString(), QString("1"));
}

void TestDialogs::background()
{
    Run run([](RunState& s) { s.settings.hgfarbe = 0x00ff00; });
    for (auto [option, desktop, matching] : {std::tuple{"mitDesktop", 1, 0}, {"passendeFarbe", 0, 1}, {"freieFarbe", 0, 0}}) {
        press(run.control(option));
        QCOMPARE(run.state.settings.desktop, desktop);
        QCOMPARE(run.state.settings.passende_farbe, matching);
        QCOMPARE(run.control("FarbwahlButton")->isEnabled(), desktop + matching == 0);
    }
    for (int answer : {-1, 0x123456, 0}) {
        run.answers.colour = answer;
        press(run.control("FarbwahlButton"));
        QCOMPARE(run.answers.colourTitles.last(), QString("Hintergrundfarbe"));
        QCOMPARE(run.state.settings.hgfarbe, answer < 0 ? 0x00ff00 : answer);
    }
}

void TestDialogs::treeShape()
{
    Run run;
    EffectTree& tree = run.dialog->tree();
    QCOMPARE(tree.root()->text(0), QString("Velmirano"));
    QStringList groups;
    for (int i = 0; i < tree.root()->childCount(); ++i) groups << tree.root()->child(i)->text(0);
    QCOMPARE(groups, (QStringList{"Einschieben", "Rausschieben", "Sonstiges", "Überblenden", "Überzeichnen"}));
    // Effects sorted by their names within a group.
    const std::vector<int> order = tree.displayOrder();
    QCOMPARE(QList<int>(order.begin(), order.begin() + 5), (QList<int>{71, 50, 52, 51, 49}));
    QCOMPARE(std::set<int>(order.begin(), order.end()).size(), std::size_t(76));
    // The fresh store's single effect 1 is marked; only its group is "all on".
    QCOMPARE(QList<int>({image(tree, "B001"), image(tree, "B002"), image(tree, "Sonstiges"), image(tree, "Überzeichnen")}),
             (QList<int>{EffectTree::EffectChosen, EffectTree::EffectOff, EffectTree::GroupAllOn, EffectTree::GroupNoneOn}));
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
    QTest::newRow("random, off one on") << 3 << QList<int>{5, 9} << "B012" << "" << QList<int>{5, 9, 12};
    QTest::newRow("sequence, two on, refused") << 2 << QList<int>{5, 9} << "B009" << sequence << QList<int>{5, 9};
    QTest::newRow("sequence, full group and one more, refused")
        << 2 << (pushIn + QList<int>{3}) << "Einschieben" << sequence << (pushIn + QList<int>{3});
    QTest::newRow("sequence, full group and two more, off")
        << 2 << (pushIn + QList<int>{3, 4}) << "Einschieben" << "" << QList<int>{3, 4};
    QTest::newRow("random, part of a group, all on")
        << 3 << QList<int>{49, 3} << "Einschieben" << "" << (pushIn + QList<int>{3});
    QTest::newRow("sequence, root, all on") << 2 << QList<int>{5, 9} << "Blendenbaum" << "" << QList<int>{};
}

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
    QCOMPARE(run.answers.messages,
             refusal.isEmpty() ? QStringList{} : QStringList{message(MessageIcon::Exclamation, refusal.toUtf8())});
    std::set<int> expected(after.begin(), after.end());
    for (int n = 1; n <= kEffectCount && after.isEmpty(); ++n) expected.insert(n);
    QCOMPARE(enabledEffects(run.state), expected);
    for (int n = 1; n <= kEffectCount; ++n)
        QCOMPARE(image(tree, EffectTree::effectKey(n)), int(expected.count(n) ? EffectTree::EffectOn : EffectTree::EffectOff));
    // The group images follow the effects; the root counts complete groups.
    int on = 0, full = 0;
    for (int n : {49, 50, 51, 52, 71}) on += int(expected.count(n));
    QCOMPARE(image(tree, "Einschieben"),
             int(on == 5 ? EffectTree::GroupAllOn : on == 0 ? EffectTree::GroupNoneOn : EffectTree::GroupSomeOn));
    for (int g = 0; g < tree.root()->childCount(); ++g) full += EffectTree::imageOf(tree.root()->child(g)) == EffectTree::GroupAllOn;
    QCOMPARE(EffectTree::imageOf(tree.root()),
             int(full == 5 ? EffectTree::RootAllOn : full == 0 ? EffectTree::RootMarked : EffectTree::RootSomeOn));
}

void TestDialogs::singleModeAndModeSwitch()
{
    Run run([](RunState& s) {
        s.settings.blende = 13;
        for (int n = 1; n <= kEffectCount; ++n) s.effekte[std::size_t(n)].aktiv = n <= 3 ? 1 : 0;
    });
    EffectTree& tree = run.dialog->tree();
    // A group click changes nothing; an effect click (or Space) moves the mark.
    clickNode(tree, "Einschieben");
    QCOMPARE(run.state.settings.blende, 13);
    QCOMPARE(EffectTree::imageOf(tree.root()), int(EffectTree::RootAllOn)); // no group complete
    clickNode(tree, "B049");
    QCOMPARE(run.state.settings.blende, 49);
    QCOMPARE(QList<int>({image(tree, "B013"), image(tree, "B049"), image(tree, "Überzeichnen"), image(tree, "Einschieben")}),
             (QList<int>{EffectTree::EffectOff, EffectTree::EffectChosen, EffectTree::GroupNoneOn, EffectTree::GroupAllOn}));
    tree.setFocus();
    tree.setCurrentItem(tree.nodeByKey("B010"));
    QTest::keyClick(&tree, Qt::Key_Space);
    QCOMPARE(run.state.settings.blende, 10);
    QCOMPARE(enabledEffects(run.state), (std::set<int>{1, 2, 3}));
    // Sequence mode shows the enabled set instead.
    press(run.control("BlendeFolge"));
    QCOMPARE(QList<int>({image(tree, "B010"), image(tree, "B002"), EffectTree::imageOf(tree.root())}),
             (QList<int>{EffectTree::EffectOff, EffectTree::EffectOn, EffectTree::RootMarked}));
    clickNode(tree, "Rausschieben");
    QCOMPARE(EffectTree::imageOf(tree.root()), int(EffectTree::RootSomeOn));
}

void TestDialogs::addFolder_data()
{
    QTest::addColumn<QString>("answer"); // "" = cancel
    QTest::addColumn<bool>("added");
    QTest::newRow("new folder") << "second" << true;
    QTest::newRow("new folder with separator") << "second/" << true;
    QTest::newRow("cancelled") << "" << false;
    QTest::newRow("listed without separator") << "first" << false;
    QTest::newRow("listed with separator") << "first/" << false;
}

void TestDialogs::addFolder()
{
    QFETCH(QString, answer);
    QFETCH(bool, added);
    Run run;
    QTemporaryDir other;
    touch(other.filePath("x.jpg"));
    run.state.CurrentPictureIndex = 2;
    if (answer.startsWith("second")) run.answers.folder = other.path() + answer.mid(6);
    if (answer.startsWith("first")) run.answers.folder = run.pictures.path() + answer.mid(5);
    press(run.control("Hinzufügen"));
    QCOMPARE(run.answers.folderRequests,
             (QList<QStringList>{{"", QString::fromUtf8("Bitte Verzeichnis mit Bildern auswählen"), "Verzeichniswahl"}}));
    const QStringList expected = QStringList{run.folder()} + (added ? QStringList{other.path() + u'/'} : QStringList{});
    QCOMPARE(run.state.Folders, expected);
    QCOMPARE(run.control<QListWidget>("Bildpfadliste")->count(), int(expected.size()));
    QCOMPARE(run.count(), QString("Anzahl Bilder: %1").arg(added ? 3 : 2));
    QCOMPARE(run.state.CurrentPictureIndex, answer.isEmpty() ? 2 : 0);
    press(run.control("Hinzufügen"));
    QCOMPARE(run.answers.folderRequests[1][0], run.answers.folder); // starts where the last one ended
}

void TestDialogs::removeFolders()
{
    QTemporaryDir second, third;
    touch(second.filePath("y.jpg"));
    Run run([&](RunState& s) { s.Folders << second.path() + u'/' << third.path() + u'/'; });
    QCOMPARE(run.count(), QString("Anzahl Bilder: 3"));
    auto* folders = run.control<QListWidget>("Bildpfadliste");
    folders->item(0)->setSelected(true);
    folders->item(2)->setSelected(true);
    folders->setFocus();
    QTest::keyClick(folders, Qt::Key_Delete);
    QCOMPARE(run.state.Folders, QStringList{second.path() + u'/'});
    QCOMPARE(run.count(), QString("Anzahl Bilder: 1"));
    folders->item(0)->setSelected(true);
    press(run.control("Entfernen"));
    QVERIFY(run.state.Folders.isEmpty() && folders->count() == 0);
    QCOMPARE(run.count(), QString("Anzahl Bilder: 0"));
}

void TestDialogs::okWritesSettings()
{
    QTemporaryDir second;
    {
        Run run([&](RunState& s) {
            s.settings.letzter_effekt = 33;
            s.settings.letztes_bild = 4;
            s.settings.text = QStringLiteral("Hallo, Welt");
            s.settings.offsetx = -20;
        });
        run.answers.folder = second.path();
        for (const char* name : {"Hinzufügen", "PNG", "ExifDrehen", "mitTextstempel", "mitDesktop", "BlendeFolge"})
            press(run.control(name));
        QVERIFY(run.control("TextstempelButton")->isEnabled());
        press(run.order(1));
        for (int n = 1; n <= kEffectCount; ++n)
            if (n != 5 && n != 46 && n != 71) clickNode(run.dialog->tree(), EffectTree::effectKey(n));
        run.control<QLineEdit>("delay")->setText("7");
        press(run.control("ok"));
        QVERIFY(run.answers.messages.isEmpty() && !run.dialog->isVisible() && run.state.abbruch);
        QCOMPARE(run.shutdowns, (QList<QPair<QString, QString>>{{"pdelay", "OK"}}));
    }
    QSettings written(config_.file(), QSettings::IniFormat);
    QStringList expected, actual;
    for (const char* v : {"recursive=0", "delay=7", "reihenfolge=1", "desktop=1", "passende_farbe=0", "blende=1",
                          "effekt_tracken=0", "effekt_nutzung=2", "tdauer=2", "hgfarbe=0", "expand=0", "exifrotate=1",
                          "jpg=1", "bmp=0", "tif=0", "pcx=0", "png=1", "gif=0"})
        expected << QString("misc/") + v;
    for (const QString& key : written.allKeys())
        if (key.startsWith("misc/")) actual << key + u'=' + written.value(key).toString();
    // Every stamp value is written (the settings test checks the values).
    QCOMPARE(written.value("textstempel/ausgeben").toString() + written.value("textstempel/text").toString() +
                 written.value("textstempel/offsetx").toString(),
             QString("1Hallo, Welt-20"));
    expected.sort();
    actual.sort();
    QCOMPARE(actual, expected);
    QCOMPARE(written.value("path/2").toString(), second.path() + u'/');
    written.beginGroup("zblenden");
    QCOMPARE(written.childKeys(), (QStringList{"46", "5", "71"}));
    for (const QString& k : written.childKeys()) QCOMPARE(written.value(k).toString(), k);
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
    QVERIFY(held);
    QVERIFY(run.state.messung_auslassen);
    QVERIFY(run.dialog->Timer1().isActive());
    QCOMPARE(run.dialog->Timer1().interval(), 1);
    QVERIFY(!run.state.unterbrechung);
}

void TestDialogs::changeDuringTransitionShowsNextPictureAtOnce()
{
    QTemporaryDir dir;
    writePicture(dir.filePath("a.png"), Qt::red);
    writePicture(dir.filePath("b.png"), Qt::green);
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
    QVERIFY(midTransition);
    QVERIFY(!run.state.unterbrechung);
    for (QPoint p : {QPoint(0, 0), QPoint(287, 215), QPoint(144, 108)})
        QCOMPARE(run.dialog->preview().bitmap().pixel(p.x(), p.y()), pixelFromColorRef(0x00ff00));
}

void TestDialogs::stampNumberBoxes_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("typed"); // "500-": the sign typed last, as a minus alone is refused
    QTest::addColumn<QString>("refusal"); // empty: accepted
    QTest::addColumn<QString>("shown");
    const QString height = QString::fromUtf8(
        "Texthöhe nicht zulässig.\r\nWerte zwischen 1 und 100 sind erlaubt.\r\n\r\nEs wird der vorherige Wert verwendet.");
    const QString x = QString::fromUtf8("X-Offset der Textposition nicht zulässig.\r\nWerte zwischen -500 und 500 sind "
                                        "erlaubt.\r\n\r\nEs wird der vorwerige Wert verwendet.");
    const QString y = QString(x).replace(0, 1, u'Y');
    QTest::newRow("height 0") << "StempelTextHöhe" << "0" << height << "15";
    QTest::newRow("height 100") << "StempelTextHöhe" << "100" << "" << "100";
    QTest::newRow("height 200 stops at 20") << "StempelTextHöhe" << "200" << height << "20";
    QTest::newRow("height emptied") << "StempelTextHöhe" << "" << height << "15";
    QTest::newRow("x minus alone") << "StempelTextOffsetX" << "-" << x << "10";
    QTest::newRow("x -500") << "StempelTextOffsetX" << "500-" << "" << "-500";
    QTest::newRow("x 501 stops at 50") << "StempelTextOffsetX" << "501" << x << "50";
    QTest::newRow("y text") << "StempelTextOffsetY" << "a" << y << "10";
    QTest::newRow("y 500") << "StempelTextOffsetY" << "500" << "" << "500";
}

void TestDialogs::stampNumberBoxes()
{
    QFETCH(QString, box);
    QFETCH(QString, typed);
    QFETCH(QString, refusal);
    QFETCH(QString, shown);
    Stamp stamp;
    auto* edit = stamp.control<QLineEdit>(box.toUtf8());
    edit->setFocus();
    edit->selectAll();
    if (typed.isEmpty()) QTest::keyClick(edit, Qt::Key_Backspace);
    const bool signLast = typed.size() > 1 && typed.endsWith('-');
    QTest::keyClicks(edit, signLast ? typed.chopped(1) : typed);
    if (signLast) {
        QTest::keyClick(edit, Qt::Key_Home);
        QTest::keyClick(edit, '-');
    }
    QCOMPARE(edit->text(), shown);
    const Settings& s = stamp.settings;
    QCOMPARE(box.endsWith('X') ? s.offsetx : box.endsWith('Y') ? s.offsety : s.hoehe, shown.toInt());
    QCOMPARE(stamp.answers.messages,
             refusal.isEmpty() ? QStringList{} : QStringList{message(MessageIcon::Exclamation, refusal.toUtf8())});
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

void TestDialogs::stampOptionsAndColours()
{
    Stamp stamp([](Settings& s) { s.ausrichtung = s.richtung = 3; });
    const Settings& s = stamp.settings;
    const struct {
        const char* name;
        int index; // 1 for the check boxes
        const std::int32_t& setting;
    } options[] = {{"StempelTextWeight", 700, s.gewicht},          {"StempelTextAlignment", 0, s.ausrichtung},
                   {"StempelTextDirection", 2, s.richtung},         {"StempelTextItalic", 1, s.kursiv},
                   {"StempelTextUnderline", 1, s.unterstrichen},    {"StempelTextStrikeout", 1, s.durchgestrichen}};
    for (const auto& o : options) {
        QWidget* button = indexedChild(stamp.dialog.get(), o.name, o.index);
        const QImage before = stamp.dialog->sample();
        press(button ? button : stamp.control(o.name));
        QCOMPARE(o.setting, o.index);
        // A one-line text looks alike in every alignment.
        QVERIFY2(QLatin1String(o.name) == "StempelTextAlignment" || stamp.dialog->sample() != before, o.name);
    }
    for (auto [button, title, swatch, setting] :
         {std::tuple{"StempelTextFarbeButton", "Farbe des Textstempels", "StempelTextFarbe", &s.farbe},
          {"StempelTextRahmenFarbeButton", "Rahmenfarbe des Textstempels", "StempelTextRahmenFarbe", &s.rahmenfarbe},
          {"TextStempelHGFarbeButton", "Hintergrundfarbe des Textstempels", "StempelTextHGFarbe", &s.hintergrundfarbe}}) {
        stamp.settings.rahmen = stamp.settings.hintergrund = 1;
        stamp.dialog->InitDialog();
        for (int answer : {-1, 0x405060}) {
            const std::int32_t old = *setting;
            stamp.answers.colour = answer;
            press(stamp.control(button));
            QCOMPARE(stamp.answers.colourTitles.last(), QString(title));
            QCOMPARE(*setting, answer < 0 ? old : answer);
            QCOMPARE(stamp.background(swatch), QColor(*setting & 0xff, (*setting >> 8) & 0xff, (*setting >> 16) & 0xff));
        }
    }
    auto* label = stamp.control<QLabel>("StempelTextDeckkraftProzent");
    const int at100 = label->geometry().center().x();
    stamp.control<QSlider>("StempelTextDeckkraft")->setValue(30);
    stamp.control<QSlider>("StempelTextHGDeckkraft")->setValue(10);
    QCOMPARE(QList<int>({s.deckkraft, s.hintergrunddeckkraft}), (QList<int>{30, 10}));
    QCOMPARE(label->text() + stamp.control<QLabel>("StempelTextHGDeckkraftProzent")->text(), QString("30%10%"));
    QVERIFY(label->geometry().center().x() < at100); // under the thumb
}

// Unticked, a frame's controls are greyed out, but not its check box.
void TestDialogs::stampFrameControls()
{
    Stamp stamp;
    for (auto [check, setting, inside] :
         {std::tuple{"StempelTextRahmenErzeugen", &stamp.settings.rahmen, QStringList{"StempelTextRahmenFarbeButton"}},
          {"StempelTextHGFüllen", &stamp.settings.hintergrund, {"TextStempelHGFarbeButton", "StempelTextHGDeckkraft"}}})
        for (int expected : {0, 1, 0}) {
            if (expected != *setting) press(stamp.control(check));
            QCOMPARE(*setting, expected);
            QVERIFY(stamp.control(check)->isEnabled());
            for (const QString& name : inside) QCOMPARE(stamp.control(name.toUtf8())->isEnabled(), expected == 1);
        }
}

void TestDialogs::stampFontList()
{
    Answers answers;
    answers.fonts = {{"zeta", true}, {"Alpha", false}, {"beta", true}, {"Alpha", true}, {QString::fromLatin1("Gamma\0x", 7), true}};
    Settings settings;
    settings.schriftart = "beta";
    Textstempel dialog(settings, answers.choosers());
    auto* fonts = dialog.findChild<QComboBox*>("StempelTextSchrift");
    QStringList names;
    for (int i = 0; i < fonts->count(); ++i) names << fonts->itemText(i);
    QCOMPARE(names, (QStringList{"Alpha", "beta", "Gamma", "zeta"}));
    QCOMPARE(fonts->currentText(), QString("beta"));
    emit fonts->activated(3);
    QCOMPARE(settings.schriftart, QString("zeta"));
    // A face that is not installed shows the family the sample is drawn in;
    // the stored name stays until the person picks one.
    const QString standIn = QFontInfo(QFont(QStringList{"Arial"})).family();
    answers.fonts = {{"Aaa", true}, {standIn, true}, {"Zzz", true}};
    Settings arial;
    Textstempel second(arial, answers.choosers());
    QCOMPARE(second.findChild<QComboBox*>("StempelTextSchrift")->currentText(), standIn);
    QCOMPARE(arial.schriftart, QString("Arial"));
}

void TestDialogs::stampSample()
{
    Stamp stamp([](Settings& s) {
        s.text.clear();
        s.hoehe = 20;
        s.hintergrund = 1;
        s.hintergrunddeckkraft = 100;
    });
    const QImage plain = stamp.dialog->sample();
    QString drawn;
    stamp.dialog->drawStamp = [&](RgbImage& image, const Settings& s) { drawSampleStamp(image, s), drawn = s.text; };
    auto* text = stamp.control<QLineEdit>("StempelText");
    text->setFocus();
    QTest::keyClicks(text, "%n");
    QCOMPARE(stamp.settings.text + drawn, QString("%n%n")); // placeholders are not expanded in the sample
    QVERIFY(stamp.dialog->sample() != plain);
    // A box that ends one pixel left of the picture is nothing, not a band.
    RgbImage scratch;
    QVERIFY(scratch.allocate(plain.width(), plain.height()));
    const auto placed = drawStamp(scratch, stamp.settings, "X");
    QVERIFY(placed);
    stamp.settings.text = "X";
    for (int right : {-2, -1, 0}) { // where the box ends: x + width + 1
        stamp.settings.offsetx = right - int(placed->width) - 1;
        stamp.dialog->DrawSample();
        QVERIFY2(stamp.dialog->sample() == plain, qPrintable(QString::number(right)));
    }
    text->selectAll();
    QTest::keyClick(text, Qt::Key_Backspace);
    QCOMPARE(stamp.dialog->sample(), plain);
}

void TestDialogs::infoBox()
{
    QCOMPARE(versionCaption(VersionInfo{2, 2, 0, {}, {}}), QString("Version 2.2.0 "));
    RunState state;
    QWidget owner;
    owner.setGeometry(100, 100, 900, 700);
    Shown<Inform> info{{}, std::make_unique<Inform>(state, &owner)};
    info.show();
    QVERIFY(state.messung_auslassen); // its time does not count as a transition's
    QCOMPARE(info.control<QLabel>("Version")->text(), QString("Version 2.2.0 Velmirano Bildschirmschoner"));
    QVERIFY((info.dialog->frameGeometry().center() - owner.frameGeometry().center()).manhattanLength() <= 2);
    press(info.control("cmdOK"));
    QVERIFY(!info.dialog->isVisible());
}

QTEST_MAIN(TestDialogs)
#include "test_dialogs.moc"
