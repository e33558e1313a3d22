#include "event_log.h"

#include <fcntl.h>

#include "file_io.h"
#include "fixed_paths.h"

void log_append(std::string_view message) {
    // The log lives in /tmp: a symbolic link put there in its place is
    // refused rather than followed.
    const unique_fd log(
        ::open(event_log_path, O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (log) {
        write_all(log.get(), message);
    }
}
