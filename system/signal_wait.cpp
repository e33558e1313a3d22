// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors

#include "signal_wait.h"

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
            left = minus(deadline, now());
            if (left.tv_sec < 0) {
                return 0;
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
