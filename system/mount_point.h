// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
// Telling a mount point, bind mounts of the same file system included, on
// every kernel from Linux 4.4. The C library answers statx from fstatat on
// kernels before 4.11, without attributes or a mount ID; the ways below
// take over there.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <optional>

// The ID of the mount that the entry `name` of `dir` ("": `dir` itself),
// whose statx `status` is given, lies on, never through a link: statx's
// (Linux 5.8), name_to_handle_at's (2.6.39; it tells the mount even where
// the file system makes no handle of that size), or /proc/self/fdinfo's
// (3.15). 0, or the errno of the last way tried.
int mount_id_of(int dir, const char* name, const struct statx& status, std::uint64_t& id);

// Whether something is mounted on the entry `name` of `dir`: the mount's
// own mark where statx gives it (Linux 5.8), otherwise a mount ID other
// than its directory's (`dir_id`, looked up once and kept there); a device
// other than its directory's counts too. 0, or the errno of a mount ID
// that could not be had: nothing could tell, and the caller treats the
// entry as mounted.
int find_mount_point(int dir, const char* name, const struct statx& entry,
                     const struct statx& parent, std::optional<std::uint64_t>& dir_id,
                     bool& mounted);
