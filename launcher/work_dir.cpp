// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors

#include "work_dir.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include "complain.h"
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
    if (pid_t pid = -1; start_program({.argv = argv, .envp = envp}, pid) == 0) {
        wait_for_exit(pid);
    }
}

std::optional<std::string> untrusted_reason(const char* shown, const struct stat& status,
                                            uid_t owner) {
    if (S_ISLNK(status.st_mode)) {
        return std::string(shown) + " is a symbolic link";
    }
    if (!S_ISDIR(status.st_mode)) {
        return std::string(shown) + " is not a directory";
    }
    if (status.st_uid != owner) {
        return std::string(shown) + " is owned by uid " + std::to_string(status.st_uid) +
               ", not by uid " + std::to_string(owner);
    }
    return std::nullopt;
}

bool refuse(const std::string& reason) {
    complain({"refusing to work in ", work_dir, ": ", reason});
    return false;
}

struct dir_closer {
    void operator()(DIR* dir) const noexcept { static_cast<void>(::closedir(dir)); }
};

// The names that the shell pattern "*.*" matches.
bool holds_dot_after_start(std::string_view name) {
    return !name.empty() && name.front() != '.' && name.find('.') != std::string_view::npos;
}

struct entry_list {
    std::vector<std::string> names;
    int error = 0;  // why the directory could not be read whole, or 0
};

// The names of the entries of `dir` that `pick` accepts. They are all read
// before any is removed: a directory read while it changes may skip names.
template <typename Pick>
entry_list entry_names(int dir, Pick pick) {
    entry_list list;
    const int copy = ::fcntl(dir, F_DUPFD_CLOEXEC, 0);
    const std::unique_ptr<DIR, dir_closer> listing(copy < 0 ? nullptr : ::fdopendir(copy));
    if (!listing) {
        list.error = errno;
        if (copy >= 0) {
            ::close(copy);
        }
        return list;
    }
    for (;;) {
        errno = 0;  // readdir says an error only through errno
        const dirent* entry = ::readdir(listing.get());
        if (entry == nullptr) {
            list.error = errno;
            return list;
        }
        const std::string_view name = entry->d_name;
        if (name != "." && name != ".." && pick(name)) {
            list.names.emplace_back(name);
        }
    }
}

// Removes the entry `name` of `dir`, and first all it holds when it is a
// directory. 0, or the errno of the first thing that could not go.
int remove_entry(int dir, const char* name) {
    if (::unlinkat(dir, name, 0) == 0) {
        return 0;
    }
    if (errno != EISDIR) {
        return errno;
    }
    const unique_fd sub(::openat(dir, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!sub) {
        return errno;
    }
    // A read-only directory can't be emptied by its owner until it is
    // writable again.
    static_cast<void>(::fchmod(sub.get(), S_IRWXU));
    const entry_list inner = entry_names(sub.get(), [](std::string_view) { return true; });
    int error = inner.error;
    for (const auto& inner_name : inner.names) {
        if (const int inner_error = remove_entry(sub.get(), inner_name.c_str()); error == 0) {
            error = inner_error;
        }
    }
    if (error != 0) {
        return error;
    }
    return ::unlinkat(dir, name, AT_REMOVEDIR) == 0 ? 0 : errno;
}

}  // namespace

unique_fd open_private_dir(int parent, const char* name, const char* shown, uid_t owner,
                           std::string& refusal) {
    // The first look is for a clear reason; the checks that count are made
    // on the directory once it is open, so nothing put in its place between
    // the two can pass.
    const auto refused = [&](std::string reason) {
        refusal = std::move(reason);
        return unique_fd();
    };
    const auto failed = [&] { return refused(std::string(shown) + ": " + std::strerror(errno)); };
    struct stat status {};
    if (::fstatat(parent, name, &status, AT_SYMLINK_NOFOLLOW) != 0) {
        return failed();
    }
    if (auto reason = untrusted_reason(shown, status, owner)) {
        return refused(*reason);
    }
    unique_fd dir(::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!dir || ::fstat(dir.get(), &status) != 0) {
        return failed();
    }
    if (auto reason = untrusted_reason(shown, status, owner)) {
        return refused(*reason);
    }
    if ((status.st_mode & (S_IWGRP | S_IWOTH)) != 0 &&
        ::fchmod(dir.get(), status.st_mode & 07777 & ~mode_t{S_IWGRP | S_IWOTH}) != 0) {
        return failed();
    }
    return dir;
}

void remove_dotted_entries(int dir, const char* shown) {
    const entry_list dotted = entry_names(dir, holds_dot_after_start);
    if (dotted.error != 0) {
        complain({"can't read ", shown, ": ", std::strerror(dotted.error)});
    }
    for (const auto& name : dotted.names) {
        if (const int error = remove_entry(dir, name.c_str()); error != 0) {
            complain({"can't remove ", shown, "/", name, ": ", std::strerror(error)});
        }
    }
}

bool rebuild_work_dir() {
    const uid_t self = ::geteuid();
    std::string refusal;
    if (struct stat status{}; ::lstat(work_root, &status) == 0) {
        if (auto reason = untrusted_reason(work_root, status, self)) {
            return refuse(*reason);
        }
    }
    run_fixed_command(std::string("mkdir -p ") + work_dir);
    const unique_fd root = open_private_dir(AT_FDCWD, work_root, work_root, self, refusal);
    if (!root) {
        return refuse(refusal);
    }
    const unique_fd etc = open_private_dir(root.get(), "etc", work_dir, self, refusal);
    if (!etc) {
        return refuse(refusal);
    }
    remove_dotted_entries(etc.get(), work_dir);
    run_fixed_command(std::string("rm -f ") + map_file_path + " 2> /dev/null");
    return true;
}
