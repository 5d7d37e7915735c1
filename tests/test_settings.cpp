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
    void freshStoreGivesDefaults();
    void valuesReadBackUnchanged_data();
    void valuesReadBackUnchanged();
    void listRewriteLeavesExactlyTheLastEntries();
    void enumerationOfMissingOrEmptySubkey();
    void handEditedValues_data();
    void handEditedValues();
    void saveWritesEveryFieldAndTheLists();
    void saveWithNothingEnabledLeavesNoEffectList();
    void stripAtNul();
};

void TestSettings::freshStoreGivesDefaults()
{
    Registry r;
    Settings s;
    s.delay = 99; // must be overwritten by the default
    s = Settings{};
    loadSettings(r, s);
    QCOMPARE(s.delay, 3);
    QCOMPARE(s.reihenfolge, 5);
    QCOMPARE(s.blende, 1);
    QCOMPARE(s.letzter_effekt, 1);
    QCOMPARE(s.effekt_nutzung, 1);
    QCOMPARE(s.tdauer, 2);
    QCOMPARE(s.jpg, 1);
    QCOMPARE(s.bmp, 0);
    QCOMPARE(s.text, QString("Velmirano"));
    QCOMPARE(s.farbe, 16777215);
    QCOMPARE(s.schriftart, QString("Arial"));
    QCOMPARE(s.hoehe, 15);
    QCOMPARE(s.position, 1);
    QCOMPARE(s.gewicht, 400);
    QCOMPARE(s.rahmenfarbe, 65280);
    QCOMPARE(s.hintergrundfarbe, 255);
    QCOMPARE(s.hintergrunddeckkraft, 50);
    r.sync();
    QVERIFY2(!QFile::exists(config_.file()), "reading must not create the store");
}

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

void TestSettings::handEditedValues_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("delay");
    QTest::newRow("number") << QByteArray("delay=9") << 9;
    QTest::newRow("blanks around") << QByteArray("delay=\" 12 \"") << 12;
    QTest::newRow("words") << QByteArray("delay=abc") << 3;
    QTest::newRow("number then text") << QByteArray("delay=5x") << 3;
    QTest::newRow("empty") << QByteArray("delay=") << 3;
    QTest::newRow("a list") << QByteArray("delay=1, 2") << 3;
    QTest::newRow("too large for 32 bits") << QByteArray("delay=4294967296") << 3;
    QTest::newRow("fraction") << QByteArray("delay=2.5") << 3;
}

void TestSettings::handEditedValues()
{
    QFETCH(QByteArray, line);
    QFETCH(int, delay);
    QDir().mkpath(QFileInfo(config_.file()).path());
    QFile f(config_.file());
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("[misc]\n" + line + "\ntdauer=7\n");
    f.close();
    Registry r;
    Settings s;
    loadSettings(r, s);
    QCOMPARE(s.delay, delay);
    QCOMPARE(s.tdauer, 7); // the neighbour still counts
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
