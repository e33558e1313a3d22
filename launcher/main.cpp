// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
// lwm2m-launcher: prepares and starts the module's LwM2M client at boot.
//
// Reads no arguments but --version and --help, and no environment of its
// own: the client gets the environment as it is, the fixed shell commands
// only a fixed PATH. In one pass it reads the module settings, rebuilds the
// work directory, writes the decoded CSV configuration, and, when the module
// is enabled, logs the client's command line and starts the client in the
// background.
//
// Exit status:
//   0    the client was started, or the module is disabled
//   255  the CSV configuration file is missing (logged)
//   1    the launcher could not do its work: untrusted work directory, the
//        client could not be started, out of memory (said on standard error,
//        prefixed "lwm2m-launcher: ")
//
// Other messages on standard error, after which the start goes on:
//   "ignoring <settings>: not a regular file"   (read as if empty)
//   "can't read <settings>: <reason>"           (likewise; a missing file is
//                                                 not mentioned)
//   "can't create <csv>: <reason>", "can't write <csv>, removed it: <reason>"
//   "can't read /tmp/lwm2m/etc: <reason>",
//   "can't remove /tmp/lwm2m/etc/<name>: <reason>"
//
// Event log entries, appended to /tmp/lwm2m/lwm2m.log as they stand:
//   "Can't find CSV config file in Plugwell\n"
//   "Quorvane is disabled.\n"
//   the client command line, then "\n"
//   "lwm2m-launcher: can't start <program>: <reason>\n"
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <string_view>
#include <utility>

#include "client_command.h"
#include "client_start.h"
#include "complain.h"
#include "csv_config.h"
#include "event_log.h"
#include "file_io.h"
#include "fixed_paths.h"
#include "inherited_descriptors.h"
#include "module_settings.h"
#include "work_dir.h"

namespace {

constexpr int exit_started_or_disabled = 0;
constexpr int exit_failure = 1;
constexpr int exit_no_csv_config = 255;

bool exists_here(const char* path) {
    struct stat status {};
    return ::lstat(path, &status) == 0;
}

int launch() {
    module_settings settings;
    settings_file file;
    if (const int error = load_module_settings(settings_path, settings, file); error == EINVAL) {
        complain({"ignoring ", settings_path, ": not a regular file"});
    } else if (error != 0 && error != ENOENT) {
        // A missing file is a module never configured; anything else is
        // worth a word.
        complain({"can't read ", settings_path, ": ", std::strerror(error)});
    }
    const auto log = [&settings](std::string_view message) {
        log_append(message, settings.file_mode);
    };

    if (!rebuild_work_dir()) {
        return exit_failure;
    }

    write_csv_config(file, settings.csv, csv_config_path, settings_path);
    file = settings_file();
    // A link is not followed: what counts is what the launcher wrote here.
    if (!exists_here(csv_config_path)) {
        log("Can't find CSV config file in Plugwell\n");
        return exit_no_csv_config;
    }

    if (settings.enable == 0) {
        log("Quorvane is disabled.\n");
        return exit_started_or_disabled;
    }

    const client_command command = compose_client_command(settings);
    log(command.line);
    log("\n");
    if (const int error = start_in_background(command.arguments); error != 0) {
        const std::string_view reason = std::strerror(error);
        log(std::string("lwm2m-launcher: can't start ") + client_program + ": " +
            std::string(reason) + "\n");
        complain({"can't start ", client_program, ": ", reason});
        return exit_failure;
    }
    return exit_started_or_disabled;
}

constexpr std::string_view usage =
    "Usage: lwm2m-launcher [--version | --help]\n"
    "Starts the Quorvane module's LwM2M client: reads /opt/Quorvane/etc/settings,\n"
    "rebuilds /tmp/lwm2m/etc, writes its CSV configuration and starts\n"
    "/opt/Quorvane/bin/lwm2mclient in the background. Other arguments are ignored.\n"
    "Exit status: 0 started or disabled, 255 no CSV configuration, 1 failure.\n"
    "See lwm2m-launcher(8).\n";

// --version and --help answer and touch nothing; every other argument is
// ignored, as callers that pass one expect.
bool answered_option(int argc, char** argv) {
    if (argc < 2) {
        return false;
    }
    const std::string_view option = argv[1];
    if (option == "--version") {
        write_all(STDOUT_FILENO, "lwm2m-launcher " LAUNCHER_VERSION "\n");
        return true;
    }
    if (option == "--help") {
        write_all(STDOUT_FILENO, usage);
        return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (answered_option(argc, argv)) {
        return EXIT_SUCCESS;
    }
    open_missing_standard_descriptors();
    close_inherited_descriptors_on_exec();
    // A reader of standard output or error that has gone away must not end
    // the launcher half way; the programs it starts get SIGPIPE back.
    static_cast<void>(std::signal(SIGPIPE, SIG_IGN));
    try {
        return launch();
    } catch (const std::bad_alloc&) {
        complain({"out of memory"});
    } catch (const std::exception& error) {
        complain({error.what()});
    }
    return exit_failure;
}
