// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors

#include "process_start.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

int start_program(const program_start& start, pid_t& pid) {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    if (const int error = ::posix_spawn_file_actions_init(&actions); error != 0) {
        return error;
    }
    // SIGPIPE, which the launcher ignores, back at its default, and nothing
    // blocked that the launcher blocks for itself.
    sigset_t defaults;
    sigset_t none;
    ::sigemptyset(&defaults);
    ::sigaddset(&defaults, SIGPIPE);
    ::sigemptyset(&none);
    int error = ::posix_spawnattr_init(&attributes);
    if (error == 0) {
        error = ::posix_spawnattr_setsigdefault(&attributes, &defaults);
    }
    if (error == 0) {
        error = ::posix_spawnattr_setsigmask(&attributes, &none);
    }
    if (error == 0) {
        error =
            ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    }
    if (error == 0 && start.in_background) {
        error = ::posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null",
                                                   O_RDONLY | O_NOCTTY, 0);
    }
    if (error == 0) {
        // For the background, SIGINT and SIGQUIT are ignored around the
        // start, and the new process inherits that.
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        struct sigaction old_interrupt {};
        struct sigaction old_quit {};
        if (start.in_background) {
            ::sigaction(SIGINT, &ignore, &old_interrupt);
            ::sigaction(SIGQUIT, &ignore, &old_quit);
        }
        const mode_t old_umask = ::umask(0);
        ::umask(old_umask | start.umask_add);
        error = ::posix_spawn(&pid, start.argv[0], &actions, &attributes, start.argv, start.envp);
        ::umask(old_umask);
        if (start.in_background) {
            ::sigaction(SIGINT, &old_interrupt, nullptr);
            ::sigaction(SIGQUIT, &old_quit, nullptr);
        }
    }
    ::posix_spawnattr_destroy(&attributes);
    ::posix_spawn_file_actions_destroy(&actions);
    return error;
}

void wait_for_exit(pid_t pid) {
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
}

namespace {

void take_and_forget(int /*signal*/) {}

}  // namespace

int exec_program(char* const* argv, char* const* envp) {
    // Caught signals go back to their defaults by exec itself; ignored ones
    // (SIGPIPE by the launcher, any by whoever started it) would not. So
    // they are caught, by a handler that does nothing, until exec: one that
    // was pending, blocked, or comes meanwhile can't end the process there.
    struct sigaction action {};
    action.sa_handler = take_and_forget;
    sigset_t ignored;
    ::sigemptyset(&ignored);
    // KILL, STOP and the C library's own signals refuse, harmlessly.
    for (int signal = 1; signal < NSIG; ++signal) {
        struct sigaction old {};
        if (::sigaction(signal, nullptr, &old) == 0 && old.sa_handler == SIG_IGN &&
            ::sigaction(signal, &action, nullptr) == 0) {
            ::sigaddset(&ignored, signal);
        }
    }
    sigset_t none;
    sigset_t blocked;
    ::sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, &blocked);
    ::execve(argv[0], argv, envp);
    const int error = errno;
    // The launcher goes on as it was: SIGPIPE ignored, its stops held.
    ::sigprocmask(SIG_SETMASK, &blocked, nullptr);
    action.sa_handler = SIG_IGN;
    for (int signal = 1; signal < NSIG; ++signal) {
        if (::sigismember(&ignored, signal) == 1) {
            ::sigaction(signal, &action, nullptr);
        }
    }
    return error;
}
