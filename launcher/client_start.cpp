// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors

#include "client_start.h"

#include <unistd.h>

#include <algorithm>

#include "process_start.h"

int start_in_background(const std::vector<std::string>& arguments) {
    std::vector<char*> argv(arguments.size() + 1, nullptr);
    std::transform(arguments.begin(), arguments.end(), argv.begin(),
                   [](const std::string& argument) { return const_cast<char*>(argument.c_str()); });
    // The client gets the launcher's environment as it is.
    pid_t pid = -1;
    return start_program({.argv = argv.data(), .envp = environ, .in_background = true}, pid);
}
