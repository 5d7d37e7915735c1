#include "platform/sandbox.h"

#include "platform/childprocess.h"
#include "platform/paths.h"

#include <QFile>

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
#include <sys/wait.h>
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

#ifdef __linux__

namespace {

// Landlock's interface as of its version 6; the system headers may be older.
constexpr std::uint64_t kFsExecute = 1ULL << 0;
constexpr std::uint64_t kFsWriteFile = 1ULL << 1;
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
constexpr std::uint64_t kFileRights = kFsExecute | kFsWriteFile | kFsReadFile | kFsTruncate | kFsIoctlDev;

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

// Allows `access` (limited to what the ruleset handles) beneath `path`; a
// missing path is no error, there is simply nothing to read there.
bool allowPath(int ruleset, const QByteArray& path, std::uint64_t access, std::uint64_t handled)
{
    Fd fd(::open(path.constData(), O_PATH | O_CLOEXEC));
    if (fd.get() < 0) return false;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return false;
    PathBeneathAttr rule;
    rule.allowedAccess = access & handled & (S_ISDIR(st.st_mode) ? ~0ULL : kFileRights);
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
    const QByteArray data = variable("XDG_DATA_HOME", home + "/.local/share");
    const QByteArray cache = variable("XDG_CACHE_HOME", home + "/.cache");
    if (!home.isEmpty()) folders << home + "/.fonts";
    folders << data + "/fonts" << cache + "/fontconfig";
    return folders;
}

// Fills in the Landlock part of the report.
void landlock(const QString& readableFile, bool fonts, SandboxReport& report)
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

    // The picture must stay readable. A name the file system cannot be asked
    // for (it should not happen) leaves reading unconfined rather than
    // making every such picture fail.
    const QByteArray file = NativePath(readableFile);
    Fd probe(::open(file.constData(), O_PATH | O_CLOEXEC));
    if (probe.get() < 0) attr.handledAccessFs &= ~(kFsReadFile | kFsReadDir);

    Fd ruleset(int(::syscall(SYS_landlock_create_ruleset, &attr, attrSize, 0)));
    if (ruleset.get() < 0) return;
    const std::uint64_t read = kFsReadFile | kFsReadDir;
    const std::uint64_t handled = attr.handledAccessFs;
    if (probe.get() >= 0) allowPath(ruleset.get(), file, read, handled);
    if (fonts)
        for (const QByteArray& folder : fontFolders()) allowPath(ruleset.get(), folder, read, handled);
    // The sanitizer's memory limit watches the resident size through these.
    if (SanitizerBuild())
        for (const char* own : {"/proc/self/statm", "/proc/self/maps"}) allowPath(ruleset.get(), own, read, handled);
    if (::syscall(SYS_landlock_restrict_self, ruleset.get(), 0) != 0) return;
    report.filesConfined = (handled & kFsReadFile) != 0;
    report.writesDenied = true;
}

// A seccomp program: plain list of instructions with forward jumps only.
class Filter {
public:
    void load(std::uint32_t offset) { add(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offset)); }
    void ret(std::uint32_t value) { add(BPF_STMT(BPF_RET | BPF_K, value)); }
    void jump(std::uint16_t op, std::uint32_t k, std::uint8_t jt, std::uint8_t jf)
    {
        add(BPF_JUMP(BPF_JMP | op | BPF_K, k, jt, jf));
    }
    // Syscall `nr` fails with `error`; A must hold the syscall number.
    void deny(long nr, int error)
    {
        jump(BPF_JEQ, std::uint32_t(nr), 0, 1);
        ret(SECCOMP_RET_ERRNO | std::uint32_t(error));
    }
    // Syscall `nr` is allowed only when (argument `arg` & mask) == 0, or
    // with `whenSet` only when it is not 0; A must hold the syscall number.
    void denyUnlessFlags(long nr, int arg, std::uint32_t mask, bool whenSet, int error)
    {
        jump(BPF_JEQ, std::uint32_t(nr), 0, 4);
        load(argLow(arg));
        jump(BPF_JSET, mask, 0, 1);
        ret(whenSet ? SECCOMP_RET_ALLOW : SECCOMP_RET_ERRNO | std::uint32_t(error));
        ret(whenSet ? SECCOMP_RET_ERRNO | std::uint32_t(error) : SECCOMP_RET_ALLOW);
    }
    // Syscall `nr` is allowed only with argument 0 equal to `value`.
    void denyUnlessFirstArg(long nr, std::uint32_t value, int error)
    {
        jump(BPF_JEQ, std::uint32_t(nr), 0, 4);
        load(argLow(0));
        jump(BPF_JEQ, value, 0, 1);
        ret(SECCOMP_RET_ALLOW);
        ret(SECCOMP_RET_ERRNO | std::uint32_t(error));
    }
    std::vector<sock_filter>& code() { return code_; }

private:
    // The low half of a 64-bit argument (both supported systems are little-endian).
    static std::uint32_t argLow(int i) { return std::uint32_t(offsetof(seccomp_data, args) + 8 * i); }
    void add(sock_filter f) { code_.push_back(f); }
    std::vector<sock_filter> code_;
};

