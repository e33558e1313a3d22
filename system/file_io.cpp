// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors

#include "file_io.h"

#include <unistd.h>

#include <cerrno>

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
