// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
// The launcher's event log.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <functional>
#include <string>
#include <string_view>

// Appends `message` to the event log exactly as given (no time stamp, no
// line end added), opened and closed for every message, under an exclusive
// lock (flock). It goes in whole or not at all: after a short write (a full
// file system) the log is cut back to where it was.
//
// The log holds the key, so a message goes only into a regular file of the
// launcher's own user with one link, never through a symbolic link. The log
// and lwm2m.log.1 are given no more permission bits than `permitted_mode`
// (a reader that opened one before keeps it).
//
// Before a message would take the log past `event_log_limit`, the log is
// renamed to lwm2m.log.1 (replacing an older one, never through a link):
// the newest message is always whole at the end of a new log.
//
// `before_write`, when set, is called once the lock is held, right before
// the message is written: the last moment at which the launcher may still
// end as though the message had never been asked for.
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
log_result log_append(std::string_view message, mode_t permitted_mode,
                      const std::function<void()>& before_write = {});

// Why a message did not go into the log, in words.
std::string log_refusal_text(const log_result& result);
