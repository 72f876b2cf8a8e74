// Runs a command with io_uring denied to it and to everything it starts, the
// way container runtimes deny it: io_uring_setup fails with EPERM. The filter
// belongs to this process and its children only; nothing machine-wide changes.
// Usage: deny-io-uring COMMAND [ARGUMENT...]
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>

namespace {

#if defined(__x86_64__)
constexpr unsigned NativeArch = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
constexpr unsigned NativeArch = AUDIT_ARCH_AARCH64;
#else
#error "deny-io-uring knows the system call numbers of x86-64 and AArch64 only"
#endif

bool DenyIoUring() {
    sock_filter rules[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, NativeArch, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_io_uring_setup, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EPERM),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    sock_fprog program{static_cast<unsigned short>(sizeof rules / sizeof rules[0]), rules};
    // Without this only a privileged process may install a filter.
    return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
           prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: deny-io-uring COMMAND [ARGUMENT...]\n");
        return 2;
    }
    if (!DenyIoUring()) {
        std::perror("deny-io-uring: seccomp");
        return 126;
    }
    execvp(argv[1], argv + 1);
    std::perror("deny-io-uring: exec");
    return 127;
}
