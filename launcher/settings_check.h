// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
// lwm2m-launcher --check [FILE]: a settings file read exactly as a start
// reads it, by the same code, and a report for a person on what that
// gives. Nothing is created, changed or started: FILE is read, and the work
// directory and the client program are only looked at.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "settings_reader.h"

// Something in the file whose meaning the lenient rules change: one per
// line that shows it, with the line (0: none in particular).
struct settings_finding {
    std::uint64_t line = 0;
    std::string text;
};

// The findings of one file: the first `shown_max` kept, all counted, so
// that a file of millions of odd lines costs no more memory than a few.
struct settings_findings {
    static constexpr std::size_t shown_max = 100;
    std::vector<settings_finding> shown;
    std::uint64_t count = 0;

    bool full() const { return shown.size() >= shown_max; }
    void add(settings_finding finding);
};

// Turns what the pass saw on each line into findings: a name that is a key
// but for blanks around it, an unknown name beginning with LWM2M_, a key
// set again, a quote never closed, text after the last quote, a line longer
// than an ordinary key's value is read from, a carriage return or zero byte
// inside a line.
settings_line_observer finding_observer(settings_findings& findings);

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
