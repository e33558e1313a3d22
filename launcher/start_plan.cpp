// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors

#include "start_plan.h"

#include <cerrno>
#include <cstring>

#include "complain.h"
#include "exec_forecast.h"
#include "fixed_paths.h"

int exit_status_of(start_outcome outcome) {
    switch (outcome) {
        case start_outcome::client_started:
        case start_outcome::module_disabled:
            return 0;
        case start_outcome::no_csv_config:
            return 255;
        case start_outcome::work_dir_refused:
        case start_outcome::client_failed:
        case start_outcome::launcher_short:
            break;
    }
    return 1;
}

void start_plan::decide() {
    const std::string_view path = settings_path;
    const settings_status& settings = read.status;
    const std::string_view no_csv = "no CSV configuration: ";
    outcome = start_outcome::no_csv_config;
    if (!work.refusal.empty()) {
        outcome = start_outcome::work_dir_refused;
        reason = joined({"refusing to work in ", work_dir, ": ", work.refusal});
    } else if (work.csv_kept() || csv == csv_outcome::still_there) {
        reason = joined({no_csv, "the earlier ", csv_config_path, " could not be removed"});
    } else if (settings.verdict == settings_verdict::failed && settings.error == ENOENT) {
        reason = joined({"no settings file at ", path});
    } else if (!settings.ok() || csv == csv_outcome::unreadable) {
        reason = joined({no_csv, path, " could not be read"});
    } else if (csv == csv_outcome::missing) {
        reason = joined({no_csv, "LWM2M_CSV is missing or empty in ", path});
    } else if (csv == csv_outcome::no_bytes) {
        reason = joined({no_csv, "LWM2M_CSV decodes to no bytes"});
    } else if (csv == csv_outcome::not_written) {
        reason = joined({no_csv, csv_config_path, " could not be written"});
    } else if (read.settings.enable == 0) {
        outcome = start_outcome::module_disabled;
        reason = "the module is disabled (LWM2M_ENABLE is 0)";
    } else if (client.error != 0) {
        outcome = start_outcome::client_failed;
        reason = joined({"can't start ", client_program, ": ", std::strerror(client.error)});
    } else {
        outcome = start_outcome::client_started;
        reason.clear();
    }
}

start_plan take_start_steps(const char* path, step_mode mode,
                            const settings_line_observer& observe) {
    const bool act = mode == step_mode::act;
    start_plan plan;
    plan.settings_path = path;
    plan.read = load_module_settings(path, observe);
    const settings_status& read = plan.read.status;
    // The launcher's own want of descriptors or memory is not a gateway
    // without settings: nothing is touched.
    if (read.verdict == settings_verdict::failed &&
        (read.error == EMFILE || read.error == ENFILE || read.error == ENOMEM)) {
        plan.outcome = start_outcome::launcher_short;
        plan.reason = joined({"can't read ", path, ": ", std::strerror(read.error)});
        return plan;
    }
    if (act && read.verdict == settings_verdict::not_regular) {
        complain({"ignoring ", path, ": not a regular file"});
    } else if (act && !read.ok() && read.error != ENOENT) {
        complain({"can't read ", path, ": ", settings_status_text(read)});
    }
    plan.work = prepare_work_dir(mode);
    const settings_place csv = plan.read.settings.csv;
    if (!act) {
        plan.csv = foresee_csv_config(plan.read.file, csv, plan.facts);
        if (plan.csv == csv_outcome::written && plan.work.csv_create_error != 0) {
            plan.csv = csv_outcome::not_written;
        }
    } else if (plan.work.refusal.empty() && !plan.work.csv_kept()) {
        plan.csv = write_csv_config(plan.read.file, csv, csv_config_path, plan.settings_path);
    }
    plan.read.file.fd = unique_fd();  // read whole: the settings are not held open
    plan.command = compose_client_command(plan.read.settings);
    plan.client = foresee_exec(client_program);
    plan.decide();
    return plan;
}
