// The decoder's confinement from inside (a probe that starts and locks down
// like the decoder, then tries what a taken-over decoder would try), with and
// without Landlock; the pictures the show hands over; and the show's own
// descriptors, none of which may reach a child.
#include "platform/childprocess.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/sandbox.h"
#include "platform/signals.h"
#include "testutil.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <sched.h>
#include <set>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace vm;

namespace {

// A process of the same user that the probe tries to reach.
class Victim {
public:
    Victim()
    {
        pid_ = ::fork();
        if (pid_ == 0) {
            for (;;) ::pause();
        }
    }
    ~Victim()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    Victim(const Victim&) = delete;
    Victim& operator=(const Victim&) = delete;
    pid_t pid() const { return pid_; }
    bool alive() const { return ::kill(pid_, 0) == 0 && ::waitpid(pid_, nullptr, WNOHANG) == 0; }
    // Everything the probe tries to change, as one text.
    QByteArray state() const
    {
        QFile limits(QStringLiteral("/proc/%1/limits").arg(pid_));
        QByteArray cpu;
        if (limits.open(QIODevice::ReadOnly))
            for (const QByteArray& line : limits.readAll().split('\n'))
                if (line.startsWith("Max cpu time")) cpu = line.simplified();
        errno = 0;
        const int nice = ::getpriority(PRIO_PROCESS, id_t(pid_));
        cpu_set_t set;
        CPU_ZERO(&set);
        ::sched_getaffinity(pid_, sizeof set, &set);
        return cpu + " nice=" + QByteArray::number(nice) + " cpus=" + QByteArray::number(CPU_COUNT(&set)) +
               " policy=" + QByteArray::number(::sched_getscheduler(pid_));
    }

private:
    pid_t pid_ = -1;
};

QMap<QByteArray, QByteArray> lines(QByteArrayView output)
{
    QMap<QByteArray, QByteArray> m;
    for (const QByteArray& line : output.toByteArray().split('\n')) {
        const qsizetype eq = line.indexOf('=');
        if (eq > 0 && !line.contains(' ')) m.insert(line.left(eq), line.mid(eq + 1));
        else if (!line.isEmpty()) m.insert("report", line);
    }
    return m;
}

std::set<int> openDescriptors()
{
    std::set<int> fds;
    for (const QString& name : QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System))
        fds.insert(name.toInt());
    return fds;
}

} // namespace

class TestSandbox : public QObject {
    Q_OBJECT
public:
    explicit TestSandbox(std::set<int> inherited) : inherited_(std::move(inherited)) {}

private slots:
    void probe_data();
    void probe();
    void warningText_data();
    void warningText();
    void reportCrossing();
    void openPicture_data();
    void openPicture();
    void showDescriptorsCloseOnExec();

private:
    std::set<int> inherited_;
};

// Every attempt of the probe: refused, except the three a decoder needs.
void TestSandbox::probe_data()
{
    QTest::addColumn<bool>("landlock");
    QTest::addColumn<bool>("fonts");
    QTest::addColumn<bool>("threads");
    QTest::newRow("as the kernel offers") << true << false << false;
    QTest::newRow("as the kernel offers, with fonts") << true << true << false;
    QTest::newRow("as the kernel offers, with threads") << true << false << true;
    QTest::newRow("without Landlock") << false << false << false;
}

