// The settings dialog, the effect tree, the text stamp dialog and the info
// box, driven through their controls as a person would, with the platform's
// choosers answered by the test.
#include "pictures/stampdialog.h"
#include "platform/qttarget.h"
#include "platform/registry.h"
#include "settings/effecttree.h"
#include "settings/infodialog.h"
#include "settings/optionsdialog.h"
#include "start/slideshow.h"
#include "start/startup.h"
#include "state/runstate.h"
#include "testutil.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSlider>
#include <QTimer>
#include <QtTest>

#include <memory>
#include <set>

using namespace vm;

namespace {

struct Message {
    MessageIcon icon;
    QString title;
    QString text;
};

struct FolderRequest {
    QString start, prompt, title;
};

// What the fake choosers were asked and what they answer.
struct Answers {
    QList<Message> messages;
    QList<FolderRequest> folderRequests;
    QString folder;
    QStringList colourTitles;
    std::int32_t colour = -1;
    std::vector<FontFace> fonts{{"DejaVu Sans", true}, {"Fixed", false}};

    Choosers choosers()
    {
        Choosers c;
        c.message = [this](QWidget*, MessageIcon icon, const QString& title, const QString& text) {
            messages.append({icon, title, text});
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

// The picture list as the scan would make it, for the file types that are on.
void scanFolders(RunState& s)
{
    QStringList masks;
    const std::pair<const char*, std::int32_t> types[] = {{"*.jpg", s.settings.jpg}, {"*.bmp", s.settings.bmp},
                                                          {"*.png", s.settings.png}, {"*.tif", s.settings.tif},
                                                          {"*.pcx", s.settings.pcx}, {"*.gif", s.settings.gif}};
    for (auto [mask, on] : types)
        if (on == 1) masks << QLatin1String(mask);
    s.pictureList.clear();
    if (masks.isEmpty()) return;
    for (const QString& folder : s.Folders)
        for (const QString& name : QDir(folder).entryList(masks, QDir::Files, QDir::Name))
            s.pictureList.push_back({folder + name, {}});
}

void touch(const QString& path)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
}

template <class W = QWidget>
W* child(QWidget* parent, const char* name)
{
    W* w = parent->findChild<W*>(QString::fromUtf8(name));
    if (!w) qWarning("no control %s", name);
    return w;
}

QWidget* indexedChild(QWidget* parent, const char* name, int index)
{
    for (QWidget* w : parent->findChildren<QWidget*>(QString::fromUtf8(name)))
        if (w->property("index").toInt() == index) return w;
    qWarning("no control %s(%d)", name, index);
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

void clickNode(EffectTree& tree, QTreeWidgetItem* node)
{
    tree.scrollToItem(node);
    const QRect r = tree.visualItemRect(node);
    QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, r.center());
}

// A settings dialog as start-up opens it, on a fresh or prepared store.
struct Run {
    QTemporaryDir pictures;
    RunState state;
    Registry registry;
    Answers answers;
    std::unique_ptr<Einstellungen> dialog;
    QList<QPair<QString, QString>> shutdowns;

    explicit Run(const std::function<void(RunState&)>& prepare = {})
    {
        for (const char* name : {"a.jpg", "b.jpg", "c.png"}) touch(pictures.filePath(QLatin1String(name)));
        loadStartState(state, registry, pictures.path());
        if (prepare) prepare(state);
        dialog = std::make_unique<Einstellungen>(state, registry, answers.choosers());
        dialog->buildPictureList = scanFolders;
        dialog->shutdown = [this](RunState&, Registry&, const QString& key, const QString& message) {
            shutdowns.append({key, message});
        };
        dialog->fill();
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
    }
    QString folder() const { return pictures.path() + u'/'; }
    template <class W = QWidget>
    W* control(const char* name) { return child<W>(dialog.get(), name); }
    QString count() { return control<QLabel>("Bilderanzahl")->text(); }
};

// Opens a modal dialog with `open` and closes it from inside its loop.
template <class Dialog>
void whileModal(const std::function<void()>& open, const std::function<void(Dialog*)>& inside)
{
    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        auto* typed = dynamic_cast<Dialog*>(d);
        seen = typed != nullptr;
        if (typed && inside) inside(typed);
        if (d) d->close();
    });
    open();
    QVERIFY(seen);
}

} // namespace

class TestDialogs : public QObject {
    Q_OBJECT
    ScratchConfig config_;

private slots:
    void init() { QFile::remove(config_.file()); }
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }

    void captions_data();
    void captions();
    void freshStoreShowsDefaults();
    void fillSelectsStoredOptions_data();
    void fillSelectsStoredOptions();
    void fileTypeEmptiesList();
    void durations_data();
    void durations();
    void backgroundOptions_data();
    void backgroundOptions();
    void colourChoice_data();
    void colourChoice();
    void treeShape();
    void treeOrder_data();
    void treeOrder();
    void treeClicks_data();
    void treeClicks();
    void modeSwitchRedrawsImages();
    void markRunning();
    void nineImagesDistinct();
    void addFolder_data();
    void addFolder();
    void dropOpensFolderChoice();
    void removeFolders();
    void okWritesSettings();
    void cancelWritesNoSettings();
    void closeBoxUnloads();
    void subDialogRestartsWaitingPreview();
    void stampButtonFollowsCheckBox();
    void orderResortsListedPictures();
    void spaceClicksTreeNode();
    void enterOnDurationValidatesBeforeSaving();

    void stampNumberBoxes_data();
    void stampNumberBoxes();
    void stampPositions();
    void stampFontList();
    void stampColours_data();
    void stampColours();
    void stampFrameControls_data();
    void stampFrameControls();
    void stampOptions_data();
    void stampOptions();
    void stampPercent();
    void stampSample();

    void infoBox();
};

// --- settings dialog -----------------------------------------------------------

void TestDialogs::captions_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("tip");
    auto row = [](const char* name, const char* caption, const char* tip) {
        QTest::newRow(name) << QString::fromUtf8(name) << QString::fromUtf8(caption) << QString::fromUtf8(tip);
    };
    row("UnterverzeichnisseEinbeziehen", "inkl. Unterverzeichnisse", "");
    row("JPG", "JPG", "JPG-Bilder finden");
    row("BMP", "BMP", "BMP-Bilder finden");
    row("PCX", "PCX", "PCX-Bilder finden");
    row("PNG", "PNG", "PNG-Bilder finden");
    row("TIF", "TIF", "TIF-Bilder finden");
    row("GIF", "GIF", "GIF-Bilder finden");
    row("Bild_vergrößern", "an Bildschirm anpassen", "vergrößern auf Bildschirmgröße erlauben");
    row("ExifDrehen", "drehen laut EXIF", "");
    row("mitDesktop", "Desktop-Kopie", "");
    row("passendeFarbe", "zum Bild passende Farbe", "");
    row("freieFarbe", "Farbe", "");
    row("FarbwahlButton", "Farbwahl ...", "Festlegung des Bildschirmhintergrundes");
    row("BlendeEinzel", "Einzeleffekt", "");
    row("BlendeFolge", "Effektfolge", "Effektfolge durchlaufend");
    row("BlendeZufall", "Zufallseffekt", "Effektfolge zufällig");
    row("effekte_tracken", "Effekte verfolgen", "aktuellen Effekt im Effektbaum anzeigen");
    row("mitTextstempel", "", "");
    row("TextstempelButton", "Textstempel einfügen ...", "Textstempel festlegen");
    row("Info", "Info", "Programminfo");
    row("ok", "OK", "Einstellungen übernehmen");
    row("abbrechen", "Abbrechen", "Einstellungen verwerfen");
}

