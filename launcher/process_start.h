// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
// Starting other programs.
#pragma once

#include <sys/types.h>

struct program_start {
    char* const* argv;  // the program's path first, then its arguments
    char* const* envp;
    // Set up as a shell's "&" would: standard input from /dev/null, SIGINT
    // and SIGQUIT ignored.
    bool in_background = false;
};

struct started_program {
    pid_t pid = -1;  // the running program, when `error` is 0
    int error = 0;   // the errno that kept it from starting
};

// Starts `start.argv[0]` directly, never through a shell, and returns once
// it is running or has failed to start. The new process shares the
// launcher's memory until it runs the program, as vfork does, so starting
// it copies nothing however large the launcher has grown. It inherits
// standard output and error and nothing else the launcher opened (every
// other descriptor is close-on-exec), and SIGPIPE at its default.
started_program start_program(const program_start& start);

// Waits until the started program `pid` has ended, and reaps it.
void wait_for_exit(pid_t pid);
