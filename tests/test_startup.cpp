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

#include <sys/stat.h>
#include <unistd.h>

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
    int inputAt = 0; // the question about input that says yes; 0 never
    int inputQuestions = 0;
    bool inputDuringStart() override { return ++inputQuestions == inputAt; }
};

// Writes the store as a person left it, then starts with that line.
struct Started {
    RunState st;
    Registry r;
    FakeServices fake;
    StartResult result;
    explicit Started(const QString& line, const std::function<void(Registry&)>& store = {}, int failure = -1,
                     int inputAt = 0, long long host = 0)
    {
        if (store) {
            Registry w;
            store(w);
        }
        fake.failure = failure;
        fake.inputAt = inputAt;
        result = Main(line, st, r, fake, host);
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
    void folders_data();
    void folders();
    void modes_data();
    void modes();
    void startFails_data();
    void startFails();
    void inputDuringTheScan_data();
    void inputDuringTheScan();
    void inputSinceTheFirstLook_data();
    void inputSinceTheFirstLook();
    void lockFolder_data();
    void lockFolder();
    void oneShowPerUser();
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

// Entries as a person left them ("@" stands for the scratch folder): which
// folders a run searches, and what the error log says about the others. The
// current directory stands in only when no folder is stored at all.
void TestStartup::folders_data()
{
    QTest::addColumn<QStringList>("stored");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QStringList>("logged");
    const QString missing = "Bildordner nicht gefunden oder nicht lesbar: ", relative = "Bildordner ist kein vollständiger Pfad: ";
    QTest::newRow("existing, with and without separator")
        << QStringList{"@/a", "@/b/"} << QStringList{"@/a/", "@/b/"} << QStringList{};
    QTest::newRow("missing, empty, a file between")
        << QStringList{"@/a", "@/gone", "", "@/b/", "@/file"} << QStringList{"@/a/", "@/b/"}
        << QStringList{missing + "@/gone", relative + "(leer)", missing + "@/file"};
    QTest::newRow("only a missing one: nothing") << QStringList{"/media/usb-stick/Fotos"} << QStringList{}
                                                 << QStringList{missing + "/media/usb-stick/Fotos"};
    QTest::newRow("relative") << QStringList{"b", "./a"} << QStringList{} << QStringList{relative + "b", relative + "./a"};
    QTest::newRow("home shorthand") << QStringList{"~/Bilder"} << QStringList{} << QStringList{relative + "~/Bilder"};
    QTest::newRow("nothing stored: current directory") << QStringList{} << QStringList{"/tmp/current/"} << QStringList{};
}

void TestStartup::folders()
{
    QFETCH(QStringList, stored);
    QFETCH(QStringList, expected);
    QFETCH(QStringList, logged);
    const QString root = folders_.path();
    for (const char* d : {"/a", "/b"}) QDir().mkpath(root + d);
    QFile file(root + "/file");
    QVERIFY(file.open(QIODevice::WriteOnly));
    const auto here = [&root](QStringList l) { return l.replaceInStrings("@", root); };
    // The scratch folder is the current directory: nothing relative may reach it.
    const QString before = QDir::currentPath();
    QDir::setCurrent(root);
    Started s("/S", [&](Registry& w) {
        SettingPairs pairs;
        for (int i = 0; i < stored.size(); ++i) pairs.emplace_back(QString::number(i + 1), here({stored[i]})[0]);
        w.RewriteList("path", pairs);
    });
    QDir::setCurrent(before);
    QCOMPARE(s.st.Folders, here(expected));
    QStringList log;
    for (int k = 0; k < 10; ++k) {
        const QString entry = s.r.ReadSetting("error", QString("number%1").arg(k), "");
        if (!entry.isEmpty()) log << entry.section(' ', 2);
    }
    QCOMPARE(log, here(logged));
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

// A key or the mouse while the show's pictures are searched ends the start
// through the shutdown of a show; the other modes and a daemon's window do
// not ask.
void TestStartup::inputDuringTheScan_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<long long>("host");
    QTest::addColumn<int>("inputAt");
    QTest::addColumn<bool>("ended");
    QTest::newRow("show, first question") << "/S" << 0LL << 1 << true;
    QTest::newRow("show, second folder") << "/S" << 0LL << 2 << true;
    QTest::newRow("show, no input") << "/S" << 0LL << 0 << false;
    QTest::newRow("daemon's window") << "/S" << 4711LL << 1 << false;
    QTest::newRow("dialog") << "/C" << 0LL << 1 << false;
    QTest::newRow("preview") << "/P 5" << 0LL << 1 << false;
}

void TestStartup::inputDuringTheScan()
{
    QFETCH(QString, line);
    QFETCH(long long, host);
    QFETCH(int, inputAt);
    QFETCH(bool, ended);
    const QString root = folders_.path();
    for (const char* d : {"/a", "/b"}) {
        QDir().mkpath(root + d);
        QFile picture(root + d + "/bild.jpg");
        QVERIFY(picture.open(QIODevice::WriteOnly));
    }
    Started s(line, [&](Registry& w) { w.RewriteList("path", {{"1", root + "/a"}, {"2", root + "/b"}}); }, -1, inputAt, host);
    QCOMPARE(s.result, ended ? StartResult::Ended : StartResult::WindowOpen);
    QCOMPARE(s.fake.opened.isEmpty(), ended);
    QCOMPARE(s.st.abbruch, ended);
    QCOMPARE(s.fake.inputQuestions > 0, line == "/S" && host == 0);
    QCOMPARE(s.r.ReadSetting("misc", "message", ""), ended ? QString("SCAN_INPUT ") : QString());
    if (ended) QVERIFY(!s.st.bildschirmkopie_dc.exists());
    else QCOMPARE(s.st.PictureCount(), 2);
}

void TestStartup::inputSinceTheFirstLook_data()
{
    QTest::addColumn<int>("keyByte"); // -1 none
    QTest::addColumn<int>("keyBit");
    QTest::addColumn<QPoint>("moved");
    QTest::addColumn<bool>("ends");
    QTest::newRow("nothing") << -1 << 0 << QPoint(0, 0) << false;
    QTest::newRow("a key") << 5 << 0x10 << QPoint(0, 0) << true;
    QTest::newRow("the last key") << 31 << 0x80 << QPoint(0, 0) << true;
    QTest::newRow("a key held from before") << 3 << 0x01 << QPoint(0, 0) << false;
    QTest::newRow("2 px") << -1 << 0 << QPoint(1, 1) << false;
    QTest::newRow("3 px") << -1 << 0 << QPoint(2, -1) << true;
    QTest::newRow("3 px up") << -1 << 0 << QPoint(0, -3) << true;
}

void TestStartup::inputSinceTheFirstLook()
{
    QFETCH(int, keyByte);
    QFETCH(int, keyBit);
    QFETCH(QPoint, moved);
    QFETCH(bool, ends);
    InputState first;
    first.valid = true;
    first.x = 100;
    first.y = 50;
    first.keys[3] = 0x01; // held since before the start
    InputState now = first;
    now.x += moved.x();
    now.y += moved.y();
    if (keyByte >= 0) now.keys[std::size_t(keyByte)] |= std::uint8_t(keyBit);
    QCOMPARE(inputSince(first, now), ends);
    now.valid = false;
    QVERIFY(!inputSince(first, now)); // no answer from the system is no input
}

// The single-show mark lives only where nobody else can put one: the
// runtime folder when it is ours and closed, else our cache folder.
void TestStartup::lockFolder_data()
{
    QTest::addColumn<QString>("runtime"); // "": unset
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("foreign");    // owned by another user
    QTest::addColumn<bool>("link");       // the runtime folder is a link to a private folder
    QTest::addColumn<bool>("foreignCache"); // the cache's velmirano folder is another user's
    QTest::addColumn<QString>("expected"); // "runtime", "cache" or ""
    QTest::newRow("our runtime folder") << "rt" << 0700 << false << false << false << "runtime";
    QTest::newRow("unset") << "" << 0700 << false << false << false << "cache";
    QTest::newRow("relative") << "rel" << 0700 << false << false << false << "cache";
    QTest::newRow("open to the group") << "rt" << 0750 << false << false << false << "cache";
    QTest::newRow("another user's") << "rt" << 0700 << true << false << false << "cache";
    QTest::newRow("a link") << "rt" << 0700 << false << true << false << "cache";
    QTest::newRow("cache planted too") << "rt" << 0700 << true << false << true << "";
}

void TestStartup::lockFolder()
{
    QFETCH(QString, runtime);
    QFETCH(int, mode);
    QFETCH(bool, foreign);
    QFETCH(bool, link);
    QFETCH(bool, foreignCache);
    QFETCH(QString, expected);
    if ((foreign || foreignCache) && ::geteuid() != 0) QSKIP("making another user's folder needs root");
    QTemporaryDir scratch;
    const QString rt = scratch.path() + "/runtime", cache = scratch.path() + "/cache";
    QVERIFY(QDir().mkpath(rt + "-real"));
    QVERIFY(::chmod(QFile::encodeName(rt + "-real").constData(), mode_t(mode)) == 0);
    if (link) QVERIFY(QFile::link(rt + "-real", rt));
    else QVERIFY(QDir().rename(rt + "-real", rt));
    if (foreign) QVERIFY(::chown(QFile::encodeName(rt).constData(), 65534, 65534) == 0);
    if (foreignCache) {
        QVERIFY(QDir().mkpath(cache + "/velmirano"));
        QVERIFY(::chmod(QFile::encodeName(cache + "/velmirano").constData(), 0700) == 0);
        QVERIFY(::chown(QFile::encodeName(cache + "/velmirano").constData(), 65534, 65534) == 0);
    }
    const QByteArray oldRuntime = qgetenv("XDG_RUNTIME_DIR"), oldCache = qgetenv("XDG_CACHE_HOME");
    if (runtime.isEmpty()) qunsetenv("XDG_RUNTIME_DIR");
    else qputenv("XDG_RUNTIME_DIR", runtime == "rel" ? QByteArray("runtime") : QFile::encodeName(rt));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(cache));
    const QString folder = InstanceLockFolder();
    bool alone = false;
    {
        InstanceGuard guard;
        alone = guard.IsOnlyInstance("VelmiranoTest");
    }
    qputenv("XDG_RUNTIME_DIR", oldRuntime);
    qputenv("XDG_CACHE_HOME", oldCache);
    QCOMPARE(folder, expected == "runtime" ? rt : expected == "cache" ? cache + "/velmirano" : QString());
    QVERIFY(alone); // nothing planted ever blocks the show
    if (expected == "cache") {
        QFileInfo made(cache + "/velmirano");
        QCOMPARE(made.permissions() & 0x0077, QFileDevice::Permissions()); // nobody else's
    }
}

// A second show of the same user sees the first; a mark planted in the
// folder by someone else (another owner, a link) is replaced, not obeyed,
// and a link's target is left alone.
void TestStartup::oneShowPerUser()
{
    QTemporaryDir scratch;
    const QString rt = scratch.path() + "/rt";
    QVERIFY(QDir().mkpath(rt));
    QVERIFY(::chmod(QFile::encodeName(rt).constData(), 0700) == 0);
    const QByteArray old = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(rt));
    const QString mark = rt + "/VelmiranoMainScreen-" + QString::number(::geteuid()) + ".lock";
    {
        InstanceGuard first, second;
        QVERIFY(first.IsOnlyInstance("VelmiranoMainScreen"));
        QVERIFY(!second.IsOnlyInstance("VelmiranoMainScreen"));
    }
    {
        InstanceGuard third;
        QVERIFY(third.IsOnlyInstance("VelmiranoMainScreen")); // the first one ended
    }
    QFile target(scratch.path() + "/fremd");
    QVERIFY(target.open(QIODevice::WriteOnly));
    target.write("unberührt");
    target.close();
    QVERIFY(QFile::remove(mark));
    QVERIFY(QFile::link(target.fileName(), mark));
    {
        InstanceGuard guard;
        QVERIFY(guard.IsOnlyInstance("VelmiranoMainScreen"));
        QVERIFY(!QFileInfo(mark).isSymLink());
    }
    QVERIFY(target.open(QIODevice::ReadOnly));
    QCOMPARE(target.readAll(), QByteArray("unberührt"));
    if (::geteuid() == 0) {
        QVERIFY(::chown(QFile::encodeName(mark).constData(), 65534, 65534) == 0);
        InstanceGuard guard;
        QVERIFY(guard.IsOnlyInstance("VelmiranoMainScreen"));
        QCOMPARE(QFileInfo(mark).ownerId(), ::geteuid());
    }
    qputenv("XDG_RUNTIME_DIR", old);
}

QTEST_MAIN(TestStartup)
#include "test_startup.moc"