void TestDialogs::captions()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(QString, tip);
    Run run;
    auto* button = run.dialog->findChild<QAbstractButton*>(name);
    QVERIFY(button);
    QCOMPARE(button->text(), caption);
    QCOMPARE(button->toolTip(), tip);
}

void TestDialogs::freshStoreShowsDefaults()
{
    Run run;
    QCOMPARE(run.dialog->windowTitle(), QString("Velmirano - Optionen"));
    auto* list = run.control<QListWidget>("Bildpfadliste");
    QCOMPARE(list->count(), 1);
    QCOMPARE(list->item(0)->text(), run.folder());
    QCOMPARE(run.count(), QString("Anzahl Bilder: 2"));
    QCOMPARE(run.control<QLineEdit>("delay")->text(), QString("3"));
    QCOMPARE(run.control<QLineEdit>("Überblendzeit")->text(), QString("2"));
    QVERIFY(indexedChild(run.dialog.get(), "SortierungArt", 5)->property("checked").toBool());
    for (int i : {0, 1, 2}) QVERIFY(!indexedChild(run.dialog.get(), "SortierungArt", i)->property("checked").toBool());
    QVERIFY(run.control<QCheckBox>("JPG")->isChecked());
    for (const char* off : {"BMP", "PNG", "TIF", "PCX", "GIF", "UnterverzeichnisseEinbeziehen", "Bild_vergrößern",
                            "ExifDrehen", "effekte_tracken", "mitTextstempel"})
        QVERIFY2(!run.control<QCheckBox>(off)->isChecked(), off);
    QVERIFY(run.control<QRadioButton>("freieFarbe")->isChecked());
    QVERIFY(run.control<QPushButton>("FarbwahlButton")->isEnabled());
    QVERIFY(run.control<QRadioButton>("BlendeEinzel")->isChecked());
    QVERIFY(!run.control<QPushButton>("TextstempelButton")->isEnabled());
    EffectTree& tree = run.dialog->tree();
    QCOMPARE(EffectTree::imageOf(tree.nodeByKey("B001")), int(EffectTree::EffectChosen));
    QCOMPARE(EffectTree::imageOf(tree.nodeByKey("B002")), int(EffectTree::EffectOff));
    QCOMPARE(EffectTree::imageOf(tree.nodeByKey("Sonstiges")), int(EffectTree::GroupAllOn));
    QCOMPARE(EffectTree::imageOf(tree.nodeByKey("Überzeichnen")), int(EffectTree::GroupNoneOn));
    QCOMPARE(EffectTree::imageOf(tree.root()), int(EffectTree::RootAllOn));
    // Nothing was changed by the fill itself.
    QCOMPARE(run.state.settings.jpg, 1);
    QCOMPARE(run.state.settings.delay, 3);
    QCOMPARE(run.state.CurrentPictureIndex, 0);
    QCOMPARE(run.state.pictureList.size(), std::size_t(2));
}

void TestDialogs::fillSelectsStoredOptions_data()
{
    QTest::addColumn<int>("reihenfolge");
    QTest::addColumn<int>("desktop");
    QTest::addColumn<int>("matching");
    QTest::addColumn<int>("nutzung");
    QTest::addColumn<QString>("background");
    QTest::addColumn<QString>("mode");
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
        s.settings.reihenfolge = reihenfolge;
        s.settings.desktop = desktop;
        s.settings.passende_farbe = matching;
        s.settings.effekt_nutzung = nutzung;
        s.settings.letztes_bild = 7;
        s.settings.png = 1;
    });
    QVERIFY(indexedChild(run.dialog.get(), "SortierungArt", reihenfolge)->property("checked").toBool());
    QVERIFY(run.dialog->findChild<QRadioButton*>(background)->isChecked());
    QCOMPARE(run.control<QPushButton>("FarbwahlButton")->isEnabled(), background == "freieFarbe");
    for (const char* m : {"BlendeEinzel", "BlendeFolge", "BlendeZufall"})
        QCOMPARE(run.control<QRadioButton>(m)->isChecked(), mode == QLatin1String(m));
    QCOMPARE(run.state.settings.effekt_nutzung, nutzung);
    // The file-type handlers reset the index; the fill leaves the stored one.
    QCOMPARE(run.state.CurrentPictureIndex, 7);
    QCOMPARE(run.count(), QString("Anzahl Bilder: 3"));
}

void TestDialogs::fileTypeEmptiesList()
{
    Run run;
    run.state.CurrentPictureIndex = 2;
    run.dialog->preview().clearTo(0x336699);
    press(run.control<QCheckBox>("JPG"));
    QCOMPARE(run.state.settings.jpg, 0);
    QCOMPARE(run.state.PictureCount(), 0);
    QCOMPARE(run.count(), QString("Anzahl Bilder: 0"));
    QCOMPARE(run.state.CurrentPictureIndex, 0);
    QCOMPARE(run.dialog->preview().bitmap().pixel(5, 5), Pixel(0));
    press(run.control<QCheckBox>("PNG"));
    QCOMPARE(run.count(), QString("Anzahl Bilder: 1"));
    QCOMPARE(run.state.settings.png, 1);
}

void TestDialogs::durations_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("refused");
    QTest::addColumn<QString>("shown");
    for (const char* box : {"delay", "Überblendzeit"}) {
        const QString b = QString::fromUtf8(box);
        QTest::addRow("%s 0", box) << b << "0" << true << "1";
        QTest::addRow("%s 61", box) << b << "61" << true << "1";
        QTest::addRow("%s abc", box) << b << "abc" << true << "1";
        QTest::addRow("%s empty", box) << b << "" << true << "1";
        QTest::addRow("%s 60", box) << b << "60" << false << "60";
        QTest::addRow("%s 1", box) << b << "1" << false << "1";
    }
}

