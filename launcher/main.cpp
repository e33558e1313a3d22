// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
// lwm2m-launcher: prepares and starts the module's LwM2M client at boot.
//
// Reads no environment of its own: the client gets the environment as it
// is, the fixed shell commands only a fixed PATH. In one pass it reads the
// module settings, rebuilds the work directory, writes the decoded CSV
// configuration, and, when the module is enabled, logs the client's command
// line and starts the client in the background.
//
// Options: --check [FILE] (report on a settings file, touch nothing; see
// settings_check.h), --version, --help. An argument that begins with "-"
// and is none of these is refused with a usage message and status 2, and
// nothing is touched; other arguments are ignored.
//
// Exit status:
//   0    the client was started, or the module is disabled
//   255  the CSV configuration file is missing (logged)
//   1    the launcher could not do its work: untrusted work directory, the
//        client could not be started, out of memory (said on standard error,
//        prefixed "lwm2m-launcher: ")
//   2    an unknown option
//
// Every start that doesn't leave the client running says why on standard
// error, in one line that begins "client not started: ". Other messages on
// standard error, after which the start goes on:
//   "ignoring <settings>: not a regular file"   (read as if empty)
//   "can't read <settings>: <reason>"           (likewise)
//   "can't create <csv>: <reason>", "can't write <csv>[, removed it]: <reason>"
//   "can't read /tmp/lwm2m/etc: <reason>",
//   "can't remove /tmp/lwm2m/etc/<name>: <reason>"
//   "can't run <fixed command>: <reason>"
//   "not writing to /tmp/lwm2m/lwm2m.log: <reason>"
//
// Event log entries, appended to /tmp/lwm2m/lwm2m.log as they stand:
//   "Can't find CSV config file in Plugwell\n"
//   "Quorvane is disabled.\n"
//   the client command line, then "\n" (one append)
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

#include "client_command.h"
#include "client_start.h"
#include "complain.h"
#include "csv_config.h"
#include "event_log.h"
#include "file_io.h"
#include "fixed_paths.h"
#include "inherited_descriptors.h"
#include "module_settings.h"
#include "settings_check.h"
#include "work_dir.h"

