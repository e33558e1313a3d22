// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors

#include "inherited_descriptors.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <climits>
#include <string>
#include <string_view>
#include <vector>

#include "dir_list.h"
#include "file_io.h"

// Called through syscall(2): C libraries without the wrapper (musl, glibc
// before 2.34) still build. The number is the same on every architecture.
#ifndef SYS_close_range
#define SYS_close_range 436
#endif
#ifndef CLOSE_RANGE_CLOEXEC
#define CLOSE_RANGE_CLOEXEC (1U << 2)
#endif

namespace {

bool sweep_proc_self_fd() {
    std::vector<std::string> names;
    {
        const unique_fd listing(
            ::open("/proc/self/fd", O_RDONLY | O_DIRECTORY | O_NOCTTY | O_CLOEXEC));
        if (!listing || list_directory(listing.get(), names) != 0) {
            return false;
        }
    }
    // The listing's own descriptor is among the names, and closed by now.
    for (const std::string_view name : names) {
        int fd = -1;
        const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), fd);
        if (error == std::errc() && end == name.data() + name.size() && fd > 2) {
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);  // close-on-exec is a descriptor's one flag
        }
    }
    return true;
}

// Without close_range or /proc, every number below the hard limit (a
// descriptor may have been opened before the soft limit was lowered),
// found open by poll as many at a time as the soft limit lets it ask.
void sweep_up_to_limit() {
    rlimit limit{1024, 1024};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    const rlim_t highest = std::min<rlim_t>(std::max(limit.rlim_cur, limit.rlim_max), 1U << 20);
    std::array<pollfd, 1024> asked{};
    const rlim_t batch = std::clamp<rlim_t>(limit.rlim_cur, 1, asked.size());
    for (rlim_t first = 3; first < highest; first += batch) {
        const auto count = static_cast<nfds_t>(std::min(batch, highest - first));
        for (nfds_t i = 0; i < count; ++i) {
            asked[i] = {static_cast<int>(first + i), 0, 0};
        }
        const bool told = ::poll(asked.data(), count, 0) >= 0;
        for (nfds_t i = 0; i < count; ++i) {
            if (!told || (asked[i].revents & POLLNVAL) == 0) {
                ::fcntl(asked[i].fd, F_SETFD, FD_CLOEXEC);
            }
        }
    }
}

}  // namespace

void open_missing_standard_descriptors() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) < 0 && ::open("/dev/null", O_RDWR | O_NOCTTY) < 0) {
            return;
        }
    }
}

void close_inherited_descriptors_on_exec() {
    // Linux 5.9 and 5.10 close a range but can't mark one. Closing does as
    // well here: the launcher has opened nothing of its own yet.
    if (::syscall(SYS_close_range, 3U, UINT_MAX, CLOSE_RANGE_CLOEXEC) != 0 &&
        !sweep_proc_self_fd() && ::syscall(SYS_close_range, 3U, UINT_MAX, 0U) != 0) {
        sweep_up_to_limit();
    }
}