void TestDialogs::durations()
{
    QFETCH(QString, box);
    QFETCH(QString, typed);
    QFETCH(bool, refused);
    QFETCH(QString, shown);
    Run run;
    auto* edit = run.dialog->findChild<QLineEdit*>(box);
    QApplication::setActiveWindow(run.dialog.get());
    QVERIFY(QTest::qWaitForWindowActive(run.dialog.get()));
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, typed);
    QVERIFY(run.answers.messages.isEmpty()); // nothing happens while typing
    run.control<QWidget>("Bildpfadliste")->setFocus(Qt::TabFocusReason);
    QCOMPARE(edit->text(), shown);
    const std::int32_t setting = box == "delay" ? run.state.settings.delay : run.state.settings.tdauer;
    QCOMPARE(setting, shown.toInt());
    QCOMPARE(run.answers.messages.size(), refused ? 1 : 0);
    if (refused) {
        QCOMPARE(run.answers.messages[0].text, QString("Die Zeit muss im Bereich von 1 bis 60 Sekunden liegen"));
        QCOMPARE(run.answers.messages[0].title, QString("Velmirano"));
        QCOMPARE(run.answers.messages[0].icon, MessageIcon::Information);
    }
}

void TestDialogs::backgroundOptions_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<int>("desktop");
    QTest::addColumn<int>("matching");
    QTest::addColumn<bool>("colourButton");
    QTest::newRow("desktop") << "mitDesktop" << 1 << 0 << false;
    QTest::newRow("matching") << "passendeFarbe" << 0 << 1 << false;
}

void TestDialogs::backgroundOptions()
{
    QFETCH(QString, option);
    QFETCH(int, desktop);
    QFETCH(int, matching);
    QFETCH(bool, colourButton);
    Run run;
    press(run.dialog->findChild<QRadioButton*>(option));
    QCOMPARE(run.state.settings.desktop, desktop);
    QCOMPARE(run.state.settings.passende_farbe, matching);
    QCOMPARE(run.control<QPushButton>("FarbwahlButton")->isEnabled(), colourButton);
    // Back to a free colour.
    press(run.control<QRadioButton>("freieFarbe"));
    QCOMPARE(run.state.settings.desktop, 0);
    QCOMPARE(run.state.settings.passende_farbe, 0);
    QVERIFY(run.control<QPushButton>("FarbwahlButton")->isEnabled());
}

void TestDialogs::colourChoice_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("expected");
    QTest::newRow("chosen") << 0x123456 << 0x123456;
    QTest::newRow("black") << 0 << 0;
    QTest::newRow("cancelled") << -1 << 0x00ff00;
}

void TestDialogs::colourChoice()
{
    QFETCH(int, answer);
    QFETCH(int, expected);
    Run run([](RunState& s) { s.settings.hgfarbe = 0x00ff00; });
    run.answers.colour = answer;
    press(run.control<QPushButton>("FarbwahlButton"));
    QCOMPARE(run.answers.colourTitles, QStringList{"Hintergrundfarbe"});
    QCOMPARE(run.state.settings.hgfarbe, expected);
}

// --- the effect tree ------------------------------------------------------------

void TestDialogs::treeShape()
{
    Run run;
    EffectTree& tree = run.dialog->tree();
    QCOMPARE(tree.objectName(), QString("Blendenbaum"));
    QCOMPARE(tree.topLevelItemCount(), 1);
    QTreeWidgetItem* root = tree.root();
    QCOMPARE(root->text(0), QString("Velmirano"));
    QCOMPARE(EffectTree::keyOf(root), QString("Blendenbaum"));
    QCOMPARE(EffectTree::tagOf(root), 0);
    QStringList groups;
    for (int i = 0; i < root->childCount(); ++i) {
        groups << root->child(i)->text(0);
        QCOMPARE(EffectTree::keyOf(root->child(i)), root->child(i)->text(0));
        QCOMPARE(EffectTree::tagOf(root->child(i)), 0);
        QVERIFY(root->child(i)->isExpanded());
    }
    QCOMPARE(groups, (QStringList{"Einschieben", "Rausschieben", "Sonstiges", "Überblenden", "Überzeichnen"}));
    QVERIFY(root->isExpanded());
    QTreeWidgetItem* seven = tree.nodeByKey("B007");
    QVERIFY(seven);
    QCOMPARE(seven->text(0), QString("Radar doppelt"));
    QCOMPARE(EffectTree::tagOf(seven), 7);
    QCOMPARE(seven->parent()->text(0), QString("Überzeichnen"));
    QCOMPARE(EffectTree::effectKey(76), QString("B076"));
    std::vector<int> order = tree.displayOrder();
    QCOMPARE(order.size(), std::size_t(76));
    std::sort(order.begin(), order.end());
    for (int n = 1; n <= 76; ++n) QCOMPARE(order[std::size_t(n - 1)], n);
}

void TestDialogs::treeOrder_data()
{
    QTest::addColumn<QString>("group");
    QTest::addColumn<QList<int>>("effects");
    QTest::newRow("Einschieben") << "Einschieben" << QList<int>{71, 50, 52, 51, 49};
    QTest::newRow("Rausschieben") << "Rausschieben" << QList<int>{56, 54, 55, 53};
    QTest::newRow("Sonstiges") << "Sonstiges"
                               << QList<int>{59, 68, 74, 73, 72, 64, 63, 67, 60, 61, 62, 1, 69, 70, 57, 58, 75, 76};
    QTest::newRow("Überblenden") << "Überblenden" << QList<int>{46, 48, 47};
}

void TestDialogs::treeOrder()
{
    QFETCH(QString, group);
    QFETCH(QList<int>, effects);
    Run run;
    QTreeWidgetItem* node = run.dialog->tree().nodeByKey(group);
    QVERIFY(node);
    QList<int> shown;
    for (int i = 0; i < node->childCount(); ++i) shown << EffectTree::tagOf(node->child(i));
    QCOMPARE(shown, effects);
}

