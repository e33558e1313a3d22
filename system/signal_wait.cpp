// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors

#include "signal_wait.h"

#include <unistd.h>

#include <cerrno>

namespace {

constexpr long nanoseconds_per_second = 1'000'000'000;

timespec now() {
    timespec time{};
    ::clock_gettime(CLOCK_MONOTONIC, &time);
    return time;
}

timespec minus(timespec later, const timespec& earlier) {
    later.tv_sec -= earlier.tv_sec;
    later.tv_nsec -= earlier.tv_nsec;
    if (later.tv_nsec < 0) {
        later.tv_nsec += nanoseconds_per_second;
        --later.tv_sec;
    }
    return later;
}

timespec plus(timespec time, const timespec& span) {
    time.tv_sec += span.tv_sec;
    time.tv_nsec += span.tv_nsec;
    if (time.tv_nsec >= nanoseconds_per_second) {
        time.tv_nsec -= nanoseconds_per_second;
        ++time.tv_sec;
    }
    return time;
}

}  // namespace

int wait_for_signal(const sigset_t& wanted, const timespec* timeout) {
    ::sigprocmask(SIG_BLOCK, &wanted, nullptr);
    const timespec deadline = timeout != nullptr ? plus(now(), *timeout) : timespec{};
    for (;;) {
        timespec left{};
        if (timeout != nullptr) {
            // Once the time has run out, one last look at what is pending.
            left = minus(deadline, now());
            if (left.tv_sec < 0) {
                left = timespec{};
            }
        }
        // EINTR: a stop and continue, or a handler of another signal; the
        // wait goes on for the time that is left.
        const int signal = ::sigtimedwait(&wanted, nullptr, timeout != nullptr ? &left : nullptr);
        if (signal > 0) {
            return signal;
        }
        if (errno == EAGAIN) {
            return 0;
        }
    }
}

void end_by_signal(int signal) {
    struct sigaction defaults {};
    defaults.sa_handler = SIG_DFL;
    ::sigaction(signal, &defaults, nullptr);
    // Raised while it may be blocked, then delivered when it is unblocked.
    ::raise(signal);
    sigset_t only;
    ::sigemptyset(&only);
    ::sigaddset(&only, signal);
    ::sigprocmask(SIG_UNBLOCK, &only, nullptr);
    ::_exit(128 + signal);
}