void TestSandbox::probe()
{
    QFETCH(bool, landlock);
    QFETCH(bool, fonts);
    QFETCH(bool, threads);
    QTemporaryDir dir;
    QFile handed(dir.filePath(QStringLiteral("handed.jpg")));
    QVERIFY(handed.open(QIODevice::WriteOnly));
    handed.write("picture");
    handed.close();
    QFile other(dir.filePath(QStringLiteral("other.jpg")));
    QVERIFY(other.open(QIODevice::WriteOnly));
    other.write("secret");
    other.close();
    const OpenedPicture picture = OpenPictureFile(handed.fileName());
    QVERIFY(picture.file.valid());

    Victim victim;
    const QByteArray before = victim.state();
    QStringList args{QString::number(victim.pid()), other.fileName(), dir.path()};
    if (fonts) args.prepend(QStringLiteral("--fonts"));
    if (threads) args.prepend(QStringLiteral("--threads"));
    QString program = QStringLiteral(SANDBOX_PROBE);
    if (!landlock) {
        args.prepend(program);
        program = QStringLiteral(NO_LANDLOCK);
    }
    ChildLimits limits;
    limits.deadlineMs = 60000;
    limits.maxOutputBytes = 64 * 1024;
    IsolatedChild child(program, args, {}, limits, picture.file.get());
    child.waitBlocking();
    QCOMPARE(child.end(), ChildEnd::Exited);
    const QMap<QByteArray, QByteArray> found = lines(child.output());

    const int abi = landlock ? LandlockAbi() : 0;
    const QByteArray report = "landlock=" + QByteArray::number(abi) + " files=" + (abi > 0 ? "1" : "0") +
                              " scoped=" + (abi >= 6 ? "1" : "0") + " filter=1 failed=0";
    QCOMPARE(found.value("report"), report);
    QCOMPARE(found.value("fds"), QByteArray("0,1,2,3,4"));
    // Threads, where allowed, are threads of the decoder: a new process is
    // refused all the same (the "fork" attempt below).
    QCOMPARE(found.value("threads-made") != "0", threads);
    for (const char* needed : {"read-handed", "prlimit-self", "kill-self"})
        QVERIFY2(found.value(needed) == "done", needed);
    // Without file rules a sanitizer build still opens for reading (its
    // memory watch reads /proc); everything else is refused in every build.
    const bool readsOpen = abi == 0 && (fonts || SanitizerBuild());
    for (const char* attempt :
         {"prlimit-other", "prlimit-parent", "setpriority", "sched_setaffinity", "sched_setscheduler", "ioprio_set",
          "kill-other", "kill-parent", "tkill-other", "pidfd_open", "process_vm_readv", "ptrace", "threads",
          "write-inherited-socket", "fcntl-setown", "fcntl-setsig", "ioctl-tiocsti", "open-other-file",
          "list-folder", "read-parent-environ", "write-file", "socket-unix", "socket-inet", "fork", "execve"}) {
        const bool reading = QByteArrayView(attempt) == "open-other-file" || QByteArrayView(attempt) == "list-folder" ||
                             QByteArrayView(attempt) == "read-parent-environ";
        const bool allowed = (reading && readsOpen) || (threads && QByteArrayView(attempt) == "threads");
        QVERIFY2(found.value(attempt) == (allowed ? "done" : "refused"),
                 qPrintable(QString::fromLatin1(attempt) + QStringLiteral(": ") + QString::fromLatin1(found.value(attempt))));
    }
    QVERIFY(victim.alive());
    QCOMPARE(victim.state(), before);
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("escaped"))));
}

// What the show logs once per run and what the info dialog shows.
void TestSandbox::warningText_data()
{
    QTest::addColumn<int>("abi");
    QTest::addColumn<bool>("files");
    QTest::addColumn<bool>("filter");
    QTest::addColumn<QString>("warning");
    QTest::newRow("all in force") << 7 << true << true << QString();
    QTest::newRow("no Landlock") << 0 << false << true
                                 << QStringLiteral("Bilddecoder läuft ohne Dateischutz: dieser Kernel kennt Landlock nicht");
    QTest::newRow("no seccomp") << 7 << true << false
                                << QStringLiteral("Bilddecoder läuft ohne Systemaufruf-Filter: dieser Kernel kennt seccomp nicht");
    QTest::newRow("neither") << 0 << false << false
                             << QStringLiteral("Bilddecoder läuft ohne Dateischutz: dieser Kernel kennt Landlock nicht\n"
                                               "Bilddecoder läuft ohne Systemaufruf-Filter: dieser Kernel kennt seccomp nicht");
}

void TestSandbox::warningText()
{
    QFETCH(int, abi);
    QFETCH(bool, files);
    QFETCH(bool, filter);
    QFETCH(QString, warning);
    SandboxReport r;
    r.landlockAbi = abi;
    r.filesConfined = files;
    r.syscallFilter = filter;
    QCOMPARE(ConfinementWarning(r), warning);
    if (warning.isEmpty())
        QVERIFY(ConfinementSummary(r).startsWith(QStringLiteral("Bilddecoder abgeschirmt: Landlock 7")));
    else
        QCOMPARE(ConfinementSummary(r), warning);
}

// A report crosses as two bytes; anything else is no report.
void TestSandbox::reportCrossing()
{
    SandboxReport r;
    r.landlockAbi = 6;
    r.filesConfined = r.scoped = r.syscallFilter = true;
    QCOMPARE(ParseSandboxReport(EncodeSandboxReport(r)), std::optional<SandboxReport>(r));
    r.filesConfined = false;
    r.failed = true;
    QCOMPARE(ParseSandboxReport(EncodeSandboxReport(r)), std::optional<SandboxReport>(r));
    QVERIFY(!ParseSandboxReport(QByteArray("\x06")));
    QVERIFY(!ParseSandboxReport(QByteArray("\x06\x10", 2)));
    QVERIFY(!ParseSandboxReport(QByteArray("\x00\x01", 2))); // files confined without Landlock
}

