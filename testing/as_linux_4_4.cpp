// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
// Runs a program with the system calls of Linux 4.4, the oldest kernel that
// gateways run: every call that came later answers ENOSYS, as that kernel
// does (statx, close_range, clone3, faccessat2, openat2, rseq, ...), and the
// program and the C library must take their fallbacks.
//
// Usage: as_linux_4_4 PROGRAM [ARGUMENT...]
// Exit: PROGRAM's; 126 when it can't be run or the filter can't be set,
// 77 on a machine whose system call table this does not know.
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <iterator>

namespace {

// The last system call that Linux 4.4 had (mlock2), and the machine whose
// numbering that is.
#if defined(__x86_64__)
constexpr unsigned last_call = 325;
constexpr unsigned machine = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
constexpr unsigned last_call = 284;
constexpr unsigned machine = AUDIT_ARCH_AARCH64;
#else
constexpr unsigned last_call = 0;
constexpr unsigned machine = 0;
#endif

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        static_cast<void>(std::fputs("usage: as_linux_4_4 PROGRAM [ARGUMENT...]\n", stderr));
        return 126;
    }
    // cppcheck-suppress knownConditionTrueFalse
    if (last_call == 0) {  // a machine this file has no number for
        static_cast<void>(std::fputs("as_linux_4_4: unknown machine\n", stderr));
        return 77;
    }
    // Another machine's calls (x86_64's x32 ABI among them) are refused too.
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, machine, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | ENOSYS),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JGT | BPF_K, last_call, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | ENOSYS),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    const sock_fprog program{static_cast<unsigned short>(std::size(filter)), filter};
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
        ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0) {
        std::perror("as_linux_4_4: seccomp");
        return 126;
    }
    ::execv(argv[1], argv + 1);
    static_cast<void>(
        std::fprintf(stderr, "as_linux_4_4: %s: %s\n", argv[1], std::strerror(errno)));
    return 126;
}
