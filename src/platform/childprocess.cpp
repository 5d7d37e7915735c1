#include "platform/childprocess.h"

#include "platform/sandbox.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <cstdio>

#ifdef __linux__
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace vm {

namespace {

// Enough of a sanitizer's report to tell what happened.
constexpr qsizetype kMaxErrorOutput = 64 * 1024;
// A killed child is normally gone at once; waiting longer would hold up a
// show that is ending.
constexpr int kReapMs = 100;
// Tells the child which descriptor holds the memory for its answer.
constexpr char kAnswerFdVariable[] = "VELMIRANO_ANSWER_FD";
// The answer's length comes first in the shared memory.
constexpr std::int64_t kLengthBytes = 8;

#ifdef __linux__
// Marks every descriptor from `first` on close-on-exec. Async-signal-safe.
void closeOnExecFrom(unsigned first)
{
    constexpr unsigned kCloseRangeCloexec = 1U << 2;
    if (::syscall(SYS_close_range, first, ~0U, kCloseRangeCloexec) == 0) return;
    // Kernels before 5.11: one by one, as far as the descriptor limit goes.
    struct rlimit r {};
    const rlim_t top = ::getrlimit(RLIMIT_NOFILE, &r) == 0 ? std::min<rlim_t>(r.rlim_cur, 1 << 20) : 4096;
    for (rlim_t fd = first; fd < top; ++fd) ::fcntl(int(fd), F_SETFD, FD_CLOEXEC);
}

// Puts `fd` at `target` (without close-on-exec). Async-signal-safe.
void place(int fd, int target)
{
    if (fd == target) {
        ::fcntl(fd, F_SETFD, 0);
        return;
    }
    ::dup2(fd, target);
}

// Runs in the child between fork and exec: only async-signal-safe calls.
void limitChild(rlim_t addressSpace, rlim_t cpuSeconds, int handedFile, int answerFd)
{
    // Its own session and process group: nothing sent to the show's group
    // reaches it, and it has no terminal to type into.
    ::setsid();
    // Out of the way first, so that putting one in place cannot overwrite
    // the other; the copies close on exec.
    const int handed = handedFile >= 0 ? ::fcntl(handedFile, F_DUPFD_CLOEXEC, 16) : -1;
    const int answer = answerFd >= 0 ? ::fcntl(answerFd, F_DUPFD_CLOEXEC, 16) : -1;
    // Everything the show has open stays behind, also what a library opened
    // without close-on-exec.
    closeOnExecFrom(3);
    if (handed >= 0) place(handed, kHandedFileFd);
    if (answer >= 0) place(answer, kAnswerFd);
    struct rlimit r {};
    if (addressSpace > 0) {
        r.rlim_cur = r.rlim_max = addressSpace;
        ::setrlimit(RLIMIT_AS, &r);
    }
    r.rlim_cur = cpuSeconds;
    r.rlim_max = cpuSeconds + 1;
    ::setrlimit(RLIMIT_CPU, &r);
    r.rlim_cur = r.rlim_max = 0;
    ::setrlimit(RLIMIT_CORE, &r);
    ::setrlimit(RLIMIT_FSIZE, &r);
    ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);
    // A show that dies takes its decoder with it.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL, 0, 0, 0);
    // Without shared memory a fitted screen picture then crosses in a few
    // dozen reads, not hundreds.
    ::fcntl(STDOUT_FILENO, F_SETPIPE_SZ, 1 << 20);
}
#endif

// What a child gets of the environment: what finds libraries, fonts and
// plugins, the language, and the switches of tests and sanitizers. Nothing
// else of the person's environment (tokens, session addresses) goes along.
QProcessEnvironment childEnvironment()
{
    static constexpr const char* kKept[] = {
        "HOME", "LANG", "LANGUAGE", "LC_ALL", "LC_CTYPE", "LD_LIBRARY_PATH", "QT_PLUGIN_PATH",
        "XDG_DATA_HOME", "XDG_DATA_DIRS", "XDG_CACHE_HOME", "XDG_CONFIG_HOME", "FONTCONFIG_FILE",
        "FONTCONFIG_PATH", "ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS", "VELMIRANO_DECODER_FAULT",
        "VELMIRANO_DECODE_BUDGET_MB"};
    const QProcessEnvironment all = QProcessEnvironment::systemEnvironment();
    QProcessEnvironment env;
    for (const char* name : kKept) {
        const QString key = QString::fromLatin1(name);
        if (all.contains(key)) env.insert(key, all.value(key));
    }
    return env;
}

// What a sanitizer prints when its memory limit ends a process.
bool sanitizerOutOfMemory(const QByteArray& report)
{
    return report.contains("AddressSanitizer: out of memory") || report.contains("hard rss limit exhausted") ||
           report.contains("allocation-size-too-big") || report.contains("AddressSanitizer: requested allocation size");
}

} // namespace

