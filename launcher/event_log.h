// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
// The launcher's event log.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <string>
#include <string_view>

// Appends `message` to the event log exactly as given: no time stamp, no
// level, no line end added. The log is opened and closed for every message,
// and an exclusive lock (flock) is held while the message is appended, so
// that no other launcher's message is cut by the step back below.
//
// The log holds the client's command line, pre-shared key included, so a
// message goes only into a regular file that the launcher's own user owns,
// with one link (not a file another user planted, nor a hard link to one
// elsewhere), and never through a symbolic link. A new log is created with
// no more permission bits than `permitted_mode`, and an older one with more
// loses them, and so does /tmp/lwm2m/lwm2m.log.1 (which keeps out a reader
// that opens them later, not one that holds one open already).
//
// The message goes in whole or not at all: after a short write (a full
// file system) the log is cut back to where it was.
//
// The log stays small, however often the launcher runs: before a message
// would take it past `event_log_limit`, the log is renamed to
// /tmp/lwm2m/lwm2m.log.1 (replacing an older one, never following a link
// there) and the message starts a new log. So the newest message is always
// whole at the end of the log, which holds at most `event_log_limit` bytes,
// or the one message when that alone is larger.
inline constexpr off_t event_log_limit = off_t{64} * 1024;
enum class log_verdict : unsigned char {
    written,
    symbolic_link,  // in the log's place
    not_regular,
    foreign_owner,  // owned by another user
    extra_links,    // more than one link
    locked,         // by another process, for more than two seconds
    not_moved,      // full, and renaming it failed: `error` says why
    failed,         // `error` says why
};
struct log_result {
    log_verdict verdict = log_verdict::written;
    int error = 0;
    struct stat status {};  // the log's, as far as it was seen
};
log_result log_append(std::string_view message, mode_t permitted_mode);

// Why a message did not go into the log, in words.
std::string log_refusal_text(const log_result& result);
