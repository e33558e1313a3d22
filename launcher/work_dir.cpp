// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors

#include "work_dir.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string_view>
#include <utility>

#include "complain.h"
#include "dir_list.h"
#include "fixed_paths.h"
#include "mount_point.h"
#include "process_start.h"
#include "statx_fields.h"

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
    if (const int error =
            start_program({.argv = argv, .envp = envp, .umask_add = S_IWGRP | S_IWOTH}, pid)) {
        complain({"can't run ", command, ": ", std::strerror(error)});
        return;
    }
    wait_for_exit(pid);
}

constexpr int directory_flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC;

// The entry `name` of `dir` ("": `dir` itself), never through a link:
// its type, mode and owner, who it is, its attributes and mount. 0, or the
// errno.
int look(int dir, const char* name, struct statx& status) {
    constexpr int flags = AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT | AT_EMPTY_PATH;
    return ::statx(dir, name, flags, STATX_BASIC_STATS | STATX_MNT_ID, &status) == 0 ? 0 : errno;
}

bool same_file(const struct statx& a, const struct statx& b) {
    return a.stx_dev_major == b.stx_dev_major && a.stx_dev_minor == b.stx_dev_minor &&
           a.stx_ino == b.stx_ino;
}

// Immutable and append-only files can't be removed or changed, nor can the
// entries of such a directory, whatever the permissions. Where statx gives
// no attributes (before Linux 4.11), the file's flags tell.
bool pinned(int dir, const char* name, const struct statx& status) {
    constexpr auto marks = STATX_ATTR_IMMUTABLE | STATX_ATTR_APPEND;
    if ((status.stx_attributes_mask & marks) != 0) {
        return (status.stx_attributes & marks) != 0;
    }
    const bool openable = S_ISREG(status.stx_mode) || S_ISDIR(status.stx_mode);
    const unique_fd file(openable
                             ? ::openat(dir, *name != '\0' ? name : ".",
                                        O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)
                             : -1);
    int flags = 0;
    return file && inode_flags(file.get(), flags) == 0 &&
           (flags & static_cast<int>(FS_IMMUTABLE_FL | FS_APPEND_FL)) != 0;
}

// What the kernel would answer a change to the open file `fd` (or, with
// `entries`, to the entries of that directory): EROFS, EPERM, EACCES, or 0.
int foreseen_change_error(int fd, bool entries) {
    struct statvfs file_system {};
    struct statx status {};
    if (::fstatvfs(fd, &file_system) == 0 && (file_system.f_flag & ST_RDONLY) != 0) {
        return EROFS;
    }
    if (look(fd, "", status) == 0 && pinned(fd, "", status)) {
        return EPERM;
    }
    return entries && ::faccessat(fd, ".", W_OK, AT_EACCESS) != 0 ? errno : 0;
}

// Removes the entry `name` of `dir`, or foresees what that would meet. A
// directory of the launcher's user that it may not write is made writable
// for the removal, and given back its mode when even that fails.
int remove_entry(int dir, const char* name, bool directory, step_mode mode) {
    struct statx status {};
    const auto own_dir = [&] {
        return look(dir, "", status) == 0 && status.stx_uid == ::geteuid();
    };
    const auto removed = [&] {
        return ::unlinkat(dir, name, directory ? AT_REMOVEDIR : 0) == 0 ? 0 : errno;
    };
    if (mode == step_mode::foresee) {
        const int error = foreseen_change_error(dir, true);
        struct statx entry {};
        return error != 0 && !(error == EACCES && own_dir())             ? error
               : look(dir, name, entry) == 0 && pinned(dir, name, entry) ? EPERM
                                                                         : 0;
    }
    int error = removed();
    if (error == EACCES && own_dir() && ::fchmod(dir, status.stx_mode | S_IRWXU) == 0 &&
        (error = removed()) != 0) {
        static_cast<void>(::fchmod(dir, status.stx_mode & 07777));
    }
    return error;
}

// A directory on the way down: its name, who it is (to know it again on the
// way up), the entries still to take, and the first that could not go.
struct pending_dir {
    std::string name;
    struct statx status {};
    std::optional<std::uint64_t> mount_id;  // looked up when first needed
    std::vector<std::string> entries;
    std::size_t next = 0;
    std::string failure;
};

// Deeper than this, a tree is left where it is: every level waiting on the
// way down takes a little memory.
constexpr std::size_t deepest = 65536;

