// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
// Descriptors and whole writes. Like every helper in system/, these return
// 0 or an errno and print nothing: the caller knows what failed, says so.
#pragma once

#include <string_view>
#include <utility>

// Owns a file descriptor and closes it when it goes.
class unique_fd {
public:
    unique_fd() = default;
    explicit unique_fd(int fd) : fd_(fd) {}
    unique_fd(unique_fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    unique_fd& operator=(unique_fd&& other) noexcept {
        if (this != &other) {
            close();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    unique_fd(const unique_fd&) = delete;
    unique_fd& operator=(const unique_fd&) = delete;
    ~unique_fd() { close(); }

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    // Closes now: 0, or the errno of a close that reports a failed write.
    // Leaves errno as it was.
    int close();

private:
    int fd_ = -1;
};

// Writes all of `data`, going on after short writes and interruptions:
// 0, or the errno of the write that the system refused (EIO when it makes
// no progress at all).
int write_all(int fd, std::string_view data);

// The inode flags of the open file `fd` (FS_IOC_GETFLAGS: immutable,
// append-only, ...) into `flags`. 0, or the errno.
int inode_flags(int fd, int& flags);
