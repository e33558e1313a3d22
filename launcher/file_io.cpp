// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors

#include "file_io.h"

#include <sys/uio.h>
#include <unistd.h>

#include <array>
#include <cerrno>

unique_fd::~unique_fd() {
    close();
}

bool unique_fd::close() {
    if (fd_ < 0) {
        return true;
    }
    // Linux releases the descriptor even when close fails, so it is never
    // retried.
    return ::close(std::exchange(fd_, -1)) == 0;
}

bool write_all(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t written = ::write(fd, data.data(), data.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            if (written == 0) {
                errno = EIO;  // no progress: give up rather than spin
            }
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

namespace {

iovec as_iovec(std::string_view text) {
    return {const_cast<char*>(text.data()), text.size()};
}

}  // namespace

void complain(std::initializer_list<std::string_view> message) {
    std::array<iovec, complain_parts_max + 2> parts{};
    std::size_t count = 0;
    parts[count++] = as_iovec("lwm2m-launcher: ");
    for (const std::string_view part : message) {
        if (count == parts.size() - 1) {
            break;
        }
        parts[count++] = as_iovec(part);
    }
    parts[count++] = as_iovec("\n");
    // Not retried after a short write: the message is a courtesy, and the
    // exit status says what matters.
    ssize_t written = 0;
    do {
        written = ::writev(STDERR_FILENO, parts.data(), static_cast<int>(count));
    } while (written < 0 && errno == EINTR);
}
