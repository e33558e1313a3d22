// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
// Stands in for the LwM2M client where a test needs a program of its own:
// the init script finds the client by its executable, and a supervisor
// must see one process, with no child left behind when it ends. It takes
// any arguments and waits until a signal ends it: SIGUSR1 with status 3,
// SIGUSR2 with status 0, any other as that signal does. While
// /run/die-at-once exists, it ends at once with status 3.
#include <unistd.h>

#include <csignal>

int main() {
    if (::access("/run/die-at-once", F_OK) == 0) {
        return 3;
    }
    sigset_t endings;
    ::sigemptyset(&endings);
    ::sigaddset(&endings, SIGUSR1);
    ::sigaddset(&endings, SIGUSR2);
    ::sigprocmask(SIG_BLOCK, &endings, nullptr);
    int signal = 0;
    ::sigwait(&endings, &signal);
    return signal == SIGUSR1 ? 3 : 0;
}