void TestDialogs::treeClicks_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QList<int>>("before");
    QTest::addColumn<QString>("clicked");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QList<int>>("after");
    const QString random = QString::fromUtf8("Für Zufallseffekte müssen zwei Einträge aktiviert sein");
    const QString sequence = QString::fromUtf8("Für eine Effektfolge müssen zwei Einträge aktiviert sein");
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
    QFETCH(QString, message);
    QFETCH(QList<int>, after);
    Run run([&](RunState& s) {
        s.settings.effekt_nutzung = mode;
        for (int n = 1; n <= kEffectCount; ++n) s.effekte[std::size_t(n)].aktiv = before.contains(n) ? 1 : 0;
    });
    EffectTree& tree = run.dialog->tree();
    clickNode(tree, tree.nodeByKey(clicked));
    if (message.isEmpty()) {
        QVERIFY(run.answers.messages.isEmpty());
    } else {
        QCOMPARE(run.answers.messages.size(), 1);
        QCOMPARE(run.answers.messages[0].text, message);
        QCOMPARE(run.answers.messages[0].title, QString("Velmirano"));
        QCOMPARE(run.answers.messages[0].icon, MessageIcon::Exclamation);
    }
    std::set<int> expected(after.begin(), after.end());
    if (after.isEmpty())
        for (int n = 1; n <= kEffectCount; ++n) expected.insert(n);
    QCOMPARE(enabledEffects(run.state), expected);
    for (int n = 1; n <= kEffectCount; ++n)
        QCOMPARE(EffectTree::imageOf(tree.nodeByKey(EffectTree::effectKey(n))),
                 int(expected.count(n) ? EffectTree::EffectOn : EffectTree::EffectOff));
    // The group images follow the effects.
    QTreeWidgetItem* pushInGroup = tree.nodeByKey("Einschieben");
    int on = 0;
    for (int i = 0; i < pushInGroup->childCount(); ++i)
        on += expected.count(EffectTree::tagOf(pushInGroup->child(i))) ? 1 : 0;
    const int image = on == 5 ? EffectTree::GroupAllOn : on == 0 ? EffectTree::GroupNoneOn : EffectTree::GroupSomeOn;
    QCOMPARE(EffectTree::imageOf(pushInGroup), image);
    // The root counts only groups that are completely on.
    int fullGroups = 0;
    for (int g = 0; g < tree.root()->childCount(); ++g)
        fullGroups += EffectTree::imageOf(tree.root()->child(g)) == EffectTree::GroupAllOn ? 1 : 0;
    QCOMPARE(EffectTree::imageOf(tree.root()),
             int(fullGroups == 5 ? EffectTree::RootAllOn : fullGroups == 0 ? EffectTree::RootMarked : EffectTree::RootSomeOn));
}

void TestDialogs::modeSwitchRedrawsImages()
{
    Run run([](RunState& s) {
        s.settings.blende = 13;
        for (int n = 1; n <= kEffectCount; ++n) s.effekte[std::size_t(n)].aktiv = n <= 3 ? 1 : 0;
    });
    EffectTree& tree = run.dialog->tree();
    // Single mode: a group click changes nothing; an effect click moves the mark.
    QTreeWidgetItem* group = tree.nodeByKey("Einschieben");
    const int groupImage = EffectTree::imageOf(group);
    clickNode(tree, group);
    QCOMPARE(run.state.settings.blende, 13);
    QCOMPARE(enabledEffects(run.state), (std::set<int>{1, 2, 3}));
    QCOMPARE(EffectTree::imageOf(group), groupImage);
    QCOMPARE(EffectTree::imageOf(tree.nodeByKey("B013")), int(EffectTree::EffectChosen));
    QCOMPARE(EffectTree::imageOf(tree.nodeByKey("Überzeichnen")), int(EffectTree::GroupAllOn));
    // No group is complete, so in single mode the root shows "all on".
    QCOMPARE(EffectTree::imageOf(tree.root()), int(EffectTree::RootAllOn));
    clickNode(tree, tree.nodeByKey("B049"));
    QCOMPARE(run.state.settings.blende, 49);
    QCOMPARE(EffectTree::imageOf(tree.nodeByKey("B013")), int(EffectTree::EffectOff));
    QCOMPARE(EffectTree::imageOf(tree.nodeByKey("B049")), int(EffectTree::EffectChosen));
    QCOMPARE(EffectTree::imageOf(tree.nodeByKey("Überzeichnen")), int(EffectTree::GroupNoneOn));
    QCOMPARE(EffectTree::imageOf(tree.nodeByKey("Einschieben")), int(EffectTree::GroupAllOn));
    QCOMPARE(enabledEffects(run.state), (std::set<int>{1, 2, 3}));
    // Sequence mode shows the enabled set instead.
    press(run.control<QRadioButton>("BlendeFolge"));
    QCOMPARE(run.state.settings.effekt_nutzung, 2);
    QCOMPARE(EffectTree::imageOf(tree.nodeByKey("B049")), int(EffectTree::EffectOff));
    QCOMPARE(EffectTree::imageOf(tree.nodeByKey("B002")), int(EffectTree::EffectOn));
    QCOMPARE(EffectTree::imageOf(tree.nodeByKey("Einschieben")), int(EffectTree::GroupNoneOn));
    QCOMPARE(EffectTree::imageOf(tree.root()), int(EffectTree::RootMarked));
    clickNode(tree, tree.nodeByKey("Rausschieben"));
    QCOMPARE(EffectTree::imageOf(tree.nodeByKey("Rausschieben")), int(EffectTree::GroupAllOn));
    QCOMPARE(EffectTree::imageOf(tree.root()), int(EffectTree::RootSomeOn));
    press(run.control<QRadioButton>("BlendeZufall"));
    QCOMPARE(run.state.settings.effekt_nutzung, 3);
}

void TestDialogs::markRunning()
{
    Run run;
    EffectTree& tree = run.dialog->tree();
    tree.collapseAll();
    tree.markRunning(0, 46, true);
    QTreeWidgetItem* node = tree.nodeByKey("B046");
    QCOMPARE(EffectTree::markOf(node), QColor(255, 0, 0));
    QVERIFY(node->parent()->isExpanded());
    QVERIFY(tree.viewport()->rect().intersects(tree.visualItemRect(node)));
    tree.markRunning(46, 10, false);
    QCOMPARE(EffectTree::markOf(node), QColor(255, 255, 255));
    QCOMPARE(EffectTree::markOf(tree.nodeByKey("B010")), QColor(255, 0, 0));
    // The sequence in the dialog follows the display order and wraps.
    QCOMPARE(tree.nextInDisplayOrder(71), 50);
    QCOMPARE(tree.nextInDisplayOrder(49), 56);
    QCOMPARE(tree.nextInDisplayOrder(53), 59);
    QCOMPARE(tree.nextInDisplayOrder(66), 71);
    QCOMPARE(tree.nextInDisplayOrder(0), 71);
    const std::vector<int> order = tree.displayOrder();
    for (std::size_t i = 0; i + 1 < order.size(); ++i) QCOMPARE(tree.nextInDisplayOrder(order[i]), order[i + 1]);
}

void TestDialogs::nineImagesDistinct()
{
    QList<QImage> images;
    for (int i = 1; i <= 9; ++i) {
        const QIcon icon = EffectTree::image(i);
        QVERIFY(!icon.isNull());
        const QImage img = icon.pixmap(16, 16).toImage();
        QCOMPARE(img.size(), QSize(16, 16));
        for (const QImage& other : images) QVERIFY2(img != other, qPrintable(QString::number(i)));
        images << img;
    }
    QVERIFY(EffectTree::image(0).isNull());
    QVERIFY(EffectTree::image(10).isNull());
}

