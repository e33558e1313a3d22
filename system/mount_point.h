// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
// Telling a mount point, bind mounts of the same file system included, on
// every kernel from Linux 4.4.
#pragma once

#include <cstdint>
#include <optional>

#include "statx_fields.h"

// Whether something is mounted on the entry `name` of the directory `dir`,
// given the statx of both (which the C library makes up from fstatat before
// Linux 4.11): the mount's own mark (5.8); otherwise a mount ID other than
// the directory's, from statx (5.8), name_to_handle_at (2.6.39) or
// /proc/self/fdinfo (3.15); a device other than the directory's counts too.
// `dir_id` keeps the directory's mount ID once looked up. 0, or the errno
// of the last way tried when nothing could tell: the entry is then to be
// treated as mounted.
int find_mount_point(int dir, const char* name, const struct statx& entry,
                     const struct statx& parent, std::optional<std::uint64_t>& dir_id,
                     bool& mounted);
