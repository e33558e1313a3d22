#include "work_dir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "file_io.h"
#include "fixed_paths.h"

namespace {

// These commands hold no setting, so no value from the settings file ever
// reaches a shell.
void run_shell(const char* command) {
    const int ignored = std::system(command);
    static_cast<void>(ignored);
}

}  // namespace

std::optional<std::string> untrusted_dir_reason(const char* path, uid_t owner) {
    struct stat status {};
    if (::lstat(path, &status) != 0) {
        return std::string(path) + ": " + std::strerror(errno);
    }
    if (S_ISLNK(status.st_mode)) {
        return std::string(path) + " is a symbolic link";
    }
    if (!S_ISDIR(status.st_mode)) {
        return std::string(path) + " is not a directory";
    }
    if (status.st_uid != owner) {
        return std::string(path) + " is owned by uid " + std::to_string(status.st_uid) +
               ", not by uid " + std::to_string(owner);
    }
    return std::nullopt;
}

bool rebuild_work_dir() {
    run_shell("mkdir -p /tmp/lwm2m/etc");
    for (const char* dir : {work_root, work_dir}) {
        // cppcheck-suppress useStlAlgorithm ; the loop also reports the reason
        if (const auto reason = untrusted_dir_reason(dir, ::geteuid())) {
            complain("refusing to work in " + std::string(work_dir) + ": " + *reason);
            return false;
        }
    }
    run_shell("rm -rf /tmp/lwm2m/etc/*.*");
    run_shell("rm -f /var/lwm2m_map.txt 2> /dev/null");
    return true;
}
