// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors

#include "event_log.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "complain.h"
#include "file_io.h"
#include "fixed_paths.h"
#include "ownership.h"

namespace {

// A lock held for long is another process's doing (one launcher holds it
// for one write): wait a little, never forever, for the boot goes on.
log_result lock_exclusively(int fd) {
    constexpr int tries = 200;
    const timespec pause{0, 10'000'000};
    for (int i = 0; i < tries; ++i) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            return {};
        }
        if (errno != EWOULDBLOCK && errno != EINTR) {
            return {log_verdict::failed, errno};
        }
        ::nanosleep(&pause, nullptr);
    }
    return {log_verdict::locked};
}

// Takes from the open file `fd` the permission bits beyond `mode`.
void narrow(int fd, const struct stat& status, mode_t mode) {
    if ((status.st_mode & 0777 & ~mode) != 0) {
        static_cast<void>(::fchmod(fd, status.st_mode & 07777 & mode));
    }
}

// lwm2m.log.1 holds what the log held, so it is narrowed the same way, when
// it is the launcher's own as the log must be (never through a link, nor
// through a second name of another file).
void narrow_older_log(mode_t mode) {
    const unique_fd older(
        ::open(older_event_log_path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat status {};
    if (older && ::fstat(older.get(), &status) == 0 &&
        ownership_of(status, S_IFREG, ::geteuid()) == ownership::own) {
        narrow(older.get(), status, mode);
    }
}

// Opens the log as it is named now and takes its lock; `log` is left
// closed when the verdict is not `written`.
log_result open_locked(unique_fd& log, mode_t mode) {
    // The log lives in /tmp: a symbolic link put there in its place is
    // refused rather than followed, and a FIFO is not waited on.
    log = unique_fd(::open(
        event_log_path,
        O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, mode));
    if (!log) {
        // ENXIO: a FIFO without a reader, opened for writing without waiting.
        return errno == ELOOP   ? log_result{log_verdict::symbolic_link}
               : errno == ENXIO ? log_result{log_verdict::not_regular}
                                : log_result{log_verdict::failed, errno};
    }
    log_result result;
    struct stat& status = result.status;
    if (::fstat(log.get(), &status) != 0) {
        return {log_verdict::failed, errno};
    }
    switch (ownership_of(status, S_IFREG, ::geteuid())) {
        case ownership::own:
            break;
        case ownership::symbolic_link:  // O_NOFOLLOW refuses it before
        case ownership::other_type:
            return {log_verdict::not_regular, 0, status};
        case ownership::other_owner:
            return {log_verdict::foreign_owner, 0, status};
        case ownership::other_links:
            return {log_verdict::extra_links, 0, status};
    }
    narrow(log.get(), status, mode);
    narrow_older_log(mode);
    if (const log_result locked = lock_exclusively(log.get());
        locked.verdict != log_verdict::written) {
        return locked;
    }
    // The size to step back to, once no other launcher can append.
    if (::fstat(log.get(), &status) != 0) {
        return {log_verdict::failed, errno};
    }
    return result;
}

}  // namespace

log_result log_append(std::string_view message, mode_t permitted_mode,
                      const std::function<void()>& before_write) {
    const mode_t mode = permitted_mode & 0666;
    // A log another launcher renamed while this one waited for the lock is
    // opened again by its name; renames come once a log is full, so a few
    // tries are plenty, the last appending to what it holds.
    constexpr int tries = 3;
    for (int attempt = 1;; ++attempt) {
        unique_fd log;
        log_result result = open_locked(log, mode);
        if (result.verdict != log_verdict::written) {
            return result;
        }
        const struct stat& status = result.status;
        struct stat named {};
        if (attempt < tries && (::lstat(event_log_path, &named) != 0 ||
                                named.st_dev != status.st_dev || named.st_ino != status.st_ino)) {
            continue;
        }
        if (attempt < tries && status.st_size > 0 &&
            status.st_size + static_cast<off_t>(message.size()) > event_log_limit) {
            if (::rename(event_log_path, older_event_log_path) != 0) {
                return {log_verdict::not_moved, errno, status};
            }
            continue;  // the lock goes with the renamed log
        }
        if (before_write) {
            before_write();
        }
        if (const int error = write_all(log.get(), message); error != 0) {
            // Back to where it was; nothing more can be done if even that fails.
            const int ignored = ::ftruncate(log.get(), status.st_size);
            static_cast<void>(ignored);
            return {log_verdict::failed, error};
        }
        return result;
    }
}

std::string log_refusal_text(const log_result& result) {
    switch (result.verdict) {
        case log_verdict::symbolic_link:
            return "it is a symbolic link";
        case log_verdict::not_regular:
            return "not a regular file";
        case log_verdict::foreign_owner:
            return joined({"owned by uid ", std::to_string(result.status.st_uid)});
        case log_verdict::extra_links:
            return joined({"it has ", std::to_string(result.status.st_nlink), " links"});
        case log_verdict::locked:
            return "locked by another process";
        case log_verdict::not_moved:
            return joined({"full, and can't rename it to ", older_event_log_path, ": ",
                           std::strerror(result.error)});
        case log_verdict::written:
        case log_verdict::failed:
            break;
    }
    return std::strerror(result.error);
}
