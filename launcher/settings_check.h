// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
// lwm2m-launcher --check [FILE]: a settings file read as a start reads it,
// by the same code, and a report for a person; FILE is read, the rest only
// looked at: nothing is created, changed or started.
#pragma once

#include <string>
#include <string_view>

// Makes the report on the settings file at `path` and returns a status. By
// default the report also says what a start would do on this machine (the
// steps of start_plan.h, foreseen), with the command line it would log, the
// key masked (masked_line), on a line of its own after four blanks; the
// status is the start's (0, 255 or 1), but 1 for a file that can't be
// read. `strict` judges the file alone: a missing LWM2M_ENABLE or LWM2M_CSV
// is a finding too, and the status is 3 on any finding, 1 when the file
// can't be read, 0 otherwise.
int check_settings(const char* path, bool strict, std::string& report);

// `text` with every byte below 0x20, 0x7F and above shown as \xNN, so that
// printing it can't steer a terminal.
std::string shown_plainly(std::string_view text);
