// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors

#include "file_io.h"

#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

namespace {

// The type of ioctl's request: unsigned long in glibc, int in musl.
template <typename Function>
struct request_of;
template <typename Request>
struct request_of<int(int, Request, ...)> {
    using type = Request;
};
template <typename Request>
struct request_of<int(int, Request, ...) noexcept> {
    using type = Request;
};
using ioctl_request = request_of<decltype(::ioctl)>::type;

}  // namespace

int unique_fd::close() {
    if (fd_ < 0) {
        return 0;
    }
    // Linux releases the descriptor even when close fails, so it is never
    // retried.
    const int saved = errno;
    const int error = ::close(std::exchange(fd_, -1)) == 0 ? 0 : errno;
    errno = saved;
    return error;
}

int write_all(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t written = ::write(fd, data.data(), data.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written < 0) {
            return errno;
        }
        if (written == 0) {
            return EIO;  // no progress: give up rather than spin
        }
        data.remove_prefix(static_cast<std::size_t>(written));
    }
    return 0;
}

int inode_flags(int fd, int& flags) {
    // FS_IOC_GETFLAGS's number fits either type: it is the same request.
    return ::ioctl(fd, static_cast<ioctl_request>(FS_IOC_GETFLAGS), &flags) == 0 ? 0 : errno;
}
