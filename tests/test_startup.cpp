// Start-up: the command line, the version table, what is read from the
// store, and what each mode does, through fake system services.
#include "platform/imagelib.h"
#include "platform/registry.h"
#include "platform/system.h"
#include "start/startup.h"
#include "state/runstate.h"
#include "testutil.h"

#include <QFile>
#include <QApplication>
#include <QProcess>
#include <QtTest>

using namespace vm;

namespace {

struct FakeServices : StartServices {
    bool libraryPresent = true;
    bool captureWorks = true;
    bool otherShowRunning = false;
    QStringList errors;
    QStringList opened;
    QList<long long> passwordParents;
    QString cwd = "/tmp/current";

    bool initImageLibrary() override { return libraryPresent; }
    ScreenSize screenSize() override { return {64, 48}; }
    bool captureDesktop(Dc* into) override
    {
        if (!captureWorks) return false;
        return FillRect(into, Rect{0, 0, 64, 48}, SolidBrush{0x00ff00});
    }
    bool isOnlyInstance(const QString&) override { return !otherShowRunning; }
    void changePassword(long long parent) override { passwordParents << parent; }
    void showErrorInfo(RunState&, const QString& m) override { errors << m; }
    QString currentDirectory() override { return cwd; }
    bool openWindow(RunState&, const QString& mode) override
    {
        opened << mode;
        return true;
    }
};

} // namespace

class TestStartup : public QObject {
    Q_OBJECT
    ScratchConfig config_;
    QTemporaryDir folders_;

private slots:
    void init() { QFile::remove(config_.file()); }
    void modeWords_data();
    void modeWords();
    void windowHandles_data();
    void windowHandles();
    void alphaBlendByVersion_data();
    void alphaBlendByVersion();
    void freshStore();
    void singleEffectCorrected_data();
    void singleEffectCorrected();
    void enabledEffects_data();
    void enabledEffects();
    void folders();
    void modes_data();
    void modes();
    void secondShowEndsSilently();
    void missingLibrary();
    void failedCapture();
    void desktopCaptured();
    void realInstanceGuard();
};

void TestStartup::modeWords_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("mode");
    QTest::newRow("nothing") << "" << "/C";
    QTest::newRow("blanks only") << "   " << "/C";
    QTest::newRow("/s with blanks") << "  /s  " << "/S";
    QTest::newRow("/Sx") << "/Sx" << "/S";
    QTest::newRow("/c:1234") << "/c:1234" << "/C";
    QTest::newRow("/p 99") << "/p 99" << "/P";
    QTest::newRow("/X") << "/X" << "/X";
    QTest::newRow("one character") << "s" << "S";
}

void TestStartup::modeWords()
{
    QFETCH(QString, line);
    QFETCH(QString, mode);
    QCOMPARE(modeWord(line), mode);
}

void TestStartup::windowHandles_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<long long>("handle");
    QTest::newRow("/P 123") << "/P 123" << 123LL;
    QTest::newRow("/p123") << "/p123" << 123LL;
    QTest::newRow("/P alone") << "/P" << 0LL;
    QTest::newRow("/p:4711") << "/p:4711" << 0LL;
    QTest::newRow("/p 4711 then words") << "/p  4711abc" << 4711LL;
    QTest::newRow("large X window id") << "/P 73400323" << 73400323LL;
    QTest::newRow("absurdly long") << "/P 99999999999999999999999999" << 999999999999999999LL;
}

void TestStartup::windowHandles()
{
    QFETCH(QString, line);
    QFETCH(long long, handle);
    QCOMPARE(parseWindowHandle(line), handle);
}

void TestStartup::alphaBlendByVersion_data()
{
    QTest::addColumn<int>("platform");
    QTest::addColumn<int>("major");
    QTest::addColumn<int>("minor");
    QTest::addColumn<bool>("blends");
    QTest::newRow("NT 4.0") << 2 << 4 << 0 << false;
    QTest::newRow("NT 3.51") << 2 << 3 << 51 << false;
    QTest::newRow("2000") << 2 << 5 << 0 << true;
    QTest::newRow("XP") << 2 << 5 << 1 << true;
    QTest::newRow("later NT") << 2 << 10 << 0 << true;
    QTest::newRow("95") << 1 << 4 << 0 << false;
    QTest::newRow("98") << 1 << 4 << 10 << true;
    QTest::newRow("98 odd minor") << 1 << 4 << 3 << false;
    QTest::newRow("Me") << 1 << 4 << 90 << true;
    QTest::newRow("9x major 5") << 1 << 5 << 0 << true;
    QTest::newRow("win32s") << 0 << 5 << 0 << false;
}