// A first look, for a clear reason; the checks that count are made on the
// open directory, so nothing put in its place meanwhile can pass.
dir_check look_at_dir(const char* path, uid_t owner) {
    dir_check check;
    if (::lstat(path, &check.status) != 0) {
        return {ownership::own, errno};
    }
    check.verdict = ownership_of(check.status, S_IFDIR, owner);
    return check;
}

bool missing(const dir_check& check) {
    return check.error == ENOENT;
}

}  // namespace

bool work_dir_state::csv_kept() const {
    return std::any_of(dotted.kept.begin(), dotted.kept.end(),
                       [](const kept_entry& entry) { return entry.name == "config.csv"; });
}

removal_result remove_dotted_entries(unique_fd dir, const char* shown, step_mode mode) {
    removal_result result;
    struct statx status {};
    std::vector<pending_dir> levels(1);
    if (look(dir.get(), "", levels[0].status) != 0) {
        return result;
    }
    if (const int error = list_directory(dir.get(), levels[0].entries);
        error != 0 && mode == step_mode::act) {
        complain({"can't read ", shown, ": ", std::strerror(error)});
    }
    // The names that the shell pattern "*.*" matches go.
    std::erase_if(levels[0].entries, [](std::string_view name) {
        return name.empty() || name.front() == '.' || name.find('.') == std::string_view::npos;
    });
    // An entry of `dir` is said once, with its first failure.
    const auto failed = [&](const std::string& name, std::string_view failure) {
        if (levels.size() > 1) {
            if (levels.back().failure.empty()) {
                levels.back().failure = failure;
            }
            return;
        }
        result.kept.push_back({name, std::string(failure)});
        if (mode == step_mode::act) {
            complain({"can't remove ", shown, "/", name, ": ", failure});
        }
    };
    const auto path_of = [&](const std::string& name) {
        std::string path = shown;
        for (std::size_t i = 1; i < levels.size(); ++i) {
            path += "/" + levels[i].name;
        }
        return path + "/" + name;
    };
    // Whether the entry went, or was gone already; an entry of `dir` that
    // went is counted.
    const auto gone = [&](int error) {
        const bool went = error == 0 || error == ENOENT;
        result.removed += levels.size() == 1 && went ? 1U : 0U;
        return went;
    };
    const std::string_view moved = "moved away while it was being removed";
    while (true) {
        pending_dir& here = levels.back();
        if (here.next < here.entries.size()) {
            const std::string& name = here.entries[here.next++];
            int error = look(dir.get(), name.c_str(), status);
            const bool directory = error == 0 && S_ISDIR(status.stx_mode);
            bool mounted = false;
            const int unknown = error != 0 ? 0
                                           : find_mount_point(dir.get(), name.c_str(), status,
                                                              here.status, here.mount_id, mounted);
            std::string failure;
            if (unknown != 0) {
                failure = joined({"can't tell whether anything is mounted on ", path_of(name), ": ",
                                  std::strerror(unknown)});
            } else if (mounted) {
                failure = "a file system is mounted on " + path_of(name);
            } else if (directory && levels.size() > deepest) {
                failure = "too many levels of directories";
            } else if (directory) {
                // Down, into the very directory looked at.
                const struct statx looked = status;
                unique_fd sub(::openat(dir.get(), name.c_str(), directory_flags));
                error = !sub || look(sub.get(), "", status) != 0 ? errno : 0;
                if (error == 0 && !same_file(status, looked)) {
                    failure = moved;
                } else if (error == 0) {
                    levels.push_back({name, status, {}, {}, 0, {}});
                    if (const int unread = list_directory(sub.get(), levels.back().entries)) {
                        failed(name, std::strerror(unread));
                    }
                    dir = std::move(sub);
                    continue;
                }
            } else if (error == 0) {
                error = remove_entry(dir.get(), name.c_str(), false, mode);
            }
            if (failure.empty() && !gone(error)) {
                failure = std::strerror(error);
            }
            if (!failure.empty()) {
                failed(name, failure);
            }
            continue;
        }
        if (levels.size() == 1) {
            return result;  // the work directory itself stays
        }
        // Every entry taken: up to the parent, and remove this directory.
        // A parent that is not where it was leaves the tree where it is, and
        // the walk goes on from the work directory, if that is still there.
        unique_fd up(::openat(dir.get(), "..", directory_flags));
        if (!up || look(up.get(), "", status) != 0 ||
            !same_file(status, levels[levels.size() - 2].status)) {
            levels.resize(1);
            failed(levels[0].entries[levels[0].next - 1], moved);
            dir = unique_fd(::open(shown, directory_flags));
            if (!dir || look(dir.get(), "", status) != 0 || !same_file(status, levels[0].status)) {
                return result;
            }
            continue;
        }
        const pending_dir done = std::move(here);
        levels.pop_back();
        dir = std::move(up);
        // A directory that kept something stays, and is not counted.
        if (!done.failure.empty()) {
            failed(done.name, done.failure);
        } else if (const int error = remove_entry(dir.get(), done.name.c_str(), true, mode);
                   !gone(error)) {
            failed(done.name, std::strerror(error));
        }
    }
}

