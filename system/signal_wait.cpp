// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors

#include "signal_wait.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

int wait_for_signal(const sigset_t& wanted, const timespec* timeout) {
    using namespace std::chrono;
    ::sigprocmask(SIG_BLOCK, &wanted, nullptr);
    const auto deadline =
        steady_clock::now() + (timeout == nullptr
                                   ? nanoseconds{}
                                   : seconds{timeout->tv_sec} + nanoseconds{timeout->tv_nsec});
    for (;;) {
        // Once the time has run out, one last look at what is pending.
        const auto left = std::max(nanoseconds{deadline - steady_clock::now()}, nanoseconds{});
        const timespec wait{static_cast<time_t>(duration_cast<seconds>(left).count()),
                            static_cast<long>((left % seconds{1}).count())};
        // EINTR: a stop and continue, or a handler of another signal; the
        // wait goes on for the time that is left.
        const int signal = ::sigtimedwait(&wanted, nullptr, timeout != nullptr ? &wait : nullptr);
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
    static_cast<void>(::raise(signal));
    sigset_t only;
    ::sigemptyset(&only);
    ::sigaddset(&only, signal);
    ::sigprocmask(SIG_UNBLOCK, &only, nullptr);
    ::_exit(128 + signal);
}
