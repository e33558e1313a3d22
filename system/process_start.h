// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
// Starting other programs, with posix_spawn: the new process shares the
// launcher's memory until exec (glibc and musl), so a start copies nothing,
// needs no descriptor, and reports a failed exec itself, through that
// memory. An emulator or tool that starts it as a plain fork can't
// (qemu-aarch64 7.2, valgrind): there only the launcher's own look before
// the start sees a client that is missing or not executable.
#pragma once

#include <sys/types.h>

struct program_start {
    char* const* argv;  // the program's path first, then its arguments
    char* const* envp;
    // Set up as a shell's "&" would: standard input from /dev/null, SIGINT
    // and SIGQUIT ignored.
    bool in_background = false;
    // Bits added to the new process's umask (set around the start: the
    // launcher has one thread).
    mode_t umask_add = 0;
};

// Starts `start.argv[0]` directly, never through a shell: 0, its process in
// `pid`, or the errno of the start or of exec. It inherits descriptors 0 to
// 2 alone (all others are close-on-exec), SIGPIPE at its default, no signal
// blocked.
int start_program(const program_start& start, pid_t& pid);

// Waits until the started program `pid` has ended, and reaps it.
void wait_for_exit(pid_t pid);

// Becomes `argv[0]` in this same process, never through a shell: it keeps
// the PID, so whatever supervises the process supervises the program, with
// every signal at its default and none blocked; a signal ignored until
// then, pending or not, can't end it before exec. Returns only when exec
// failed, with its errno, the signals as they were.
int exec_program(char* const* argv, char* const* envp);
