// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors

#include "start_plan.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "csv_config.h"
#include "fixed_paths.h"

namespace {

// What exec would meet, as the effective user that runs it sees it.
int client_blocker() {
    struct stat status {};
    if (::stat(client_program, &status) != 0) {
        return errno;
    }
    if (!S_ISREG(status.st_mode)) {
        return EACCES;
    }
    return ::faccessat(AT_FDCWD, client_program, X_OK, AT_EACCESS) == 0 ? 0 : errno;
}

}  // namespace

int exit_status_of(start_outcome outcome) {
    switch (outcome) {
        case start_outcome::client_started:
        case start_outcome::module_disabled:
            return 0;
        case start_outcome::no_csv_config:
            return 255;
        case start_outcome::work_dir_refused:
        case start_outcome::client_failed:
            break;
    }
    return 1;
}

void start_plan::decide() {
    const std::string path = settings_path;
    const settings_status& settings = read.status;
    const std::string no_csv = "no CSV configuration: ";
    outcome = start_outcome::no_csv_config;
    if (!work.refusal.empty()) {
        outcome = start_outcome::work_dir_refused;
        reason = "refusing to work in " + std::string(work_dir) + ": " + work.refusal;
    } else if (work.csv_kept()) {
        reason = no_csv + "the earlier " + csv_config_path + " could not be removed";
    } else if (settings.verdict == settings_verdict::failed && settings.error == ENOENT) {
        reason = "no settings file at " + path;
    } else if (!settings.ok() || csv == csv_source::unreadable) {
        reason = no_csv + path + " could not be read";
    } else if (csv == csv_source::missing) {
        reason = no_csv + "LWM2M_CSV is missing or empty in " + path;
    } else if (csv == csv_source::decodes_to_nothing) {
        reason = no_csv + "LWM2M_CSV decodes to no bytes";
    } else if (csv_write_fails) {
        reason = no_csv + csv_config_path + " could not be written";
    } else if (read.settings.enable == 0) {
        outcome = start_outcome::module_disabled;
        reason = "the module is disabled (LWM2M_ENABLE is 0)";
    } else if (client_error != 0) {
        outcome = start_outcome::client_failed;
        reason = "can't start " + std::string(client_program) + ": " + std::strerror(client_error);
    } else {
        outcome = start_outcome::client_started;
        reason.clear();
    }
}

start_plan plan_start(const char* path, const settings_line_observer& observe) {
    start_plan plan;
    plan.settings_path = path;
    plan.read = load_module_settings(path, observe);
    plan.work = survey_work_dir();
    const module_settings& settings = plan.read.settings;
    if (settings.csv.length != 0) {
        bool has_bytes = false;
        const settings_status status =
            csv_config_has_bytes(plan.read.file, settings.csv, has_bytes);
        plan.csv = !status.ok() ? csv_source::unreadable
                   : has_bytes  ? csv_source::has_bytes
                                : csv_source::decodes_to_nothing;
    }
    plan.csv_write_fails = plan.work.csv_create_error != 0;
    plan.command = compose_client_command(settings);
    plan.client_error = client_blocker();
    plan.decide();
    return plan;
}
