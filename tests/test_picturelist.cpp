// The picture list: file patterns, wildcard matching, the folder scan on a
// real temporary tree, and every order with its exact tie behaviour.
#include "imaging/loading.h"
#include "pictures/picturelist.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "settings/settings.h"
#include "start/errorlog.h"
#include "state/runstate.h"
#include "testutil.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace vm;

namespace {

// Entries named `names` whose file times are 2020-01-01 12:00 + seconds.
PictureList entries(const QStringList& names, const QList<int>& seconds = {})
{
    PictureList list;
    const QDateTime base(QDate(2020, 1, 1), QTime(12, 0, 0));
    for (qsizetype i = 0; i < names.size(); ++i) list.push_back({names[i], base.addSecs(seconds.value(i))});
    return list;
}

QStringList pathsOf(const PictureList& list)
{
    QStringList out;
    for (const PictureEntry& e : list) out << e.filePath;
    return out;
}

// A small PNG at a path given in the file system's bytes, relative to `dir`.
bool writePicture(int dir, const QByteArray& path)
{
    QFile png(testData("quadrants.png"));
    const QByteArray bytes = png.open(QIODevice::ReadOnly) ? png.readAll() : QByteArray();
    const int fd = ::openat(dir, path.constData(), O_WRONLY | O_CREAT, 0644);
    const bool ok = fd >= 0 && ::write(fd, bytes.constData(), std::size_t(bytes.size())) == ssize_t(bytes.size());
    return ::close(fd) == 0 && ok && !bytes.isEmpty();
}

} // namespace

class TestPictureList : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QString root_; // ends with "/"