bool syscallFilter()
{
#if defined(__x86_64__)
    constexpr std::uint32_t arch = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
    constexpr std::uint32_t arch = AUDIT_ARCH_AARCH64;
#else
    return false;
#endif
    Filter f;
    f.load(offsetof(seccomp_data, arch));
    f.jump(BPF_JEQ, arch, 1, 0);
    f.ret(SECCOMP_RET_KILL_PROCESS);
    f.load(offsetof(seccomp_data, nr));
#if defined(__x86_64__)
    // The x32 numbering would bypass every check below.
    f.jump(BPF_JGE, 0x40000000u, 0, 1);
    f.ret(SECCOMP_RET_ERRNO | EPERM);
#endif
    const std::uint32_t self = std::uint32_t(::getpid());
    // Threads are fine, new processes are not; clone3 hides its flags, so
    // it is refused as unknown and the C library falls back to clone.
    f.denyUnlessFlags(SYS_clone, 0, CLONE_THREAD, true, EPERM);
#ifdef SYS_clone3
    f.deny(SYS_clone3, ENOSYS);
#endif
#ifdef SYS_openat2
    f.deny(SYS_openat2, ENOSYS);
#endif
    const std::uint32_t writing = O_WRONLY | O_RDWR | O_CREAT | O_TRUNC | O_APPEND;
    f.denyUnlessFlags(SYS_openat, 2, writing, false, EACCES);
#ifdef SYS_open
    f.denyUnlessFlags(SYS_open, 1, writing, false, EACCES);
#endif
    // Signals only to ourselves (abort() signals its own thread).
    f.denyUnlessFirstArg(SYS_kill, self, EPERM);
    f.denyUnlessFirstArg(SYS_tgkill, self, EPERM);
    for (long nr : {
             long(SYS_socket), long(SYS_socketpair), long(SYS_connect), long(SYS_bind), long(SYS_listen),
             long(SYS_accept), long(SYS_accept4), long(SYS_execve), long(SYS_execveat), long(SYS_ptrace),
             long(SYS_process_vm_readv), long(SYS_process_vm_writev), long(SYS_tkill), long(SYS_rt_sigqueueinfo),
             long(SYS_rt_tgsigqueueinfo), long(SYS_unlinkat), long(SYS_renameat), long(SYS_renameat2),
             long(SYS_mkdirat), long(SYS_linkat), long(SYS_symlinkat), long(SYS_truncate), long(SYS_fchmod),
             long(SYS_fchmodat), long(SYS_fchown), long(SYS_fchownat), long(SYS_mknodat), long(SYS_setxattr),
             long(SYS_lsetxattr), long(SYS_fsetxattr), long(SYS_removexattr), long(SYS_lremovexattr),
             long(SYS_fremovexattr), long(SYS_utimensat), long(SYS_mount), long(SYS_umount2),
             long(SYS_pivot_root), long(SYS_chroot), long(SYS_bpf), long(SYS_perf_event_open),
             long(SYS_userfaultfd), long(SYS_io_uring_setup), long(SYS_io_uring_enter), long(SYS_io_uring_register),
             long(SYS_keyctl), long(SYS_add_key), long(SYS_request_key), long(SYS_name_to_handle_at),
             long(SYS_open_by_handle_at), long(SYS_setns), long(SYS_unshare), long(SYS_pidfd_open),
             long(SYS_pidfd_send_signal), long(SYS_pidfd_getfd), long(SYS_fanotify_init),
#ifdef SYS_fork
             long(SYS_fork), long(SYS_vfork), long(SYS_creat), long(SYS_unlink), long(SYS_rename),
             long(SYS_mkdir), long(SYS_rmdir), long(SYS_link), long(SYS_symlink), long(SYS_chmod),
             long(SYS_chown), long(SYS_lchown), long(SYS_mknod), long(SYS_utime), long(SYS_utimes),
             long(SYS_futimesat),
#endif
         })
        f.deny(nr, EPERM);
    f.ret(SECCOMP_RET_ALLOW);

    sock_fprog program{};
    program.len = static_cast<unsigned short>(f.code().size());
    program.filter = f.code().data();
    return ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program, 0, 0) == 0;
}

bool readable(const QString& path)
{
    const int fd = ::open(NativePath(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char c;
    const bool ok = ::read(fd, &c, 1) >= 0;
    ::close(fd);
    return ok;
}

} // namespace

int LandlockAbi()
{
    const long abi = ::syscall(SYS_landlock_create_ruleset, nullptr, 0, kCreateRulesetVersion);
    return abi > 0 ? int(abi) : 0;
}

SandboxReport LockDown(const QString& readableFile, bool fonts)
{
    SandboxReport report;
    // Needed for an unprivileged filter; also keeps set-id programs from
    // gaining anything. No core dumps and no debugger attaching.
    ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);
    ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    report.landlockAbi = LandlockAbi();
    landlock(readableFile, fonts, report);
    report.syscallFilter = syscallFilter();
    report.writesDenied = report.writesDenied || report.syscallFilter;
    return report;
}

QByteArray ProbeConfinement(const QString& allowedFile, const QString& otherFile, const QString& writableDir)
{
    QByteArray out;
    const auto say = [&out](const char* what, bool worked) {
        out += QByteArray(what) + '=' + (worked ? '1' : '0') + '\n';
    };
    say("read-allowed", readable(allowedFile));
    say("read-other", readable(otherFile));
    const QByteArray created = NativePath(writableDir + QStringLiteral("/escaped"));
    const int fd = ::open(created.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    say("write", fd >= 0);
    if (fd >= 0) ::close(fd);
    const int s = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    say("socket", s >= 0);
    if (s >= 0) ::close(s);
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    say("fork", child > 0);
    if (child > 0) ::waitpid(child, nullptr, 0);
    say("signal-parent", ::kill(::getppid(), 0) == 0);
    // Last: when it works, this process becomes the program, so what was
    // found so far goes out first.
    AnswerParent({out});
    char* const argv[] = {const_cast<char*>("true"), nullptr};
    ::execv("/bin/true", argv);
    say("exec", false);
    return out;
}

#else

int LandlockAbi() { return 0; }

SandboxReport LockDown(const QString&, bool) { return {}; }

QByteArray ProbeConfinement(const QString&, const QString&, const QString&) { return {}; }

#endif

} // namespace vm
