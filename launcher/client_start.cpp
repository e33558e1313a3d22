#include "client_start.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>

#include "file_io.h"

namespace {

// Marks every descriptor from 3 up close-on-exec. The error report pipe is
// among them: it stays open until exec succeeds and closes with it.
void close_other_descriptors_on_exec() {
    if (::close_range(3, UINT_MAX, CLOSE_RANGE_CLOEXEC) == 0) {
        return;
    }
    // Kernels and emulators without close_range: every possible descriptor.
    rlimit limit{};
    rlim_t highest = 1024;
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
        highest = std::min<rlim_t>(limit.rlim_cur, 1 << 20);
    }
    for (int fd = 3; static_cast<rlim_t>(fd) < highest; ++fd) {
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
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

// Runs in the child between fork and exec. On failure the errno goes back to
// the launcher through `report`.
[[noreturn]] void become_client(char* const argv[], int report) {
    static_cast<void>(std::signal(SIGINT, SIG_IGN));  // cannot fail for these
    static_cast<void>(std::signal(SIGQUIT, SIG_IGN));
    int error = stdin_from_dev_null();
    if (error == 0) {
        close_other_descriptors_on_exec();
        ::execv(argv[0], argv);
        error = errno;
    }
    write_all(report, std::string_view(reinterpret_cast<const char*>(&error), sizeof error));
    ::_exit(127);
}

}  // namespace

int start_in_background(const std::vector<std::string>& arguments) {
    // Built before fork: the child only calls async-signal-safe functions.
    std::vector<char*> argv(arguments.size() + 1, nullptr);
    std::transform(arguments.begin(), arguments.end(), argv.begin(),
                   [](const std::string& argument) { return const_cast<char*>(argument.c_str()); });

    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        return errno;
    }
    unique_fd report_read(report[0]);
    unique_fd report_write(report[1]);

    const pid_t child = ::fork();
    if (child < 0) {
        return errno;
    }
    if (child == 0) {
        become_client(argv.data(), report_write.get());
    }
    report_write.close();

    // Nothing comes through the pipe when exec succeeds: it just closes.
    int error = 0;
    ssize_t got = 0;
    do {
        got = ::read(report_read.get(), &error, sizeof error);
    } while (got < 0 && errno == EINTR);
    if (got != static_cast<ssize_t>(sizeof error)) {
        return 0;
    }
    ::waitpid(child, nullptr, 0);
    return error;
}
