// The picture list: file patterns, wildcard matching, the folder scan on a
// real temporary tree, and every order with its exact tie behaviour.
#include "pictures/loading.h"
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

#include <algorithm>
#include <set>

using namespace vm;

namespace {

// Entries whose file time is (2020-01-01 + seconds) and whose path is `name`.
PictureList entries(const QStringList& names, const QList<int>& seconds = {})
{
    PictureList list;
    const QDateTime base(QDate(2020, 1, 1), QTime(12, 0, 0));
    for (qsizetype i = 0; i < names.size(); ++i)
        list.push_back({names[i], base.addSecs(i < seconds.size() ? seconds[i] : 0)});
    return list;
}

QStringList pathsOf(const PictureList& list)
{
    QStringList out;
    for (const PictureEntry& e : list) out << e.filePath;
    return out;
}

bool touch(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly);
}

// A fixed seed source so random orders are repeatable in a test.
ClockSource fixedSeed(std::uint32_t s)
{
    return [s] { return s; };
}

} // namespace

class TestPictureList : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();

    void fileMasks_data();
    void fileMasks();
    void matchesMask_data();
    void matchesMask();
    void compareNatural_data();
    void compareNatural();

    void sortByDateKeepsTheGapSequencesTieOrder_data();
    void sortByDateKeepsTheGapSequencesTieOrder();
    void sortOrders_data();
    void sortOrders();
    void randomOrderIsAFreshPermutation();

    void scan_data();
    void scan();
    void scanKeepsTheFolderTextAndDropsMilliseconds();
    void namesThatAreNotUtf8AreKeptByteForByte();
    void deepTreeWithFewHandlesAndLongPaths();
    void buildSortsFoldersSkipsMissingOnesAndOrders();

private:
    QTemporaryDir dir_;
    QString root_; // ends with "/"
};

void TestPictureList::initTestCase()
{
    QVERIFY(dir_.isValid());
    root_ = dir_.path() + "/tree/";
    QDir().mkpath(root_ + "sub/deeper");
    QDir().mkpath(root_ + ".versteckt");
    QDir().mkpath(root_ + "system");
    QDir().mkpath(root_ + "ordner.jpg");
    for (const char* f : {"IMG.JPG", "a.jpeg", "b.tiff", "c.png", "d.jpg", ".e.jpg", "f.JpG.txt", "g.gif",
                          "sub/h.jpg", "sub/deeper/i.jpg", ".versteckt/j.jpg", "system/k.jpg", "ordner.jpg/l.jpg"})
        QVERIFY(touch(root_ + f));
    // A link back to the top of the tree, and one that leads nowhere.
    QVERIFY(::symlink(QFile::encodeName(root_).constData(), QFile::encodeName(root_ + "sub/zurueck").constData()) == 0);
    QVERIFY(::symlink("/nirgendwo/m.jpg", QFile::encodeName(root_ + "kaputt.jpg").constData()) == 0);
}

void TestPictureList::fileMasks_data()
{
    QTest::addColumn<QList<int>>("switches"); // jpg bmp tif pcx png gif
    QTest::addColumn<QStringList>("masks");
    QTest::newRow("all off") << QList<int>{0, 0, 0, 0, 0, 0} << QStringList{};
    QTest::newRow("all on") << QList<int>{1, 1, 1, 1, 1, 1}
                            << QStringList{"*.jpg", "*.bmp", "*.tif", "*.pcx", "*.png", "*.gif"};
    QTest::newRow("2 is not on") << QList<int>{2, 0, 0, 0, 1, 0} << QStringList{"*.png"};
}

void TestPictureList::fileMasks()
{
    QFETCH(QList<int>, switches);
    QFETCH(QStringList, masks);
    Settings s;
    s.jpg = switches[0];
    s.bmp = switches[1];
    s.tif = switches[2];
    s.pcx = switches[3];
    s.png = switches[4];
    s.gif = switches[5];
    QCOMPARE(FileMasks(s), masks);
}