// Memory the child writes its answer into: the parent reads it after the
// child has ended, in place, without a pipe's copies. Sealed against
// shrinking, so a child cannot make the parent's reading fault.
struct IsolatedChild::SharedAnswer {
    int fd = -1;
    std::int64_t capacity = 0;
    void* mapped = nullptr;
    std::size_t mappedBytes = 0;
    QByteArrayView view;

#ifdef __linux__
    // The input goes first, behind the (still zero) answer length; the
    // child reads it before it answers over it.
    SharedAnswer(std::int64_t bytes, const QByteArray& input)
    {
        fd = ::memfd_create("velmirano-answer", MFD_CLOEXEC | MFD_ALLOW_SEALING);
        if (fd < 0) return;
        const std::int64_t inputLength = input.size();
        const std::int64_t size = std::max(bytes, inputLength + kLengthBytes) + kLengthBytes;
        if (::ftruncate(fd, off_t(size)) != 0 ||
            ::pwrite(fd, &inputLength, sizeof inputLength, kLengthBytes) != ssize_t(sizeof inputLength) ||
            ::pwrite(fd, input.constData(), std::size_t(inputLength), 2 * kLengthBytes) != ssize_t(inputLength) ||
            ::fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_SEAL) != 0) {
            ::close(fd);
            fd = -1;
            return;
        }
        capacity = bytes;
    }
    ~SharedAnswer()
    {
        if (mapped) ::munmap(mapped, mappedBytes);
        if (fd >= 0) ::close(fd);
    }
    void read()
    {
        std::int64_t length = 0;
        if (::pread(fd, &length, sizeof length, 0) != ssize_t(sizeof length) || length <= 0 || length > capacity)
            return;
        mappedBytes = std::size_t(length + kLengthBytes);
        void* p = ::mmap(nullptr, mappedBytes, PROT_READ, MAP_SHARED, fd, 0);
        if (p == MAP_FAILED) return;
        mapped = p;
        view = QByteArrayView(static_cast<const char*>(p) + kLengthBytes, qsizetype(length));
    }
#else
    SharedAnswer(std::int64_t, const QByteArray&) {}
    void read() {}
#endif
};