private slots:
    void initTestCase()
    {
        root_ = dir_.path() + "/tree/";
        for (const char* d : {"sub/deeper", ".versteckt", "system", "ordner.jpg"}) QDir().mkpath(root_ + d);
        for (const char* f : {"IMG.JPG", "a.jpeg", "b.tiff", "c.png", "d.jpg", ".e.jpg", "f.JpG.txt", "g.gif",
                              "sub/h.jpg", "sub/deeper/i.jpg", ".versteckt/j.jpg", "system/k.jpg", "ordner.jpg/l.jpg"})
            QVERIFY(writeFile(root_ + f));
        // A link back to the top of the tree, and one that leads nowhere.
        QVERIFY(::symlink(QFile::encodeName(root_).constData(), QFile::encodeName(root_ + "sub/zurueck").constData()) == 0);
        QVERIFY(::symlink("/nirgendwo/m.jpg", QFile::encodeName(root_ + "kaputt.jpg").constData()) == 0);
    }

    // One pattern per type switched on (exactly 1), in this order.
    void fileMasks()
    {
        Settings s;
        // The phone and web formats are on unless switched off.
        QCOMPARE(FileMasks(s), QStringList({"*.jpg", "*.heic", "*.heif", "*.avif", "*.webp", "*.jxl"}));
        s.jpg = s.heic = s.avif = s.webp = s.jxl = 0;
        QVERIFY(FileMasks(s).isEmpty());
        s.jpg = s.bmp = s.tif = s.pcx = s.png = s.gif = 1;
        QCOMPARE(FileMasks(s), QStringList({"*.jpg", "*.bmp", "*.tif", "*.pcx", "*.png", "*.gif"}));
        s.jpg = 2;
        s.bmp = s.tif = s.pcx = s.gif = 0;
        s.webp = 1;
        QCOMPARE(FileMasks(s), QStringList({"*.png", "*.webp"}));
    }

    void matchesMask_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("mask");
        QTest::addColumn<bool>("match");
        QTest::newRow("IMG.JPG") << "IMG.JPG" << "*.jpg" << true;
        QTest::newRow("IMG_0001.HEIC") << "IMG_0001.HEIC" << "*.heic" << true;
        QTest::newRow("Foto.Heif") << "Foto.Heif" << "*.heif" << true;
        QTest::newRow("web.WebP") << "web.WebP" << "*.webp" << true;
        QTest::newRow("x.jxl.part") << "x.jxl.part" << "*.jxl" << false;
        QTest::newRow("umlaut name") << "Größe.Jpg" << "*.jpg" << true;
        QTest::newRow("a.jpeg") << "a.jpeg" << "*.jpg" << false;
        QTest::newRow("b.tiff") << "b.tiff" << "*.tif" << false;
        QTest::newRow("backup") << "x.jpg.bak" << "*.jpg" << false;
        QTest::newRow("only extension") << ".jpg" << "*.jpg" << true;
        QTest::newRow("no dot") << "jpg" << "*.jpg" << false;
        QTest::newRow("stars between") << "aXXbYc" << "a*b*c" << true;
        QTest::newRow("stars wrong order") << "acb" << "a*b*c" << false;
        QTest::newRow("backtracking") << "a.jpg.jpg" << "*.jpg" << true;
        QTest::newRow("trailing stars") << "ab" << "ab**" << true;
    }
    void matchesMask()
    {
        QFETCH(QString, name);
        QFETCH(QString, mask);
        QFETCH(bool, match);
        QCOMPARE(MatchesMask(name, mask), match);
    }

    void compareNatural_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<int>("result");
        QTest::newRow("Bild2 before Bild10") << "Bild2" << "Bild10" << -1;
        QTest::newRow("10 equals 010") << "10" << "010" << 0;
        QTest::newRow("case ignored") << "Bild.JPG" << "bild.jpg" << 0;
        QTest::newRow("letters") << "abc" << "abd" << -1;
        QTest::newRow("prefix is less") << "ab" << "abc" << -1;
        QTest::newRow("empty first") << "" << "a" << -1;
        QTest::newRow("digit before letter") << "1" << "a" << -1;
        QTest::newRow("beyond 64 bits") << "n12345678901234567890" << "n12345678901234567891" << -1;
        QTest::newRow("value not length") << "img9.jpg" << "img00010.jpg" << -1;
        QTest::newRow("dot before b") << "img12.jpg" << "img12b.jpg" << -1;
        QTest::newRow("paths") << "/f/Urlaub 2/x.jpg" << "/f/Urlaub 10/a.jpg" << -1;
    }
    void compareNatural()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(int, result);
        QCOMPARE(CompareNatural(a, b), result);
        QCOMPARE(CompareNatural(b, a), -result);
    }

    // Equal keys end where the Shell sort's gaps 2^k - 1, ..., 3, 1 leave
    // them (worked by hand): a far swap moves an element ahead of its equals.
    void sortOrders_data()
    {
        QTest::addColumn<int>("order");
        QTest::addColumn<QStringList>("in");
        QTest::addColumn<QList<int>>("seconds");
        QTest::addColumn<QStringList>("out");
        const QStringList mixed{"/f/b.jpg", "/f/A.JPG", "/f/a.jpg", "/F/c.jpg"}, abc{"A", "B", "C", "D", "E", "F", "G", "H", "I", "J"};
        QTest::newRow("0 scan order") << 0 << mixed << QList<int>{} << mixed;
        QTest::newRow("1 lower-cased") << 1 << mixed << QList<int>{} << QStringList{"/f/A.JPG", "/f/a.jpg", "/f/b.jpg", "/F/c.jpg"};
        QTest::newRow("1 equals stay") << 1 << QStringList{"/f/b.jpg", "/f/a.jpg", "/f/A.JPG"} << QList<int>{}
                                       << QStringList{"/f/a.jpg", "/f/A.JPG", "/f/b.jpg"};
        QTest::newRow("1 is not natural") << 1 << QStringList{"/f/Bild10.jpg", "/f/Bild2.jpg"} << QList<int>{}
                                          << QStringList{"/f/Bild10.jpg", "/f/Bild2.jpg"};
        QTest::newRow("2 gaps 3 1") << 2 << abc.mid(0, 4) << QList<int>{2, 1, 1, 1} << QStringList{"D", "B", "C", "A"};
        QTest::newRow("2 gaps 3 1, 5") << 2 << abc.mid(0, 5) << QList<int>{2, 1, 1, 2, 1} << QStringList{"B", "C", "E", "A", "D"};
        QTest::newRow("2 gaps 7 3 1") << 2 << abc.mid(0, 8) << QList<int>{3, 1, 2, 1, 3, 1, 2, 1}
                                      << QStringList{"H", "B", "F", "D", "C", "G", "E", "A"};
        QTest::newRow("2 gaps 7 3 1, 10") << 2 << abc << QList<int>{1, 1, 1, 0, 0, 1, 1, 0, 1, 0}
                                          << QStringList{"H", "E", "J", "D", "B", "F", "G", "A", "I", "C"};
        QTest::newRow("2 all equal") << 2 << abc.mid(0, 3) << QList<int>{5, 5, 5} << abc.mid(0, 3);
        QTest::newRow("7 natural") << 7 << QStringList{"/f/Bild10.jpg", "/f/Bild2.jpg", "/f/bild1.jpg", "/f/Bild010.jpg"}
                                   << QList<int>{} << QStringList{"/f/bild1.jpg", "/f/Bild2.jpg", "/f/Bild10.jpg", "/f/Bild010.jpg"};
        QTest::newRow("7 equals") << 7 << QStringList{"/f/b", "/f/a010", "/f/A10", "/f/a10"} << QList<int>{}
                                  << QStringList{"/f/a10", "/f/a010", "/f/A10", "/f/b"};
        QTest::newRow("3 never swaps") << 3 << mixed << QList<int>{} << mixed;
    }
    void sortOrders()
    {
        QFETCH(int, order);
        QFETCH(QStringList, in);
        QFETCH(QList<int>, seconds);
        QFETCH(QStringList, out);
        PictureList list = entries(in, seconds);
        Random random;
        SortPictureList(list, order, random);
        QCOMPARE(pathsOf(list), out);
        for (const PictureEntry& e : list) // times travel with their paths
            QCOMPARE(e.fileTime, entries(in, seconds)[std::size_t(in.indexOf(e.filePath))].fileTime);
    }

    void randomOrderIsAFreshPermutation()
    {
        QStringList names;
        for (int i = 0; i < 40; ++i) names << QString("/f/%1.jpg").arg(i);
        Random random;
        QList<QStringList> drawn;
        for (std::uint32_t seed : {1, 1, 2}) {
            PictureList list = entries(names);
            SortPictureList(list, kOrderRandom, random, [seed] { return seed; });
            drawn << pathsOf(list);
        }
        QCOMPARE(QSet<QString>(drawn[0].begin(), drawn[0].end()), QSet<QString>(names.begin(), names.end()));
        QVERIFY(drawn[0] != names && drawn[1] == drawn[0] && drawn[2] != drawn[0]); // the seed decides
    }

    void scan_data()
    {
        QTest::addColumn<bool>("recursive");
        QTest::addColumn<QStringList>("masks");
        QTest::addColumn<bool>("systemFolder");
        QTest::addColumn<QStringList>("expected"); // any order
        const QStringList top{"IMG.JPG", "d.jpg", ".e.jpg"}, deeper{"sub/h.jpg", "sub/deeper/i.jpg", ".versteckt/j.jpg", "ordner.jpg/l.jpg"};
        QTest::newRow("flat") << false << QStringList{"*.jpg"} << false << top;
        QTest::newRow("recursive") << true << QStringList{"*.jpg"} << false << top + deeper + QStringList{"system/k.jpg"};
        QTest::newRow("system+hidden skipped, hidden entered") << true << QStringList{"*.jpg"} << true << top + deeper;
        QTest::newRow("png and gif") << false << QStringList{"*.png", "*.gif"} << false << QStringList{"c.png", "g.gif"};
        QTest::newRow("no masks") << true << QStringList{} << false << QStringList{};
    }
    void scan()
    {
        QFETCH(bool, recursive);
        QFETCH(QStringList, masks);
        QFETCH(bool, systemFolder);
        QFETCH(QStringList, expected);
        // A file system with system folders: "system" is directory + system
        // + hidden, ".versteckt" directory + hidden.
        const AttributeSource fake = [&](const QString&, const QString& name, bool isDir) {
            return (isDir ? 0x10u : 0u) | (name == "system" ? 0x06u : 0u) | (name.startsWith('.') ? 0x02u : 0u);
        };
        PictureList list;
        ScanFolder(root_, ScanOptions{masks, recursive, systemFolder ? &fake : nullptr}, list);
        QStringList found;
        for (const PictureEntry& e : list) found << e.filePath.mid(root_.size());
        found.sort();
        expected.sort();
        QCOMPARE(found, expected);
        for (const PictureEntry& e : list) QVERIFY(e.filePath.startsWith(root_));
    }

    // The folder text is kept as given; the file time is local, whole seconds.
    void scanKeepsTheFolderTextAndDropsMilliseconds()
    {
        QVERIFY(QDir().mkpath(dir_.path() + "/zeit"));
        QVERIFY(writeFile(dir_.path() + "/zeit/z.jpg"));
        const qint64 ms = QDateTime(QDate(2019, 6, 30), QTime(23, 59, 58, 750)).toMSecsSinceEpoch();
        struct timespec times[2];
        times[0].tv_sec = times[1].tv_sec = time_t(ms / 1000);
        times[0].tv_nsec = times[1].tv_nsec = long(ms % 1000) * 1000000L;
        QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(dir_.path() + "/zeit/z.jpg").constData(), times, 0) == 0);
        const QString asGiven = dir_.path() + "/./zeit/";
        PictureList list;
        ScanFolder(asGiven, ScanOptions{{"*.jpg"}}, list);
        QCOMPARE(list.size(), std::size_t(1));
        QCOMPARE(list[0].filePath, asGiven + "z.jpg");
        QCOMPARE(list[0].fileTime, QDateTime(QDate(2019, 6, 30), QTime(23, 59, 58)));
        QCOMPARE(list[0].fileTime.toLocalTime().time(), QTime(23, 59, 58));
    }

    // "café" in Latin-1 and a byte sequence that only looks like an escape:
    // both listed, sorted, opened, and logged as Latin-1 text.
    void namesThatAreNotUtf8AreKeptByteForByte()
    {
        const QByteArray folder = QFile::encodeName(dir_.path()) + "/latin1/";
        QVERIFY(QDir().mkpath(dir_.path() + "/latin1"));
        QVERIFY(writePicture(AT_FDCWD, folder + "caf\xe9.png") && writePicture(AT_FDCWD, folder + "\xed\xb2\x80x.png"));
        PictureList list;
        ScanFolder(PathFromNative(folder), ScanOptions{{"*.png"}}, list);
        Random random;
        SortPictureList(list, kOrderName, random);
        QCOMPARE(list.size(), std::size_t(2));
        QCOMPARE(NativePath(list[0].filePath), folder + "caf\xe9.png");
        QCOMPARE(NativePath(list[1].filePath), folder + "\xed\xb2\x80x.png");
        for (const PictureEntry& e : list) {
            RgbImage img;
            QCOMPARE(LoadPicture(e.filePath, "PNG", false, img), QString());
            QCOMPARE(img.width, 45);
        }
        ScratchConfig config;
        Registry registry;
        LogError(registry, "Fehler 5\n" + list[0].filePath, QDateTime(QDate(2024, 3, 5), QTime(7, 8, 9)));
        QCOMPARE(registry.ReadSetting("error", "number0", ""),
                 "2024.03.05 07:08:09 Fehler 5\n" + QFile::decodeName(folder) + QString::fromUtf8("café.png"));
        QCOMPARE(QProcess::execute("rm", {"-rf", PathFromNative(folder)}), 0); // Qt cannot name these files
    }

    // 400 folders of 15 letters, one in the next: a 6400-byte path and more
    // levels than the process may open at once.
    void deepTreeWithFewHandlesAndLongPaths()
    {
        struct rlimit saved {};
        QVERIFY(::getrlimit(RLIMIT_NOFILE, &saved) == 0);
        struct rlimit low = saved;
        low.rlim_cur = 200;
        QVERIFY(::setrlimit(RLIMIT_NOFILE, &low) == 0);
        const QString top = dir_.path() + "/tief/";
        QVERIFY(QDir().mkpath(top));
        int fd = ::open(QFile::encodeName(top).constData(), O_RDONLY | O_DIRECTORY);
        QString deepest = top;
        for (int level = 0; level < 400 && fd >= 0; ++level) {
            QVERIFY(::mkdirat(fd, "verzeichnis-abc", 0755) == 0);
            if (level == 7) QVERIFY(writePicture(fd, "flach.png"));
            const int next = ::openat(fd, "verzeichnis-abc", O_RDONLY | O_DIRECTORY);
            ::close(fd);
            fd = next;
            deepest += "verzeichnis-abc/";
        }
        QVERIFY(fd >= 0 && writePicture(fd, "unten.png"));
        ::close(fd);
        PictureList list;
        ScanFolder(top, ScanOptions{{"*.png"}, true}, list);
        ::setrlimit(RLIMIT_NOFILE, &saved);
        QStringList found = pathsOf(list);
        found.sort();
        QCOMPARE(found, QStringList({top + QString("verzeichnis-abc/").repeated(7) + "flach.png", deepest + "unten.png"}));
        RgbImage img;
        QCOMPARE(LoadPicture(deepest + "unten.png", "PNG", false, img), QString());
        QCOMPARE(img.height, 29);
        QCOMPARE(QProcess::execute("rm", {"-rf", top}), 0); // too long for QTemporaryDir
    }

    // A key during the start-up scan: the scan stops at the next question,
    // the list stays empty and the run ends; questions come at most every
    // 20 ms of the clock (here each look at it moves it by `step` ms).
    void scanStops_data()
    {
        QTest::addColumn<int>("stopAt"); // the question that says stop; 0 never
        QTest::addColumn<int>("step");
        QTest::addColumn<int>("asked");  // -1: at least one per folder
        QTest::newRow("at once") << 1 << 25 << 1;
        QTest::newRow("mid-way") << 3 << 25 << 3;
        QTest::newRow("never") << 0 << 25 << -1;
        QTest::newRow("clock standing: once per folder") << 0 << 0 << 2;
        QTest::newRow("clock standing, stop at the second folder") << 2 << 0 << 2;
    }
    void scanStops()
    {
        QFETCH(int, stopAt);
        QFETCH(int, step);
        QFETCH(int, asked);
        RunState state;
        state.settings.recursive = 1;
        state.settings.png = 1;
        state.Folders << root_ << root_ + "sub/";
        int questions = 0;
        state.scanStop = [&] { return ++questions == stopAt; };
        BuildPictureList(state); // the real clock: at least the first question
        const int unpaced = questions;
        questions = 0;
        std::uint32_t now = 1000;
        ScanOptions options{FileMasks(state.settings), true, nullptr, &state.scanStop, [&] { return now += std::uint32_t(step); }};
        PictureList list;
        bool whole = true;
        for (const QString& f : state.Folders) whole = whole && ScanFolder(f, options, list);
        QCOMPARE(whole, stopAt == 0);
        if (asked >= 0) QCOMPARE(questions, asked);
        else QVERIFY2(questions > 2, qPrintable(QString::number(questions)));
        if (stopAt == 1) {
            QCOMPARE(unpaced, 1);
            QVERIFY(state.pictureList.empty());
            QVERIFY(state.abbruch);
        }
        if (stopAt == 0) {
            RunState plain;
            plain.settings = state.settings;
            plain.settings.reihenfolge = state.settings.reihenfolge = kOrderName;
            plain.Folders = state.Folders;
            BuildPictureList(plain);
            BuildPictureList(state);
            QVERIFY(!state.pictureList.empty());
            QCOMPARE(pathsOf(state.pictureList), pathsOf(plain.pictureList));
            QVERIFY(!state.abbruch);
        }
    }

    // Twelve folders in code-unit order (missing ones add nothing), then
    // the pictures in the chosen order; a rebuild replaces the list.
    void build()
    {
        const QString base = dir_.path() + "/bau/";
        for (const char* f : {"b/Bild10.jpg", "b/Bild2.jpg", "A/z.jpg", "A/y.png"}) {
            QVERIFY(QDir().mkpath(base + QString(f).section('/', 0, 0)));
            QVERIFY(writeFile(base + f));
        }
        RunState state;
        state.settings.reihenfolge = kOrderNatural;
        for (const char* f : {"b", "fehlt", "Z", "A", "10", "2", "1", "ä", "a", "B", "12", "_"})
            state.Folders << base + QString::fromUtf8(f) + "/";
        BuildPictureList(state);
        QStringList sorted;
        for (const char* f : {"1", "10", "12", "2", "A", "B", "Z", "_", "a", "b", "fehlt", "ä"})
            sorted << base + QString::fromUtf8(f) + "/";
        QCOMPARE(state.Folders, sorted);
        QCOMPARE(pathsOf(state.pictureList), (QStringList{base + "A/z.jpg", base + "b/Bild2.jpg", base + "b/Bild10.jpg"}));
        state.settings.png = 1;
        state.settings.reihenfolge = kOrderName;
        BuildPictureList(state);
        QCOMPARE(pathsOf(state.pictureList),
                 (QStringList{base + "A/y.png", base + "A/z.jpg", base + "b/Bild10.jpg", base + "b/Bild2.jpg"}));
    }
};

QTEST_GUILESS_MAIN(TestPictureList)
#include "test_picturelist.moc"