// --- folders ----------------------------------------------------------------------

void TestDialogs::addFolder_data()
{
    QTest::addColumn<QString>("answer"); // relative to the second folder; "" = cancel
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
    const QString first = run.pictures.path();
    QTemporaryDir other;
    touch(other.filePath("x.jpg"));
    run.state.CurrentPictureIndex = 2;
    if (answer.startsWith("second")) run.answers.folder = other.path() + answer.mid(6);
    if (answer.startsWith("first")) run.answers.folder = first + answer.mid(5);
    press(run.control<QAbstractButton>("Hinzufügen"));
    QCOMPARE(run.answers.folderRequests.size(), 1);
    QCOMPARE(run.answers.folderRequests[0].prompt, QString::fromUtf8("Bitte Verzeichnis mit Bildern auswählen"));
    QCOMPARE(run.answers.folderRequests[0].title, QString("Verzeichniswahl"));
    QCOMPARE(run.answers.folderRequests[0].start, QString());
    QStringList expected{run.folder()};
    if (added) expected << other.path() + u'/';
    QCOMPARE(run.state.Folders, expected);
    auto* list = run.control<QListWidget>("Bildpfadliste");
    QCOMPARE(list->count(), int(expected.size()));
    QCOMPARE(run.count(), QString("Anzahl Bilder: %1").arg(added ? 3 : 2));
    QCOMPARE(run.state.CurrentPictureIndex, answer.isEmpty() ? 2 : 0);
    // The next choice starts where the last one ended.
    press(run.control<QAbstractButton>("Hinzufügen"));
    QCOMPARE(run.answers.folderRequests[1].start, run.answers.folder);
}

void TestDialogs::dropOpensFolderChoice()
{
    Run run;
    QTemporaryDir other;
    run.answers.folder = other.path();
    auto* list = run.control<QListWidget>("Bildpfadliste");
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(other.path())});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(list->viewport(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(list->viewport(), &drop);
    QTRY_COMPARE(run.answers.folderRequests.size(), 1);
    QCOMPARE(run.answers.folderRequests[0].start, other.path());
    QCOMPARE(run.state.Folders, (QStringList{run.folder(), other.path() + u'/'}));
}

void TestDialogs::removeFolders()
{
    QTemporaryDir second, third;
    touch(second.filePath("y.jpg"));
    Run run([&](RunState& s) { s.Folders << second.path() + u'/' << third.path() + u'/'; });
    QCOMPARE(run.count(), QString("Anzahl Bilder: 3"));
    auto* list = run.control<QListWidget>("Bildpfadliste");
    list->item(0)->setSelected(true);
    list->item(2)->setSelected(true);
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Delete);
    QCOMPARE(run.state.Folders, QStringList{second.path() + u'/'});
    QCOMPARE(list->count(), 1);
    QCOMPARE(run.count(), QString("Anzahl Bilder: 1"));
    list->item(0)->setSelected(true);
    press(run.control<QAbstractButton>("Entfernen"));
    QVERIFY(run.state.Folders.isEmpty());
    QCOMPARE(run.count(), QString("Anzahl Bilder: 0"));
}

// --- leaving the dialog -------------------------------------------------------------

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
        press(run.control<QAbstractButton>("Hinzufügen"));
        press(run.control<QCheckBox>("PNG"));
        press(run.control<QCheckBox>("ExifDrehen"));
        press(run.control<QCheckBox>("mitTextstempel"));
        press(indexedChild(run.dialog.get(), "SortierungArt", 1));
        press(run.control<QRadioButton>("mitDesktop"));
        press(run.control<QRadioButton>("BlendeFolge"));
        EffectTree& tree = run.dialog->tree();
        for (int n = 1; n <= kEffectCount; ++n)
            if (n != 5 && n != 46 && n != 71) clickNode(tree, tree.nodeByKey(EffectTree::effectKey(n)));
        auto* delay = run.control<QLineEdit>("delay");
        delay->setText("7");
        press(run.control<QPushButton>("ok"));
        QVERIFY(run.answers.messages.isEmpty());
        QVERIFY(!run.dialog->isVisible());
        QCOMPARE(run.shutdowns, (QList<QPair<QString, QString>>{{"pdelay", "OK"}}));
        QVERIFY(run.state.abbruch);
        QVERIFY(!run.dialog->Timer1().isActive());
    }
    QSettings written(config_.file(), QSettings::IniFormat);
    QStringList misc{"recursive=0", "delay=7", "reihenfolge=1", "desktop=1", "passende_farbe=0", "blende=1",
                     "effekt_tracken=0", "effekt_nutzung=2", "tdauer=2", "hgfarbe=0", "expand=0", "exifrotate=1",
                     "jpg=1", "bmp=0", "tif=0", "pcx=0", "png=1", "gif=0"};
    QStringList stamp{"ausgeben=1", "text=Hallo, Welt", "farbe=16777215", "schriftart=Arial", "hoehe=15",
                      "deckkraft=100", "richtung=0", "ausrichtung=0", "position=1", "offsetx=-20", "offsety=10",
                      "gewicht=400", "kursiv=0", "unterstrichen=0", "durchgestrichen=0", "rahmen=0",
                      "rahmenfarbe=65280", "hintergrund=0", "hintergrundfarbe=255", "hintergrunddeckkraft=50"};
    QStringList expected;
    for (const QString& v : misc) expected << "misc/" + v;
    for (const QString& v : stamp) expected << "textstempel/" + v;
    expected << "path/1=" + QDir(QDir::tempPath()).path(); // replaced below
    expected.removeLast();
    QStringList actual;
    for (const QString& key : written.allKeys())
        if (!key.startsWith("path/") && !key.startsWith("zblenden/"))
            actual << key + u'=' + written.value(key).toString();
    expected.sort();
    actual.sort();
    QCOMPARE(actual, expected);
    written.beginGroup("path");
    QCOMPARE(written.childKeys(), (QStringList{"1", "2"}));
    QCOMPARE(written.value("2").toString(), second.path() + u'/');
    written.endGroup();
    written.beginGroup("zblenden");
    QCOMPARE(written.childKeys(), (QStringList{"46", "5", "71"}));
    for (const QString& k : written.childKeys()) QCOMPARE(written.value(k).toString(), k);
}

void TestDialogs::cancelWritesNoSettings()
{
    {
        Run run;
        press(run.control<QCheckBox>("PNG"));
        press(run.control<QPushButton>("abbrechen"));
        QVERIFY(!run.dialog->isVisible());
        QCOMPARE(run.shutdowns, (QList<QPair<QString, QString>>{{"pdelay", "OK"}}));
    }
    QSettings written(config_.file(), QSettings::IniFormat);
    QCOMPARE(written.allKeys(), QStringList());
}

