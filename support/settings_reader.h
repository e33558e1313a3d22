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
// Nothing here ever fails: a missing file or key gives the default ("" or 0).
// Allocation failure throws std::bad_alloc.
//
// Not reentrant: the line buffers are process-wide, and the text that
// settings_find returns is valid only until the next lookup.
#pragma once

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

// An open settings file, or empty when it could not be opened.
using settings_handle = std::unique_ptr<std::FILE, settings_file_closer>;

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

// Like settings_get_string, but reads lines whole up to the size of the file
// at `path` (the handle's file), so a value of any length comes back whole.
std::string settings_get_long_string(settings_handle& handle, const char* path,
                                     std::string_view key);

// The number rule of settings_get_uint, on a value already found.
std::uint32_t parse_setting_uint(std::string_view text);
