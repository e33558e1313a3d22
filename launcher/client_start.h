// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
// Starting the client program: in the background, or in the launcher's
// place.
#pragma once

#include <string>
#include <vector>

// Starts the program `arguments[0]` with `arguments` as its argument vector
// and the launcher's environment, without a shell, and returns at once
// without waiting for it. The client gets what a shell's "&" would give it:
// standard input from /dev/null, SIGINT and SIGQUIT ignored, standard
// output and error shared with the launcher. It inherits no other
// descriptor, and SIGPIPE at its default.
//
// Returns 0 once the program is running, or the errno that kept it from
// starting (missing, not executable, arguments too long, no memory).
int start_in_background(const std::vector<std::string>& arguments);

// Becomes the program `arguments[0]`, with `arguments` as its argument
// vector and the launcher's environment, in the launcher's own process: it
// keeps the launcher's PID and standard input, output and error, holds no
// other descriptor, and has every signal at its default.
//
// Returns only when the program could not be started, with the errno; the
// launcher's signals are then as they were.
int become_client(const std::vector<std::string>& arguments);