// The show hands over regular files only, never one of the kernel's.
void TestSandbox::openPicture_data()
{
    QTest::addColumn<QString>("target"); // what x.jpg is or points to
    QTest::addColumn<int>("failure");
    QTest::newRow("a picture") << "file" << int(OpenFailure::None);
    QTest::newRow("a link to a picture") << "link:file" << int(OpenFailure::None);
    QTest::newRow("missing") << "" << int(OpenFailure::NotFound);
    QTest::newRow("dangling link") << "link:nowhere" << int(OpenFailure::NotFound);
    QTest::newRow("a folder") << "folder" << int(OpenFailure::NotAFile);
    QTest::newRow("a pipe") << "fifo" << int(OpenFailure::NotAFile);
    QTest::newRow("the show's memory") << "link:/proc/self/mem" << int(OpenFailure::NotAFile);
    QTest::newRow("the show's environment") << "link:/proc/self/environ" << int(OpenFailure::NotAFile);
    QTest::newRow("a kernel setting") << "link:/sys/kernel/mm/transparent_hugepage/enabled" << int(OpenFailure::NotAFile);
    QTest::newRow("a device") << "link:/dev/zero" << int(OpenFailure::NotAFile);
    if (::geteuid() != 0) QTest::newRow("unreadable") << "unreadable" << int(OpenFailure::AccessDenied);
}

void TestSandbox::openPicture()
{
    QFETCH(QString, target);
    QFETCH(int, failure);
    QTemporaryDir dir;
    const QString x = dir.filePath(QStringLiteral("x.jpg"));
    const QString file = dir.filePath(QStringLiteral("file.jpg"));
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("picture");
    f.close();
    if (target == "file") QVERIFY(QFile::copy(file, x));
    if (target == "folder") QVERIFY(QDir().mkdir(x));
    if (target == "fifo") QCOMPARE(::mkfifo(QFile::encodeName(x).constData(), 0600), 0);
    if (target == "unreadable") {
        QVERIFY(QFile::copy(file, x));
        QVERIFY(QFile::setPermissions(x, {}));
    }
    if (target.startsWith("link:")) {
        const QString to = target.mid(5);
        QVERIFY(QFile::link(to == "file" ? file : to == "nowhere" ? dir.filePath("nowhere") : to, x));
    }
    const OpenedPicture opened = OpenPictureFile(x);
    QCOMPARE(int(opened.failure), failure);
    QCOMPARE(opened.file.valid(), failure == int(OpenFailure::None));
    if (opened.file.valid()) {
        QVERIFY(::fcntl(opened.file.get(), F_GETFD) & FD_CLOEXEC);
        QCOMPARE(::fcntl(opened.file.get(), F_GETFL) & O_ACCMODE, O_RDONLY);
        char buf[16] = {};
        QCOMPARE(::read(opened.file.get(), buf, sizeof buf), ssize_t(7));
    }
}

// After the show has made what it makes (its signal watch, the settings
// store, a picture opened and a child at work), every descriptor of its own
// closes on exec.
void TestSandbox::showDescriptorsCloseOnExec()
{
    ScratchConfig config;
    TerminationWatcher watcher([] {});
    Registry registry;
    registry.WriteSetting(QStringLiteral("misc"), QStringLiteral("delay"), 3);
    registry.sync();
    QTemporaryDir dir;
    QFile f(dir.filePath(QStringLiteral("a.jpg")));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    const OpenedPicture picture = OpenPictureFile(f.fileName());
    QVERIFY(picture.file.valid());
    ChildLimits limits;
    limits.deadlineMs = 60000;
    IsolatedChild child(QStringLiteral("/bin/sleep"), {QStringLiteral("30")}, QByteArray("request"), limits,
                        picture.file.get());
    QVERIFY(child.running());
    int checked = 0;
    for (int fd : openDescriptors()) {
        if (fd <= 2 || inherited_.count(fd)) continue;
        const int flags = ::fcntl(fd, F_GETFD);
        if (flags < 0) continue; // the listing's own descriptor
        ++checked;
        QVERIFY2(flags & FD_CLOEXEC, qPrintable(QStringLiteral("descriptor %1 -> %2")
                                                    .arg(fd)
                                                    .arg(QFile::symLinkTarget(QStringLiteral("/proc/self/fd/%1").arg(fd)))));
    }
    QVERIFY(checked >= 4);
    child.kill();
}

int main(int argc, char** argv)
{
    // What this process got from whoever started it is not the show's own.
    std::set<int> inherited = openDescriptors();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TestSandbox test(std::move(inherited));
    return QTest::qExec(&test, argc, argv);
}

#include "test_sandbox.moc"
