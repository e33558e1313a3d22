// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
// The steps of a start, written once: a start takes them, --check foresees
// them and prints what they would give, so the two can't tell two stories.
#pragma once

#include <string>

#include "client_command.h"
#include "csv_config.h"
#include "exec_forecast.h"
#include "module_settings.h"
#include "work_dir.h"

// How a start ends.
enum class start_outcome : unsigned char {
    client_started,    // status 0
    module_disabled,   // status 0, "Quorvane is disabled." logged
    no_csv_config,     // status 255, "Can't find CSV config file in Plugwell" logged
    work_dir_refused,  // status 1, nothing touched from then on
    client_failed,     // status 1, the client could not be started
    launcher_short,    // status 1, descriptors or memory ran out; nothing touched
};

int exit_status_of(start_outcome outcome);

struct start_plan {
    const char* settings_path = nullptr;
    module_settings_read read;  // the settings (the file is closed once the CSV is read)
    work_dir_state work;
    csv_outcome csv = csv_outcome::missing;
    csv_facts facts;         // foreseen only: what decoding the CSV showed
    client_command command;  // what a start logs and runs when the module is enabled
    exec_forecast client;    // what starting the client meets, or would meet

    start_outcome outcome = start_outcome::client_started;
    std::string reason;  // for "client not started: <reason>"; empty when it runs

    // Sets `outcome` and `reason` from the facts above; again once a start
    // has tried to start the client.
    void decide();
};

// The steps of a start up to the client's, taken or foreseen: reads the
// settings at `path` (`observe`, when set, sees every line), prepares the
// work directory, writes the CSV configuration, composes the command, looks
// whether the effective user may run the client, and decides. Taken, what
// goes wrong is said on standard error.
start_plan take_start_steps(const char* path, step_mode mode,
                            const settings_line_observer& observe = {});
