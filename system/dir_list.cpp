// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors

#include "dir_list.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace {

// The record getdents64 fills, as the kernel lays it out. Called through
// syscall(2): opendir would need a descriptor of its own, and C libraries
// differ on the wrapper's name.
struct kernel_dirent64 {
    std::uint64_t d_ino;
    std::int64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[1];
};

}  // namespace

int list_directory(int dir, std::vector<std::string>& names) {
    if (::lseek(dir, 0, SEEK_SET) < 0) {
        return errno;
    }
    alignas(kernel_dirent64) std::array<char, 16384> buffer;
    for (;;) {
        const long got = ::syscall(SYS_getdents64, dir, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return errno;
        }
        if (got == 0) {
            return 0;
        }
        for (std::size_t at = 0; at < static_cast<std::size_t>(got);) {
            const char* const record = buffer.data() + at;
            unsigned short length = 0;
            std::memcpy(&length, record + offsetof(kernel_dirent64, d_reclen), sizeof length);
            const std::string_view name(record + offsetof(kernel_dirent64, d_name));
            if (name != "." && name != "..") {
                names.emplace_back(name);
            }
            at += length;
        }
    }
}
