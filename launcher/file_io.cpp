#include "file_io.h"

#include <unistd.h>

#include <cerrno>
#include <string>

unique_fd& unique_fd::operator=(unique_fd&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

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

void complain(std::string_view message) {
    std::string text = "lwm2m-launcher: ";
    text += message;
    text += '\n';
    write_all(STDERR_FILENO, text);
}