void TestDialogs::closeBoxUnloads()
{
    Run run;
    run.dialog->startPreview();
    QVERIFY(run.dialog->Timer1().isActive());
    QVERIFY(run.dialog->close());
    QVERIFY(run.state.abbruch);
    QVERIFY(!run.dialog->Timer1().isActive());
    QCOMPARE(run.shutdowns.size(), 1);
    // Escape leaves like the close box; the unload happens once.
    QTest::keyClick(run.dialog.get(), Qt::Key_Escape);
    QCOMPARE(run.shutdowns.size(), 1);
}

void TestDialogs::subDialogRestartsWaitingPreview()
{
    Run run;
    run.dialog->Timer1().start(60000); // waiting for the next picture
    whileModal<Inform>([&] { press(run.control<QPushButton>("Info")); },
                       [&](Inform*) { QVERIFY(!run.dialog->Timer1().isActive()); });
    QVERIFY(run.state.messung_auslassen);
    QVERIFY(run.dialog->Timer1().isActive());
    QCOMPARE(run.dialog->Timer1().interval(), 1);
    QVERIFY(!run.state.unterbrechung);
    // Without a running preview nothing is restarted or interrupted.
    run.dialog->Timer1().stop();
    press(run.control<QCheckBox>("mitTextstempel"));
    whileModal<Textstempel>([&] { press(run.control<QPushButton>("TextstempelButton")); },
                            {});
    QVERIFY(!run.dialog->Timer1().isActive());
    QVERIFY(!run.state.unterbrechung);
}

void TestDialogs::stampButtonFollowsCheckBox()
{
    Run run;
    auto* box = run.control<QCheckBox>("mitTextstempel");
    auto* button = run.control<QPushButton>("TextstempelButton");
    press(box);
    QCOMPARE(run.state.settings.ausgeben, 1);
    QVERIFY(button->isEnabled());
    press(box);
    QCOMPARE(run.state.settings.ausgeben, 0);
    QVERIFY(!button->isEnabled());
}

void TestDialogs::orderResortsListedPictures()
{
    Run run;
    QList<int> sortedWith;
    run.dialog->sortPictureList = [&](RunState& s) { sortedWith << s.settings.reihenfolge; };
    press(indexedChild(run.dialog.get(), "SortierungArt", 1));
    QCOMPARE(run.state.settings.reihenfolge, 1);
    QCOMPARE(sortedWith, QList<int>{1});
    press(run.control<QCheckBox>("JPG")); // nothing listed any more
    press(indexedChild(run.dialog.get(), "SortierungArt", 2));
    QCOMPARE(run.state.settings.reihenfolge, 2);
    QCOMPARE(sortedWith, QList<int>{1});
}

void TestDialogs::spaceClicksTreeNode()
{
    Run run;
    EffectTree& tree = run.dialog->tree();
    tree.setFocus();
    tree.setCurrentItem(tree.nodeByKey("B010"));
    QCOMPARE(run.state.settings.blende, 1);
    QTest::keyClick(&tree, Qt::Key_Space);
    QCOMPARE(run.state.settings.blende, 10);
    QCOMPARE(EffectTree::imageOf(tree.nodeByKey("B010")), int(EffectTree::EffectChosen));
    QCOMPARE(EffectTree::imageOf(tree.nodeByKey("B001")), int(EffectTree::EffectOff));
}

void TestDialogs::enterOnDurationValidatesBeforeSaving()
{
    {
        Run run;
        QApplication::setActiveWindow(run.dialog.get());
        QVERIFY(QTest::qWaitForWindowActive(run.dialog.get()));
        auto* delay = run.control<QLineEdit>("delay");
        delay->setFocus();
        delay->selectAll();
        QTest::keyClicks(delay, "99");
        QTest::keyClick(delay, Qt::Key_Return);
        QCOMPARE(run.answers.messages.size(), 1);
        QVERIFY(!run.dialog->isVisible());
    }
    QSettings written(config_.file(), QSettings::IniFormat);
    QCOMPARE(written.value("misc/delay").toString(), QString("1"));
}

// --- text stamp dialog ------------------------------------------------------------------

namespace {

struct Stamp {
    Settings settings;
    Answers answers;
    std::unique_ptr<Textstempel> dialog;
    explicit Stamp(const std::function<void(Settings&)>& prepare = {})
    {
        if (prepare) prepare(settings);
        dialog = std::make_unique<Textstempel>(settings, answers.choosers());
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
    }
    template <class W = QWidget>
    W* control(const char* name) { return child<W>(dialog.get(), name); }
    QColor background(QWidget* w) { return w->palette().color(QPalette::Window); }
};

} // namespace

void TestDialogs::stampNumberBoxes_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("message"); // empty: accepted
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("setting");
    const QString height = QString::fromUtf8(
        "Texthöhe nicht zulässig.\r\nWerte zwischen 1 und 100 sind erlaubt.\r\n\r\nEs wird der vorherige Wert verwendet.");
    const QString x = QString::fromUtf8("X-Offset der Textposition nicht zulässig.\r\nWerte zwischen -500 und 500 sind "
                                        "erlaubt.\r\n\r\nEs wird der vorwerige Wert verwendet.");
    const QString y = QString::fromUtf8("Y-Offset der Textposition nicht zulässig.\r\nWerte zwischen -500 und 500 sind "
                                        "erlaubt.\r\n\r\nEs wird der vorwerige Wert verwendet.");
    QTest::newRow("height 0") << "StempelTextHöhe" << "0" << height << "15" << 15;
    QTest::newRow("height 100") << "StempelTextHöhe" << "100" << "" << "100" << 100;
    QTest::newRow("height 200 stops at 20") << "StempelTextHöhe" << "200" << height << "20" << 20;
    QTest::newRow("height emptied") << "StempelTextHöhe" << "" << height << "15" << 15;
    QTest::newRow("x minus alone") << "StempelTextOffsetX" << "-" << x << "10" << 10;
    QTest::newRow("x -500") << "StempelTextOffsetX" << "-500" << "" << "-500" << -500;
    QTest::newRow("x 501 stops at 50") << "StempelTextOffsetX" << "501" << x << "50" << 50;
    QTest::newRow("y text") << "StempelTextOffsetY" << "a" << y << "10" << 10;
    QTest::newRow("y 500") << "StempelTextOffsetY" << "500" << "" << "500" << 500;
}

