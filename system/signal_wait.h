// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
// Waiting, idle, for a signal, and ending as one would.
#pragma once

#include <csignal>
#include <ctime>

// Blocks the signals in `wanted` and waits until one of them arrives (taken,
// never acted on) or, with `timeout`, that much time has passed: the signal,
// or 0. Any other signal acts as it always would.
int wait_for_signal(const sigset_t& wanted, const timespec* timeout);

// Ends the process as `signal` does at its default disposition, so that
// whoever waits for it sees it ended by that signal. For a signal whose
// default is to be ignored, ends it with status 128 + `signal`.
[[noreturn]] void end_by_signal(int signal);
