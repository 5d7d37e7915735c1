// Start-up: the command line, the version table, what is read from the
// store, and what each mode does, through fake system services.
#include "platform/imagelib.h"
#include "platform/registry.h"
#include "start/startup.h"
#include "state/runstate.h"
#include "testutil.h"

#include <QApplication>
#include <QFile>
#include <QtTest>

using namespace vm;

namespace {

struct FakeServices : StartServices {
    int failure = -1; // 0 another show runs, 1 no image library, 2 no desktop capture
    QStringList errors;
    QStringList opened;
    QList<long long> passwordParents;

    bool initImageLibrary() override { return failure != 1; }
    ScreenSize screenSize() override { return {64, 48}; }
    bool captureDesktop(Dc* into) override { return failure != 2 && FillRect(into, Rect{0, 0, 64, 48}, SolidBrush{0x00ff00}); }
    bool isOnlyInstance(const QString&) override { return failure != 0; }
    void changePassword(long long parent) override { passwordParents << parent; }
    void showErrorInfo(RunState&, const QString& m) override { errors << m; }
    QString currentDirectory() override { return "/tmp/current"; }
    bool openWindow(RunState&, const QString& mode) override { return opened << mode, true; }
};

// Writes the store as a person left it, then starts with that line.
struct Started {
    RunState st;
    Registry r;
    FakeServices fake;
    StartResult result;
    explicit Started(const QString& line, const std::function<void(Registry&)>& store = {}, int failure = -1)
    {
        if (store) {
            Registry w;
            store(w);
        }
        fake.failure = failure;
        result = Main(line, st, r, fake);
    }
};

} // namespace

class TestStartup : public QObject {
    Q_OBJECT
    ScratchConfig config_;
    QTemporaryDir folders_;

private slots:
    void init() { QFile::remove(config_.file()); }
    void commandLine();
    void storedValues_data();
    void storedValues();
    void folders();
    void modes_data();
    void modes();
    void startFails_data();
    void startFails();
};

void TestStartup::commandLine()
{
    for (auto [line, mode, handle] : {std::tuple{"   ", "/C", 0LL}, {"  /s  ", "/S", 0LL}, {"/Sx", "/S", 0LL}, {"s", "S", 0LL},
                                      {"/p123", "/P", 123LL}, {"/p:4711", "/P", 0LL}, {"/p  4711abc", "/P", 4711LL},
                                      {"/P 99999999999999999999999999", "/P", 999999999999999999LL}}) {
        QCOMPARE(modeWord(line), QString(mode));
        QCOMPARE(parseWindowHandle(line), handle);
    }
}

void TestStartup::storedValues_data()
{
    QTest::addColumn<QString>("blende");
    QTest::addColumn<QStringList>("zblenden");
    QTest::addColumn<int>("single");
    QTest::addColumn<QList<int>>("enabled");
    QTest::newRow("nothing stored") << "" << QStringList{} << 1 << QList<int>{};
    QTest::newRow("blende 0, 3 and 99") << "0" << QStringList{"3", "99"} << 1 << QList<int>{3};
    QTest::newRow("blende 77, 0, 76 and words") << "77" << QStringList{"0", "76", "abc", "12"} << 1 << QList<int>{12, 76};
    QTest::newRow("blende 76, only junk") << "76" << QStringList{"x"} << 76 << QList<int>{};
    QTest::newRow("blende a word") << "zwei" << QStringList{"5"} << 1 << QList<int>{5};
}

// Corrections happen in memory only; a start writes nothing.
void TestStartup::storedValues()
{
    QFETCH(QString, blende);
    QFETCH(QStringList, zblenden);
    QFETCH(int, single);
    QFETCH(QList<int>, enabled);
    Started s("/C", [&](Registry& w) {
        if (blende.isEmpty()) return;
        w.WriteSetting("misc", "blende", blende);
        SettingPairs pairs;
        for (int i = 0; i < zblenden.size(); ++i) pairs.emplace_back(QString("k%1").arg(i), zblenden[i]);
        w.RewriteList("zblenden", pairs);
    });
    QCOMPARE(s.st.settings.blende, single);
    QList<int> on, expected = enabled;
    for (int n = 1; n <= kEffectCount; ++n) {
        if (s.st.effekte[size_t(n)].aktiv) on << n;
        if (blende.isEmpty()) expected << n;
    }
    QCOMPARE(on, expected);
    QCOMPARE(s.r.ReadSetting("misc", "blende", ""), blende);
    s.r.sync();
    QCOMPARE(QFile::exists(config_.file()), !blende.isEmpty());
}

