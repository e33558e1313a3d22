// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
// The launcher's work directory in /tmp.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <string>

#include "file_io.h"

enum class work_dir_state {
    ready,      // rebuilt: no entry with a dot in its name is left
    stale_csv,  // rebuilt, but the CSV configuration of an earlier start is still there
    refused,    // not used at all
};

// Prepares the work directory for a start, in this order:
//   1. /tmp/lwm2m, when it exists already, must be a real directory owned
//      by the launcher's effective user (a link planted there would make
//      the next step create directories wherever it points);
//   2. "mkdir -p /tmp/lwm2m/etc" runs, with group and other write added to
//      its umask, so that nothing it makes is ever writable by others;
//   3. /tmp/lwm2m, then /tmp/lwm2m/etc, is opened without following a
//      link, checked again on the open directory, and made unwritable by
//      group and others; /tmp/lwm2m/etc must lie in that /tmp/lwm2m;
//   4. every entry of /tmp/lwm2m/etc whose name holds a dot that is not its
//      first character is removed, the CSV configuration of an earlier
//      start among them: a directory with all it holds, however deep, a
//      symbolic link but not what it points to;
//   5. "rm -f /var/lwm2m_map.txt 2> /dev/null" runs, likewise.
// The shell commands get an environment of their own, a fixed PATH and
// nothing else; their results are not examined, but one that can't be
// started is said on standard error. What can't be read or removed in step
// 4 is said on standard error too, and the start goes on. At most two
// directory descriptors are open at once, and one between steps.
//
// When the check of step 1 or 3 fails, nothing is created, removed or
// written from then on, the reason is printed on standard error and the
// result is `refused`.
work_dir_state rebuild_work_dir();

// Opens the directory `path` without following a link, checks it, and
// takes write permission from its group and others, whatever the umask or
// an earlier owner left. 0, an untrusted_dir reason (`status` then says
// who owns it), or the errno of what failed.
int open_private_dir(const char* path, uid_t owner, unique_fd& dir, struct stat& status);

// Removes every entry of the open directory `dir`, shown as `shown` in
// messages, whose name holds a dot that is not its first character,
// whatever its name, type or depth: a directory with all it holds, a
// symbolic link but not what it points to. What can't be removed is said
// on standard error, once for each such entry.
void remove_dotted_entries(unique_fd dir, const char* shown);

// Why the launcher refuses a directory whose status (lstat or fstat) is
// `status`: 0; ELOOP, a symbolic link; ENOTDIR, not a directory; EPERM,
// owned by another user than `owner`.
int untrusted_dir(const struct stat& status, uid_t owner);

// The refusal `error` of the directory shown as `shown`, in words:
// "<shown> is a symbolic link", "... is owned by uid N, not by uid M",
// "<shown>: <reason>" for any other errno.
std::string refusal_text(const char* shown, int error, const struct stat& status, uid_t owner);
