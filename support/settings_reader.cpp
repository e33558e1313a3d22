// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors

#include "settings_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>

namespace {

char ascii_lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool is_c_space(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// Cheap test done before the piece is scanned: a piece can only match when
// it begins with the key followed by "=". Most pieces fail at the first
// character, so the pieces of a long value cost almost nothing.
bool begins_with_key(std::string_view piece, std::string_view key) {
    if (piece.size() <= key.size() || piece[key.size()] != '=') {
        return false;
    }
    for (std::size_t i = 0; i < key.size(); ++i) {
        if (piece[i] == '\0' || ascii_lower(piece[i]) != ascii_lower(key[i])) {
            return false;
        }
    }
    return true;
}

bool same_name(std::string_view name, std::string_view key) {
    return std::equal(name.begin(), name.end(), key.begin(), key.end(),
                      [](char a, char b) { return ascii_lower(a) == ascii_lower(b); });
}

// The value of `key` on one piece of a line, or nothing.
std::optional<std::string_view> value_on_line(std::string_view piece, std::string_view key) {
    if (!begins_with_key(piece, key)) {
        return std::nullopt;
    }
    std::string_view text = piece.substr(0, piece.find('\0'));
    text = text.substr(0, text.find('\r'));
    text = text.substr(0, text.find('\n'));
    // memrchr rather than rfind: a long value is scanned many bytes at a time.
    if (const void* quote = ::memrchr(text.data(), '"', text.size())) {
        text =
            text.substr(0, static_cast<std::size_t>(static_cast<const char*>(quote) - text.data()));
    }
    const auto equals = text.find('=');
    if (equals == std::string_view::npos || !same_name(text.substr(0, equals), key)) {
        return std::nullopt;
    }
    auto value = text.substr(equals + 1);
    if (!value.empty() && value.front() == '"') {
        value.remove_prefix(1);
    }
    return value;
}

// The piece of the handle's text that starts at its position: through the
// next line feed, but at most `piece_max` characters.
std::string_view next_piece(const settings_handle& handle, std::size_t piece_max) {
    const char* const start = handle.text.data() + handle.position;
    const std::size_t room = std::min(piece_max, handle.text.size() - handle.position);
    const void* line_feed = std::memchr(start, '\n', room);
    const std::size_t length =
        line_feed != nullptr
            ? static_cast<std::size_t>(static_cast<const char*>(line_feed) - start) + 1
            : room;
    return {start, length};
}

// Reads on in pieces of at most `piece_max` characters until one holds `key`.
std::optional<std::string_view> find_in_pieces(settings_handle& handle, std::size_t piece_max,
                                               std::string_view key) {
    while (handle.position < handle.text.size()) {
        const std::string_view piece = next_piece(handle, piece_max);
        handle.position += piece.size();
        if (const auto value = value_on_line(piece, key)) {
            return value;
        }
    }
    return std::nullopt;
}

// Reads up to `size` bytes of the open file `fd`; fewer when it ends first.
bool read_whole(int fd, char* text, std::size_t& size) {
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = ::read(fd, text + got, size - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return false;
        }
        if (n == 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    size = got;
    return true;
}

// Closes a descriptor when it goes, leaving errno as it was.
class fd_closer {
public:
    explicit fd_closer(int fd) : fd_(fd) {}
    fd_closer(const fd_closer&) = delete;
    fd_closer& operator=(const fd_closer&) = delete;
    ~fd_closer() {
        const int error = errno;
        ::close(fd_);
        errno = error;
    }

private:
    int fd_;
};

}  // namespace

settings_handle settings_open(const char* path) {
    settings_handle handle;
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a
    // writer. It changes nothing for a regular file.
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return handle;
    }
    const fd_closer closer(fd);
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        return handle;
    }
    if (!S_ISREG(status.st_mode)) {
        errno = EINVAL;
        return handle;
    }
    // The size of the file that is open, whatever is at the path by now.
    std::size_t size = static_cast<std::size_t>(status.st_size);
    std::string text(size, '\0');
    if (!read_whole(fd, text.data(), size)) {
        return handle;
    }
    text.resize(size);
    handle.text = std::move(text);
    handle.mode = status.st_mode & 07777;
    handle.open = true;
    return handle;
}

void settings_close(settings_handle& handle) {
    handle = settings_handle();
}

std::optional<std::string_view> settings_find(settings_handle& handle, std::string_view key) {
    return find_in_pieces(handle, lookup_line_max, key);
}

std::string settings_get_string(settings_handle& handle, std::string_view key) {
    handle.position = 0;
    const auto value = settings_find(handle, key);
    return value ? std::string(*value) : std::string();
}

std::uint32_t settings_get_uint(settings_handle& handle, std::string_view key) {
    handle.position = 0;
    const auto value = settings_find(handle, key);
    return value ? parse_setting_uint(*value) : 0;
}

std::string settings_get_long_string(settings_handle& handle, std::string_view key) {
    return std::string(settings_get_long_view(handle, key));
}

std::string_view settings_get_long_view(settings_handle& handle, std::string_view key) {
    // Pieces as long as the file: every line comes whole, the line of a
    // file without a line end at all included.
    handle.position = 0;
    return find_in_pieces(handle, handle.text.size(), key).value_or(std::string_view());
}

std::string settings_take(settings_handle&& handle, std::string_view part) {
    std::string text = std::move(handle.text);
    settings_close(handle);
    const char* const begin = text.data();
    const std::less<const char*> before;
    if (before(part.data(), begin) || before(begin + text.size(), part.data() + part.size())) {
        return std::string(part);
    }
    text.erase(0, static_cast<std::size_t>(part.data() - begin));
    text.resize(part.size());
    return text;
}

std::uint32_t parse_setting_uint(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && is_c_space(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    constexpr std::uint64_t too_large = std::uint64_t{UINT32_MAX} + 1;
    std::uint64_t magnitude = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        magnitude = std::min(magnitude * 10 + static_cast<unsigned>(text[i] - '0'), too_large);
    }
    if (magnitude >= too_large) {
        return UINT32_MAX;
    }
    const auto number = static_cast<std::uint32_t>(magnitude);
    return negative ? static_cast<std::uint32_t>(0U - number) : number;
}
