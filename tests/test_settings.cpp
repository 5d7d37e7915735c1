// The settings store and the settings record: defaults, round trips, the
// list rewrite and hand-edited values.
#include "platform/registry.h"
#include "settings/settings.h"
#include "testutil.h"

#include <QFile>
#include <QtTest>

using namespace vm;

class TestSettings : public QObject {
    Q_OBJECT
    ScratchConfig config_;

private slots:
    void init() { QFile::remove(config_.file()); }
    void valuesReadBackUnchanged_data();
    void valuesReadBackUnchanged();
    void listRewriteLeavesExactlyTheLastEntries();
    void listsComeBackInWrittenOrder_data();
    void listsComeBackInWrittenOrder();
    void enumerationOfMissingOrEmptySubkey();
    void handEditedValues_data();
    void handEditedValues();
    void saveWritesEveryFieldAndTheLists();
    void saveWithNothingEnabledLeavesNoEffectList();
    void stripAtNul();
};

void TestSettings::valuesReadBackUnchanged_data()
{
    QTest::addColumn<QString>("value");
    QTest::newRow("number") << "42";
    QTest::newRow("negative") << "-500";
    QTest::newRow("text with placeholders") << "%n (%t) %e36867";
    QTest::newRow("umlauts") << "Köln – Straße";
    QTest::newRow("comma and quotes") << "a, \"b\"; c=d";
    QTest::newRow("backslashes") << "C:\\Bilder\\Urlaub\\";
    QTest::newRow("empty") << "";
    QTest::newRow("leading blanks") << "  x  ";
}

void TestSettings::valuesReadBackUnchanged()
{
    QFETCH(QString, value);
    {
        Registry r;
        QCOMPARE(r.WriteSetting("textstempel", "text", value), 0);
    }
    Registry r; // a new store object reads what reached the file
    QCOMPARE(r.ReadSetting("textstempel", "text", "default"), value);
}

void TestSettings::listRewriteLeavesExactlyTheLastEntries()
{
    Registry r;
    r.WriteSetting("misc", "delay", 7);
    r.RewriteList("path", {{"1", "/a/"}, {"2", "/b/"}, {"3", "/c/"}});
    QCOMPARE(r.EnumSettings("path").size(), size_t(3));
    r.RewriteList("path", {{"1", "/only/"}});
    r.sync();
    Registry again;
    const SettingPairs p = again.EnumSettings("path");
    QCOMPARE(p.size(), size_t(1));
    QCOMPARE(p[0].first, QString("1"));
    QCOMPARE(p[0].second, QString("/only/"));
    QCOMPARE(again.ReadSetting("misc", "delay", 3), QString("7")); // other subkeys untouched
}

void TestSettings::enumerationOfMissingOrEmptySubkey()
{
    Registry r;
    QVERIFY(r.EnumSettings("zblenden").empty());
    r.RewriteList("zblenden", {});
    QVERIFY(r.EnumSettings("zblenden").empty());
    QCOMPARE(r.DeleteSettingsKey("nothing-here"), 0);
}

void TestSettings::listsComeBackInWrittenOrder_data()
{
    QTest::addColumn<QString>("subkey");
    QTest::addColumn<QStringList>("names");
    QStringList folders, ring;
    for (int i = 1; i <= 12; ++i) folders << QString::number(i);
    for (int i = 0; i <= 9; ++i) ring << QString("number%1").arg(i);
    QTest::newRow("path, 12 folders") << "path" << folders;
    QTest::newRow("zblenden") << "zblenden" << QStringList{"2", "9", "10", "11", "40", "76"};
    QTest::newRow("error") << "error" << ring + QStringList{"numbers"};
    QTest::newRow("timings") << "delay" << QStringList{"D2", "D10", "S2", "S10"};
}

void TestSettings::listsComeBackInWrittenOrder()
{
    QFETCH(QString, subkey);
    QFETCH(QStringList, names);
    {
        SettingPairs pairs;
        for (const QString& n : names) pairs.emplace_back(n, "data " + n);
        Registry r;
        r.RewriteList(subkey, pairs);
    }
    Registry r;
    QStringList back;
    for (const auto& [name, data] : r.EnumSettings(subkey)) {
        QCOMPARE(data, "data " + name);
        back << name;
    }
    QCOMPARE(back, names);
}

