// Runs a program as on a kernel without Landlock: a system-call filter,
// inherited across exec, makes every Landlock call fail with ENOSYS.
//
//   no_landlock <program> [arguments...]
//   no_landlock [decoder arguments...]   (runs the decoder built with it)
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

#ifndef NO_LANDLOCK_DEFAULT_PROGRAM
#define NO_LANDLOCK_DEFAULT_PROGRAM ""
#endif

int main(int argc, char** argv)
{
    std::vector<sock_filter> code{BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr))};
    for (long nr : {long(SYS_landlock_create_ruleset), long(SYS_landlock_add_rule), long(SYS_landlock_restrict_self)}) {
        code.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, std::uint32_t(nr), 0, 1));
        code.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | ENOSYS));
    }
    code.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
    sock_fprog program{static_cast<unsigned short>(code.size()), code.data()};
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
        ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program, 0, 0) != 0) {
        std::perror("no_landlock");
        return 125;
    }
    // A first argument that is no switch names the program; otherwise the
    // arguments are the decoder's.
    std::vector<char*> args;
    static char decoder[] = NO_LANDLOCK_DEFAULT_PROGRAM;
    const bool named = argc > 1 && argv[1][0] != '-';
    args.push_back(named ? argv[1] : decoder);
    for (int i = named ? 2 : 1; i < argc; ++i) args.push_back(argv[i]);
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    std::perror("no_landlock");
    return 126;
}