IsolatedChild::IsolatedChild(const QString& program, const QStringList& arguments, const QByteArray& input,
                             const ChildLimits& limits, int handedFile)
    : process_(std::make_unique<QProcess>()), deadline_(std::make_unique<QTimer>()), limits_(limits)
{
    QProcess& p = *process_;
    p.setProgram(program);
    p.setArguments(arguments);
    QProcessEnvironment env = childEnvironment();
    shared_ = std::make_unique<SharedAnswer>(limits.maxOutputBytes, input);
    if (shared_->fd < 0) {
        shared_.reset();
    } else {
        env.insert(QString::fromLatin1(kAnswerFdVariable), QString::number(kAnswerFd));
        // Input and answer both cross in the shared memory.
        p.setStandardInputFile(QProcess::nullDevice());
        p.setStandardOutputFile(QProcess::nullDevice());
    }
    if (SanitizerBuild()) {
        // An address-space limit would stop the sanitizer itself; it keeps
        // to a resident limit of its own instead and reports running out.
        env.insert(QStringLiteral("ASAN_OPTIONS"),
                   env.value(QStringLiteral("ASAN_OPTIONS")) +
                       QStringLiteral(":hard_rss_limit_mb=%1:allocator_may_return_null=1:detect_leaks=0")
                           .arg(limits.addressSpaceBytes >> 20));
    } else {
        p.setStandardErrorFile(QProcess::nullDevice());
    }
    p.setProcessEnvironment(env);
#ifdef __linux__
    const rlim_t addressSpace = SanitizerBuild() ? 0 : rlim_t(limits.addressSpaceBytes);
    const rlim_t cpuSeconds = rlim_t(std::max(1, (limits.deadlineMs + 999) / 1000 + 1));
    const int answerFd = shared_ ? shared_->fd : -1;
    p.setChildProcessModifier([addressSpace, cpuSeconds, handedFile, answerFd] {
        limitChild(addressSpace, cpuSeconds, handedFile, answerFd);
    });
#else
    Q_UNUSED(handedFile);
#endif
    connect(&p, &QProcess::readyReadStandardOutput, this, [this] { readOutput(); });
    connect(&p, &QProcess::readyReadStandardError, this, [this] {
        const QByteArray more = process_->readAllStandardError();
        if (errorOutput_.size() < kMaxErrorOutput) errorOutput_ += more.left(kMaxErrorOutput - errorOutput_.size());
    });
    connect(&p, &QProcess::finished, this, [this] { onProcessFinished(); });
    connect(&p, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) finish(ChildEnd::NotStarted);
    });
    deadline_->setSingleShot(true);
    connect(deadline_.get(), &QTimer::timeout, this, [this] {
        if (!running()) return;
        finish(ChildEnd::TimedOut);
        process_->kill();
    });

    p.start();
    if (!running()) return; // could not start
    deadline_->start(limits_.deadlineMs);
    if (!shared_) {
        p.write(input);
        p.closeWriteChannel();
    }
}

IsolatedChild::~IsolatedChild()
{
    onEnded = nullptr;
    disconnect(process_.get(), nullptr, this, nullptr);
    if (process_->state() == QProcess::NotRunning) return;
    process_->kill();
    if (process_->waitForFinished(kReapMs)) return;
    // Still in the kernel (a file on a hung network share): it ends in the
    // background rather than holding up the caller.
    QProcess* stuck = process_.release();
    connect(stuck, &QProcess::finished, stuck, &QObject::deleteLater);
}

QByteArrayView IsolatedChild::output() const
{
    if (end_ != ChildEnd::Exited) return {};
    return shared_ ? shared_->view : QByteArrayView(output_);
}

void IsolatedChild::kill()
{
    if (!running()) return;
    finish(ChildEnd::Killed);
    process_->kill();
    process_->waitForFinished(kReapMs);
}

void IsolatedChild::waitBlocking()
{
    if (!running()) return;
    if (!process_->waitForFinished(limits_.deadlineMs) && running()) {
        finish(ChildEnd::TimedOut);
        process_->kill();
        process_->waitForFinished(kReapMs);
    }
}

void IsolatedChild::readOutput()
{
    if (shared_) return; // the answer comes in the shared memory; stdout is the null device
    const QByteArray more = process_->readAllStandardOutput();
    if (!running()) return;
    output_ += more;
    if (output_.size() > limits_.maxOutputBytes && running()) {
        finish(ChildEnd::TooMuchOutput);
        output_.clear();
        process_->kill();
    }
}

void IsolatedChild::onProcessFinished()
{
    deadline_->stop();
    if (!running()) return;
    readOutput();
    if (!running()) return;
    if (!errorOutput_.isEmpty()) std::fwrite(errorOutput_.constData(), 1, std::size_t(errorOutput_.size()), stderr);
    exitCode_ = process_->exitCode();
    if (shared_) shared_->read();
    if (process_->exitStatus() == QProcess::CrashExit) return finish(ChildEnd::Crashed);
    if (exitCode_ == kChildOutOfMemoryExit || (exitCode_ != 0 && sanitizerOutOfMemory(errorOutput_)))
        return finish(ChildEnd::OutOfMemory);
    // A sanitizer ends a process it caught with a plain non-zero code.
    if (exitCode_ != 0 && errorOutput_.contains("Sanitizer")) return finish(ChildEnd::Crashed);
    finish(ChildEnd::Exited);
}

