// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
// Starting other programs.
//
// Programs are started with clone(CLONE_VM | CLONE_VFORK) and a few calls
// in the new process before exec, rather than with posix_spawn, so that a
// failed exec is reported wherever the launcher runs. glibc's posix_spawn
// reports it only through the memory that the new process shares, and an
// emulator that starts it as a plain fork shares none: under qemu-aarch64
// 7.2, where the aarch64 build is tested, posix_spawn("/nonexistent")
// returns 0 and the child exits 127, so a client that can't start would
// pass for running. The close-on-exec pipe below reports it there too. The
// C libraries of other image builders (uClibc-ng) implement posix_spawn
// with fork, copying the whole launcher; this way every C library starts
// the program the same way and reports the same errors.
#pragma once

#include <sys/types.h>

struct program_start {
    char* const* argv;  // the program's path first, then its arguments
    char* const* envp;
    // Set up as a shell's "&" would: standard input from /dev/null, SIGINT
    // and SIGQUIT ignored.
    bool in_background = false;
    // Bits added to the umask in the new process only (S_IWGRP | S_IWOTH:
    // nothing it makes is writable by others, whatever the launcher's
    // umask).
    mode_t umask_add = 0;
};

// Starts `start.argv[0]` directly, never through a shell, and returns once
// it is running (0, its process in `pid`) or has failed to start (the
// errno of exec, or of what prepared it).
//
// The new process shares the launcher's memory until it runs the program,
// as vfork does, so starting it copies nothing however large the launcher
// has grown. It inherits standard input (unless `in_background`), output
// and error, and no other descriptor the launcher opened (every other one
// is close-on-exec), with SIGPIPE at its default.
//
// A failed exec is reported through a close-on-exec pipe, and where no
// pipe can be made (no descriptor left) through the memory the new process
// shares. Emulators that start it as a plain fork share no memory: there a
// start without a pipe can't see a failed exec, and counts as running.
int start_program(const program_start& start, pid_t& pid);

// Waits until the started program `pid` has ended, and reaps it.
void wait_for_exit(pid_t pid);
