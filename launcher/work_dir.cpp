// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors

#include "work_dir.h"

#include <fcntl.h>
#include <unistd.h>

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

// Removes the entries `names` of the open directory `dir`, shown as
// `shown`, each with all it holds. The walk goes down and up through the
// tree with the pending work on the heap, holding one directory open
// between steps: down by opening an entry without following a link, up by
// opening "..", which must be the directory it came from. Should a
// directory have been moved away meanwhile, the walk stops there.
void remove_entries(unique_fd dir, const char* shown, std::vector<std::string> names) {
    struct stat status {};
    if (::fstat(dir.get(), &status) != 0) {
        return;
    }
    std::vector<pending_dir> levels(1);
    levels[0].device = status.st_dev;
    levels[0].inode = status.st_ino;
    levels[0].entries = std::move(names);
    // A top entry that could not go is said once, with its first failure.
    const auto said = [shown](const std::string& name, std::string_view failure) {
        complain({"can't remove ", shown, "/", name, ": ", failure});
    };
    const auto failed = [&levels](std::string_view failure) {
        if (levels.back().failure.empty()) {
            levels.back().failure = failure;
        }
    };
    while (true) {
        pending_dir& here = levels.back();
        if (here.next < here.entries.size()) {
            const std::string& name = here.entries[here.next++];
            // Gone already, or gone now.
            if (::unlinkat(dir.get(), name.c_str(), 0) == 0 || errno == ENOENT) {
                continue;
            }
            const int error = errno;
            unique_fd sub;
            if (error == EISDIR && levels.size() <= deepest) {
                sub = unique_fd(::openat(dir.get(), name.c_str(),
                                         O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            }
            if (!sub || ::fstat(sub.get(), &status) != 0) {
                const std::string_view failure = error != EISDIR ? std::strerror(error)
                                                 : !sub && levels.size() > deepest
                                                     ? "too many levels of directories"
                                                     : std::strerror(errno);
                if (levels.size() == 1) {
                    said(name, failure);
                } else {
                    failed(failure);
                }
                continue;
            }
            // A read-only directory can't be emptied by its owner until it
            // is writable again.
            static_cast<void>(::fchmod(sub.get(), S_IRWXU));
            std::vector<std::string> inner;
            const int unread = list_directory(sub.get(), inner);
            pending_dir down;
            down.name = name;
            down.device = status.st_dev;
            down.inode = status.st_ino;
            down.entries = std::move(inner);
            levels.push_back(std::move(down));
            if (unread != 0) {
                failed(std::strerror(unread));
            }
            dir = std::move(sub);
            continue;
        }
        if (levels.size() == 1) {
            return;  // the work directory itself stays
        }
        // Every entry taken: up to the parent, and remove this directory.
        const pending_dir& parent = levels[levels.size() - 2];
        unique_fd up(::openat(dir.get(), "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!up || ::fstat(up.get(), &status) != 0 || status.st_dev != parent.device ||
            status.st_ino != parent.inode) {
            said(levels[1].name, "moved away while it was being removed");
            return;
        }
        const std::string name = std::move(here.name);
        std::string failure = std::move(here.failure);
        levels.pop_back();
        dir = std::move(up);
        if (::unlinkat(dir.get(), name.c_str(), AT_REMOVEDIR) != 0 && failure.empty()) {
            failure = std::strerror(errno);
        }
        if (failure.empty()) {
            continue;
        }
        if (levels.size() == 1) {
            said(name, failure);
        } else {
            failed(failure);
        }
    }
}

work_dir_state refuse(const char* shown, int error, const struct stat& status, uid_t owner) {
    complain({"refusing to work in ", work_dir, ": ", refusal_text(shown, error, status, owner)});
    return work_dir_state::refused;
}

}  // namespace

int open_private_dir(const char* path, uid_t owner, unique_fd& dir, struct stat& status) {
    // The first look is for a clear reason; the checks that count are made
    // on the directory once it is open, so nothing put in its place between
    // the two can pass.
    if (::lstat(path, &status) != 0) {
        return errno;
    }
    if (const int error = untrusted_dir(status, owner); error != 0) {
        return error;
    }
    dir = unique_fd(::open(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!dir || ::fstat(dir.get(), &status) != 0) {
        return errno;
    }
    if (const int error = untrusted_dir(status, owner); error != 0) {
        return error;
    }
    if ((status.st_mode & (S_IWGRP | S_IWOTH)) != 0 &&
        ::fchmod(dir.get(), status.st_mode & 07777 & ~mode_t{S_IWGRP | S_IWOTH}) != 0) {
        return errno;
    }
    return 0;
}

void remove_dotted_entries(unique_fd dir, const char* shown) {
    std::vector<std::string> names;
    if (const int error = list_directory(dir.get(), names); error != 0) {
        complain({"can't read ", shown, ": ", std::strerror(error)});
    }
    std::erase_if(names, [](const std::string& name) { return !holds_dot_after_start(name); });
    remove_entries(std::move(dir), shown, std::move(names));
}

int untrusted_dir(const struct stat& status, uid_t owner) {
    if (S_ISLNK(status.st_mode)) {
        return ELOOP;
    }
    if (!S_ISDIR(status.st_mode)) {
        return ENOTDIR;
    }
    return status.st_uid != owner ? EPERM : 0;
}

std::string refusal_text(const char* shown, int error, const struct stat& status, uid_t owner) {
    switch (error) {
        case ELOOP:
            return std::string(shown) + " is a symbolic link";
        case ENOTDIR:
            return std::string(shown) + " is not a directory";
        case EPERM:
            return std::string(shown) + " is owned by uid " + std::to_string(status.st_uid) +
                   ", not by uid " + std::to_string(owner);
        default:
            return std::string(shown) + ": " + std::strerror(error);
    }
}

work_dir_state rebuild_work_dir() {
    const uid_t self = ::geteuid();
    struct stat status {};
    if (::lstat(work_root, &status) == 0) {
        if (const int error = untrusted_dir(status, self); error != 0) {
            return refuse(work_root, error, status, self);
        }
    }
    run_fixed_command(std::string("mkdir -p ") + work_dir);

    // One directory open at a time: /tmp/lwm2m is checked and closed, then
    // /tmp/lwm2m/etc is opened by its path and must have it as its parent.
    dev_t root_device = 0;
    ino_t root_inode = 0;
    {
        unique_fd root;
        if (const int error = open_private_dir(work_root, self, root, status); error != 0) {
            return refuse(work_root, error, status, self);
        }
        root_device = status.st_dev;
        root_inode = status.st_ino;
    }
    unique_fd etc;
    if (const int error = open_private_dir(work_dir, self, etc, status); error != 0) {
        return refuse(work_dir, error, status, self);
    }
    if (::fstatat(etc.get(), "..", &status, 0) != 0) {
        return refuse(work_dir, errno, status, self);
    }
    if (status.st_dev != root_device || status.st_ino != root_inode) {
        complain(
            {"refusing to work in ", work_dir, ": ", work_root, " changed while it was checked"});
        return work_dir_state::refused;
    }
    remove_dotted_entries(std::move(etc), work_dir);
    run_fixed_command(std::string("rm -f ") + map_file_path + " 2> /dev/null");
    // What could not be removed was said; an old CSV configuration must not
    // pass for this start's.
    return ::lstat(csv_config_path, &status) == 0 ? work_dir_state::stale_csv
                                                  : work_dir_state::ready;
}