void TestPictureList::matchesMask_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("mask");
    QTest::addColumn<bool>("match");
    QTest::newRow("IMG.JPG") << "IMG.JPG" << "*.jpg" << true;
    QTest::newRow("photo.Jpg") << "photo.Jpg" << "*.jpg" << true;
    QTest::newRow("a.jpeg") << "a.jpeg" << "*.jpg" << false;
    QTest::newRow("backup") << "x.jpg.bak" << "*.jpg" << false;
    QTest::newRow("only extension") << ".jpg" << "*.jpg" << true;
    QTest::newRow("no dot") << "jpg" << "*.jpg" << false;
    QTest::newRow("umlaut name") << "Größe.JPG" << "*.jpg" << true;
    QTest::newRow("stars between") << "aXXbYc" << "a*b*c" << true;
    QTest::newRow("stars wrong order") << "acb" << "a*b*c" << false;
    QTest::newRow("backtracking") << "a.jpg.jpg" << "*.jpg" << true;
}

void TestPictureList::matchesMask()
{
    QFETCH(QString, name);
    QFETCH(QString, mask);
    QFETCH(bool, match);
    QCOMPARE(MatchesMask(name, mask), match);
}

void TestPictureList::compareNatural_data()
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
    QTest::newRow("numbers beyond 64 bits") << "n12345678901234567890" << "n12345678901234567891" << -1;
    QTest::newRow("value not length") << "img9.jpg" << "img00010.jpg" << -1;
    QTest::newRow("dot before b") << "img12.jpg" << "img12b.jpg" << -1;
    QTest::newRow("paths") << "/f/Urlaub 2/x.jpg" << "/f/Urlaub 10/a.jpg" << -1;
}

void TestPictureList::compareNatural()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(int, result);
    QCOMPARE(CompareNatural(a, b), result);
    QCOMPARE(CompareNatural(b, a), -result);
}

void TestPictureList::sortByDateKeepsTheGapSequencesTieOrder_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QList<int>>("seconds");
    QTest::addColumn<QStringList>("sorted");
    // Worked by hand through the gaps 2^k - 1, ..., 1: the far swap of the
    // first gap moves D ahead of its equals.
    QTest::newRow("4: gaps 3 1") << QStringList{"A", "B", "C", "D"} << QList<int>{2, 1, 1, 1}
                                 << QStringList{"D", "B", "C", "A"};
    QTest::newRow("5: gaps 3 1") << QStringList{"A", "B", "C", "D", "E"} << QList<int>{2, 1, 1, 2, 1}
                                 << QStringList{"B", "C", "E", "A", "D"};
    QTest::newRow("8: gaps 7 3 1") << QStringList{"A", "B", "C", "D", "E", "F", "G", "H"}
                                   << QList<int>{3, 1, 2, 1, 3, 1, 2, 1}
                                   << QStringList{"H", "B", "F", "D", "C", "G", "E", "A"};
    QTest::newRow("10: gaps 7 3 1") << QStringList{"A", "B", "C", "D", "E", "F", "G", "H", "I", "J"}
                                    << QList<int>{1, 1, 1, 0, 0, 1, 1, 0, 1, 0}
                                    << QStringList{"H", "E", "J", "D", "B", "F", "G", "A", "I", "C"};
    QTest::newRow("all equal") << QStringList{"A", "B", "C"} << QList<int>{5, 5, 5} << QStringList{"A", "B", "C"};
}

void TestPictureList::sortByDateKeepsTheGapSequencesTieOrder()
{
    QFETCH(QStringList, names);
    QFETCH(QList<int>, seconds);
    QFETCH(QStringList, sorted);
    PictureList list = entries(names, seconds);
    Random random;
    SortPictureList(list, kOrderDate, random);
    QCOMPARE(pathsOf(list), sorted);
}

