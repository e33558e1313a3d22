// lwm2m-launcher: prepares and starts the module's LwM2M client at boot.
//
// Reads no arguments and no environment. In one pass it reads the module
// settings, rebuilds the work directory, writes the decoded CSV
// configuration, and, when the module is enabled, logs the client's command
// line and starts the client in the background.
//
// Exit status:
//   0    the client was started, or the module is disabled
//   255  the CSV configuration file is missing (logged)
//   1    the launcher could not do its work: untrusted work directory, the
//        client could not be started, out of memory (said on standard error,
//        prefixed "lwm2m-launcher: ")
//
// Event log entries, appended to /tmp/lwm2m/lwm2m.log as they stand:
//   "Can't find CSV config file in Plugwell\n"
//   "Quorvane is disabled.\n"
//   the client command line, then "\n"
//   "lwm2m-launcher: can't start <program>: <reason>\n"
#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <exception>
#include <new>
#include <string>

#include "base64.h"
#include "client_command.h"
#include "client_start.h"
#include "csv_config.h"
#include "event_log.h"
#include "file_io.h"
#include "fixed_paths.h"
#include "module_settings.h"
#include "work_dir.h"

namespace {

constexpr int exit_started_or_disabled = 0;
constexpr int exit_failure = 1;
constexpr int exit_no_csv_config = 255;

// A launcher started with a standard descriptor closed would otherwise hand
// that number to the first file it opens, and the client would write its
// output there.
void open_missing_standard_descriptors() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) < 0 && ::open("/dev/null", O_RDWR) < 0) {
            return;
        }
    }
}

int launch() {
    const module_settings settings = load_module_settings(settings_path);

    if (!rebuild_work_dir()) {
        return exit_failure;
    }

    write_csv_config(base64_decode_string(settings.csv), csv_config_path);
    if (::access(csv_config_path, F_OK) != 0) {
        log_append("Can't find CSV config file in Plugwell\n");
        return exit_no_csv_config;
    }

    if (settings.enable == 0) {
        log_append("Quorvane is disabled.\n");
        return exit_started_or_disabled;
    }

    const client_command command = compose_client_command(settings);
    log_append(command.line);
    log_append("\n");
    if (const int error = start_in_background(command.arguments); error != 0) {
        const std::string message =
            std::string("can't start ") + client_program + ": " + std::strerror(error);
        log_append("lwm2m-launcher: " + message + "\n");
        complain(message);
        return exit_failure;
    }
    return exit_started_or_disabled;
}

}  // namespace

int main() {
    open_missing_standard_descriptors();
    try {
        return launch();
    } catch (const std::bad_alloc&) {
        complain("out of memory");
    } catch (const std::exception& error) {
        complain(error.what());
    }
    return exit_failure;
}
