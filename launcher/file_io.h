// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
// Descriptors and whole writes.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string_view>
#include <utility>

// Owns a file descriptor and closes it when it goes.
class unique_fd {
public:
    unique_fd() = default;
    explicit unique_fd(int fd) : fd_(fd) {}
    unique_fd(unique_fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    unique_fd& operator=(unique_fd&&) = delete;
    unique_fd(const unique_fd&) = delete;
    unique_fd& operator=(const unique_fd&) = delete;
    ~unique_fd();

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    // Closes now; false (errno set) when close reports a failed write.
    bool close();

private:
    int fd_ = -1;
};

// Writes all of `data`, going on after short writes and interruptions.
// False, with errno set, when the system refuses part of it.
bool write_all(int fd, std::string_view data);

// Prints "lwm2m-launcher: ", the parts of the message, then "\n" on
// standard error, in one write. Allocates nothing, so it can also say that
// memory ran out. Parts beyond `complain_parts_max` are left out.
inline constexpr std::size_t complain_parts_max = 8;
void complain(std::initializer_list<std::string_view> message);