void IsolatedChild::finish(ChildEnd how)
{
    if (!running()) return;
    end_ = how;
    deadline_->stop();
    if (how != ChildEnd::Exited) output_.clear();
    if (onEnded) onEnded();
}

std::optional<QByteArray> ReadParentInput(qsizetype maxBytes)
{
#ifdef __linux__
    bool named = false;
    const int fd = qEnvironmentVariableIntValue(kAnswerFdVariable, &named);
    if (named && fd >= 0) {
        struct stat st {};
        std::int64_t length = 0;
        if (::fstat(fd, &st) != 0 || ::pread(fd, &length, sizeof length, kLengthBytes) != ssize_t(sizeof length) ||
            length < 0 || length > maxBytes || length > st.st_size - 2 * kLengthBytes)
            return std::nullopt;
        QByteArray input(qsizetype(length), Qt::Uninitialized);
        if (::pread(fd, input.data(), std::size_t(length), 2 * kLengthBytes) != ssize_t(length)) return std::nullopt;
        return input;
    }
#endif
    QByteArray input;
    char buffer[4096];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, stdin)) {
        input.append(buffer, qsizetype(n));
        if (input.size() > maxBytes) return std::nullopt;
    }
    return input;
}

void CloseUnexpectedFiles()
{
#ifdef __linux__
    if (::syscall(SYS_close_range, unsigned(kAnswerFd + 1), ~0U, 0) == 0) return;
    struct rlimit r {};
    const rlim_t top = ::getrlimit(RLIMIT_NOFILE, &r) == 0 ? std::min<rlim_t>(r.rlim_cur, 1 << 20) : 4096;
    for (rlim_t fd = kAnswerFd + 1; fd < top; ++fd) ::close(int(fd));
#endif
}

bool AnswerParent(std::initializer_list<QByteArrayView> parts)
{
    std::int64_t total = 0;
    for (QByteArrayView part : parts) total += part.size();
#ifdef __linux__
    bool named = false;
    const int fd = qEnvironmentVariableIntValue(kAnswerFdVariable, &named);
    if (named && fd >= 0) {
        struct stat st {};
        if (::fstat(fd, &st) != 0 || total + kLengthBytes > st.st_size) return false;
        void* p = ::mmap(nullptr, std::size_t(total + kLengthBytes), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (p == MAP_FAILED) return false;
        char* out = static_cast<char*>(p) + kLengthBytes;
        for (QByteArrayView part : parts) out = std::copy(part.begin(), part.end(), out);
        // The length last: an answer cut short by a crash reads as none.
        std::memcpy(p, &total, sizeof total);
        ::munmap(p, std::size_t(total + kLengthBytes));
        return true;
    }
#endif
    for (QByteArrayView part : parts)
        if (std::fwrite(part.data(), 1, std::size_t(part.size()), stdout) != std::size_t(part.size())) return false;
    return std::fflush(stdout) == 0;
}

QString FindHelperProgram(const char* envVar, const QString& name, const QString& installedDir)
{
#ifdef Q_OS_WIN
    const QString file = name + QStringLiteral(".exe");
#else
    const QString& file = name;
#endif
    const auto runnable = [](const QString& path) {
        const QFileInfo info(path);
        return info.isFile() && info.isExecutable();
    };
    if (qEnvironmentVariableIsSet(envVar)) {
        const QString named = qEnvironmentVariable(envVar);
        return runnable(named) ? named : QString();
    }
    if (QCoreApplication::instance()) {
        const QString beside = QCoreApplication::applicationDirPath() + QLatin1Char('/') + file;
        if (runnable(beside)) return beside;
    }
    const QString installed = installedDir + QLatin1Char('/') + file;
    return runnable(installed) ? installed : QString();
}

} // namespace vm
