#include "settings_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

namespace {

// The process-wide line buffer of ordinary lookups. Long values are read
// with a buffer of the handle's own, sized to its file.
char lookup_line[lookup_line_max + 1];

// stdio's buffer for the settings file. Every getter reads the file again
// from the top, and a value that is megabytes long takes many reads per
// pass: a larger buffer makes each pass take fewer system calls.
constexpr std::size_t read_buffer_size = std::size_t{64} << 10;

// A file of unknown size is read with a buffer as large as the lookup one.
constexpr std::size_t unknown_size_capacity = lookup_line_max + 1;

char ascii_lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool is_c_space(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// Cheap test done before the line is scanned: a line can only match when
// it begins with the key followed by "=". Most lines fail at the first
// character, so continuation pieces of a long value cost almost nothing.
bool begins_with_key(const char* line, std::string_view key) {
    for (std::size_t i = 0; i < key.size(); ++i) {
        if (line[i] == '\0' || ascii_lower(line[i]) != ascii_lower(key[i])) {
            return false;
        }
    }
    return line[key.size()] == '=';
}

bool same_name(std::string_view name, std::string_view key) {
    return std::equal(name.begin(), name.end(), key.begin(), key.end(),
                      [](char a, char b) { return ascii_lower(a) == ascii_lower(b); });
}

// The value of `key` on one line (or piece of a line) as read, or nothing.
std::optional<std::string_view> value_on_line(const char* line, std::string_view key) {
    if (!begins_with_key(line, key)) {
        return std::nullopt;
    }
    std::string_view text(line);
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

// Reads pieces of at most capacity - 1 characters until one holds `key`.
// A capacity below 2 would read nothing forever, so callers never pass one.
std::optional<std::string_view> find_with(std::FILE* file, char* buffer, std::size_t capacity,
                                          std::string_view key) {
    const int piece_size = static_cast<int>(std::min<std::size_t>(capacity, INT_MAX));
    while (std::fgets(buffer, piece_size, file) != nullptr) {
        if (const auto value = value_on_line(buffer, key)) {
            return value;
        }
    }
    return std::nullopt;
}

// Room for the longest line the open file can hold, its terminator included.
std::size_t long_line_capacity(std::FILE* file) {
    struct stat status {};
    if (::fstat(::fileno(file), &status) != 0 || status.st_size < 0) {
        return unknown_size_capacity;
    }
    const auto size = static_cast<std::uint64_t>(status.st_size);
    return static_cast<std::size_t>(std::clamp<std::uint64_t>(size + 1, 2, SIZE_MAX));
}

void reserve_long_line(settings_handle& handle, std::size_t capacity) {
    if (handle.long_line_capacity >= capacity) {
        return;
    }
    // The old buffer goes first, so the process never holds both.
    handle.long_line.reset();
    handle.long_line_capacity = 0;
    handle.long_line = std::make_unique_for_overwrite<char[]>(capacity);
    handle.long_line_capacity = capacity;
}

}  // namespace

settings_handle settings_open(const char* path) {
    settings_handle handle;
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a
    // writer. It changes nothing for a regular file.
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return handle;
    }
    struct stat status {};
    int error = 0;
    if (::fstat(fd, &status) != 0) {
        error = errno;
    } else if (!S_ISREG(status.st_mode)) {
        error = EINVAL;
    } else {
        handle.file.reset(::fdopen(fd, "r"));
        error = errno;
    }
    if (!handle.file) {
        ::close(fd);
        errno = error;
        return handle;
    }
    handle.mode = status.st_mode & 07777;
    handle.read_buffer = std::make_unique_for_overwrite<char[]>(read_buffer_size);
    static_cast<void>(
        std::setvbuf(handle.file.get(), handle.read_buffer.get(), _IOFBF, read_buffer_size));
    return handle;
}

void settings_close(settings_handle& handle) {
    handle = settings_handle();
}

std::optional<std::string_view> settings_find(settings_handle& handle, std::string_view key) {
    if (!handle) {
        return std::nullopt;
    }
    return find_with(handle.file.get(), lookup_line, sizeof lookup_line, key);
}

std::string settings_get_string(settings_handle& handle, std::string_view key) {
    if (!handle) {
        return {};
    }
    std::rewind(handle.file.get());
    const auto value = settings_find(handle, key);
    return value ? std::string(*value) : std::string();
}

std::uint32_t settings_get_uint(settings_handle& handle, std::string_view key) {
    if (!handle) {
        return 0;
    }
    std::rewind(handle.file.get());
    const auto value = settings_find(handle, key);
    return value ? parse_setting_uint(*value) : 0;
}

std::string settings_get_long_string(settings_handle& handle, std::string_view key) {
    if (!handle) {
        return {};
    }
    reserve_long_line(handle, long_line_capacity(handle.file.get()));
    std::rewind(handle.file.get());
    const auto value =
        find_with(handle.file.get(), handle.long_line.get(), handle.long_line_capacity, key);
    return value ? std::string(*value) : std::string();
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