void TestStartup::alphaBlendByVersion()
{
    QFETCH(int, platform);
    QFETCH(int, major);
    QFETCH(int, minor);
    QFETCH(bool, blends);
    QCOMPARE(OsHasAlphaBlend(OsVersion{platform, major, minor}), blends);
}

void TestStartup::freshStore()
{
    RunState st;
    Registry r;
    FakeServices fake;
    QCOMPARE(Main("/S", st, r, fake), StartResult::WindowOpen);
    QCOMPARE(st.Folders, QStringList{"/tmp/current/"});
    for (int n = 1; n <= kEffectCount; ++n) QCOMPARE(st.effekte[size_t(n)].aktiv, 1);
    QCOMPARE(st.settings.delay, 3);
    QCOMPARE(st.effekte[12].name, QString("Quadrat auf spitze"));
    QVERIFY(st.alphablend_verfuegbar);
    QCOMPARE(st.ScreenWidth, 64);
    r.sync();
    QVERIFY(!QFile::exists(config_.file()));
}

void TestStartup::singleEffectCorrected_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("blende");
    QTest::newRow("0") << "0" << 1;
    QTest::newRow("77") << "77" << 1;
    QTest::newRow("-3") << "-3" << 1;
    QTest::newRow("76") << "76" << 76;
    QTest::newRow("5") << "5" << 5;
    QTest::newRow("not a number") << "zwei" << 1;
}

void TestStartup::singleEffectCorrected()
{
    QFETCH(QString, stored);
    QFETCH(int, blende);
    {
        Registry w;
        w.WriteSetting("misc", "blende", stored);
    }
    RunState st;
    Registry r;
    FakeServices fake;
    Main("/S", st, r, fake);
    QCOMPARE(st.settings.blende, blende);
    QCOMPARE(r.ReadSetting("misc", "blende", ""), stored); // in memory only
}

void TestStartup::enabledEffects_data()
{
    QTest::addColumn<QStringList>("data");
    QTest::addColumn<QList<int>>("enabled");
    QTest::newRow("3 and 99") << QStringList{"3", "99"} << QList<int>{3};
    QTest::newRow("0, 76 and words") << QStringList{"0", "76", "abc", "12"} << QList<int>{12, 76};
    QTest::newRow("only junk") << QStringList{"x"} << QList<int>{};
}

void TestStartup::enabledEffects()
{
    QFETCH(QStringList, data);
    QFETCH(QList<int>, enabled);
    {
        Registry w;
        SettingPairs pairs;
        for (int i = 0; i < data.size(); ++i) pairs.emplace_back(QString("k%1").arg(i), data[i]);
        w.RewriteList("zblenden", pairs);
    }
    RunState st;
    Registry r;
    FakeServices fake;
    Main("/C", st, r, fake);
    for (int n = 1; n <= kEffectCount; ++n)
        QCOMPARE(st.effekte[size_t(n)].aktiv, enabled.contains(n) ? 1 : 0);
}

void TestStartup::folders()
{
    const QString a = folders_.path() + "/a", b = folders_.path() + "/b/";
    QDir().mkpath(a);
    QDir().mkpath(b);
    QFile file(folders_.path() + "/file");
    QVERIFY(file.open(QIODevice::WriteOnly));
    {
        Registry w;
        w.RewriteList("path", {{"1", a},
                               {"2", folders_.path() + "/gone"},
                               {"3", ""},
                               {"4", b},
                               {"5", folders_.path() + "/file"}});
    }
    RunState st;
    Registry r;
    FakeServices fake;
    Main("/S", st, r, fake);
    QCOMPARE(st.Folders, (QStringList{a + "/", b}));

    {
        Registry w;
        w.RewriteList("path", {{"1", folders_.path() + "/gone"}});
    }
    RunState st2;
    Registry r2;
    Main("/S", st2, r2, fake);
    QCOMPARE(st2.Folders, QStringList{"/tmp/current/"});
}

void TestStartup::modes_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("opened");
    QTest::addColumn<QString>("laufmodus");
    QTest::addColumn<long long>("parent");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("timing"); // effect 5's loaded delay: 1111 from "delay", 2222 from "pdelay"
    const int open = int(StartResult::WindowOpen), ended = int(StartResult::Ended);
    QTest::newRow("none") << "" << "/C" << "Settings" << 0LL << open << 2222;
    QTest::newRow("/c:55") << "/c:55" << "/C" << "Settings" << 0LL << open << 2222;
    QTest::newRow("/s") << " /s " << "/S" << "Saver" << 0LL << open << 1111;
    QTest::newRow("/P 123") << "/P 123" << "/P" << "Preferences" << 123LL << open << 2222;
    QTest::newRow("/p123") << "/p123" << "/P" << "Preferences" << 123LL << open << 2222;
    QTest::newRow("/A 77") << "/A 77" << "" << "Password" << 77LL << ended << 0;
    QTest::newRow("/X") << "/X" << "" << "" << 0LL << ended << 0;
}

