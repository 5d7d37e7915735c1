// The settings store and record: list order and rewrite, hand-edited values,
// and what OK saves, read back through a fresh store.
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
    void listsComeBackInNumericOrder_data();
    void listsComeBackInNumericOrder();
    void handEditedValues_data();
    void handEditedValues();
    void monitorMode_data();
    void monitorMode();
    void saveWritesEveryFieldAndTheLists();
    void folderTextsAsWritten_data();
    void folderTextsAsWritten();
};

void TestSettings::listsComeBackInNumericOrder_data()
{
    QTest::addColumn<QString>("subkey");
    QTest::addColumn<QStringList>("names");
    QStringList folders, ring;
    for (int i = 1; i <= 12; ++i) folders << QString::number(i);
    for (int i = 0; i <= 9; ++i) ring << QString("number%1").arg(i);
    QTest::newRow("path, 12 folders") << "path" << folders;
    QTest::newRow("zblenden") << "zblenden" << QStringList{"2", "9", "10", "11", "40", "76"};
    QTest::newRow("error") << "error" << ring + QStringList{"numbers"};
}

// The rewrite also drops what a longer earlier list left behind.
void TestSettings::listsComeBackInNumericOrder()
{
    QFETCH(QString, subkey);
    QFETCH(QStringList, names);
    {
        SettingPairs pairs, longer{{"99", "stale"}};
        for (const QString& n : names) pairs.emplace_back(n, "data " + n);
        Registry r;
        r.WriteSetting("misc", "delay", 7);
        r.RewriteList(subkey, longer);
        r.RewriteList(subkey, pairs);
    }
    Registry r;
    QStringList back;
    for (const auto& [name, data] : r.EnumSettings(subkey)) back << name + '=' + data;
    QStringList expected;
    for (const QString& n : names) expected << n + "=data " + n;
    QCOMPARE(back, expected);
    QCOMPARE(r.ReadSetting("misc", "delay", 3), QString("7"));
}

void TestSettings::handEditedValues_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("stored"); // as a person may have edited it
    QTest::addColumn<int>("value");
    QTest::newRow("words") << "delay" << "abc" << 3;
    QTest::newRow("too large for 32 bits") << "delay" << "4294967296" << 3;
    // Beyond what the dialogs accept: the timer would stop, overflow or spin.
    QTest::newRow("delay 0") << "delay" << "0" << 3;
    QTest::newRow("delay 61") << "delay" << "61" << 3;
    QTest::newRow("delay 60") << "delay" << "60" << 60;
    QTest::newRow("hoehe 101") << "hoehe" << "101" << 15;
    QTest::newRow("offsetx -501") << "offsetx" << "-501" << 10;
    QTest::newRow("colour not checked") << "farbe" << "-7" << -7;
    // Phone formats: a store that predates them shows them; a stored 0 stays off.
    QTest::newRow("heic absent") << "heic" << QString() << 1;
    QTest::newRow("webp off") << "webp" << "0" << 0;
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
        if (!stored.isNull()) w.WriteSetting(f->subkey, field, stored);
        w.WriteSetting("misc", "gif", 1); // a store written before the phone formats existed
        w.WriteSetting("textstempel", "position", 4);
    }
    Registry r;
    Settings s;
    loadSettings(r, s);
    QCOMPARE(s.*(f->number), value);
    QCOMPARE(s.position, 4); // the neighbours still count
}

void TestSettings::monitorMode_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("value");
    QTest::newRow("absent") << QString() << 0;
    QTest::newRow("primary only") << "2" << 2;
    QTest::newRow("beyond the modes") << "3" << 0;
    QTest::newRow("negative") << "-1" << 0;
}

