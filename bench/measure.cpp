// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
// measure RUNS COMMAND [ARG...]: runs COMMAND RUNS times, one after the other,
// and prints "MEDIAN_MS PEAK_KIB": the median wall time from start to exit,
// and the largest peak resident memory of the command itself. Processes the
// command leaves running (a client started in the background) are reaped
// after each run. Exits 1 when a run fails to start or kill itself.
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 3) {
        static_cast<void>(std::fprintf(stderr, "usage: measure RUNS COMMAND [ARG...]\n"));
        return 2;
    }
    const long runs = std::strtol(argv[1], nullptr, 10);
    static_cast<void>(::prctl(PR_SET_CHILD_SUBREAPER, 1));
    std::vector<double> times;
    long peak_kib = 0;
    for (long run = 0; run < runs; ++run) {
        const auto start = std::chrono::steady_clock::now();
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::execv(argv[2], argv + 2);
            ::_exit(127);
        }
        int status = 0;
        rusage usage{};
        ::wait4(pid, &status, 0, &usage);
        const auto end = std::chrono::steady_clock::now();
        if (WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) == 127)) {
            static_cast<void>(std::fprintf(stderr, "measure: %s did not run\n", argv[2]));
            return 1;
        }
        times.push_back(std::chrono::duration<double, std::milli>(end - start).count());
        peak_kib = std::max(peak_kib, usage.ru_maxrss);
        while (::waitpid(-1, nullptr, 0) > 0) {
        }
    }
    std::sort(times.begin(), times.end());
    const double median = times.size() % 2 == 1
                              ? times[times.size() / 2]
                              : (times[times.size() / 2 - 1] + times[times.size() / 2]) / 2;
    static_cast<void>(std::printf("%.3f %ld\n", median, peak_kib));
    return 0;
}
