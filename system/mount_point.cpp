// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors

#include "mount_point.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <string>
#include <string_view>

#include "file_io.h"

namespace {

// The "mnt_id:" line of the descriptor's /proc/self/fdinfo entry.
int fdinfo_mount_id(int fd, std::uint64_t& id) {
    const unique_fd info(::open(("/proc/self/fdinfo/" + std::to_string(fd)).c_str(),
                                O_RDONLY | O_NOCTTY | O_CLOEXEC));
    char text[512];
    const ssize_t got = info ? ::read(info.get(), text, sizeof text) : -1;
    const std::string_view lines(text, static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
    const auto at = lines.find("\nmnt_id:\t");
    return got < 0                        ? errno
           : at == std::string_view::npos ? EINVAL
           : std::from_chars(&lines[at + 9], lines.data() + lines.size(), id).ec == std::errc()
               ? 0
               : EINVAL;
}

// The ID of the mount that the entry `name` of `dir` ("": `dir`) lies on.
int mount_id_of(int dir, const char* name, const struct statx& status, std::uint64_t& id) {
    if ((status.stx_mask & STATX_MNT_ID) != 0) {
        id = statx_mount_id(status);
        return 0;
    }
    // A handle of no bytes: EOVERFLOW, and the mount ID all the same.
    file_handle handle{};
    int mount = 0;
    if (::name_to_handle_at(dir, name, &handle, &mount, *name == '\0' ? AT_EMPTY_PATH : 0) == 0 ||
        errno == EOVERFLOW) {
        id = static_cast<std::uint64_t>(mount);
        return 0;
    }
    const unique_fd path(*name == '\0' ? -1 : ::openat(dir, name, O_PATH | O_NOFOLLOW | O_CLOEXEC));
    return *name == '\0' ? fdinfo_mount_id(dir, id)
           : path        ? fdinfo_mount_id(path.get(), id)
                         : errno;
}

}  // namespace

int find_mount_point(int dir, const char* name, const struct statx& entry,
                     const struct statx& parent, std::optional<std::uint64_t>& dir_id,
                     bool& mounted) {
    const bool other_device =
        entry.stx_dev_major != parent.stx_dev_major || entry.stx_dev_minor != parent.stx_dev_minor;
    if ((entry.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0) {
        mounted = other_device || (entry.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
        return 0;
    }
    std::uint64_t id = 0;
    int error = dir_id ? 0 : mount_id_of(dir, "", parent, dir_id.emplace());
    if (error != 0) {
        dir_id.reset();
    } else {
        error = mount_id_of(dir, name, entry, id);
    }
    mounted = other_device || error != 0 || id != *dir_id;
    return other_device ? 0 : error;
}