dir_check open_private_dir(const char* path, uid_t owner, unique_fd& dir, step_mode mode) {
    if (const dir_check check = look_at_dir(path, owner); !check.trusted()) {
        return check;
    }
    dir = unique_fd(::open(path, directory_flags));
    dir_check check;
    if (!dir || ::fstat(dir.get(), &check.status) != 0) {
        return {ownership::own, errno};
    }
    check.verdict = ownership_of(check.status, S_IFDIR, owner);
    const mode_t bits = check.status.st_mode & 07777;
    if (check.trusted() && (bits & (S_IWGRP | S_IWOTH)) != 0) {
        const int error = mode == step_mode::foresee ? foreseen_change_error(dir.get(), false)
                          : ::fchmod(dir.get(), bits & ~mode_t{S_IWGRP | S_IWOTH}) == 0 ? 0
                                                                                        : errno;
        if (error != 0) {
            return {ownership::own, error};
        }
    }
    return check;
}

std::string refusal_text(const char* path, const dir_check& check, uid_t owner) {
    if (check.error != 0) {
        return joined({path, ": ", std::strerror(check.error)});
    }
    switch (check.verdict) {
        case ownership::symbolic_link:
            return joined({path, " is a symbolic link"});
        case ownership::other_type:
            return joined({path, " is not a directory"});
        case ownership::other_owner:
            return joined({path, " is owned by uid ", std::to_string(check.status.st_uid),
                           ", not by uid ", std::to_string(owner)});
        case ownership::own:
        case ownership::other_links:  // not judged for a directory
            break;
    }
    return {};
}

work_dir_state prepare_work_dir(step_mode mode) {
    const uid_t self = ::geteuid();
    work_dir_state state;
    const dir_check root = look_at_dir(work_root, self);
    state.root = {true, root.status, root.error};
    if (!missing(root) && !(state.refusal = refusal_text(work_root, root, self)).empty()) {
        return state;
    }
    const dir_check etc_look = look_at_dir(work_dir, self);
    state.etc = {true, etc_look.status, etc_look.error};
    if (missing(root) || missing(etc_look)) {
        // What mkdir -p meets making what is missing. Foreseen, it would
        // make it, empty, and the CSV configuration in it.
        const char* const parent = missing(root) ? "/tmp" : work_root;
        if (::faccessat(AT_FDCWD, parent, W_OK | X_OK, AT_EACCESS) != 0 && errno != ENOENT) {
            state.root.make_error = missing(root) ? errno : 0;
            state.etc.make_error = errno;  // missing, under the one that can't be made
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
    unique_fd etc;
    for (const char* path : {work_root, work_dir}) {
        etc = unique_fd();
        const dir_check check = open_private_dir(path, self, etc, mode);
        if (state.refusal = refusal_text(path, check, self); !state.refusal.empty()) {
            return state;
        }
        root_status = path == work_root ? check.status : root_status;
    }
    struct stat parent {};
    if (::fstatat(etc.get(), "..", &parent, 0) != 0) {
        state.refusal = refusal_text(work_dir, {ownership::own, errno}, self);
        return state;
    }
    if (parent.st_dev != root_status.st_dev || parent.st_ino != root_status.st_ino) {
        state.refusal = std::string(work_root) + " changed while it was checked";
        return state;
    }
    if (mode == step_mode::foresee) {
        state.csv_create_error = foreseen_change_error(etc.get(), true);
    }
    state.dotted = remove_dotted_entries(std::move(etc), work_dir, mode);
    if (mode == step_mode::act) {
        run_fixed_command(std::string("rm -f ") + map_file_path + " 2> /dev/null");
    }
    return state;
}
