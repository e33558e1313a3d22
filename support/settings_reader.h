// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
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
// The file is read whole when it is opened, into a buffer sized from the
// open file; every getter then rescans that text from its first line. So a
// file saved anew while the launcher reads it (renamed over, as editors and
// tools save) never mixes two versions, and a pass over a megabyte-long
// value costs no system call.
//
// Lines are taken in pieces, as a line reader with a buffer of a given size
// would read them: a piece ends after a line feed, or when it holds one
// character less than the buffer. settings_find and the ordinary getters
// use pieces of at most `lookup_line_max` characters, and each piece is
// treated as a line of its own; settings_get_long_string uses pieces as
// long as the file, so a value of any length comes back whole. A zero byte
// ends the text of its piece.
//
// Only a regular file is read: a FIFO, a device or a directory could make a
// reader wait forever or read without end, so it counts as unreadable.
//
// Nothing here ever fails: a missing or unreadable file or a missing key
// gives the default ("" or 0). Allocation failure throws std::bad_alloc.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

inline constexpr std::size_t lookup_line_max = 16383;

// An open settings file, or empty when it could not be read.
struct settings_handle {
    std::string text;          // the whole file, as read when opened
    std::size_t position = 0;  // where settings_find reads on from
    mode_t mode = 0;           // the file's permission bits
    bool open = false;

    explicit operator bool() const { return open; }
};

// Opens and reads the settings file at `path`, without waiting on it. The
// handle is empty when the file can't be read; errno then says why, and is
// EINVAL when `path` names something other than a regular file.
settings_handle settings_open(const char* path);
void settings_close(settings_handle& handle);

// Reads on from the current position to the first line whose name is `key`
// and returns its value, or nothing at the end of the file. Does not rewind.
// The value lies in the handle's text and lives as long as the handle.
std::optional<std::string_view> settings_find(settings_handle& handle, std::string_view key);

// These rewind first, so each call rescans the file from its first line.
std::string settings_get_string(settings_handle& handle, std::string_view key);

// Leading white space, then an optional sign, then decimal digits; what
// follows the digits is ignored. No digits gives 0. A minus sign negates
// modulo 2^32 ("-1" gives 4294967295). A magnitude above 4294967295, of
// either sign, gives 4294967295.
std::uint32_t settings_get_uint(settings_handle& handle, std::string_view key);

// Like settings_get_string, but reads lines whole up to the size of the
// open file, so a value of any length comes back whole.
std::string settings_get_long_string(settings_handle& handle, std::string_view key);

// The same value, left where it lies in the handle's text: valid as long
// as the handle. With settings_take, a value megabytes long is never copied.
std::string_view settings_get_long_view(settings_handle& handle, std::string_view key);

// Closes the handle and returns its text cut down to `part`, a view that
// lies in it: the text's buffer is handed over rather than copied. A view
// that is not in the handle's text is copied.
std::string settings_take(settings_handle&& handle, std::string_view part);

// The number rule of settings_get_uint, on a value already found.
std::uint32_t parse_setting_uint(std::string_view text);