void TestStartup::modes()
{
    QFETCH(QString, line);
    QFETCH(QString, opened);
    QFETCH(QString, laufmodus);
    QFETCH(long long, parent);
    QFETCH(int, result);
    QFETCH(int, timing);
    {
        Registry w;
        w.WriteSetting("misc", "letztes_bild", 7);
        w.WriteSetting("delay", "D5", 1111);
        w.WriteSetting("pdelay", "D5", 2222);
    }
    RunState st;
    Registry r;
    FakeServices fake;
    QCOMPARE(int(Main(line, st, r, fake)), result);
    QCOMPARE(fake.opened, opened.isEmpty() ? QStringList{} : QStringList{opened});
    QCOMPARE(st.laufmodus, laufmodus);
    QCOMPARE(st.ParentWindow, parent);
    QCOMPARE(fake.passwordParents.size(), laufmodus == "Password" ? 1 : 0);
    if (!opened.isEmpty()) QCOMPARE(st.CurrentPictureIndex, 7);
    if (timing) QCOMPARE(st.effekte[5].verzoegerung, timing);
    QVERIFY(fake.errors.isEmpty());
}

void TestStartup::secondShowEndsSilently()
{
    RunState st;
    Registry r;
    FakeServices fake;
    fake.otherShowRunning = true;
    QCOMPARE(Main("/S", st, r, fake), StartResult::Ended);
    QVERIFY(fake.opened.isEmpty());
    QVERIFY(fake.errors.isEmpty());
    QVERIFY(!st.bildschirmkopie_dc.exists());
}

void TestStartup::missingLibrary()
{
    RunState st;
    Registry r;
    FakeServices fake;
    fake.libraryPresent = false;
    QCOMPARE(Main("/S", st, r, fake), StartResult::Ended);
    QCOMPARE(fake.errors, QStringList{"VelmiranoIS.DLL fehlt im Windows-Systemverzeichnis!!!"});
    QVERIFY(st.laufmodus.isEmpty());
    QVERIFY(fake.opened.isEmpty());
    // The decision itself: no JPEG decoder, no show.
    QVERIFY(!ImageLibraryInitialize(QList<QByteArray>{"png", "bmp"}));
    QVERIFY(ImageLibraryInitialize(QList<QByteArray>{"png", "jpeg"}));
    QVERIFY(ImageLibraryInitialize());
}

void TestStartup::failedCapture()
{
    RunState st;
    Registry r;
    FakeServices fake;
    fake.captureWorks = false;
    QCOMPARE(Main("/S", st, r, fake), StartResult::Ended);
    QCOMPARE(fake.errors, QStringList{"Fehler in BitBlt in MAIN"});
    QVERIFY(!st.bildschirmkopie_dc.exists());
    QVERIFY(fake.opened.isEmpty());
}

void TestStartup::desktopCaptured()
{
    RunState st;
    Registry r;
    FakeServices fake;
    Main("/C", st, r, fake);
    const Bitmap* b = st.bildschirmkopie_dc.bitmap();
    QVERIFY(b);
    QCOMPARE(b->width(), 64);
    QCOMPARE(b->pixel(63, 47), pixelFromColorRef(0x00ff00));
    // The real capture on the offscreen platform: a black screen copy.
    Bitmap real(8, 8, 0x123456);
    Dc dc;
    dc.select(&real);
    QVERIFY(captureDesktop(&dc));
    QCOMPARE(real, Bitmap(8, 8, 0));
}

void TestStartup::realInstanceGuard()
{
    const QString title = QString("VelmiranoTest-%1").arg(QCoreApplication::applicationPid());
    InstanceGuard first;
    QVERIFY(first.IsOnlyInstance(title));
    {
        InstanceGuard second;
        QVERIFY(!second.IsOnlyInstance(title));
    }
    // Another process of the same user sees the running one too.
    QProcess other;
    other.start(QCoreApplication::applicationFilePath(), {"-maxwarnings", "0", "--probe-instance", title});
    // (the probe is answered in main below)
    QVERIFY(other.waitForFinished(30000));
    QCOMPARE(other.exitCode(), 3);
}

int main(int argc, char** argv)
{
    // A second copy of this program answers whether it can take the mark.
    for (int i = 1; i + 1 < argc; ++i)
        if (qstrcmp(argv[i], "--probe-instance") == 0) {
            QCoreApplication app(argc, argv);
            InstanceGuard g;
            return g.IsOnlyInstance(QString::fromLocal8Bit(argv[i + 1])) ? 0 : 3;
        }
    QApplication app(argc, argv);
    TestStartup t;
    return QTest::qExec(&t, argc, argv);
}
#include "test_startup.moc"
