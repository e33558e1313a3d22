// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors

#include "event_log.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "file_io.h"
#include "fixed_paths.h"

namespace {

// A lock held for long is another process's doing (one launcher holds it
// for one write): wait a little, never forever, for the boot goes on.
int lock_exclusively(int fd) {
    constexpr int tries = 200;
    const timespec pause{0, 10'000'000};
    for (int i = 0; i < tries; ++i) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            return 0;
        }
        if (errno != EWOULDBLOCK && errno != EINTR) {
            return errno;
        }
        ::nanosleep(&pause, nullptr);
    }
    return EWOULDBLOCK;
}

}  // namespace

int log_append(std::string_view message, mode_t permitted_mode, struct stat& status) {
    status = {};
    const mode_t mode = permitted_mode & 0666;
    // The log lives in /tmp: a symbolic link put there in its place is
    // refused rather than followed, and a FIFO is not waited on.
    const unique_fd log(::open(
        event_log_path, O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, mode));
    if (!log) {
        // Opening a FIFO without a reader for writing, without waiting.
        return errno == ENXIO ? EINVAL : errno;
    }
    if (::fstat(log.get(), &status) != 0) {
        return errno;
    }
    if (!S_ISREG(status.st_mode)) {
        return EINVAL;
    }
    if (status.st_uid != ::geteuid()) {
        return EPERM;
    }
    if (status.st_nlink != 1) {
        return EMLINK;
    }
    if ((status.st_mode & 0777 & ~mode) != 0) {
        static_cast<void>(::fchmod(log.get(), status.st_mode & 07777 & mode));
    }
    if (const int error = lock_exclusively(log.get()); error != 0) {
        return error;
    }
    // The size to step back to, once no other launcher can append.
    if (::fstat(log.get(), &status) != 0) {
        return errno;
    }
    if (const int error = write_all(log.get(), message); error != 0) {
        // Back to where it was; nothing more can be done if even that fails.
        const int ignored = ::ftruncate(log.get(), status.st_size);
        static_cast<void>(ignored);
        return error;
    }
    return 0;
}

std::string log_refusal_text(int error, const struct stat& status) {
    switch (error) {
        case ELOOP:
            return "it is a symbolic link";
        case EINVAL:
            return "not a regular file";
        case EPERM:
            return "owned by uid " + std::to_string(status.st_uid);
        case EMLINK:
            return "it has " + std::to_string(status.st_nlink) + " links";
        case EWOULDBLOCK:
            return "locked by another process";
        default:
            return std::strerror(error);
    }
}
