// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
// lwm2m-launcher: prepares and starts the module's LwM2M client at boot, in
// one pass (the steps of start_plan.h); with --foreground it becomes the
// client, for a supervisor (linger(), client_pace.h). --check prints what a
// start would do (settings_check.h). Options, exit statuses and every message are listed
// in the manual page, which a test holds to the code.
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <functional>
#include <new>
#include <string>
#include <string_view>

#include "client_pace.h"
#include "complain.h"
#include "event_log.h"
#include "file_io.h"
#include "fixed_paths.h"
#include "inherited_descriptors.h"
#include "settings_check.h"
#include "signal_wait.h"
#include "start_plan.h"

namespace {

// Takes the steps of a start, then logs the client's command line and
// starts the client; in the foreground the launcher becomes the client,
// and returns only when it could not. `stops` are the signals that a
// foreground start holds while it works: one that came meanwhile ends it
// before the command line is logged, as a start that never happened.
start_outcome launch(bool foreground, const sigset_t& stops) {
    if (foreground) {
        pace_client_start(stops);
    }
    start_plan plan = take_start_steps(settings_path, step_mode::act);
    const auto log = [&plan](std::string_view message, const std::function<void()>& last = {}) {
        if (const log_result result = log_append(message, plan.read.settings.file_mode, last);
            result.verdict != log_verdict::written) {
            complain({"not writing to ", event_log_path, ": ", log_refusal_text(result)});
        }
    };
    const auto ended = [&plan]() {
        complain({"client not started: ", plan.reason});
        return plan.outcome;
    };
    if (plan.outcome == start_outcome::no_csv_config) {
        log("Can't find CSV config file in Plugwell\n");
    } else if (plan.outcome == start_outcome::module_disabled) {
        log("Quorvane is disabled.\n");
    }
    if (plan.outcome != start_outcome::client_started &&
        plan.outcome != start_outcome::client_failed) {
        return ended();
    }
    // A stop held meanwhile, the wait for the log's lock included, ends it
    // before the command line is logged.
    const auto stop_if_asked = [&] {
        constexpr timespec no_time{};
        if (const int stop = foreground ? wait_for_signal(stops, &no_time) : 0; stop != 0) {
            end_by_signal(stop);
        }
    };
    log(plan.command.line + "\n", stop_if_asked);
    stop_if_asked();  // the log refused it
    // A client the look found missing or not executable is not tried: an
    // emulator would not report the failed exec.
    if (plan.client.error == 0) {
        if (foreground) {
            note_client_start(plan.read.file.status);
        }
        plan.client.error = start_client(plan.command, foreground);
        plan.decide();
    }
    if (plan.outcome == start_outcome::client_failed) {
        log(joined({"lwm2m-launcher: can't start ", client_program, ": ",
                    std::strerror(plan.client.error), "\n"}));
        return ended();
    }
    return plan.outcome;
}

// In the foreground, a start that leaves no client must not end at once, or
// a supervisor would run it over and over: a disabled module waits, idle,
// until stopped; anything else 30 seconds, then ends with its usual status,
// so that a gateway provisioned later comes up by itself. A stop (TERM, INT
// or HUP) ends the launcher as its signal does: every supervisor sees a
// stop, and systemd a clean one.
int linger(start_outcome outcome, const sigset_t& stops) {
    constexpr timespec retry_pause{30, 0};
    const bool disabled = outcome == start_outcome::module_disabled;
    if (const int stop = wait_for_signal(stops, disabled ? nullptr : &retry_pause); stop != 0) {
        end_by_signal(stop);
    }
    return exit_status_of(outcome);
}

constexpr std::string_view usage_line =
    "Usage: lwm2m-launcher [--foreground | --check [--strict] [--json] [FILE] | --version |\n"
    "                      --help]\n";
constexpr std::string_view help_text =
    "Starts the Quorvane module's LwM2M client: reads /opt/Quorvane/etc/settings,\n"
    "rebuilds /tmp/lwm2m/etc, writes its CSV configuration and starts\n"
    "/opt/Quorvane/bin/lwm2mclient in the background.\n"
    "\n"
    "  --foreground    become the client, for a supervisor; a start that leaves\n"
    "                  no client waits: until stopped when the module is\n"
    "                  disabled, 30 seconds otherwise; client starts are 30\n"
    "                  seconds apart at least\n"
    "  --check [FILE]  read FILE (default /opt/Quorvane/etc/settings) as a start\n"
    "                  would, print what the launcher would do, touch nothing\n"
    "  --strict        with --check: judge FILE alone, not this machine\n"
    "  --json          with --check: print the same as one JSON object, for tools\n"
    "  --version       print the version\n"
    "  --help          print this help\n"
    "\n"
    "Exit status: 0 started or disabled, 255 no CSV configuration, 1 failure,\n"
    "2 unknown option; with --check, a start's (1: FILE can't be read); with\n"
    "--strict, 3 on a finding. See lwm2m-launcher(8).\n";

struct invocation {
    enum { start, check, version, help, unknown } action = start;
    bool strict = false;
    bool json = false;
    bool foreground = false;
    const char* file = settings_path;  // for --check
    std::string_view unknown_option;
};

// Options may stand anywhere; the first one decides, and an unknown one
// wins over all: a mistyped option must never run the boot job. The first
// argument after --check or --strict that is not an option names the file;
// other arguments are ignored, as init scripts may pass one.
invocation read_arguments(int argc, char** argv) {
    invocation call;
    bool file_wanted = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (!argument.starts_with('-')) {
            if (file_wanted) {
                call.file = argv[i];
                file_wanted = false;
            }
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
        } else if (argument == "--foreground") {
            call.foreground = true;
        } else if (argument == "--check" || argument == "--strict" || argument == "--json") {
            file_wanted = call.action == invocation::start || file_wanted;
            call.strict = call.strict || argument == "--strict";
            call.json = call.json || argument == "--json";
            if (argument == "--check") {
                first(invocation::check);
            }
        } else {
            call.action = invocation::unknown;
            call.unknown_option = argument;
            return call;
        }
    }
    if ((call.strict || call.json) && call.action == invocation::start) {
        call.action = invocation::unknown;  // they mean something only to --check
        call.unknown_option = call.strict ? "--strict" : "--json";
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
            return 2;
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
    const bool starting = call.action == invocation::start;
    // In the foreground, a stop that comes while the launcher works is held
    // until the work is done: it then ends the launcher before the command
    // line is logged, or ends a wait at once.
    sigset_t stop_signals;
    ::sigemptyset(&stop_signals);
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        ::sigaddset(&stop_signals, signal);
    }
    if (starting && call.foreground) {
        ::sigprocmask(SIG_BLOCK, &stop_signals, nullptr);
    }
    try {
        if (!starting) {
            const check_record record = make_check_record(call.file, call.strict);
            write_all(STDOUT_FILENO, call.json ? json_report(record) : text_report(record));
            return record.status;
        }
        close_inherited_descriptors_on_exec();
        const start_outcome outcome = launch(call.foreground, stop_signals);
        return call.foreground ? linger(outcome, stop_signals) : exit_status_of(outcome);
    } catch (const std::bad_alloc&) {
        complain({starting ? "client not started: " : "", "out of memory"});
    } catch (const std::exception& error) {
        complain({starting ? "client not started: " : "", error.what()});
    }
    return starting && call.foreground ? linger(start_outcome::client_failed, stop_signals)
                                       : exit_status_of(start_outcome::client_failed);
}
