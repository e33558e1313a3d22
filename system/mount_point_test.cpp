// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors

#include "mount_point.h"

#include <fcntl.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstddef>
#include <iterator>

#include "test_dir.h"

namespace {

// What a child learnt of the entries "plain", "bound" (a directory of the
// same file system bound there) and "file" (a file likewise) in its exit
// status: two bits an entry, mounted and "nothing could tell".
int probe(const std::string& root, bool old_kernel, bool no_handles, bool no_proc) {
    const pid_t child = ::fork();
    if (child != 0) {
        int status = 0;
        ::waitpid(child, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    if (::unshare(CLONE_NEWNS) != 0 ||
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("tmpfs", root.c_str(), "tmpfs", 0, nullptr) != 0 ||
        (no_proc && ::mount("tmpfs", "/proc", "tmpfs", 0, nullptr) != 0)) {
        ::_exit(255);
    }
    for (const char* dir : {"/d", "/d/plain", "/d/bound", "/source"}) {
        ::mkdir((root + dir).c_str(), 0755);
    }
    for (const char* file : {"/d/file", "/source.txt"}) {
        ::close(::open((root + file).c_str(), O_CREAT | O_WRONLY, 0644));
    }
    ::mount((root + "/source").c_str(), (root + "/d/bound").c_str(), nullptr, MS_BIND, nullptr);
    ::mount((root + "/source.txt").c_str(), (root + "/d/file").c_str(), nullptr, MS_BIND, nullptr);
    // Kernels before 4.11 have no statx (the C library makes one up from
    // fstatat); some file systems make no handles.
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, old_kernel ? SYS_statx : ~0U, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | ENOSYS),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, no_handles ? SYS_name_to_handle_at : ~0U, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EOPNOTSUPP),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    const sock_fprog program{static_cast<unsigned short>(std::size(filter)), filter};
    ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);
    ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program);
    const int dir = ::open((root + "/d").c_str(), O_RDONLY | O_DIRECTORY);
    struct statx parent {};
    ::statx(dir, "", AT_EMPTY_PATH, STATX_BASIC_STATS | STATX_MNT_ID, &parent);
    std::optional<std::uint64_t> dir_id;
    int bits = 0;
    int shift = 0;
    for (const char* name : {"plain", "bound", "file"}) {
        struct statx entry {};
        ::statx(dir, name, AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_MNT_ID, &entry);
        bool mounted = false;
        const int error = find_mount_point(dir, name, entry, parent, dir_id, mounted);
        bits |= ((mounted ? 1 : 0) | (error != 0 ? 2 : 0)) << shift;
        shift += 2;
    }
    ::_exit(bits);
}

TEST(MountPoint, BindMountsOfTheSameFileSystemAreToldOrNothingIsTrusted) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "mounts need root";
    }
    const test_dir dir;
    constexpr int plain_alone = 0b01'01'00;  // file and bound mounted, plain not
    constexpr int nothing_tells = 0b11'11'11;
    const struct {
        const char* way;
        bool old_kernel, no_handles, no_proc;
        int expected;
    } cases[] = {
        {"statx's mark", false, false, false, plain_alone},
        {"name_to_handle_at's mount ID", true, false, false, plain_alone},
        {"/proc/self/fdinfo's mount ID", true, true, false, plain_alone},
        {"nothing can tell", true, true, true, nothing_tells},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(probe(dir.path(), c.old_kernel, c.no_handles, c.no_proc), c.expected) << c.way;
    }
}

}  // namespace
