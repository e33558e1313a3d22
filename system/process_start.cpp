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

namespace {

// A signal's disposition in the launcher, set for one start and put back.
class signal_for_start {
public:
    signal_for_start(int signal, bool ignore) : signal_(signal), set_(ignore) {
        struct sigaction action {};
        action.sa_handler = SIG_IGN;
        set_ = set_ && ::sigaction(signal_, &action, &old_) == 0;
    }
    signal_for_start(const signal_for_start&) = delete;
    signal_for_start& operator=(const signal_for_start&) = delete;
    ~signal_for_start() {
        if (set_) {
            static_cast<void>(::sigaction(signal_, &old_, nullptr));
        }
    }

private:
    int signal_;
    bool set_;
    struct sigaction old_ {};
};

}  // namespace

int start_program(const program_start& start, pid_t& pid) {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    if (const int error = ::posix_spawn_file_actions_init(&actions); error != 0) {
        return error;
    }
    int error = ::posix_spawnattr_init(&attributes);
    // SIGPIPE, which the launcher ignores, back at its default. For the
    // background, SIGINT and SIGQUIT are ignored here around the start, and
    // the new process inherits that.
    sigset_t defaults;
    ::sigemptyset(&defaults);
    ::sigaddset(&defaults, SIGPIPE);
    if (start.in_background) {
        error = error != 0 ? error
                           : ::posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null",
                                                                O_RDONLY | O_NOCTTY, 0);
    }
    if (error == 0) {
        error = ::posix_spawnattr_setsigdefault(&attributes, &defaults);
    }
    // And nothing blocked that the launcher blocks for itself.
    sigset_t none;
    ::sigemptyset(&none);
    if (error == 0) {
        error = ::posix_spawnattr_setsigmask(&attributes, &none);
    }
    if (error == 0) {
        error =
            ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    }
    if (error == 0) {
        const signal_for_start interrupt(SIGINT, start.in_background);
        const signal_for_start quit(SIGQUIT, start.in_background);
        const mode_t old = ::umask(0);
        ::umask(old | start.umask_add);
        error = ::posix_spawn(&pid, start.argv[0], &actions, &attributes, start.argv, start.envp);
        ::umask(old);
    }
    ::posix_spawnattr_destroy(&attributes);
    ::posix_spawn_file_actions_destroy(&actions);
    return error;
}

void wait_for_exit(pid_t pid) {
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
}

int exec_program(char* const* argv, char* const* envp) {
    // Caught signals go back to their defaults by exec itself; ignored ones
    // (SIGPIPE by the launcher, any by whoever started it) would not.
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
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