void TestStartup::folders()
{
    const QString a = folders_.path() + "/a", b = folders_.path() + "/b/";
    QDir().mkpath(a);
    QDir().mkpath(b);
    QFile file(folders_.path() + "/file");
    QVERIFY(file.open(QIODevice::WriteOnly));
    Started kept("/S", [&](Registry& w) {
        w.RewriteList("path", {{"1", a}, {"2", folders_.path() + "/gone"}, {"3", ""}, {"4", b}, {"5", file.fileName()}});
    });
    QCOMPARE(kept.st.Folders, (QStringList{a + "/", b}));
    // None left: the current directory stands in.
    Started none("/S", [&](Registry& w) { w.RewriteList("path", {{"1", folders_.path() + "/gone"}}); });
    QCOMPARE(none.st.Folders, QStringList{"/tmp/current/"});
}

void TestStartup::modes_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("opened");
    QTest::addColumn<QString>("laufmodus");
    QTest::addColumn<long long>("parent");
    QTest::addColumn<int>("timing"); // effect 5's loaded delay: 1111 from "delay", 2222 from "pdelay"
    QTest::newRow("none") << "" << "/C" << "Settings" << 0LL << 2222;
    QTest::newRow("/c:55") << "/c:55" << "/C" << "Settings" << 0LL << 2222;
    QTest::newRow("/s") << " /s " << "/S" << "Saver" << 0LL << 1111;
    QTest::newRow("/P 123") << "/P 123" << "/P" << "Preferences" << 123LL << 2222;
    QTest::newRow("/A 77") << "/A 77" << "" << "Password" << 77LL << 0;
    QTest::newRow("/X") << "/X" << "" << "" << 0LL << 0;
}

void TestStartup::modes()
{
    QFETCH(QString, line);
    QFETCH(QString, opened);
    QFETCH(QString, laufmodus);
    QFETCH(long long, parent);
    QFETCH(int, timing);
    Started s(line, [](Registry& w) {
        w.WriteSetting("misc", "letztes_bild", 7);
        w.WriteSetting("delay", "D5", 1111);
        w.WriteSetting("pdelay", "D5", 2222);
    });
    QCOMPARE(s.result, opened.isEmpty() ? StartResult::Ended : StartResult::WindowOpen);
    QCOMPARE(s.fake.opened, opened.isEmpty() ? QStringList{} : QStringList{opened});
    QCOMPARE(s.st.laufmodus, laufmodus);
    QCOMPARE(s.st.ParentWindow, parent);
    QCOMPARE(s.fake.passwordParents.size(), laufmodus == "Password" ? 1 : 0);
    QVERIFY(s.fake.errors.isEmpty());
    if (opened.isEmpty()) return;
    QCOMPARE(s.st.CurrentPictureIndex, 7);
    QCOMPARE(s.st.effekte[5].verzoegerung, timing);
    QCOMPARE(s.st.bildschirmkopie_dc.bitmap()->pixel(63, 47), pixelFromColorRef(0x00ff00));
}

void TestStartup::startFails_data()
{
    QTest::addColumn<int>("failure");
    QTest::addColumn<QString>("error");
    QTest::newRow("second show ends silently") << 0 << "";
    QTest::newRow("no image library") << 1 << "VelmiranoIS.DLL fehlt im Windows-Systemverzeichnis!!!";
    QTest::newRow("capture failed") << 2 << "Fehler in BitBlt in MAIN";
}

void TestStartup::startFails()
{
    QFETCH(int, failure);
    QFETCH(QString, error);
    Started s("/S", {}, failure);
    QCOMPARE(s.result, StartResult::Ended);
    QCOMPARE(s.fake.errors, error.isEmpty() ? QStringList{} : QStringList{error});
    QVERIFY(s.fake.opened.isEmpty());
    QVERIFY(!s.st.bildschirmkopie_dc.exists());
    // The library's decision itself: no JPEG decoder, no show.
    QVERIFY(!ImageLibraryInitialize(QList<QByteArray>{"png", "bmp"}));
    QVERIFY(ImageLibraryInitialize(QList<QByteArray>{"png", "jpeg"}));
}

QTEST_MAIN(TestStartup)
#include "test_startup.moc"
