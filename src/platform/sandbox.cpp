#include "platform/sandbox.h"

#include <QList>
#include <QStringList>

#include <algorithm>

#ifdef __linux__
#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>
#endif

namespace vm {

bool SanitizerBuild()
{
#if defined(__SANITIZE_ADDRESS__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return true;
#else
    return false;
#endif
#else
    return false;
#endif
}


namespace {

constexpr std::uint8_t kFilesConfined = 1, kScoped = 2, kSyscallFilter = 4, kFailed = 8;

} // namespace

QByteArray EncodeSandboxReport(const SandboxReport& r)
{
    QByteArray out(kSandboxReportBytes, '\0');
    out[0] = char(std::uint8_t(std::clamp(r.landlockAbi, 0, 255)));
    out[1] = char((r.filesConfined ? kFilesConfined : 0) | (r.scoped ? kScoped : 0) |
                  (r.syscallFilter ? kSyscallFilter : 0) | (r.failed ? kFailed : 0));
    return out;
}

std::optional<SandboxReport> ParseSandboxReport(QByteArrayView bytes)
{
    if (bytes.size() != kSandboxReportBytes) return std::nullopt;
    const auto flags = std::uint8_t(bytes[1]);
    if (flags & ~(kFilesConfined | kScoped | kSyscallFilter | kFailed)) return std::nullopt;
    SandboxReport r;
    r.landlockAbi = std::uint8_t(bytes[0]);
    r.filesConfined = flags & kFilesConfined;
    r.scoped = flags & kScoped;
    r.syscallFilter = flags & kSyscallFilter;
    r.failed = flags & kFailed;
    // File confinement without Landlock cannot be.
    if (r.filesConfined && r.landlockAbi == 0) return std::nullopt;
    return r;
}

QString ConfinementWarning(const SandboxReport& r)
{
#ifdef __linux__
    QStringList missing;
    if (r.failed) missing << QStringLiteral("Bilddecoder konnte nicht abgeschirmt werden");
    if (!r.filesConfined)
        missing << (r.landlockAbi == 0 ? QStringLiteral("Bilddecoder läuft ohne Dateischutz: dieser Kernel kennt Landlock nicht")
                                       : QStringLiteral("Bilddecoder läuft ohne Dateischutz"));
    if (!r.syscallFilter)
        missing << QStringLiteral("Bilddecoder läuft ohne Systemaufruf-Filter: dieser Kernel kennt seccomp nicht");
    return missing.join(QLatin1Char('\n'));
#else
    Q_UNUSED(r);
    return QStringLiteral("Bilddecoder läuft ohne Abschirmung: dieses System bietet keine");
#endif
}

QString ConfinementSummary(const SandboxReport& r)
{
    const QString warning = ConfinementWarning(r);
    if (!warning.isEmpty()) return warning;
    return QStringLiteral("Bilddecoder abgeschirmt: Landlock %1%2, Systemaufruf-Filter")
        .arg(r.landlockAbi)
        .arg(r.scoped ? QStringLiteral(" mit Signal-Schranke") : QString());
}

#ifdef __linux__

namespace {

// Landlock's interface as of its version 6; the system headers may be older.
constexpr std::uint64_t kFsReadFile = 1ULL << 2;
constexpr std::uint64_t kFsReadDir = 1ULL << 3;
constexpr std::uint64_t kFsAllV1 = (1ULL << 13) - 1; // execute .. make symlink
constexpr std::uint64_t kFsRefer = 1ULL << 13;       // version 2
constexpr std::uint64_t kFsTruncate = 1ULL << 14;    // version 3
constexpr std::uint64_t kFsIoctlDev = 1ULL << 15;    // version 5
constexpr std::uint64_t kNetBindTcp = 1ULL << 0;     // version 4
constexpr std::uint64_t kNetConnectTcp = 1ULL << 1;
constexpr std::uint64_t kScopeAbstractUnixSocket = 1ULL << 0; // version 6
constexpr std::uint64_t kScopeSignal = 1ULL << 1;
constexpr int kRulePathBeneath = 1;
constexpr unsigned kCreateRulesetVersion = 1U << 0;
// Rights that apply to a file rather than a folder.
constexpr std::uint64_t kFileRights = (1ULL << 0) | (1ULL << 1) | kFsReadFile | kFsTruncate | kFsIoctlDev;

struct RulesetAttr {
    std::uint64_t handledAccessFs = 0;
    std::uint64_t handledAccessNet = 0;
    std::uint64_t scoped = 0;
};

struct __attribute__((packed)) PathBeneathAttr {
    std::uint64_t allowedAccess = 0;
    std::int32_t parentFd = -1;
};

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd()
    {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// Allows reading beneath `path`. A missing path is no error: there is
// simply nothing to read there. False when the kernel refused the rule.
bool allowReading(int ruleset, const char* path, std::uint64_t handled)
{
    Fd fd(::open(path, O_PATH | O_CLOEXEC));
    if (fd.get() < 0) return true;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return true;
    PathBeneathAttr rule;
    rule.allowedAccess = (kFsReadFile | kFsReadDir) & handled & (S_ISDIR(st.st_mode) ? ~0ULL : kFileRights);
    rule.parentFd = fd.get();
    return ::syscall(SYS_landlock_add_rule, ruleset, kRulePathBeneath, &rule, 0) == 0;
}

QList<QByteArray> fontFolders()
{
    QList<QByteArray> folders{"/usr/share/fonts", "/usr/local/share/fonts", "/etc/fonts", "/etc/libwmf.fontmap",
                              "/var/lib/ghostscript/fonts", "/usr/share/ghostscript", "/var/cache/fontconfig"};
    const QByteArray home = qgetenv("HOME");
    const auto variable = [](const char* name, const QByteArray& otherwise) {
        return qEnvironmentVariableIsSet(name) ? qgetenv(name) : otherwise;
    };
    // Relative names would be taken from wherever the process stands.
    if (home.startsWith('/')) folders << home + "/.fonts";
    for (const QByteArray& folder : {variable("XDG_DATA_HOME", home + "/.local/share") + "/fonts",
                                     variable("XDG_CACHE_HOME", home + "/.cache") + "/fontconfig"})
        if (folder.startsWith('/')) folders << folder;
    return folders;
}

// Fills in the Landlock part of the report: every file-system right is
// handled and none granted, except reading the fonts when asked.
void landlock(const LockDownOptions& options, SandboxReport& report)
{
    const int abi = report.landlockAbi;
    if (abi < 1) return;
    RulesetAttr attr;
    attr.handledAccessFs = kFsAllV1;
    if (abi >= 2) attr.handledAccessFs |= kFsRefer;
    if (abi >= 3) attr.handledAccessFs |= kFsTruncate;
    if (abi >= 5) attr.handledAccessFs |= kFsIoctlDev;
    if (abi >= 4) attr.handledAccessNet = kNetBindTcp | kNetConnectTcp;
    if (abi >= 6) attr.scoped = kScopeAbstractUnixSocket | kScopeSignal;
    // Older kernels know only the leading fields.
    const std::size_t attrSize = sizeof(std::uint64_t) * (abi >= 6 ? 3 : abi >= 4 ? 2 : 1);

    report.failed = true; // until the ruleset is in force
    Fd ruleset(int(::syscall(SYS_landlock_create_ruleset, &attr, attrSize, 0)));
    if (ruleset.get() < 0) return;
    const std::uint64_t handled = attr.handledAccessFs;
    if (options.fonts)
        for (const QByteArray& folder : fontFolders())
            if (!allowReading(ruleset.get(), folder.constData(), handled)) return;
    // The sanitizer's memory limit watches the resident size through these.
    if (SanitizerBuild())
        for (const char* own : {"/proc/self/statm", "/proc/self/maps"})
            if (!allowReading(ruleset.get(), own, handled)) return;
    if (::syscall(SYS_landlock_restrict_self, ruleset.get(), 0) != 0) return;
    report.failed = false;
    report.filesConfined = true;
    report.scoped = attr.scoped != 0;
}

// A seccomp program: a plain list of instructions with forward jumps only.
// Every rule is a block entered when the syscall number matches and left
// only by a return, so the accumulator holds the number between blocks.
class Filter {
public:
    void load(std::uint32_t offset) { add(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offset)); }
    void ret(std::uint32_t value) { add(BPF_STMT(BPF_RET | BPF_K, value)); }
    void jump(std::uint16_t op, std::uint32_t k, std::uint8_t jt, std::uint8_t jf)
    {
        add(BPF_JUMP(BPF_JMP | op | BPF_K, k, jt, jf));
    }
    static std::uint32_t refuse(int error) { return SECCOMP_RET_ERRNO | std::uint32_t(error); }
    // Syscall `nr` fails with `error`.
    void deny(long nr, int error)
    {
        jump(BPF_JEQ, std::uint32_t(nr), 0, 1);
        ret(refuse(error));
    }
    // Syscall `nr` fails with `error` when (argument `arg` & mask) != 0.
    void denyWithFlags(long nr, int arg, std::uint32_t mask, int error)
    {
        jump(BPF_JEQ, std::uint32_t(nr), 0, 4);
        load(argLow(arg));
        jump(BPF_JSET, mask, 0, 1);
        ret(refuse(error));
        ret(SECCOMP_RET_ALLOW);
    }
    // Syscall `nr` fails with `error` when (argument `arg` & mask) == 0.
    void denyWithoutFlags(long nr, int arg, std::uint32_t mask, int error)
    {
        jump(BPF_JEQ, std::uint32_t(nr), 0, 4);
        load(argLow(arg));
        jump(BPF_JSET, mask, 1, 0);
        ret(refuse(error));
        ret(SECCOMP_RET_ALLOW);
    }
    // Syscall `nr` fails with `error` when argument `arg` is one of
    // `values` (`allowOthers`), or unless it is one of them.
    void argumentIn(long nr, int arg, std::initializer_list<std::uint32_t> values, bool allowOthers, int error)
    {
        const auto n = std::uint8_t(values.size());
        jump(BPF_JEQ, std::uint32_t(nr), 0, std::uint8_t(n + 3));
        load(argLow(arg));
        std::uint8_t i = 0;
        for (std::uint32_t v : values) jump(BPF_JEQ, v, std::uint8_t(n - i++), 0);
        ret(allowOthers ? SECCOMP_RET_ALLOW : refuse(error));
        ret(allowOthers ? refuse(error) : SECCOMP_RET_ALLOW);
    }
    std::vector<sock_filter>& code() { return code_; }

private:
    // The low half of a 64-bit argument (both supported systems are
    // little-endian); process ids and commands are 32-bit in the kernel.
    static std::uint32_t argLow(int i) { return std::uint32_t(offsetof(seccomp_data, args) + 8 * i); }
    void add(sock_filter f) { code_.push_back(f); }
    std::vector<sock_filter> code_;
};

// 1 = in force, 0 = the kernel has no seccomp filters, -1 = refused.
int syscallFilter(bool openForReading, bool threads)
{
#if defined(__x86_64__)
    constexpr std::uint32_t arch = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
    constexpr std::uint32_t arch = AUDIT_ARCH_AARCH64;
#else
    return 0;
#endif
    Filter f;
    f.load(offsetof(seccomp_data, arch));
    f.jump(BPF_JEQ, arch, 1, 0);
    f.ret(SECCOMP_RET_KILL_PROCESS);
    f.load(offsetof(seccomp_data, nr));
#if defined(__x86_64__)
    // The x32 numbering would bypass every check below.
    f.jump(BPF_JGE, 0x40000000u, 0, 1);
    f.ret(Filter::refuse(EPERM));
#endif
    const std::uint32_t self = std::uint32_t(::getpid());
    // No new process, and no new thread unless asked for: what the decoders
    // need runs on the threads made before. clone3 is unknown (its flags sit
    // in memory a filter cannot read), so the C library falls back to clone,
    // whose flags tell a thread from a process.
    if (threads)
        f.denyWithoutFlags(SYS_clone, 0, CLONE_THREAD, EPERM);
    else
        f.deny(SYS_clone, EPERM);
#ifdef SYS_clone3
    f.deny(SYS_clone3, ENOSYS);
#endif
    // The picture is open already: nothing more is opened, except the
    // fonts for drawing text, read only (the file rules narrow that further).
#ifdef SYS_openat2
    f.deny(SYS_openat2, ENOSYS);
#endif
    const std::uint32_t writing = O_WRONLY | O_RDWR | O_CREAT | O_TRUNC | O_APPEND;
    if (openForReading) {
        f.denyWithFlags(SYS_openat, 2, writing, EACCES);
#ifdef SYS_open
        f.denyWithFlags(SYS_open, 1, writing, EACCES);
#endif
    } else {
        f.deny(SYS_openat, EACCES);
#ifdef SYS_open
        f.deny(SYS_open, EACCES);
#endif
    }
    // Calls that name a process: only this one (0 is "self" for the limit;
    // abort() signals its own thread).
    f.argumentIn(SYS_kill, 0, {self}, false, EPERM);
    f.argumentIn(SYS_tgkill, 0, {self}, false, EPERM);
    f.argumentIn(SYS_prlimit64, 0, {0, self}, false, EPERM);
    // Signals by way of a file: a process chosen by the owner of a
    // descriptor would get them.
    f.argumentIn(SYS_fcntl, 1, {F_SETOWN, F_SETSIG, F_SETOWN_EX, F_SETLEASE, F_NOTIFY}, true, EPERM);
    // The same for sockets and terminals, and typing into a terminal.
    f.argumentIn(SYS_ioctl, 1, {0x8901 /* FIOSETOWN */, 0x8902 /* SIOCSPGRP */, 0x5410 /* TIOCSPGRP */,
                                0x5412 /* TIOCSTI */, 0x541C /* TIOCLINUX */, 0x540E /* TIOCSCTTY */},
                 true, EPERM);
    for (long nr : {
             long(SYS_setpriority), long(SYS_sched_setaffinity), long(SYS_sched_setscheduler),
             long(SYS_sched_setparam), long(SYS_sched_setattr), long(SYS_ioprio_set), long(SYS_migrate_pages),
             long(SYS_move_pages), long(SYS_kcmp), long(SYS_process_madvise), long(SYS_get_robust_list),
             long(SYS_syslog), long(SYS_socket), long(SYS_socketpair), long(SYS_connect), long(SYS_bind),
             long(SYS_listen), long(SYS_accept), long(SYS_accept4), long(SYS_execve), long(SYS_execveat),
             long(SYS_ptrace), long(SYS_process_vm_readv), long(SYS_process_vm_writev), long(SYS_tkill),
             long(SYS_rt_sigqueueinfo), long(SYS_rt_tgsigqueueinfo), long(SYS_unlinkat), long(SYS_renameat),
             long(SYS_renameat2), long(SYS_mkdirat), long(SYS_linkat), long(SYS_symlinkat), long(SYS_truncate),
             long(SYS_fchmod), long(SYS_fchmodat), long(SYS_fchown), long(SYS_fchownat), long(SYS_mknodat),
             long(SYS_setxattr), long(SYS_lsetxattr), long(SYS_fsetxattr), long(SYS_removexattr),
             long(SYS_lremovexattr), long(SYS_fremovexattr), long(SYS_utimensat), long(SYS_mount),
             long(SYS_umount2), long(SYS_pivot_root), long(SYS_chroot), long(SYS_bpf), long(SYS_perf_event_open),
             long(SYS_userfaultfd), long(SYS_io_uring_setup), long(SYS_io_uring_enter),
             long(SYS_io_uring_register), long(SYS_keyctl), long(SYS_add_key), long(SYS_request_key),
             long(SYS_name_to_handle_at), long(SYS_open_by_handle_at), long(SYS_setns), long(SYS_unshare),
             long(SYS_pidfd_open), long(SYS_pidfd_send_signal), long(SYS_pidfd_getfd), long(SYS_fanotify_init),
             long(SYS_inotify_init1),
#ifdef SYS_memfd_secret
             long(SYS_memfd_secret),
#endif
#ifdef SYS_process_mrelease
             long(SYS_process_mrelease),
#endif
#ifdef SYS_fork
             long(SYS_fork), long(SYS_vfork), long(SYS_creat), long(SYS_unlink), long(SYS_rename),
             long(SYS_mkdir), long(SYS_rmdir), long(SYS_link), long(SYS_symlink), long(SYS_chmod),
             long(SYS_chown), long(SYS_lchown), long(SYS_mknod), long(SYS_utime), long(SYS_utimes),
             long(SYS_futimesat), long(SYS_inotify_init),
#endif
         })
        f.deny(nr, EPERM);
    f.ret(SECCOMP_RET_ALLOW);

    sock_fprog program{};
    program.len = static_cast<unsigned short>(f.code().size());
    program.filter = f.code().data();
    if (::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program, 0, 0) == 0) return 1;
    return errno == EINVAL ? 0 : -1;
}

} // namespace