void TestPictureList::sortOrders_data()
{
    QTest::addColumn<int>("order");
    QTest::addColumn<QStringList>("in");
    QTest::addColumn<QStringList>("out");
    const QStringList mixed{"/f/b.jpg", "/f/A.JPG", "/f/a.jpg", "/F/c.jpg"};
    QTest::newRow("0 keeps scan order") << 0 << mixed << mixed;
    QTest::newRow("1 lower-cased, a.jpg equals A.JPG")
        << 1 << mixed << QStringList{"/f/A.JPG", "/f/a.jpg", "/f/b.jpg", "/F/c.jpg"};
    QTest::newRow("1 equal ones keep their places")
        << 1 << QStringList{"/f/b.jpg", "/f/a.jpg", "/f/A.JPG"} << QStringList{"/f/a.jpg", "/f/A.JPG", "/f/b.jpg"};
    QTest::newRow("7 natural") << 7 << QStringList{"/f/Bild10.jpg", "/f/Bild2.jpg", "/f/bild1.jpg", "/f/Bild010.jpg"}
                               << QStringList{"/f/bild1.jpg", "/f/Bild2.jpg", "/f/Bild10.jpg", "/f/Bild010.jpg"};
    // The far swap of gap 3 puts a10 ahead of its equals; gap 1 then swaps none of them.
    QTest::newRow("7 equal ones stay where the gaps leave them")
        << 7 << QStringList{"/f/b", "/f/a010", "/f/A10", "/f/a10"} << QStringList{"/f/a10", "/f/a010", "/f/A10", "/f/b"};
    QTest::newRow("1 is not natural") << 1 << QStringList{"/f/Bild10.jpg", "/f/Bild2.jpg"}
                                      << QStringList{"/f/Bild10.jpg", "/f/Bild2.jpg"};
    QTest::newRow("3 never swaps") << 3 << mixed << mixed;
    QTest::newRow("-1 never swaps") << -1 << mixed << mixed;
}

void TestPictureList::sortOrders()
{
    QFETCH(int, order);
    QFETCH(QStringList, in);
    QFETCH(QStringList, out);
    PictureList list = entries(in);
    Random random;
    SortPictureList(list, order, random);
    QCOMPARE(pathsOf(list), out);
}

void TestPictureList::randomOrderIsAFreshPermutation()
{
    QStringList names;
    for (int i = 0; i < 40; ++i) names << QString("/f/%1.jpg").arg(i);
    Random random;
    PictureList a = entries(names), b = entries(names), c = entries(names);
    SortPictureList(a, kOrderRandom, random, fixedSeed(1));
    SortPictureList(b, kOrderRandom, random, fixedSeed(1));
    SortPictureList(c, kOrderRandom, random, fixedSeed(2));
    QStringList pa = pathsOf(a);
    QCOMPARE(pa.size(), names.size());
    QCOMPARE(QSet<QString>(pa.begin(), pa.end()), QSet<QString>(names.begin(), names.end()));
    QVERIFY(pa != names);
    QCOMPARE(pathsOf(b), pa);      // the seed decides the draw
    QVERIFY(pathsOf(c) != pa);     // a new seed, a new permutation
    // The file times travel with their paths.
    for (const PictureEntry& e : a) QCOMPARE(e.fileTime, QDateTime(QDate(2020, 1, 1), QTime(12, 0, 0)));

    PictureList one = entries({"/f/x.jpg"});
    SortPictureList(one, kOrderRandom, random, fixedSeed(3));
    QCOMPARE(pathsOf(one), QStringList{"/f/x.jpg"});
}

void TestPictureList::scan_data()
{
    QTest::addColumn<bool>("recursive");
    QTest::addColumn<QStringList>("masks");
    QTest::addColumn<bool>("fakeSystemFolder");
    QTest::addColumn<QStringList>("expected"); // relative to the tree, any order
    const QStringList jpg{"*.jpg"};
    QTest::newRow("flat") << false << jpg << false << QStringList{"IMG.JPG", "d.jpg", ".e.jpg"};
    QTest::newRow("recursive")
        << true << jpg << false
        << QStringList{"IMG.JPG", "d.jpg", ".e.jpg", "sub/h.jpg", "sub/deeper/i.jpg", ".versteckt/j.jpg",
                       "system/k.jpg", "ordner.jpg/l.jpg"};
    QTest::newRow("system+hidden folder skipped, hidden entered")
        << true << jpg << true
        << QStringList{"IMG.JPG", "d.jpg", ".e.jpg", "sub/h.jpg", "sub/deeper/i.jpg", ".versteckt/j.jpg",
                       "ordner.jpg/l.jpg"};
    QTest::newRow("png and gif") << false << QStringList{"*.png", "*.gif"} << false << QStringList{"c.png", "g.gif"};
    QTest::newRow("no masks") << true << QStringList{} << false << QStringList{};
}

