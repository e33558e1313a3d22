// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
// What the launcher does with the descriptors it was started with.
#pragma once

// Opens /dev/null on standard input, output and error where the launcher
// was started with one closed. Otherwise the first file it opens would take
// that number, and the client would write its output there.
void open_missing_standard_descriptors();

// Marks every descriptor from 3 up close-on-exec, so that none the launcher
// inherited reaches what it starts: with close_range (Linux 5.11), or else
// the list in /proc/self/fd, which also finds descriptors above the limits.
// Without both, closes them (close_range, 5.9), or else marks every number
// below the hard limit. Called before the launcher opens anything.
void close_inherited_descriptors_on_exec();
