// Reads single values by key from a module settings file.
//
// File format: one entry per line, "NAME=VALUE". Lines end with "\n",
// optionally preceded by "\r". For each line read:
//   1. the text is cut at the first "\r", then at the first "\n";
//   2. what remains is cut at its last '"' (that quote and all after it go);
//   3. the name is everything before the first "=" (no "=": line skipped),
//      compared with the key ignoring ASCII letter case, blanks kept;
//   4. the value is everything after that "=", one leading '"' skipped.
// So KEY="a b" gives `a b`, KEY=a b gives `a b`, KEY="open gives "".
// The first matching line from the top of the file wins. There are no
// comments, sections, escapes or continuation lines.
//
// Lines are read in pieces of at most `lookup_line_max` characters by
// settings_find and the ordinary getters; each piece is treated as a line
// of its own. settings_get_long_string reads with a buffer sized to the file
// instead, for values longer than that.
//
// Only a regular file is read: a FIFO, a device or a directory could make a
// reader wait forever or read without end, so it counts as unreadable.
//
// Nothing here ever fails: a missing or unreadable file or a missing key
// gives the default ("" or 0). Allocation failure throws std::bad_alloc.
//
// Not reentrant: the lookup line buffer is process-wide, and the text that
// settings_find returns is valid only until the next lookup.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

inline constexpr std::size_t lookup_line_max = 16383;

struct settings_file_closer {
    // Read only: closing loses nothing, whatever it returns.
    void operator()(std::FILE* file) const noexcept { static_cast<void>(std::fclose(file)); }
};

// An open settings file, or empty when it could not be opened. It owns the
// buffers that reading it needs, so two handles never share one.
struct settings_handle {
    // Declared before `file`, so that it outlives the stream that uses it.
    std::unique_ptr<char[]> read_buffer;
    std::unique_ptr<std::FILE, settings_file_closer> file;
    // The line buffer of settings_get_long_string: it grows to the size of
    // the file when a long value is read, and never shrinks.
    std::unique_ptr<char[]> long_line;
    std::size_t long_line_capacity = 0;
    // The file's permission bits, as it was opened.
    mode_t mode = 0;

    explicit operator bool() const { return file != nullptr; }
};

// Opens the settings file at `path` without waiting on it. The handle is
// empty when the file can't be read; errno then says why, and is EINVAL
// when `path` names something other than a regular file.
settings_handle settings_open(const char* path);
void settings_close(settings_handle& handle);

// Reads on from the current position to the first line whose name is `key`
// and returns its value, or nothing at the end of the file. Does not rewind.
std::optional<std::string_view> settings_find(settings_handle& handle, std::string_view key);

// These rewind first, so each call rescans the file from its first line.
std::string settings_get_string(settings_handle& handle, std::string_view key);

// Leading white space, then an optional sign, then decimal digits; what
// follows the digits is ignored. No digits gives 0. A minus sign negates
// modulo 2^32 ("-1" gives 4294967295). A magnitude above 4294967295, of
// either sign, gives 4294967295.
std::uint32_t settings_get_uint(settings_handle& handle, std::string_view key);

// Like settings_get_string, but reads lines whole up to the size of the
// open file, so a value of any length comes back whole. The size is that
// of the file the handle holds, even when another file has been put at its
// path since (as editors save).
std::string settings_get_long_string(settings_handle& handle, std::string_view key);

// The number rule of settings_get_uint, on a value already found.
std::uint32_t parse_setting_uint(std::string_view text);
