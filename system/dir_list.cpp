// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors

#include "dir_list.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <string_view>

namespace {

// The records that getdents64 fills: a 64-bit inode number, a 64-bit
// offset, the record's length (16 bits), the entry's type (8 bits), then
// its name, ended by a zero byte. Called through syscall(2): opendir would
// need a descriptor of its own, and C libraries differ on the wrapper.
constexpr std::size_t length_at = 16;
constexpr std::size_t name_at = 19;

}  // namespace

int list_directory(int dir, std::vector<std::string>& names) {
    if (::lseek(dir, 0, SEEK_SET) < 0) {
        return errno;
    }
    alignas(8) std::array<char, 16384> buffer;
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
            std::memcpy(&length, record + length_at, sizeof length);
            const std::string_view name(record + name_at);
            if (name != "." && name != "..") {
                names.emplace_back(name);
            }
            at += length;
        }
    }
}
