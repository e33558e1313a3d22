// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors

#include "work_dir.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

#include "complain.h"
#include "dir_list.h"
#include "file_io.h"
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

// The names that the shell pattern "*.*" matches.
bool holds_dot_after_start(std::string_view name) {
    return !name.empty() && name.front() != '.' && name.find('.') != std::string_view::npos;
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

// Deeper than this, a tree is left where it is (said on standard error):
// every level waiting on the way down takes a little memory.
constexpr std::size_t deepest = 65536;

// Immutable and append-only entries can't be removed, nor can entries of
// such a directory, whatever the permissions.
bool pinned(int fd) {
    int flags = 0;
    return ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 &&
           (flags & (FS_IMMUTABLE_FL | FS_APPEND_FL)) != 0;
}

// In a survey: why the open directory `dir` would keep its entries, 0 when
// it would not.
int write_blocker(int dir) {
    struct statvfs file_system {};
    if (::fstatvfs(dir, &file_system) == 0 && (file_system.f_flag & ST_RDONLY) != 0) {
        return EROFS;
    }
    if (pinned(dir)) {
        return EPERM;
    }
    return ::faccessat(dir, ".", W_OK, AT_EACCESS) == 0 ? 0 : errno;
}

// In a survey: what unlinking the entry `name` of `dir`, which is not a
// directory, would meet. Only regular files are opened to look at them: a
// device could act on being opened.
int unlink_blocker(int dir, const char* name, const struct stat& entry, dev_t device) {
    if (entry.st_dev != device) {
        return EBUSY;  // a file mounted over
    }
    if (S_ISREG(entry.st_mode)) {
        const unique_fd file(
            ::openat(dir, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        if (file && pinned(file.get())) {
            return EPERM;
        }
    }
    return 0;
}

// Removes the entries `names` of the open directory `dir`, shown as
// `shown`, each with all it holds, and returns those that stay. The walk
// goes down and up through the tree with the pending work on the heap,
// holding one directory open between steps: down by opening an entry
// without following a link, up by opening "..", which must be the
// directory it came from. Should a directory have been moved away
// meanwhile, the walk stops there. It never enters another file system
// mounted below: the mount point stays, and so does what holds it.
//
// A survey removes nothing and changes no mode: it says what would stay.
std::vector<kept_entry> remove_entries(unique_fd dir, const char* shown,
                                       std::vector<std::string> names, bool survey) {
    std::vector<kept_entry> kept;
    struct stat status {};
    if (::fstat(dir.get(), &status) != 0) {
        return kept;
    }
    std::vector<pending_dir> levels(1);
    levels[0].device = status.st_dev;
    levels[0].inode = status.st_ino;
    levels[0].entries = std::move(names);
    const int top_blocker = survey ? write_blocker(dir.get()) : 0;
    // A top entry that stays is said once, with its first failure.
    const auto failed = [&](const std::string& name, std::string_view failure) {
        if (levels.size() == 1) {
            kept.push_back({name, std::string(failure)});
            if (!survey) {
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
    while (true) {
        pending_dir& here = levels.back();
        if (here.next < here.entries.size()) {
            const std::string& name = here.entries[here.next++];
            int error = 0;
            if (!survey) {
                error = ::unlinkat(dir.get(), name.c_str(), 0) == 0 ? 0 : errno;
            } else if (::fstatat(dir.get(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
                error = errno;
            } else if (levels.size() == 1 && top_blocker != 0) {
                error = top_blocker;
            } else {
                error = S_ISDIR(status.st_mode)
                            ? EISDIR
                            : unlink_blocker(dir.get(), name.c_str(), status, here.device);
            }
            if (error == 0 || error == ENOENT) {
                continue;  // gone already, or gone now
            }
            unique_fd sub;
            if (error == EISDIR && levels.size() <= deepest) {
                sub =
                    unique_fd(::openat(dir.get(), name.c_str(),
                                       O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC));
            }
            if (!sub || ::fstat(sub.get(), &status) != 0) {
                failed(name, error != EISDIR           ? std::strerror(error)
                             : levels.size() > deepest ? "too many levels of directories"
                                                       : std::strerror(errno));
                continue;
            }
            if (status.st_dev != here.device) {
                failed(name, "a file system is mounted on " + path_of(name));
                continue;
            }
            // A read-only directory can't be emptied by its owner until it
            // is writable again.
            if (!survey) {
                static_cast<void>(::fchmod(sub.get(), S_IRWXU));
            }
            std::vector<std::string> inner;
            const int unread = list_directory(sub.get(), inner);
            pending_dir down;
            down.name = name;
            down.device = status.st_dev;
            down.inode = status.st_ino;
            down.entries = std::move(inner);
            levels.push_back(std::move(down));
            if (unread != 0) {
                failed(name, std::strerror(unread));
            }
            dir = std::move(sub);
            continue;
        }
        if (levels.size() == 1) {
            return kept;  // the work directory itself stays
        }
        // Every entry taken: up to the parent, and remove this directory.
        const pending_dir& parent = levels[levels.size() - 2];
        unique_fd up(::openat(dir.get(), "..", O_RDONLY | O_DIRECTORY | O_NOCTTY | O_CLOEXEC));
        if (!up || ::fstat(up.get(), &status) != 0 || status.st_dev != parent.device ||
            status.st_ino != parent.inode) {
            levels.resize(1);
            failed(levels[0].entries[levels[0].next - 1], "moved away while it was being removed");
            return kept;
        }
        // (A survey never goes down into a top entry that top_blocker keeps.)
        int error = survey && (pinned(dir.get()) || pinned(up.get())) ? EPERM : 0;
        const std::string name = std::move(here.name);
        std::string failure = std::move(here.failure);
        levels.pop_back();
        dir = std::move(up);
        if (failure.empty() && !survey && ::unlinkat(dir.get(), name.c_str(), AT_REMOVEDIR) != 0) {
            error = errno;
        }
        if (failure.empty() && error != 0) {
            failure = std::strerror(error);
        }
        if (!failure.empty()) {
            failed(name, failure);
        }
    }
}

std::vector<std::string> dotted_entries(int dir, const char* shown, bool survey) {
    std::vector<std::string> names;
    if (const int error = list_directory(dir, names); error != 0 && !survey) {
        complain({"can't read ", shown, ": ", std::strerror(error)});
    }
    std::erase_if(names, [](const std::string& name) { return !holds_dot_after_start(name); });
    return names;
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

}  // namespace

bool work_dir_state::csv_kept() const {
    return std::any_of(kept.begin(), kept.end(),
                       [](const kept_entry& entry) { return entry.name == "config.csv"; });
}

dir_check open_private_dir(const char* path, uid_t owner, unique_fd& dir) {
    if (const dir_check check = look_at_dir(path, owner); check.verdict != dir_verdict::trusted) {
        return check;
    }
    dir = unique_fd(::open(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC));
    dir_check check;
    if (!dir || ::fstat(dir.get(), &check.status) != 0) {
        return failed_check(errno);
    }
    check.verdict = verdict_on(check.status, owner);
    const mode_t mode = check.status.st_mode & 07777;
    if (check.verdict == dir_verdict::trusted && (mode & (S_IWGRP | S_IWOTH)) != 0 &&
        ::fchmod(dir.get(), mode & ~mode_t{S_IWGRP | S_IWOTH}) != 0) {
        return failed_check(errno);
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

std::vector<kept_entry> remove_dotted_entries(unique_fd dir, const char* shown) {
    std::vector<std::string> names = dotted_entries(dir.get(), shown, false);
    return remove_entries(std::move(dir), shown, std::move(names), false);
}

work_dir_state rebuild_work_dir() {
    const uid_t self = ::geteuid();
    work_dir_state state;
    if (const dir_check root = look_at_dir(work_root, self);
        root.verdict != dir_verdict::failed || root.error != ENOENT) {
        if (state.refusal = refusal_text(work_root, root, self); !state.refusal.empty()) {
            return state;
        }
    }
    run_fixed_command(std::string("mkdir -p ") + work_dir);

    // One directory open at a time: /tmp/lwm2m is checked and closed, then
    // /tmp/lwm2m/etc is opened by its path and must have it as its parent.
    struct stat root_status {};
    {
        unique_fd root;
        const dir_check check = open_private_dir(work_root, self, root);
        if (state.refusal = refusal_text(work_root, check, self); !state.refusal.empty()) {
            return state;
        }
        root_status = check.status;
    }
    unique_fd etc;
    const dir_check check = open_private_dir(work_dir, self, etc);
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
    state.kept = remove_dotted_entries(std::move(etc), work_dir);
    run_fixed_command(std::string("rm -f ") + map_file_path + " 2> /dev/null");
    return state;
}

work_dir_state survey_work_dir() {
    const uid_t self = ::geteuid();
    work_dir_state state;
    // What mkdir -p would meet making a directory that is not there.
    const auto making = [&state](const char* path, const char* parent) {
        if (::faccessat(AT_FDCWD, parent, W_OK | X_OK, AT_EACCESS) != 0 && errno != ENOENT) {
            state.refusal = "can't make " + std::string(path) + ": " + std::strerror(errno);
        }
    };
    const auto missing = [](const dir_check& check) {
        return check.verdict == dir_verdict::failed && check.error == ENOENT;
    };
    const dir_check root = look_at_dir(work_root, self);
    const dir_check etc_check = look_at_dir(work_dir, self);
    if (missing(root)) {
        making(work_root, "/tmp");
    } else if (state.refusal = refusal_text(work_root, root, self); state.refusal.empty()) {
        if (missing(etc_check)) {
            making(work_dir, work_root);
        } else {
            state.refusal = refusal_text(work_dir, etc_check, self);
        }
    }
    // What taking write permission from group and others would meet.
    const auto taking_write = [&](const char* path, const dir_check& check) {
        if (state.refusal.empty() && check.verdict == dir_verdict::trusted &&
            (check.status.st_mode & (S_IWGRP | S_IWOTH)) != 0 &&
            ::faccessat(AT_FDCWD, path, W_OK, AT_EACCESS) != 0 &&
            (errno == EROFS || errno == EPERM)) {
            state.refusal = refusal_text(path, failed_check(errno), self);
        }
    };
    taking_write(work_root, root);
    taking_write(work_dir, etc_check);
    if (!state.refusal.empty()) {
        return state;
    }
    unique_fd etc(::open(work_dir, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC));
    if (!etc) {
        return state;  // not there yet: made empty
    }
    state.dotted = dotted_entries(etc.get(), work_dir, true);
    state.csv_create_error = write_blocker(etc.get());
    state.kept = remove_entries(std::move(etc), work_dir, state.dotted, true);
    return state;
}
