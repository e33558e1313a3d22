// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
// The launcher's work directory in /tmp.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <string>
#include <vector>

#include "file_io.h"
#include "ownership.h"

// How a step is taken: done, as a start does it, or foreseen, as --check
// looks at it, changing nothing, by the same rules; foreseen, only what the
// kernel would answer is predicted (a read-only file system, an immutable
// entry, a directory the user may not write).
enum class step_mode : unsigned char { act, foresee };

// A dotted entry of the work directory that stays, and why.
struct kept_entry {
    std::string name;
    std::string why;
};

// What the removal of the dotted entries did, or would do.
struct removal_result {
    std::size_t removed = 0;  // entries of the directory itself, each with all it held
    std::vector<kept_entry> kept;
};

// What the launcher found at a work directory's path, before it acted.
struct dir_found {
    bool looked = false;  // false: not looked at, as a refusal came first
    struct stat status {};
    int error = 0;       // of looking at it: ENOENT when it is not there
    int make_error = 0;  // not there: what making it would meet
};

// What preparing the work directory gave, or would give.
struct work_dir_state {
    std::string refusal;       // why the launcher won't work there; empty when it does
    dir_found root, etc;       // /tmp/lwm2m and /tmp/lwm2m/etc as they were found
    removal_result dotted;     // the dotted entries
    int csv_create_error = 0;  // foreseen: what creating the CSV configuration meets

    bool csv_kept() const;  // whether an earlier CSV configuration stays
};

// Prepares the work directory for a start, in this order:
//   1. /tmp/lwm2m, when it exists, must be a real directory of the
//      effective user (a link there would lead the next step anywhere);
//   2. "mkdir -p /tmp/lwm2m/etc" runs, with group and other write added to
//      its umask, so that nothing it makes is ever writable by others;
//   3. /tmp/lwm2m, then /tmp/lwm2m/etc (which must lie in it), is opened
//      without following a link, checked again, made unwritable by others;
//   4. the dotted entries of /tmp/lwm2m/etc go (remove_dotted_entries), the
//      CSV configuration of an earlier start among them;
//   5. "rm -f /var/lwm2m_map.txt 2> /dev/null" runs, likewise.
// The shell commands get a fixed PATH and nothing else as environment;
// their results are not examined, but one that can't be started is said.
// When a check fails, or a missing directory's parent can't be written,
// nothing is created, removed or written from then on, and `refusal` says
// why. Foreseen, a directory not there yet is one mkdir would make, empty.
work_dir_state prepare_work_dir(step_mode mode);

// The launcher's verdict on a directory it is to work in: trusted when
// `error` is 0 and `verdict` is ownership::own.
struct dir_check {
    ownership verdict = ownership::own;
    int error = 0;  // looking at it or opening it failed
    struct stat status {};

    bool trusted() const { return error == 0 && verdict == ownership::own; }
};

// Opens the directory `path` without following a link, checks it, and
// takes write permission from its group and others (foreseen: whether it
// could).
dir_check open_private_dir(const char* path, uid_t owner, unique_fd& dir, step_mode mode);

// Why the launcher refuses `path`, in words: "<path> is a symbolic link",
// "... is owned by uid N, not by uid M", "<path>: <reason>"; empty when it
// trusts it.
std::string refusal_text(const char* path, const dir_check& check, uid_t owner);

// Removes every entry of the open directory `dir` (`shown` in messages)
// whose name holds a dot that is not its first character (as the shell
// pattern "*.*" matches), whatever its type or depth: a directory with all
// it holds, a symbolic link but not what it points to.
//
// The walk keeps its pending work on the heap and at most two directories
// open: down by opening an entry without following a link, up by "..",
// which must be the directory it came from, or the tree stays and the walk
// goes on from `dir`, opened again by its name (mount_point.h tells mounts on
// every kernel). An entry with anything mounted on it (a bind mount of a
// directory or a file of the same file system too), or of which nothing can
// tell, is never entered and stays, with what holds it; so does a tree
// deeper than 65536 levels. Done, what stays is said once per entry of `dir`,
// and the walk goes on to the rest.
removal_result remove_dotted_entries(unique_fd dir, const char* shown, step_mode mode);