void TestPictureList::scan()
{
    QFETCH(bool, recursive);
    QFETCH(QStringList, masks);
    QFETCH(bool, fakeSystemFolder);
    QFETCH(QStringList, expected);
    // A stand-in for a file system that has system folders: "system" is
    // directory + system + hidden, ".versteckt" only directory + hidden.
    QStringList asked;
    const AttributeSource fake = [&](const QString& folder, const QString& name, bool isDir) {
        asked << folder + name;
        std::uint32_t a = isDir ? 0x10u : 0u;
        if (name == "system") a |= 0x06;
        if (name.startsWith('.')) a |= 0x02;
        return a;
    };
    ScanOptions options;
    options.masks = masks;
    options.recursive = recursive;
    options.attributes = fakeSystemFolder ? &fake : nullptr;
    PictureList list;
    ScanFolder(root_, options, list);
    QStringList found;
    for (const PictureEntry& e : list) {
        QVERIFY2(e.filePath.startsWith(root_), qPrintable(e.filePath));
        found << e.filePath.mid(root_.size());
    }
    found.sort();
    expected.sort();
    QCOMPARE(found, expected);
    if (fakeSystemFolder) QVERIFY(asked.contains(root_ + "system"));
}

void TestPictureList::scanKeepsTheFolderTextAndDropsMilliseconds()
{
    const QString folder = dir_.path() + "/zeit/";
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(touch(folder + "z.jpg"));
    // 2019-06-30 23:59:58.750 local time.
    const QDateTime when(QDate(2019, 6, 30), QTime(23, 59, 58, 750));
    const qint64 ms = when.toMSecsSinceEpoch();
    struct timespec times[2];
    times[0].tv_sec = times[1].tv_sec = time_t(ms / 1000);
    times[0].tv_nsec = times[1].tv_nsec = long(ms % 1000) * 1000000L;
    QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(folder + "z.jpg").constData(), times, 0) == 0);

    // The folder text is kept exactly, even when it is not the shortest form.
    const QString asGiven = dir_.path() + "/./zeit/";
    ScanOptions options;
    options.masks = {"*.jpg"};
    PictureList list;
    ScanFolder(asGiven, options, list);
    QCOMPARE(list.size(), std::size_t(1));
    QCOMPARE(list[0].filePath, asGiven + "z.jpg");
    QCOMPARE(list[0].fileTime, QDateTime(QDate(2019, 6, 30), QTime(23, 59, 58)));
    QCOMPARE(list[0].fileTime.toLocalTime().time(), QTime(23, 59, 58));
    QCOMPARE(list[0].fileTime.date(), QDate(2019, 6, 30));
}

void TestPictureList::namesThatAreNotUtf8AreKeptByteForByte()
{
    // "café.jpg" written in Latin-1 and a name with a byte sequence that
    // only looks like an escape: both listed, sorted, opened and shown.
    const QByteArray folder = QFile::encodeName(dir_.path()) + "/latin1/";
    QVERIFY(QDir().mkpath(dir_.path() + "/latin1"));
    QFile png(QStringLiteral(VELMIRANO_TEST_DATA "/quadrants.png"));
    QVERIFY(png.open(QIODevice::ReadOnly));
    const QByteArray picture = png.readAll();
    for (const QByteArray& name : {QByteArray("caf\xe9.png"), QByteArray("\xed\xb2\x80x.png")}) {
        const int fd = ::open((folder + name).constData(), O_WRONLY | O_CREAT, 0644);
        QVERIFY(fd >= 0);
        QCOMPARE(::write(fd, picture.constData(), std::size_t(picture.size())), ssize_t(picture.size()));
        ::close(fd);
    }
    ScanOptions options;
    options.masks = {"*.png"};
    PictureList list;
    ScanFolder(PathFromNative(folder), options, list);
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
    // The error log shows the name as Latin-1 text.
    ScratchConfig config;
    Registry registry;
    LogError(registry, "Fehler 5\n" + list[0].filePath, QDateTime(QDate(2024, 3, 5), QTime(7, 8, 9)));
    QCOMPARE(registry.ReadSetting("error", "number0", ""),
             "2024.03.05 07:08:09 Fehler 5\n" + QFile::decodeName(folder) + QString::fromUtf8("café.png"));
    QCOMPARE(PathFromNative("Gr\xc3\xb6\xc3\x9f" "e"), QString::fromUtf8("Größe"));
    // Qt's own removal cannot name these files.
    QCOMPARE(QProcess::execute("rm", {"-rf", PathFromNative(folder)}), 0);
}

