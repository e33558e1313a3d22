// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors

#include "work_dir.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <utility>

#include "complain.h"
#include "dir_list.h"
#include "fixed_paths.h"
#include "process_start.h"

namespace {

// These commands hold no setting, so no value from the settings file ever
// reaches a shell. Nor does the launcher's environment: a PATH of the
// caller's could put a program of its own in place of mkdir or rm.
void run_fixed_command(const std::string& command) {
    char shell[] = "/bin/sh";
    char option[] = "-c";
    // execve's vector is of char*, but nothing writes through it.
    char* const argv[] = {shell, option, const_cast<char*>(command.c_str()), nullptr};
    std::string path = fixed_command_path;
    char* const envp[] = {path.data(), nullptr};
    pid_t pid = -1;
    const int error =
        start_program({.argv = argv, .envp = envp, .umask_add = S_IWGRP | S_IWOTH}, pid);
    if (error != 0) {
        complain({"can't run ", command, ": ", std::strerror(error)});
        return;
    }
    wait_for_exit(pid);
}

constexpr int directory_flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC;

// Immutable and append-only entries can't be removed or changed, nor can
// entries of such a directory, whatever the permissions.
bool pinned(int fd) {
    int flags = 0;
    return ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 &&
           (flags & (FS_IMMUTABLE_FL | FS_APPEND_FL)) != 0;
}

// What the kernel would answer a change to the open file `fd` (its mode,
// or, for a directory, its entries): EROFS, EPERM, or 0.
int foreseen_change_error(int fd) {
    struct statvfs file_system {};
    if (::fstatvfs(fd, &file_system) == 0 && (file_system.f_flag & ST_RDONLY) != 0) {
        return EROFS;
    }
    return pinned(fd) ? EPERM : 0;
}

// What removing an entry of the open directory `dir` would meet, the
// entry itself aside.
int foreseen_unlink_error(int dir) {
    if (const int error = foreseen_change_error(dir); error != 0) {
        return error;
    }
    return ::faccessat(dir, ".", W_OK, AT_EACCESS) == 0 ? 0 : errno;
}

// An entry as the walk sees it, without following a link.
struct entry_look {
    int error = 0;
    bool directory = false;
    bool mounted_on = false;  // something is mounted on it
    dev_t device = 0;
    ino_t inode = 0;
};

// A mount is told by the mount's own mark, which a bind mount of the same
// file system has too; kernels before 5.8 have none, and there only a
// file system other than the directory's shows.
entry_look look_at_entry(int dir, const char* name, dev_t dir_device) {
    struct statx status {};
    entry_look look;
    if (::statx(dir, name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, STATX_TYPE | STATX_INO,
                &status) != 0) {
        look.error = errno;
        return look;
    }
    look.directory = S_ISDIR(status.stx_mode);
    look.device = ::makedev(status.stx_dev_major, status.stx_dev_minor);
    look.inode = status.stx_ino;
    look.mounted_on = (status.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0
                          ? (status.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0
                          : look.device != dir_device;
    return look;
}

// Removes the entry `name` of `dir`, or foresees what that would meet;
// `entry` is the entry itself, opened, when it is a directory.
int remove_entry(int dir, const char* name, int entry, step_mode mode) {
    if (mode == step_mode::act) {
        return ::unlinkat(dir, name, entry >= 0 ? AT_REMOVEDIR : 0) == 0 ? 0 : errno;
    }
    if (const int error = foreseen_unlink_error(dir); error != 0) {
        return error;
    }
    // Only directories and regular files are opened to look at them: a
    // device could act on being opened.
    unique_fd file;
    if (entry < 0) {
        struct stat status {};
        if (::fstatat(dir, name, &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(status.st_mode)) {
            file = unique_fd(::openat(dir, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY |
                                                     O_CLOEXEC));
            entry = file.get();
        }
    }
    return entry >= 0 && pinned(entry) ? EPERM : 0;
}

// A directory on the way down: its name in its parent, who it is (to know
// the parent again on the way up), the names of its entries still to take,
// and the first thing that could not be removed in it.
struct pending_dir {
    std::string name;
    dev_t device = 0;
    ino_t inode = 0;
    std::vector<std::string> entries;
    std::size_t next = 0;
    std::string failure;
};

// Deeper than this, a tree is left where it is: every level waiting on the
// way down takes a little memory.
constexpr std::size_t deepest = 65536;

// The names that the shell pattern "*.*" matches.
bool holds_dot_after_start(std::string_view name) {
    return !name.empty() && name.front() != '.' && name.find('.') != std::string_view::npos;
}

dir_verdict verdict_on(const struct stat& status, uid_t owner) {
    return S_ISLNK(status.st_mode)    ? dir_verdict::symbolic_link
           : !S_ISDIR(status.st_mode) ? dir_verdict::not_directory
           : status.st_uid != owner   ? dir_verdict::foreign_owner
                                      : dir_verdict::trusted;
}

dir_check failed_check(int error) {
    return {dir_verdict::failed, error};
}

// The first look is for a clear reason; the checks that count are made on
// the directory once it is open, so nothing put in its place between the
// two can pass.
dir_check look_at_dir(const char* path, uid_t owner) {
    dir_check check;
    if (::lstat(path, &check.status) != 0) {
        return failed_check(errno);
    }
    check.verdict = verdict_on(check.status, owner);
    return check;
}

bool missing(const dir_check& check) {
    return check.verdict == dir_verdict::failed && check.error == ENOENT;
}

}  // namespace

bool work_dir_state::csv_kept() const {
    return std::any_of(dotted.kept.begin(), dotted.kept.end(),
                       [](const kept_entry& entry) { return entry.name == "config.csv"; });
}

removal_result remove_dotted_entries(unique_fd dir, const char* shown, step_mode mode) {
    removal_result result;
    std::vector<pending_dir> levels(1);
    struct stat status {};
    if (::fstat(dir.get(), &status) != 0) {
        return result;
    }
    levels[0].device = status.st_dev;
    levels[0].inode = status.st_ino;
    if (const int error = list_directory(dir.get(), levels[0].entries);
        error != 0 && mode == step_mode::act) {
        complain({"can't read ", shown, ": ", std::strerror(error)});
    }
    std::erase_if(levels[0].entries, [](const std::string& name) { return !holds_dot_after_start(name); });
    // An entry of `dir` is said once, with its first failure.
    const auto failed = [&](const std::string& name, std::string_view failure) {
        if (levels.size() == 1) {
            result.kept.push_back({name, std::string(failure)});
            if (mode == step_mode::act) {
                complain({"can't remove ", shown, "/", name, ": ", failure});
            }
        } else if (levels.back().failure.empty()) {
            levels.back().failure = failure;
        }
    };
    const auto path_of = [&](const std::string& name) {
        std::string path = shown;
        for (std::size_t i = 1; i < levels.size(); ++i) {
            path += "/" + levels[i].name;
        }
        return path + "/" + name;
    };
    // Taken off `dir`: gone, or gone already.
    const auto taken = [&](int error) {
        const bool gone = error == 0 || error == ENOENT;
        result.removed += levels.size() == 1 && gone ? 1U : 0U;
        return gone;
    };
    while (true) {
        pending_dir& here = levels.back();
        if (here.next < here.entries.size()) {
            const std::string& name = here.entries[here.next++];
            const entry_look entry = look_at_entry(dir.get(), name.c_str(), here.device);
            if (entry.error != 0) {
                if (!taken(entry.error)) {
                    failed(name, std::strerror(entry.error));
                }
                continue;
            }
            if (entry.mounted_on) {
                failed(name, "a file system is mounted on " + path_of(name));
                continue;
            }
            if (!entry.directory) {
                if (const int error = remove_entry(dir.get(), name.c_str(), -1, mode); !taken(error)) {
                    failed(name, std::strerror(error));
                }
                continue;
            }
            if (levels.size() > deepest) {
                failed(name, "too many levels of directories");
                continue;
            }
            unique_fd sub(::openat(dir.get(), name.c_str(), directory_flags));
            if (!sub || ::fstat(sub.get(), &status) != 0) {
                failed(name, std::strerror(errno));
                continue;
            }
            if (status.st_dev != entry.device || status.st_ino != entry.inode) {
                failed(name, "moved away while it was being removed");
                continue;
            }
            // A read-only directory can't be emptied by its owner until it
            // is writable again.
            if (mode == step_mode::act) {
                static_cast<void>(::fchmod(sub.get(), S_IRWXU));
            }
            pending_dir down;
            down.name = name;
            down.device = status.st_dev;
            down.inode = status.st_ino;
            const int unread = list_directory(sub.get(), down.entries);
            levels.push_back(std::move(down));
            if (unread != 0) {
                failed(name, std::strerror(unread));
            }
            dir = std::move(sub);
            continue;
        }
        if (levels.size() == 1) {
            return result;  // the work directory itself stays
        }
        // Every entry taken: up to the parent, and remove this directory.
        const pending_dir& parent = levels[levels.size() - 2];
        unique_fd up(::openat(dir.get(), "..", directory_flags));
        if (!up || ::fstat(up.get(), &status) != 0 || status.st_dev != parent.device ||
            status.st_ino != parent.inode) {
            levels.resize(1);
            failed(levels[0].entries[levels[0].next - 1], "moved away while it was being removed");
            return result;
        }
        const std::string name = std::move(here.name);
        std::string failure = std::move(here.failure);
        const int error =
            failure.empty() ? remove_entry(up.get(), name.c_str(), dir.get(), mode) : 0;
        levels.pop_back();
        dir = std::move(up);
        if (failure.empty() && !taken(error)) {
            failure = std::strerror(error);
        }
        if (!failure.empty()) {
            failed(name, failure);
        }
    }
}

dir_check open_private_dir(const char* path, uid_t owner, unique_fd& dir, step_mode mode) {
    if (const dir_check check = look_at_dir(path, owner); check.verdict != dir_verdict::trusted) {
        return check;
    }
    dir = unique_fd(::open(path, directory_flags));
    dir_check check;
    if (!dir || ::fstat(dir.get(), &check.status) != 0) {
        return failed_check(errno);
    }
    check.verdict = verdict_on(check.status, owner);
    const mode_t mode_bits = check.status.st_mode & 07777;
    if (check.verdict == dir_verdict::trusted && (mode_bits & (S_IWGRP | S_IWOTH)) != 0) {
        const int error =
            mode == step_mode::foresee ? foreseen_change_error(dir.get())
            : ::fchmod(dir.get(), mode_bits & ~mode_t{S_IWGRP | S_IWOTH}) == 0 ? 0
                                                                               : errno;
        if (error != 0) {
            return failed_check(error);
        }
    }
    return check;
}

std::string refusal_text(const char* path, const dir_check& check, uid_t owner) {
    switch (check.verdict) {
        case dir_verdict::symbolic_link:
            return std::string(path) + " is a symbolic link";
        case dir_verdict::not_directory:
            return std::string(path) + " is not a directory";
        case dir_verdict::foreign_owner:
            return std::string(path) + " is owned by uid " + std::to_string(check.status.st_uid) +
                   ", not by uid " + std::to_string(owner);
        case dir_verdict::trusted:
            return {};
        case dir_verdict::failed:
            break;
    }
    return std::string(path) + ": " + std::strerror(check.error);
}

work_dir_state prepare_work_dir(step_mode mode) {
    const uid_t self = ::geteuid();
    work_dir_state state;
    const dir_check root = look_at_dir(work_root, self);
    if (!missing(root) && !(state.refusal = refusal_text(work_root, root, self)).empty()) {
        return state;
    }
    if (missing(root) || missing(look_at_dir(work_dir, self))) {
        // What mkdir -p meets making what is missing. Foreseen, it would
        // make it, empty, and the CSV configuration in it.
        const char* const parent = missing(root) ? "/tmp" : work_root;
        if (::faccessat(AT_FDCWD, parent, W_OK | X_OK, AT_EACCESS) != 0 && errno != ENOENT) {
            state.refusal = "can't make " + std::string(missing(root) ? work_root : work_dir) +
                            ": " + std::strerror(errno);
            return state;
        }
        if (mode == step_mode::foresee) {
            return state;
        }
    }
    if (mode == step_mode::act) {
        run_fixed_command(std::string("mkdir -p ") + work_dir);
    }

    // One directory open at a time: /tmp/lwm2m is checked and closed, then
    // /tmp/lwm2m/etc is opened by its path and must have it as its parent.
    struct stat root_status {};
    {
        unique_fd root_dir;
        const dir_check check = open_private_dir(work_root, self, root_dir, mode);
        if (state.refusal = refusal_text(work_root, check, self); !state.refusal.empty()) {
            return state;
        }
        root_status = check.status;
    }
    unique_fd etc;
    const dir_check check = open_private_dir(work_dir, self, etc, mode);
    if (state.refusal = refusal_text(work_dir, check, self); !state.refusal.empty()) {
        return state;
    }
    struct stat parent {};
    if (::fstatat(etc.get(), "..", &parent, 0) != 0) {
        state.refusal = refusal_text(work_dir, failed_check(errno), self);
        return state;
    }
    if (parent.st_dev != root_status.st_dev || parent.st_ino != root_status.st_ino) {
        state.refusal = std::string(work_root) + " changed while it was checked";
        return state;
    }
    if (mode == step_mode::foresee) {
        state.csv_create_error = foreseen_unlink_error(etc.get());
    }
    state.dotted = remove_dotted_entries(std::move(etc), work_dir, mode);
    if (mode == step_mode::act) {
        run_fixed_command(std::string("rm -f ") + map_file_path + " 2> /dev/null");
    }
    return state;
}
