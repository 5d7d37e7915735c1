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
// Runs in the child between fork and exec: only async-signal-safe calls.
void limitChild(rlim_t addressSpace, rlim_t cpuSeconds, int answerFd)
{
    if (answerFd >= 0) ::fcntl(answerFd, F_SETFD, 0); // the one descriptor it inherits
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
    explicit SharedAnswer(std::int64_t bytes)
    {
        fd = ::memfd_create("velmirano-answer", MFD_CLOEXEC | MFD_ALLOW_SEALING);
        if (fd < 0) return;
        if (::ftruncate(fd, off_t(bytes + kLengthBytes)) != 0 ||
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
    explicit SharedAnswer(std::int64_t) {}
    void read() {}
#endif
};

IsolatedChild::IsolatedChild(const QString& program, const QStringList& arguments, const QByteArray& input,
                             const ChildLimits& limits)
    : process_(std::make_unique<QProcess>()), deadline_(std::make_unique<QTimer>()), limits_(limits)
{
    QProcess& p = *process_;
    p.setProgram(program);
    p.setArguments(arguments);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QString::fromLatin1(kAnswerFdVariable));
    shared_ = std::make_unique<SharedAnswer>(limits.maxOutputBytes);
    if (shared_->fd < 0)
        shared_.reset();
    else
        env.insert(QString::fromLatin1(kAnswerFdVariable), QString::number(shared_->fd));
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
    p.setChildProcessModifier(
        [addressSpace, cpuSeconds, answerFd] { limitChild(addressSpace, cpuSeconds, answerFd); });
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
    p.write(input);
    p.closeWriteChannel();
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