void TestPictureList::deepTreeWithFewHandlesAndLongPaths()
{
    // 400 folders of 15-letter names, one in the next: a 6400-byte path and
    // more levels than this process may open at once.
    struct rlimit saved {};
    QVERIFY(::getrlimit(RLIMIT_NOFILE, &saved) == 0);
    struct rlimit low = saved;
    low.rlim_cur = 200;
    QVERIFY(::setrlimit(RLIMIT_NOFILE, &low) == 0);
    const QString top = dir_.path() + "/tief/";
    QVERIFY(QDir().mkpath(top));
    const char* name = "verzeichnis-abc";
    int fd = ::open(QFile::encodeName(top).constData(), O_RDONLY | O_DIRECTORY);
    QString expected = top;
    for (int level = 0; level < 400 && fd >= 0; ++level) {
        QVERIFY(::mkdirat(fd, name, 0755) == 0);
        if (level == 7) QVERIFY(::close(::openat(fd, "flach.png", O_WRONLY | O_CREAT, 0644)) == 0);
        const int next = ::openat(fd, name, O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = next;
        expected += QLatin1String(name) + '/';
    }
    QVERIFY(fd >= 0);
    QFile png(QStringLiteral(VELMIRANO_TEST_DATA "/quadrants.png"));
    QVERIFY(png.open(QIODevice::ReadOnly));
    const QByteArray picture = png.readAll();
    const int file = ::openat(fd, "unten.png", O_WRONLY | O_CREAT, 0644);
    QCOMPARE(::write(file, picture.constData(), std::size_t(picture.size())), ssize_t(picture.size()));
    ::close(file);
    ::close(fd);

    ScanOptions options;
    options.masks = {"*.png"};
    options.recursive = true;
    PictureList list;
    ScanFolder(top, options, list);
    ::setrlimit(RLIMIT_NOFILE, &saved);
    QCOMPARE(list.size(), std::size_t(2));
    const bool flatFirst = list[0].filePath.endsWith("/flach.png");
    QVERIFY(list[flatFirst ? 0 : 1].filePath.endsWith("/flach.png"));
    QCOMPARE(list[flatFirst ? 1 : 0].filePath, expected + "unten.png");
    RgbImage img;
    QCOMPARE(LoadPicture(expected + "unten.png", "PNG", false, img), QString());
    QCOMPARE(img.height, 29);
    // QTemporaryDir cannot remove a path this long; rm walks it relative to each folder.
    QCOMPARE(QProcess::execute("rm", {"-rf", top}), 0);
}

void TestPictureList::buildSortsFoldersSkipsMissingOnesAndOrders()
{
    const QString base = dir_.path() + "/bau/";
    for (const char* f : {"b/Bild10.jpg", "b/Bild2.jpg", "A/z.jpg", "A/y.png"}) {
        QVERIFY(QDir().mkpath(base + QString(f).section('/', 0, 0)));
        QVERIFY(touch(base + f));
    }
    RunState state;
    state.settings.jpg = 1;
    state.settings.png = 0;
    state.settings.recursive = 0;
    state.settings.reihenfolge = kOrderNatural;
    // Folders in code-unit order: Z/ before b/.
    QVERIFY(QDir().mkpath(base + "Z"));
    state.Folders = {base + "b/", base + "fehlt/", base + "Z/", base + "A/"};
    BuildPictureList(state);
    QCOMPARE(state.Folders, (QStringList{base + "A/", base + "Z/", base + "b/", base + "fehlt/"}));
    QCOMPARE(pathsOf(state.pictureList), (QStringList{base + "A/z.jpg", base + "b/Bild2.jpg", base + "b/Bild10.jpg"}));
    QCOMPARE(state.PictureCount(), 3);

    // A rebuild replaces the list.
    state.settings.png = 1;
    state.settings.reihenfolge = kOrderName;
    BuildPictureList(state);
    QCOMPARE(pathsOf(state.pictureList),
             (QStringList{base + "A/y.png", base + "A/z.jpg", base + "b/Bild10.jpg", base + "b/Bild2.jpg"}));
}

QTEST_GUILESS_MAIN(TestPictureList)
#include "test_picturelist.moc"
