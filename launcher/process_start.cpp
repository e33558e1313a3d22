// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors

#include "process_start.h"

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <sys/wait.h>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstddef>

#include "file_io.h"

namespace {

struct child_plan {
    const program_start* start;
    int report;  // write end of the close-on-exec error pipe
};

void set_signal(int signal, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    static_cast<void>(::sigaction(signal, &action, nullptr));
}

int stdin_from_dev_null() {
    const int null = ::open("/dev/null", O_RDONLY);
    if (null < 0) {
        return errno;
    }
    if (null != STDIN_FILENO) {
        const bool moved = ::dup2(null, STDIN_FILENO) == STDIN_FILENO;
        const int error = errno;
        ::close(null);
        if (!moved) {
            return error;
        }
    }
    return 0;
}

// Runs in the new process, on a stack of its own, until exec. It shares
// the launcher's memory, so it only calls async-signal-safe functions and
// changes nothing but its own descriptors and signals. On failure the errno
// goes back to the launcher through the pipe.
int become_program(void* argument) {
    const auto& plan = *static_cast<const child_plan*>(argument);
    const program_start& start = *plan.start;
    set_signal(SIGPIPE, SIG_DFL);
    int error = 0;
    if (start.in_background) {
        set_signal(SIGINT, SIG_IGN);
        set_signal(SIGQUIT, SIG_IGN);
        error = stdin_from_dev_null();
    }
    if (error == 0) {
        ::execve(start.argv[0], start.argv, start.envp);
        error = errno;
    }
    write_all(plan.report, std::string_view(reinterpret_cast<const char*>(&error), sizeof error));
    ::_exit(127);
}

}  // namespace

started_program start_program(const program_start& start) {
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        return {.error = errno};
    }
    unique_fd report_read(report[0]);
    unique_fd report_write(report[1]);

    // CLONE_VFORK holds the launcher until the program runs, so the new
    // process can use this stack frame's memory. Emulators that start it
    // as a plain fork give it a copy instead; the pipe works either way.
    alignas(16) std::array<std::byte, std::size_t{32} << 10> stack;
    const child_plan plan{&start, report_write.get()};
    const pid_t pid = ::clone(become_program, stack.data() + stack.size(),
                              CLONE_VM | CLONE_VFORK | SIGCHLD, const_cast<child_plan*>(&plan));
    if (pid < 0) {
        return {.error = errno};
    }
    report_write.close();

    // Nothing comes through the pipe when exec succeeds: it just closes.
    int error = 0;
    ssize_t got = 0;
    do {
        got = ::read(report_read.get(), &error, sizeof error);
    } while (got < 0 && errno == EINTR);
    if (got != static_cast<ssize_t>(sizeof error)) {
        return {.pid = pid};
    }
    wait_for_exit(pid);
    return {.error = error};
}

void wait_for_exit(pid_t pid) {
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
}
