// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
// The launcher's event log.
#pragma once

#include <sys/types.h>

#include <string_view>

// Appends `message` to the event log exactly as given: no time stamp, no
// level, no line end added. The log is opened and closed for every message.
//
// The message goes in whole or not at all: after a short write (a full
// file system) the log is cut back to where it was. A message that can't be
// written is dropped without notice, and so is one for a log that is not a
// regular file (a FIFO put there in its place would make the launcher wait)
// or that is a symbolic link.
//
// The log holds the client's command line, pre-shared key included, so it
// never has permission bits beyond `permitted_mode`: a new log is created
// with no more, and an older one that has more loses them.
void log_append(std::string_view message, mode_t permitted_mode);