void TestDialogs::stampNumberBoxes()
{
    QFETCH(QString, box);
    QFETCH(QString, typed);
    QFETCH(QString, message);
    QFETCH(QString, shown);
    QFETCH(int, setting);
    Stamp stamp;
    auto* edit = stamp.dialog->findChild<QLineEdit*>(box);
    QVERIFY(edit);
    edit->setFocus();
    edit->selectAll();
    if (typed.isEmpty()) {
        QTest::keyClick(edit, Qt::Key_Backspace);
    } else if (typed.startsWith('-') && typed.size() > 1) {
        // A minus alone is refused, so a negative number gets its sign last.
        QTest::keyClicks(edit, typed.mid(1));
        QTest::keyClick(edit, Qt::Key_Home);
        QTest::keyClick(edit, '-');
    } else {
        QTest::keyClicks(edit, typed);
    }
    QCOMPARE(edit->text(), shown);
    const std::int32_t value = box == "StempelTextOffsetX"   ? stamp.settings.offsetx
                               : box == "StempelTextOffsetY" ? stamp.settings.offsety
                                                             : stamp.settings.hoehe;
    QCOMPARE(value, setting);
    if (message.isEmpty()) {
        QVERIFY(stamp.answers.messages.isEmpty());
    } else {
        QCOMPARE(stamp.answers.messages.size(), 1);
        QCOMPARE(stamp.answers.messages[0].text, message);
        QCOMPARE(stamp.answers.messages[0].title, QString("Velmirano"));
        QCOMPARE(stamp.answers.messages[0].icon, MessageIcon::Exclamation);
    }
}

void TestDialogs::stampPositions()
{
    Stamp stamp;
    auto box = [&](int i) { return indexedChild(stamp.dialog.get(), "StempelTextPosition", i); };
    const QColor green(0, 255, 0), white(255, 255, 255);
    // The marked boxes; every box is either green and "True" or white and "False".
    auto marked = [&] {
        QList<int> m;
        for (int i = 1; i <= 9; ++i) {
            const QColor c = stamp.background(box(i));
            const QString tag = box(i)->property("tag").toString();
            if (c == green && tag == "True")
                m << i;
            else if (c != white || tag != "False")
                m << -i;
        }
        return m;
    };
    QCOMPARE(marked(), QList<int>{1});
    press(box(5));
    QCOMPARE(stamp.settings.position, 5);
    QCOMPARE(marked(), QList<int>{5});
    press(box(5));
    QCOMPARE(stamp.settings.position, 0);
    QCOMPARE(marked(), QList<int>{});
    press(box(9));
    QCOMPARE(stamp.settings.position, 9);
    QCOMPARE(marked(), QList<int>{9});
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
    const QImage bitmap = fonts->itemIcon(0).pixmap(16, 16).toImage();
    const QImage outline = fonts->itemIcon(1).pixmap(16, 16).toImage();
    QVERIFY(bitmap != outline);
    QCOMPARE(fonts->itemIcon(3).pixmap(16, 16).toImage(), outline);
    // Choosing stores the name.
    fonts->setCurrentIndex(3);
    emit fonts->activated(3);
    QCOMPARE(settings.schriftart, QString("zeta"));
    // A stored font that is not installed leaves the first one selected.
    Settings other;
    other.schriftart = "Nowhere";
    Textstempel second(other, answers.choosers());
    QCOMPARE(second.findChild<QComboBox*>("StempelTextSchrift")->currentIndex(), 0);
    QCOMPARE(other.schriftart, QString("Nowhere"));
}

void TestDialogs::stampColours_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("swatch");
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("expected");
    const struct {
        const char *button, *swatch, *title;
        int initial;
    } rows[] = {{"StempelTextFarbeButton", "StempelTextFarbe", "Farbe des Textstempels", 16777215},
                {"StempelTextRahmenFarbeButton", "StempelTextRahmenFarbe", "Rahmenfarbe des Textstempels", 65280},
                {"TextStempelHGFarbeButton", "StempelTextHGFarbe", "Hintergrundfarbe des Textstempels", 255}};
    for (const auto& r : rows) {
        QTest::addRow("%s chosen", r.button) << r.button << r.swatch << r.title << 0x405060 << 0x405060;
        QTest::addRow("%s cancelled", r.button) << r.button << r.swatch << r.title << -1 << r.initial;
    }
}

void TestDialogs::stampColours()
{
    QFETCH(QString, button);
    QFETCH(QString, swatch);
    QFETCH(QString, title);
    QFETCH(int, answer);
    QFETCH(int, expected);
    Stamp stamp([](Settings& s) {
        s.rahmen = 1;
        s.hintergrund = 1;
    });
    stamp.answers.colour = answer;
    press(stamp.dialog->findChild<QPushButton*>(button));
    QCOMPARE(stamp.answers.colourTitles, QStringList{title});
    const std::int32_t value = swatch == "StempelTextFarbe"         ? stamp.settings.farbe
                               : swatch == "StempelTextRahmenFarbe" ? stamp.settings.rahmenfarbe
                                                                    : stamp.settings.hintergrundfarbe;
    QCOMPARE(value, expected);
    QCOMPARE(stamp.background(stamp.dialog->findChild<QWidget*>(swatch)),
             QColor(expected & 0xff, (expected >> 8) & 0xff, (expected >> 16) & 0xff));
}

void TestDialogs::stampFrameControls_data()
{
    QTest::addColumn<QString>("frame");
    QTest::addColumn<QString>("check");
    QTest::addColumn<QStringList>("inside");
    QTest::newRow("frame") << "FrameTextRahmen" << "StempelTextRahmenErzeugen"
                           << QStringList{"StempelTextRahmenFarbe", "StempelTextRahmenFarbeButton"};
    QTest::newRow("background") << "FrameTexthintergrund" << "StempelTextHGFüllen"
                                << QStringList{"StempelTextHGFarbe", "TextStempelHGFarbeButton",
                                               "StempelTextHGDeckkraft", "StempelTextHGDeckkraftProzent"};
}

void TestDialogs::stampFrameControls()
{
    QFETCH(QString, frame);
    QFETCH(QString, check);
    QFETCH(QStringList, inside);
    Stamp stamp;
    auto* box = stamp.dialog->findChild<QCheckBox*>(check);
    auto enabled = [&](bool expected) {
        QVERIFY(box->isEnabled());
        for (const QString& name : inside)
            QVERIFY2(stamp.dialog->findChild<QWidget*>(name)->isEnabled() == expected, qPrintable(name));
    };
    enabled(false);
    press(box);
    QCOMPARE(frame == "FrameTextRahmen" ? stamp.settings.rahmen : stamp.settings.hintergrund, 1);
    enabled(true);
    press(box);
    QCOMPARE(frame == "FrameTextRahmen" ? stamp.settings.rahmen : stamp.settings.hintergrund, 0);
    enabled(false);
}

