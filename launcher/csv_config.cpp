// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors

#include "csv_config.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "file_io.h"

void write_csv_config(std::string_view decoded, const char* path) {
    const std::string_view text = decoded.substr(0, decoded.find('\0'));
    if (text.empty()) {
        return;
    }
    unique_fd file(::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (!file) {
        complain({"can't create ", path, ": ", std::strerror(errno)});
        return;
    }
    if (!write_all(file.get(), text) || !file.close()) {
        const int error = errno;
        ::unlink(path);
        complain({"can't write ", path, ", removed it: ", std::strerror(error)});
    }
}
