// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
// The launcher's work directory in /tmp.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

#include "file_io.h"

// Prepares the work directory for a start, in this order:
//   1. /tmp/lwm2m, when it exists already, must be a real directory owned
//      by the launcher's effective user (a link planted there would make
//      the next step create directories wherever it points);
//   2. "mkdir -p /tmp/lwm2m/etc" runs;
//   3. /tmp/lwm2m and /tmp/lwm2m/etc are opened as private directories
//      (open_private_dir);
//   4. every entry of /tmp/lwm2m/etc whose name holds a dot that is not its
//      first character is removed (remove_dotted_entries), the CSV
//      configuration of an earlier start among them;
//   5. "rm -f /var/lwm2m_map.txt 2> /dev/null" runs.
// The shell commands get an environment of their own, a fixed PATH and
// nothing else, and their results are not examined.
//
// When the check of step 1 or 3 fails, nothing is created, removed or
// written from then on, the reason is printed on standard error and the
// result is false.
bool rebuild_work_dir();

// Opens the directory `name` of the directory `parent` (AT_FDCWD: of the
// current one) without following a link, checks it, and takes write
// permission from its group and others, whatever the umask or an earlier
// owner left. `shown` is its path for messages. Empty, with the reason in
// `refusal`, when it is missing, a symbolic link, not a directory, or owned
// by another user than `owner`.
unique_fd open_private_dir(int parent, const char* name, const char* shown, uid_t owner,
                           std::string& refusal);

// Removes every entry of the open directory `dir` whose name holds a dot
// that is not its first character, whatever its name or its number: a
// directory with all it holds, a symbolic link but not what it points to.
// What can't be removed is said on standard error, with `shown` as the
// directory's path.
void remove_dotted_entries(int dir, const char* shown);