int LandlockAbi()
{
    // ENOSYS (not built in) and EOPNOTSUPP (switched off at boot) both mean
    // that this kernel offers none.
    const long abi = ::syscall(SYS_landlock_create_ruleset, nullptr, 0, kCreateRulesetVersion);
    return abi > 0 ? int(abi) : 0;
}

SandboxReport ExpectedConfinement()
{
    SandboxReport report;
    report.landlockAbi = LandlockAbi();
    report.filesConfined = report.landlockAbi > 0;
    report.scoped = report.landlockAbi >= 6;
    // Every kernel this program runs on filters system calls; a decoder's
    // own report says otherwise where it is not so.
    report.syscallFilter = true;
    return report;
}

SandboxReport LockDown(const LockDownOptions& options)
{
    SandboxReport report;
    // Needed for an unprivileged filter; also keeps set-id programs from
    // gaining anything. No core dumps and no debugger attaching.
    ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);
    ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    report.landlockAbi = LandlockAbi();
    landlock(options, report);
    const int filter = syscallFilter(options.fonts || SanitizerBuild(), options.threads);
    report.syscallFilter = filter > 0;
    if (filter < 0) report.failed = true;
    return report;
}

#else

int LandlockAbi() { return 0; }

SandboxReport ExpectedConfinement() { return {}; }

SandboxReport LockDown(const LockDownOptions&) { return {}; }

#endif

} // namespace vm