namespace {

constexpr int exit_started_or_disabled = 0;
constexpr int exit_failure = 1;
constexpr int exit_usage = 2;
constexpr int exit_no_csv_config = 255;

bool exists_here(const char* path) {
    struct stat status {};
    return ::lstat(path, &status) == 0;
}

void not_started(std::string_view why) {
    complain({"client not started: ", why});
}

// Why the CSV configuration is missing, in the words of not_started.
std::string missing_csv_reason(int settings_error, const module_settings& settings,
                               csv_outcome written) {
    if (settings_error == ENOENT) {
        return std::string("no settings file at ") + settings_path;
    }
    if (settings_error != 0) {
        return std::string("no CSV configuration: ") + settings_path + " could not be read";
    }
    if (written == csv_outcome::failed) {
        return std::string("no CSV configuration: ") + csv_config_path + " could not be written";
    }
    if (settings.csv.length == 0) {
        return std::string("no CSV configuration: LWM2M_CSV is missing or empty in ") +
               settings_path;
    }
    return "no CSV configuration: LWM2M_CSV decodes to no bytes";
}

int launch() {
    module_settings settings;
    settings_file file;
    const int settings_error = load_module_settings(settings_path, settings, file);
    if (settings_error == EINVAL) {
        complain({"ignoring ", settings_path, ": not a regular file"});
    } else if (settings_error != 0 && settings_error != ENOENT) {
        complain({"can't read ", settings_path, ": ", std::strerror(settings_error)});
    }
    const auto log = [&settings](std::string_view message) {
        struct stat status {};
        if (const int error = log_append(message, settings.file_mode, status); error != 0) {
            complain({"not writing to ", event_log_path, ": ", log_refusal_text(error, status)});
        }
    };

    const auto no_csv_config = [&log](std::string_view why) {
        log("Can't find CSV config file in Plugwell\n");
        not_started(why);
        return exit_no_csv_config;
    };

    const work_dir_state work = rebuild_work_dir();
    if (work == work_dir_state::refused) {
        return exit_failure;
    }
    // An old CSV configuration that could not be removed is not this
    // start's; why it could not go has been said.
    if (work == work_dir_state::stale_csv) {
        return no_csv_config(std::string("no CSV configuration: the earlier ") + csv_config_path +
                             " could not be removed");
    }
    const csv_outcome written =
        write_csv_config(file, settings.csv, csv_config_path, settings_path);
    file = settings_file();
    // A link is not followed: what counts is what the launcher wrote here.
    if (!exists_here(csv_config_path)) {
        return no_csv_config(missing_csv_reason(settings_error, settings, written));
    }

    if (settings.enable == 0) {
        log("Quorvane is disabled.\n");
        not_started("the module is disabled (LWM2M_ENABLE is 0)");
        return exit_started_or_disabled;
    }

    const client_command command = compose_client_command(settings);
    log(command.line + "\n");
    if (const int error = start_in_background(command.arguments); error != 0) {
        const std::string_view reason = std::strerror(error);
        log(std::string("lwm2m-launcher: can't start ") + client_program + ": " +
            std::string(reason) + "\n");
        complain({"can't start ", client_program, ": ", reason});
        return exit_failure;
    }
    return exit_started_or_disabled;
}

constexpr std::string_view usage_line =
    "Usage: lwm2m-launcher [--check [FILE] | --version | --help]\n";
constexpr std::string_view help_text =
    "Starts the Quorvane module's LwM2M client: reads /opt/Quorvane/etc/settings,\n"
    "rebuilds /tmp/lwm2m/etc, writes its CSV configuration and starts\n"
    "/opt/Quorvane/bin/lwm2mclient in the background.\n"
    "\n"
    "  --check [FILE]  read FILE (default /opt/Quorvane/etc/settings) as a start\n"
    "                  would, print what the launcher would do, touch nothing\n"
    "  --version       print the version\n"
    "  --help          print this help\n"
    "\n"
    "Another argument that begins with \"-\" is refused (status 2); other\n"
    "arguments are ignored.\n"
    "Exit status: 0 started or disabled, 255 no CSV configuration, 1 failure,\n"
    "2 unknown option.\n"
    "With --check, the status a start would have, or 1 when FILE can't be read\n"
    "or the launcher would refuse to work.\n"
    "See lwm2m-launcher(8).\n";

struct invocation {
    enum { start, check, version, help, unknown } action = start;
    const char* file = settings_path;  // for --check
    std::string_view unknown_option;
};

// Options may stand anywhere; the first one decides, and an unknown one
// wins over all: a mistyped option must never run the boot job.
invocation read_arguments(int argc, char** argv) {
    invocation call;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (!argument.starts_with('-')) {
            continue;
        }
        const auto first = [&call](auto action) {
            if (call.action == invocation::start) {
                call.action = action;
            }
        };
        if (argument == "--version") {
            first(invocation::version);
        } else if (argument == "--help") {
            first(invocation::help);
        } else if (argument == "--check") {
            if (call.action == invocation::start && i + 1 < argc && argv[i + 1][0] != '-') {
                call.file = argv[++i];
            }
            first(invocation::check);
        } else {
            call.action = invocation::unknown;
            call.unknown_option = argument;
            return call;
        }
    }
    return call;
}

}  // namespace

int main(int argc, char** argv) {
    // A reader of standard output or error that has gone away must not end
    // the launcher half way; the programs it starts get SIGPIPE back.
    static_cast<void>(std::signal(SIGPIPE, SIG_IGN));
    const invocation call = read_arguments(argc, argv);
    switch (call.action) {
        case invocation::unknown:
            complain({"unknown option ", call.unknown_option});
            write_all(STDERR_FILENO, usage_line);
            return exit_usage;
        case invocation::version:
            write_all(STDOUT_FILENO, "lwm2m-launcher " LAUNCHER_VERSION "\n");
            return EXIT_SUCCESS;
        case invocation::help:
            write_all(STDOUT_FILENO, usage_line);
            write_all(STDOUT_FILENO, help_text);
            return EXIT_SUCCESS;
        case invocation::check:
        case invocation::start:
            break;
    }
    open_missing_standard_descriptors();
    try {
        if (call.action == invocation::check) {
            std::string report;
            const int status = check_settings(call.file, report);
            write_all(STDOUT_FILENO, report);
            return status;
        }
        close_inherited_descriptors_on_exec();
        return launch();
    } catch (const std::bad_alloc&) {
        complain({"out of memory"});
    } catch (const std::exception& error) {
        complain({error.what()});
    }
    return exit_failure;
}
