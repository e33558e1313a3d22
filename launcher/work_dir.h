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

// A dotted entry of the work directory that was not removed, or would not
// be, and why.
struct kept_entry {
    std::string name;
    std::string why;
};

// What preparing the work directory gave, or would give.
struct work_dir_state {
    // Why the launcher refuses to work there ("/tmp/lwm2m is a symbolic
    // link"); empty when it works there.
    std::string refusal;
    std::vector<std::string> dotted;  // the entries to remove (survey only)
    std::vector<kept_entry> kept;
    // A look only: the errno that creating the CSV configuration would meet.
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
//   4. every entry of /tmp/lwm2m/etc whose name holds a dot that is not its
//      first character is removed, the CSV configuration of an earlier
//      start among them: a directory with all it holds, however deep, a
//      symbolic link but not what it points to, never anything on another
//      file system mounted below it;
//   5. "rm -f /var/lwm2m_map.txt 2> /dev/null" runs, likewise.
// The shell commands get an environment of their own, a fixed PATH and
// nothing else; their results are not examined, but one that can't be
// started is said on standard error. What can't be read or removed in step
// 4 is said on standard error too, and the start goes on. At most two
// directory descriptors are open at once, and one between steps.
//
// When the check of step 1 or 3 fails, nothing is created, removed or
// written from then on, and `refusal` says why.
work_dir_state rebuild_work_dir();

// What rebuild_work_dir would do on this gateway now, from a look that
// changes nothing: whether it would refuse the directories, or fail to make
// them; the entries it would remove, and those it could not (a file system
// mounted below, an immutable or append-only entry or directory, a
// directory it can't write); and whether it could create the CSV
// configuration.
work_dir_state survey_work_dir();

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
// an earlier owner left.
dir_check open_private_dir(const char* path, uid_t owner, unique_fd& dir);

// Why the launcher refuses `path`, in words: "<path> is a symbolic link",
// "... is owned by uid N, not by uid M", "<path>: <reason>"; empty when it
// trusts it.
std::string refusal_text(const char* path, const dir_check& check, uid_t owner);

// Removes every entry of the open directory `dir`, shown as `shown` in
// messages, whose name holds a dot that is not its first character,
// whatever its name, type or depth: a directory with all it holds, a
// symbolic link but not what it points to. Returns the entries that could
// not go, each said on standard error once.
std::vector<kept_entry> remove_dotted_entries(unique_fd dir, const char* shown);
