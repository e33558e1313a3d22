// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
// Waiting, idle, for a signal.
#pragma once

#include <csignal>
#include <ctime>

// Blocks the signals in `wanted` and waits until one of them arrives or,
// when `timeout` is given, until that much time has passed; the signal is
// then taken, never acted on, and stays blocked. Any other signal acts as it
// always would (a TERM not in `wanted` still ends the process).
//
// Returns the signal that arrived, or 0 when the time ran out.
int wait_for_signal(const sigset_t& wanted, const timespec* timeout);
