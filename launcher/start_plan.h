// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
// What a start does, decided in one place: a start carries the plan out,
// and --check prints it, so the two can't tell different stories.
#pragma once

#include <string>

#include "client_command.h"
#include "module_settings.h"
#include "work_dir.h"

// How a start ends.
enum class start_outcome : unsigned char {
    client_started,    // status 0
    module_disabled,   // status 0, "Quorvane is disabled." logged
    no_csv_config,     // status 255, "Can't find CSV config file in Plugwell" logged
    work_dir_refused,  // status 1, nothing touched from then on
    client_failed,     // status 1, the client could not be started
};

int exit_status_of(start_outcome outcome);

// What the CSV configuration in the settings gives.
enum class csv_source : unsigned char {
    missing,  // LWM2M_CSV is missing or empty
    decodes_to_nothing,
    has_bytes,
    unreadable,  // the settings file changed or failed while it was read
};

struct start_plan {
    const char* settings_path = nullptr;
    module_settings_read read;  // the settings, and the file left open for the CSV
    work_dir_state work;
    csv_source csv = csv_source::missing;
    // Writing config.csv fails (a survey: would fail, for work.csv_create_error).
    bool csv_write_fails = false;
    client_command command;  // what a start logs and runs when the module is enabled
    int client_error = 0;    // what starting the client meets (a survey: would meet)

    start_outcome outcome = start_outcome::client_started;
    // Why no client is left running, for "client not started: <reason>";
    // empty when one is.
    std::string reason;

    // Sets `outcome` and `reason` from the facts above. A start calls it
    // again whenever carrying the plan out changed one of them.
    void decide();
};

// Reads the settings at `path` and looks at this gateway, changing
// nothing: the work directory, what would be removed and written there, and
// whether the client program can be run by the launcher's effective user.
// `observe`, when set, sees every line of the settings file.
start_plan plan_start(const char* path, const settings_line_observer& observe = {});