void TestDialogs::stampOptions_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("caption");
    QTest::newRow("bold") << "StempelTextWeight" << 700 << "Fett";
    QTest::newRow("thin") << "StempelTextWeight" << 300 << "Dünn";
    QTest::newRow("left") << "StempelTextAlignment" << 1 << "Links";
    QTest::newRow("right") << "StempelTextAlignment" << 3 << "Rechts";
    QTest::newRow("auto") << "StempelTextAlignment" << 0 << "Automatisch entsprechend Textposition";
    QTest::newRow("turned right") << "StempelTextDirection" << 1 << "";
    QTest::newRow("upside down") << "StempelTextDirection" << 2 << "";
    QTest::newRow("italic") << "StempelTextItalic" << 1 << "Kursiv";
    QTest::newRow("underline") << "StempelTextUnderline" << 1 << "Unterstrichen";
    QTest::newRow("strikeout") << "StempelTextStrikeout" << 1 << "Durchgestrichen";
}

void TestDialogs::stampOptions()
{
    QFETCH(QString, name);
    QFETCH(int, index);
    QFETCH(QString, caption);
    Stamp stamp([](Settings& s) {
        s.ausrichtung = 2;
        s.richtung = 3;
    });
    QAbstractButton* button = nullptr;
    const bool indexedControl = !name.contains("Italic") && !name.contains("Underline") && !name.contains("Strikeout");
    if (indexedControl)
        button = qobject_cast<QAbstractButton*>(indexedChild(stamp.dialog.get(), name.toUtf8().constData(), index));
    else
        button = stamp.dialog->findChild<QAbstractButton*>(name);
    QVERIFY(button);
    QCOMPARE(button->text(), caption);
    const QImage before = stamp.dialog->sample();
    press(button);
    std::int32_t value = 0;
    if (name == "StempelTextWeight") value = stamp.settings.gewicht;
    if (name == "StempelTextAlignment") value = stamp.settings.ausrichtung;
    if (name == "StempelTextDirection") value = stamp.settings.richtung;
    if (name == "StempelTextItalic") value = stamp.settings.kursiv;
    if (name == "StempelTextUnderline") value = stamp.settings.unterstrichen;
    if (name == "StempelTextStrikeout") value = stamp.settings.durchgestrichen;
    QCOMPARE(value, index);
    QVERIFY(button->isChecked());
    // A one-line text looks alike in every alignment, and not every font has
    // a thin face; everything else shows in the sample.
    if (name != "StempelTextAlignment" && index != 300) QVERIFY(stamp.dialog->sample() != before);
}

void TestDialogs::stampPercent()
{
    Stamp stamp([](Settings& s) { s.deckkraft = 30; });
    auto* slider = stamp.control<QSlider>("StempelTextDeckkraft");
    auto* label = stamp.control<QLabel>("StempelTextDeckkraftProzent");
    QCOMPARE(slider->value(), 30);
    QCOMPARE(label->text(), QString("30%"));
    const int at30 = label->geometry().center().x();
    slider->setValue(90);
    QCOMPARE(stamp.settings.deckkraft, 90);
    QCOMPARE(label->text(), QString("90%"));
    QVERIFY(label->geometry().center().x() > at30);
    QVERIFY(label->geometry().top() > slider->geometry().bottom());
    auto* back = stamp.control<QSlider>("StempelTextHGDeckkraft");
    back->setValue(10);
    QCOMPARE(stamp.settings.hintergrunddeckkraft, 10);
    QCOMPARE(stamp.control<QLabel>("StempelTextHGDeckkraftProzent")->text(), QString("10%"));
}

void TestDialogs::stampSample()
{
    Stamp stamp([](Settings& s) { s.text.clear(); });
    const QImage plain = stamp.dialog->sample();
    QVERIFY(!plain.isNull());
    QCOMPARE(plain.size(), stamp.control<QLabel>("TextBeispielImage")->size());
    // The sample is the photograph, not a flat colour.
    QVERIFY(plain.pixel(5, 5) != plain.pixel(5, plain.height() - 5));
    QList<QString> drawnTexts;
    stamp.dialog->drawStamp = [&](RgbImage& image, const Settings& s) {
        drawnTexts << s.text;
        drawSampleStamp(image, s);
    };
    auto* text = stamp.control<QLineEdit>("StempelText");
    text->setFocus();
    QTest::keyClicks(text, "%n");
    QCOMPARE(stamp.settings.text, QString("%n"));
    QCOMPARE(drawnTexts.last(), QString("%n")); // placeholders are not expanded in the sample
    QVERIFY(stamp.dialog->sample() != plain);
    // With no position marked the stamp sits at the top left without offsets.
    stamp.settings.position = 0;
    stamp.settings.offsetx = 100;
    stamp.settings.offsety = 100;
    stamp.settings.hoehe = 30;
    stamp.settings.farbe = 0x0000ff; // red
    stamp.dialog->DrawSample();
    const QImage atOrigin = stamp.dialog->sample();
    int reddish = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 40; ++x) {
            const QColor c = atOrigin.pixelColor(x, y);
            if (c.red() > 200 && c.green() < 80 && c.blue() < 80) ++reddish;
        }
    QVERIFY(reddish > 10);
    // Clearing the text leaves the photograph alone.
    text->selectAll();
    QTest::keyClick(text, Qt::Key_Backspace);
    QCOMPARE(stamp.dialog->sample(), plain);
}

// --- info box ------------------------------------------------------------------

void TestDialogs::infoBox()
{
    QCOMPARE(versionCaption(programVersion()), QString("Version 2.2.0 Velmirano Bildschirmschoner"));
    VersionInfo empty{2, 2, 0, {}, {}};
    QCOMPARE(versionCaption(empty), QString("Version 2.2.0 "));

    RunState state;
    QWidget owner;
    owner.setGeometry(100, 100, 900, 700);
    owner.show();
    QVERIFY(QTest::qWaitForWindowExposed(&owner));
    Inform info(state, &owner);
    QVERIFY(state.messung_auslassen);
    QCOMPARE(info.windowTitle(), QString("Info zu Velmirano"));
    QCOMPARE(info.findChild<QLabel*>("Version")->text(), versionCaption(programVersion()));
    QVERIFY(!info.findChild<QLabel*>("Autor")->text().isEmpty());
    QVERIFY(!info.findChild<QLabel*>("Picture1")->pixmap().isNull());
    QVERIFY(!info.findChild<QLabel*>("picIcon")->pixmap().isNull());
    auto* ok = info.findChild<QPushButton*>("cmdOK");
    QCOMPARE(ok->text(), QString("ok"));
    info.show();
    QVERIFY(QTest::qWaitForWindowExposed(&info));
    const QPoint centre = info.frameGeometry().center();
    QVERIFY(qAbs(centre.x() - owner.frameGeometry().center().x()) <= 1);
    QVERIFY(qAbs(centre.y() - owner.frameGeometry().center().y()) <= 1);
    press(ok);
    QVERIFY(!info.isVisible());
}

QTEST_MAIN(TestDialogs)
#include "test_dialogs.moc"