void TestSettings::handEditedValues_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("stored"); // as a person may have edited it
    QTest::addColumn<int>("value");
    QTest::newRow("number") << "delay" << "9" << 9;
    QTest::newRow("blanks around") << "delay" << " 12 " << 12;
    QTest::newRow("words") << "delay" << "abc" << 3;
    QTest::newRow("number then text") << "delay" << "5x" << 3;
    QTest::newRow("empty") << "delay" << "" << 3;
    QTest::newRow("a list") << "delay" << "1, 2" << 3;
    QTest::newRow("too large for 32 bits") << "delay" << "4294967296" << 3;
    QTest::newRow("fraction") << "delay" << "2.5" << 3;
    // Beyond what the dialogs accept: the timer would stop, overflow or spin.
    QTest::newRow("delay 0") << "delay" << "0" << 3;
    QTest::newRow("delay -5") << "delay" << "-5" << 3;
    QTest::newRow("delay 61") << "delay" << "61" << 3;
    QTest::newRow("delay 2147484") << "delay" << "2147484" << 3;
    QTest::newRow("delay 60") << "delay" << "60" << 60;
    QTest::newRow("tdauer 0") << "tdauer" << "0" << 2;
    QTest::newRow("tdauer 1") << "tdauer" << "1" << 1;
    QTest::newRow("hoehe 0") << "hoehe" << "0" << 15;
    QTest::newRow("hoehe 101") << "hoehe" << "101" << 15;
    QTest::newRow("hoehe 100") << "hoehe" << "100" << 100;
    QTest::newRow("offsetx -501") << "offsetx" << "-501" << 10;
    QTest::newRow("offsetx -500") << "offsetx" << "-500" << -500;
    QTest::newRow("offsety 501") << "offsety" << "501" << 10;
    QTest::newRow("deckkraft -1") << "deckkraft" << "-1" << 100;
    QTest::newRow("deckkraft 0") << "deckkraft" << "0" << 0;
    QTest::newRow("hintergrunddeckkraft 101") << "hintergrunddeckkraft" << "101" << 50;
    QTest::newRow("gewicht 1001") << "gewicht" << "1001" << 400;
    QTest::newRow("gewicht 900") << "gewicht" << "900" << 900;
    QTest::newRow("colour not checked") << "farbe" << "-7" << -7;
}

void TestSettings::handEditedValues()
{
    QFETCH(QString, field);
    QFETCH(QString, stored);
    QFETCH(int, value);
    const SettingField* f = nullptr;
    for (const SettingField& sf : settingFieldsInLoadOrder())
        if (field == QLatin1String(sf.name)) f = &sf;
    QVERIFY(f);
    {
        Registry w;
        w.WriteSetting(f->subkey, field, stored);
        w.WriteSetting("misc", "recursive", 1);
        w.WriteSetting("textstempel", "position", 4);
    }
    Registry r;
    Settings s;
    loadSettings(r, s);
    QCOMPARE(s.*(f->number), value);
    QCOMPARE(s.recursive, 1); // the neighbours still count
    QCOMPARE(s.position, 4);
}

void TestSettings::saveWritesEveryFieldAndTheLists()
{
    Settings s;
    s.recursive = 1;
    s.delay = 17;
    s.reihenfolge = 2;
    s.blende = 44;
    s.hgfarbe = 0x123456;
    s.text = "%n – %t";
    s.offsetx = -500;
    s.letzter_effekt = 33; // belongs to shutdown: OK does not write it
    std::array<bool, 77> enabled{};
    enabled[3] = enabled[76] = true;
    {
        Registry r;
        r.RewriteList("zblenden", {{"1", "1"}, {"2", "2"}});
        saveSettings(r, s, {"/p/one/", "/p/two/"}, enabled);
    }
    Registry r;
    Settings back;
    loadSettings(r, back);
    QCOMPARE(back.recursive, 1);
    QCOMPARE(back.delay, 17);
    QCOMPARE(back.reihenfolge, 2);
    QCOMPARE(back.blende, 44);
    QCOMPARE(back.hgfarbe, 0x123456);
    QCOMPARE(back.text, s.text);
    QCOMPARE(back.offsetx, -500);
    QCOMPARE(back.letzter_effekt, 1);
    QCOMPARE(r.ReadSetting("textstempel", "offsetx", 0), QString("-500"));
    const SettingPairs paths = r.EnumSettings("path");
    QCOMPARE(paths.size(), size_t(2));
    QCOMPARE(paths[1], std::make_pair(QString("2"), QString("/p/two/")));
    const SettingPairs z = r.EnumSettings("zblenden");
    QCOMPARE(z.size(), size_t(2));
    QCOMPARE(z[0], std::make_pair(QString("3"), QString("3")));
    QCOMPARE(z[1], std::make_pair(QString("76"), QString("76")));
    // Every field of both tables is in the file.
    for (const SettingField& f : settingFieldsInLoadOrder()) {
        const QString name = QLatin1String(f.name);
        if (name == "letzter_effekt" || name == "letztes_bild") continue;
        QVERIFY2(r.ReadSetting(f.subkey, name, "missing") != "missing", f.name);
    }
}

void TestSettings::saveWithNothingEnabledLeavesNoEffectList()
{
    Registry r;
    r.RewriteList("zblenden", {{"5", "5"}});
    saveSettings(r, Settings{}, {"/x/"}, std::array<bool, 77>{});
    QVERIFY(r.EnumSettings("zblenden").empty());
}

void TestSettings::stripAtNul()
{
    QCOMPARE(StripAtNul(QString("abc") + QChar(0) + "def"), QString("abc"));
    QCOMPARE(StripAtNul("plain"), QString("plain"));
    QCOMPARE(StripAtNul(QString(QChar(0))), QString());
}

QTEST_GUILESS_MAIN(TestSettings)
#include "test_settings.moc"
