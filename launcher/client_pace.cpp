// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors

#include "client_pace.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "complain.h"
#include "file_io.h"
#include "fixed_paths.h"
#include "ownership.h"
#include "signal_wait.h"

namespace {

constexpr std::chrono::seconds client_start_pace{30};

// The settings' identity: a save, in place or by a rename, changes it.
std::string settings_identity(const struct stat& settings) {
    return joined({std::to_string(settings.st_ino), ":", std::to_string(settings.st_size), ":",
                   std::to_string(settings.st_mtim.tv_sec), ".",
                   std::to_string(settings.st_mtim.tv_nsec)});
}

std::chrono::nanoseconds since_boot() {
    timespec now{};
    ::clock_gettime(CLOCK_BOOTTIME, &now);
    return std::chrono::seconds{now.tv_sec} + std::chrono::nanoseconds{now.tv_nsec};
}

// Opens the launcher's own file `path` (see ownership.h) with `flags`.
unique_fd open_own_file(const char* path, int flags) {
    unique_fd file(::open(path, flags | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644));
    struct stat status {};
    const bool own = file && ::fstat(file.get(), &status) == 0 &&
                     ownership_of(status, S_IFREG, ::geteuid()) == ownership::own;
    return own ? std::move(file) : unique_fd();
}

}  // namespace

void pace_client_start(const sigset_t& stops) {
    using namespace std::chrono;
    struct stat root {};
    const unique_fd stamp =
        ::lstat(work_root, &root) == 0 && ownership_of(root, S_IFDIR, ::geteuid()) == ownership::own
            ? open_own_file(client_started_path, O_RDONLY)
            : unique_fd();
    char text[128];
    const ssize_t got = stamp ? ::read(stamp.get(), text, sizeof text) : -1;
    std::int64_t started = 0;
    struct stat settings {};
    const char* const end = text + std::max<ssize_t>(got, 0);
    const auto [at, error] = std::from_chars(text, end, started);
    if (got <= 0 || error != std::errc() || ::stat(settings_path, &settings) != 0 ||
        std::string_view(at, static_cast<std::size_t>(end - at)) !=
            joined({" ", settings_identity(settings), "\n"})) {
        return;
    }
    const nanoseconds since = since_boot() - nanoseconds{started};
    if (since < nanoseconds{} || since >= client_start_pace) {
        return;
    }
    const nanoseconds left = client_start_pace - since;
    complain({"the client was started ", std::to_string(duration_cast<seconds>(since).count()),
              " s ago: waiting ", std::to_string(duration_cast<seconds>(left + 999ms).count()),
              " s before it is started again"});
    const timespec pause{static_cast<time_t>(duration_cast<seconds>(left).count()),
                         static_cast<long>((left % seconds{1}).count())};
    if (const int stop = wait_for_signal(stops, &pause); stop != 0) {
        end_by_signal(stop);
    }
}

void note_client_start(const struct stat& settings) {
    if (const unique_fd stamp = open_own_file(client_started_path, O_WRONLY | O_CREAT);
        stamp && ::ftruncate(stamp.get(), 0) == 0) {
        write_all(stamp.get(), joined({std::to_string(since_boot().count()), " ",
                                       settings_identity(settings), "\n"}));
    }
}
