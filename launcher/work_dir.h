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

// How a step is taken: done, as a start does it, or foreseen, as --check
// looks at it, changing nothing. Both go by the same rules; a foreseen step
// predicts only what the kernel would answer where the rules can't know (a
// read-only file system, an immutable entry, a directory it may not write).
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

// What preparing the work directory gave, or would give.
struct work_dir_state {
    // Why the launcher refuses to work there ("/tmp/lwm2m is a symbolic
    // link"); empty when it works there.
    std::string refusal;
    removal_result dotted;
    // Foreseen only: the errno that creating the CSV configuration would meet.
    int csv_create_error = 0;

    // Whether an earlier CSV configuration stays.
    bool csv_kept() const;
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
//   4. the dotted entries of /tmp/lwm2m/etc go (remove_dotted_entries), the
//      CSV configuration of an earlier start among them;
//   5. "rm -f /var/lwm2m_map.txt 2> /dev/null" runs, likewise.
// The shell commands get an environment of their own, a fixed PATH and
// nothing else; their results are not examined, but one that can't be
// started is said on standard error. When the check of step 1 or 3 fails,
// nothing is created, removed or written from then on, and `refusal` says
// why.
//
// Foreseen, nothing is made, changed or run: a directory that is not there
// yet is one mkdir would make (unless its parent can't be written), and
// would be empty; `csv_create_error` says whether the CSV configuration
// could be created.
work_dir_state prepare_work_dir(step_mode mode);

// The launcher's verdict on a directory it is to work in.
enum class dir_verdict : unsigned char {
    trusted,
    symbolic_link,
    not_directory,
    foreign_owner,  // owned by another user than the launcher's
    failed,         // looking at it or opening it failed: `error` says why
};
struct dir_check {
    dir_verdict verdict = dir_verdict::trusted;
    int error = 0;
    struct stat status {};
};

// Opens the directory `path` without following a link, checks it, and
// takes write permission from its group and others, whatever the umask or
// an earlier owner left (foreseen: whether that could be done).
dir_check open_private_dir(const char* path, uid_t owner, unique_fd& dir, step_mode mode);

// Why the launcher refuses `path`, in words: "<path> is a symbolic link",
// "... is owned by uid N, not by uid M", "<path>: <reason>"; empty when it
// trusts it.
std::string refusal_text(const char* path, const dir_check& check, uid_t owner);

// Removes every entry of the open directory `dir`, shown as `shown` in
// messages, whose name holds a dot that is not its first character (the
// names the shell pattern "*.*" matches), whatever its name, type or depth:
// a directory with all it holds, a symbolic link but not what it points to.
//
// The walk goes down and up through the tree with its pending work on the
// heap, holding at most two directories open: down by opening an entry
// without following a link, up by opening "..", which must be the
// directory it came from (should one have been moved away meanwhile, the
// walk stops there). An entry with a file system mounted on it, bind
// mounts of a directory or a file included, is never entered and stays,
// and so does whatever holds it; so does a tree deeper than 65536 levels.
// What stays is said on standard error once per entry of `dir`, when the
// step is done.
removal_result remove_dotted_entries(unique_fd dir, const char* shown, step_mode mode);
