// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors

#include "event_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "file_io.h"
#include "fixed_paths.h"

void log_append(std::string_view message, mode_t permitted_mode) {
    const mode_t mode = permitted_mode & 0666;
    // The log lives in /tmp: a symbolic link put there in its place is
    // refused rather than followed, and a FIFO is not waited on.
    const unique_fd log(::open(
        event_log_path, O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, mode));
    struct stat status {};
    if (!log || ::fstat(log.get(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return;
    }
    if ((status.st_mode & 0777 & ~mode) != 0) {
        static_cast<void>(::fchmod(log.get(), status.st_mode & 07777 & mode));
    }
    if (write_all(log.get(), message) != 0) {
        // Back to where it was; nothing more can be done if even that fails.
        const int ignored = ::ftruncate(log.get(), status.st_size);
        static_cast<void>(ignored);
    }
}
