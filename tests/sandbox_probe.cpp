// Starts like the decoder (a handed file, the answer memory, nothing else),
// takes the same lock-down, then tries what a decoder taken over by a
// hostile file would try. One line per attempt, "name=done" or
// "name=refused", plus what the lock-down reported and the descriptors it
// started with. Used by test_sandbox; never installed.
//
//   sandbox_probe [--fonts] [--threads] <victim pid> <other file> <writable folder>
#include "platform/childprocess.h"
#include "platform/sandbox.h"

#include <QByteArray>
#include <QString>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace {

bool opened(const char* path, int flags)
{
    const int fd = ::open(path, flags | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

void* idle(void*)
{
    ::pause();
    return nullptr;
}

} // namespace

int main(int argc, char** argv)
{
    bool fonts = false, threads = false;
    for (; argc > 1 && argv[1][0] == '-'; --argc, ++argv) {
        if (std::strcmp(argv[1], "--fonts") == 0) fonts = true;
        else if (std::strcmp(argv[1], "--threads") == 0) threads = true;
        else return 2;
    }
    if (argc != 4) return 2;
    QByteArray out;
    const auto say = [&out](const char* what, bool done) {
        out += QByteArray(what) + '=' + (done ? "done" : "refused") + '\n';
    };
    const pid_t victim = pid_t(std::atoi(argv[1]));
    const char* otherFile = argv[2];
    const QByteArray escaped = QByteArray(argv[3]) + "/escaped";
    const pid_t parent = ::getppid();
    const QByteArray parentEnviron = "/proc/" + QByteArray::number(parent) + "/environ";

    // What it started with, before anything of its own is open.
    QByteArray fds;
    for (int fd = 0; fd < 1024; ++fd)
        if (::fcntl(fd, F_GETFD) >= 0) fds += (fds.isEmpty() ? "" : ",") + QByteArray::number(fd);
    int pipeFds[2] = {-1, -1};
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return 3;

    const vm::SandboxReport report = vm::LockDown(vm::LockDownOptions{fonts, threads});
    out += "fds=" + fds + '\n';
    out += "landlock=" + QByteArray::number(report.landlockAbi) + " files=" + (report.filesConfined ? "1" : "0") +
             " scoped=" + (report.scoped ? "1" : "0") + " filter=" + (report.syscallFilter ? "1" : "0") +
             " failed=" + (report.failed ? "1" : "0") + '\n';

    // What a decoder must still be able to do.
    char byte = 0;
    say("read-handed", ::pread(vm::kHandedFileFd, &byte, 1, 0) == 1);
    struct rlimit limit {};
    say("prlimit-self", ::prlimit(0, RLIMIT_CPU, nullptr, &limit) == 0 &&
                            ::prlimit(::getpid(), RLIMIT_CPU, nullptr, &limit) == 0);
    say("kill-self", ::kill(::getpid(), 0) == 0);

    // What it must not.
    const struct rlimit oneSecond {1, 1};
    say("prlimit-other", ::prlimit(victim, RLIMIT_CPU, &oneSecond, nullptr) == 0);
    say("prlimit-parent", ::prlimit(parent, RLIMIT_CPU, &oneSecond, nullptr) == 0);
    say("setpriority", ::setpriority(PRIO_PROCESS, id_t(victim), 19) == 0);
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(0, &one);
    say("sched_setaffinity", ::sched_setaffinity(victim, sizeof one, &one) == 0);
    const sched_param idleParam{};
    say("sched_setscheduler", ::sched_setscheduler(victim, SCHED_IDLE, &idleParam) == 0);
    say("ioprio_set", ::syscall(SYS_ioprio_set, 1 /* process */, victim, 7 | (3 << 13)) == 0);
    say("kill-other", ::kill(victim, 0) == 0);
    say("kill-parent", ::kill(parent, 0) == 0);
    say("tkill-other", ::syscall(SYS_tkill, victim, 0) == 0);
    say("pidfd_open", ::syscall(SYS_pidfd_open, victim, 0) >= 0);
    char peek[8];
    struct iovec local {peek, sizeof peek}, remote {reinterpret_cast<void*>(0x400000), sizeof peek};
    say("process_vm_readv", ::syscall(SYS_process_vm_readv, victim, &local, 1, &remote, 1, 0) >= 0);
    say("ptrace", ::ptrace(PTRACE_ATTACH, victim, nullptr, nullptr) == 0);

    int created = 0;
    for (int i = 0; i < 2000; ++i) {
        pthread_t t;
        pthread_attr_t attr;
        pthread_attr_init(&attr);
        pthread_attr_setstacksize(&attr, 64 * 1024);
        const bool ok = ::pthread_create(&t, &attr, idle, nullptr) == 0;
        pthread_attr_destroy(&attr);
        if (!ok) break;
        ++created;
    }
    say("threads", created > 0);
    out += "threads-made=" + QByteArray::number(created) + '\n';

    bool wroteSocket = false;
    for (int fd = 0; fd < 1024; ++fd) {
        struct stat st {};
        if (::fstat(fd, &st) == 0 && S_ISSOCK(st.st_mode) && ::write(fd, "x", 1) == 1) wroteSocket = true;
    }
    say("write-inherited-socket", wroteSocket);
    say("fcntl-setown", ::fcntl(pipeFds[0], F_SETOWN, parent) == 0);
    say("fcntl-setsig", ::fcntl(pipeFds[0], F_SETSIG, SIGKILL) == 0);
    say("ioctl-tiocsti", ::ioctl(0, TIOCSTI, "x") == 0);

    say("open-other-file", opened(otherFile, O_RDONLY));
    say("list-folder", opened("/", O_RDONLY | O_DIRECTORY));
    say("read-parent-environ", opened(parentEnviron.constData(), O_RDONLY));
    say("write-file", opened(escaped.constData(), O_WRONLY | O_CREAT));
    say("socket-unix", ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0) >= 0);
    say("socket-inet", ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0) >= 0);
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    say("fork", child > 0);
    if (child > 0) ::waitpid(child, nullptr, 0);
    // Last: when it works this process becomes another program, so what
    // was found so far goes out first.
    vm::AnswerParent({out + "execve=done\n"});
    char* const args[] = {const_cast<char*>("true"), nullptr};
    ::execv("/bin/true", args);
    say("execve", false);
    return vm::AnswerParent({out}) ? 0 : 1;
}
