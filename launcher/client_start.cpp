// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors

#include "client_start.h"

#include <unistd.h>

#include <algorithm>

#include "process_start.h"

namespace {

std::vector<char*> argument_vector(const std::vector<std::string>& arguments) {
    std::vector<char*> argv(arguments.size() + 1, nullptr);
    std::transform(arguments.begin(), arguments.end(), argv.begin(),
                   [](const std::string& argument) { return const_cast<char*>(argument.c_str()); });
    return argv;
}

}  // namespace

// The client gets the launcher's environment as it is.
int start_in_background(const std::vector<std::string>& arguments) {
    pid_t pid = -1;
    return start_program(
        {.argv = argument_vector(arguments).data(), .envp = environ, .in_background = true}, pid);
}

int become_client(const std::vector<std::string>& arguments) {
    return exec_program(argument_vector(arguments).data(), environ);
}
