// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors

#include "process_start.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstddef>
#include <string_view>

#include "file_io.h"

namespace {

struct child_plan {
    const program_start* start;
    int unused;     // read end of the error pipe, or -1
    int report;     // write end of the close-on-exec error pipe, or -1
    int error = 0;  // set by the new process when it fails, in shared memory
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

// Hands the reason back to the launcher and ends the new process.
[[noreturn]] void fail_start(child_plan& plan, int error) {
    plan.error = error;
    if (plan.report >= 0) {
        write_all(plan.report,
                  std::string_view(reinterpret_cast<const char*>(&error), sizeof error));
    }
    ::_exit(127);
}

// Runs in the new process, on a stack of its own, until exec. It shares
// the launcher's memory, errno included, so it only calls async-signal-safe
// functions and writes nothing of the launcher's but errno and the plan's
// error. Descriptors, signal handlers and the umask are its own: clone
// copies them (no CLONE_FILES, CLONE_SIGHAND or CLONE_FS).
int become_program(void* argument) {
    auto& plan = *static_cast<child_plan*>(argument);
    const program_start& start = *plan.start;
    // Its own copy: a descriptor free for /dev/null even at the limit.
    if (plan.unused >= 0) {
        ::close(plan.unused);
    }
    set_signal(SIGPIPE, SIG_DFL);
    if (start.umask_add != 0) {
        const mode_t old = ::umask(0);
        ::umask(old | start.umask_add);
    }
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
    fail_start(plan, error);
}

}  // namespace

int start_program(const program_start& start, pid_t& pid) {
    // No pipe when no descriptor is left: the shared memory still tells.
    int report[2] = {-1, -1};
    if (::pipe2(report, O_CLOEXEC) != 0) {
        report[0] = report[1] = -1;
    }
    unique_fd report_read(report[0]);
    unique_fd report_write(report[1]);

    // CLONE_VFORK holds the launcher until the program runs, so the new
    // process can use this stack frame's memory.
    alignas(16) std::array<std::byte, std::size_t{32} << 10> stack;
    child_plan plan{&start, report_read.get(), report_write.get()};
    pid = ::clone(become_program, stack.data() + stack.size(), CLONE_VM | CLONE_VFORK | SIGCHLD,
                  &plan);
    if (pid < 0) {
        return errno;
    }
    report_write.close();

    int error = plan.error;
    if (report_read) {
        // Nothing comes through the pipe when exec succeeds: it just closes.
        int reported = 0;
        ssize_t got = 0;
        do {
            got = ::read(report_read.get(), &reported, sizeof reported);
        } while (got < 0 && errno == EINTR);
        if (got == static_cast<ssize_t>(sizeof reported)) {
            error = reported;
        }
    }
    if (error != 0) {
        wait_for_exit(pid);
        pid = -1;
    }
    return error;
}

void wait_for_exit(pid_t pid) {
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
}
