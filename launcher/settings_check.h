// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
// lwm2m-launcher --check [--json] [FILE]: a settings file read as a start
// reads it, by the same code, into one record of what was found; a report
// for a person and a JSON object for a fleet's tools are both printed from
// that record alone. FILE is read, the rest only looked at: nothing is
// created, changed or started.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "module_settings.h"
#include "start_plan.h"

// Something whose meaning the lenient rules change: a stable `id` (see the
// manual page), the line it is on (0: none) and the words of the report.
struct check_finding {
    std::uint64_t line = 0;
    std::string_view id;
    std::string message;
};

// A step of what a start would do, in the report's words.
struct check_step {
    std::string text;
    bool shows_command = false;  // followed by the command line, the key masked
};

struct check_record {
    std::string path;  // the settings file, as named
    bool strict = false;
    start_plan plan;  // the settings, the CSV, the walk, the client, the decision
    std::array<std::string, module_keys.size()> shown;  // each setting as the report shows it
    // The first `findings_max` findings, by line; all are counted.
    static constexpr std::size_t findings_max = 100;
    std::vector<check_finding> findings;
    std::uint64_t finding_count = 0;
    std::vector<check_step> steps;  // not strict: what a start would do
    // What else exposes the key on this gateway, and a client already running.
    bool settings_exposed = false;
    bool proc_exposed = false;
    std::optional<std::string> running_client;
    int status = 0;  // as the option's exit status
};

// Reads the settings file at `path`. By default also foresees a start on
// this machine (the steps of start_plan.h) and looks at the gateway; the
// status is the start's (0, 255 or 1), but 1 for a file that can't be read.
// `strict` judges the file alone: a missing LWM2M_ENABLE or LWM2M_CSV is a
// finding too, and the status is 3 on any finding, 1 when the file can't be
// read, 0 otherwise.
check_record make_check_record(const char* path, bool strict);

// The report for a person: the command line a start would log, the key
// masked (masked_line), stands on a line of its own after four blanks.
std::string text_report(const check_record& record);

// The same record as one JSON object and a line feed (check_json.cpp).
std::string json_report(const check_record& record);

// `text` with every byte below 0x20, 0x7F and above shown as \xNN, so that
// printing it can't steer a terminal.
std::string shown_plainly(std::string_view text);
