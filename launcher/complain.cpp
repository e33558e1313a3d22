// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors

#include "complain.h"

#include <sys/uio.h>
#include <unistd.h>

#include <array>
#include <cerrno>

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

void append(std::string& text, std::initializer_list<std::string_view> parts) {
    for (const std::string_view part : parts) {
        text += part;
    }
}

std::string joined(std::initializer_list<std::string_view> parts) {
    std::string text;
    append(text, parts);
    return text;
}
