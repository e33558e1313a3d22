// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
// The pace of client starts in the foreground. A client that can't come up
// ends at once, and most supervisors start the launcher again within a
// second or two: so one client start follows another by 30 seconds at
// least, whatever the supervisor. The time of the last one is kept in
// /tmp/lwm2m/client-started on the clock that counts from boot, which no
// clock setting moves (and /tmp goes with a reboot), with the identity of
// the settings it was started with (inode, size, modification time). A
// client that ran longer, or settings saved since, start it at once.
#pragma once

#include <sys/stat.h>

#include <csignal>

// Waits, before anything is touched, until the last client start is 30
// seconds ago, and says so; a signal of `stops` ends the wait and the
// launcher, as that signal does.
void pace_client_start(const sigset_t& stops);

// Notes a client start with the `settings` it is started with.
void note_client_start(const struct stat& settings);