// The monitors' mode, and that OK writes it back.
void TestSettings::monitorMode()
{
    QFETCH(QString, stored);
    QFETCH(int, value);
    if (!stored.isNull()) Registry().WriteSetting("misc", "bildschirme", stored);
    Registry r;
    Settings s;
    loadSettings(r, s);
    QCOMPARE(s.bildschirme, value);
    s.bildschirme = 2 - value;
    saveSettings(r, s, {}, {});
    QCOMPARE(r.ReadSetting("misc", "bildschirme", -1), QString::number(2 - value));
}

// Every field but shutdown's two, texts as typed, and exactly the enabled effects.
void TestSettings::saveWritesEveryFieldAndTheLists()
{
    Settings s;
    s.text = "a, \"b\"; C:\\Bilder\\ – %n";
    s.letzter_effekt = 33;
    std::array<bool, 77> enabled{};
    enabled[3] = enabled[76] = true;
    Registry r;
    r.RewriteList("zblenden", {{"1", "1"}, {"2", "2"}});
    saveSettings(r, s, {"/p/one/", "/p/two/"}, enabled);
    QCOMPARE(r.EnumSettings("zblenden"), (SettingPairs{{"3", "3"}, {"76", "76"}}));
    for (const SettingField& f : settingFieldsInLoadOrder()) {
        const QString name = QLatin1String(f.name);
        const bool shutdowns = name == "letzter_effekt" || name == "letztes_bild";
        QCOMPARE(r.ReadSetting(f.subkey, name, "missing") == "missing", shutdowns);
    }
    r.sync();
    Registry again; // what reached the file
    Settings back;
    loadSettings(again, back);
    QCOMPARE(back.text, s.text);
    saveSettings(r, s, {"/x/"}, std::array<bool, 77>{});
    QVERIFY(r.EnumSettings("zblenden").empty());
    QCOMPARE(StripAtNul(QString("abc") + QChar(0) + "def"), QString("abc"));
}

// Folder names with commas, semicolons and quotes: typed into the file by
// hand they read back as typed; written by the program they read back the
// same, and the file then reads as before.
void TestSettings::folderTextsAsWritten_data()
{
    QTest::addColumn<QString>("line");   // as typed after "1=" in [path]
    QTest::addColumn<QString>("folder"); // what it names
    QTest::newRow("comma and blank") << "/home/u/Urlaub, Sommer" << "/home/u/Urlaub, Sommer";
    QTest::newRow("semicolon") << "/home/u/Fotos;alt" << "/home/u/Fotos;alt";
    QTest::newRow("quotes inside") << "/x/Bilder \"alt\"" << "/x/Bilder \"alt\"";
    QTest::newRow("quoted by hand") << "\"/x/a, b\"" << "/x/a, b";
    QTest::newRow("umlauts") << "/x/Köln, Dom;Süd" << "/x/Köln, Dom;Süd";
}

void TestSettings::folderTextsAsWritten()
{
    QFETCH(QString, line);
    QFETCH(QString, folder);
    QDir().mkpath(QFileInfo(config_.file()).absolutePath());
    {
        QFile f(config_.file());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(("[misc]\ndelay=7\n\n[path]\n1=" + line + "\n2=/y/z\n\n[textstempel]\ntext=" + line + "\n").toUtf8());
    }
    {
        Registry r;
        QCOMPARE(r.EnumSettings("path"), (SettingPairs{{"1", folder}, {"2", "/y/z"}}));
        QCOMPARE(r.ReadSetting("path", "1", ""), folder);
        QCOMPARE(r.ReadSetting("textstempel", "text", ""), folder);
        QCOMPARE(r.ReadSetting("misc", "delay", ""), QString("7"));
        // The program writes what it read; it comes back the same.
        r.RewriteList("path", {{"1", folder}, {"2", folder + ";2"}, {"3", "\"" + folder}});
    }
    Registry r;
    QCOMPARE(r.EnumSettings("path"), (SettingPairs{{"1", folder}, {"2", folder + ";2"}, {"3", "\"" + folder}}));
}

QTEST_GUILESS_MAIN(TestSettings)
#include "test_settings.moc"
