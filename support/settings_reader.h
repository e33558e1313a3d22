// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
// Reads values by key from a module settings file, in one pass through a
// fixed buffer.
//
// File format: one entry per line, "NAME=VALUE". Lines end with "\n",
// optionally preceded by "\r". For each line read:
//   1. the text is cut at its first zero byte, then at the first "\r", then
//      at the first "\n";
//   2. what remains is cut at its last '"' (that quote and all after it go);
//   3. the name is everything before the first "=" (no "=": line skipped),
//      compared with the key ignoring ASCII letter case, blanks kept;
//   4. the value is everything after that "=", one leading '"' skipped.
// So KEY="a b" gives `a b`, KEY=a b gives `a b`, KEY="open gives "".
// The first matching line from the top of the file wins. There are no
// comments, sections, escapes or continuation lines. Keys are names without
// "=", '"', a carriage return, a line feed or a zero byte, so that the cuts
// of steps 1 and 2 never reach into a name.
//
// Two kinds of key:
//  - ordinary keys are looked up in pieces, as a line reader with a buffer
//    of 16384 bytes reads lines: a piece ends after a line feed, or once it
//    holds `settings_piece_max` characters, and each piece is treated as a
//    line of its own. Their values come back as text.
//  - whole-line keys are looked up on whole lines of any length. Their
//    values are not held: the pass notes where each lies in the file, and
//    settings_read_place reads it later, chunk by chunk.
//
// One pass over the open file, through a fixed buffer whatever the size of
// the file or its lines, finds every key's first matching line, as looking
// each key up from the top would. All comes from the one descriptor: a file
// renamed over while it is read (as editors save) is never mixed in; one cut
// short or changed in place is noticed by settings_read_place.
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "file_io.h"

inline constexpr std::size_t settings_piece_max = 16383;
inline constexpr std::size_t settings_buffer_size = std::size_t{64} << 10;
// The first bytes of a line that the pass keeps for its caller; whole-line
// keys are at most this long, less two.
inline constexpr std::size_t settings_head_max = 128;

// An open settings file, and what it was when it was opened.
struct settings_file {
    unique_fd fd;
    struct stat status {};
};

// How opening or reading a settings file went: the reader's own verdicts,
// or the errno of the call that failed.
enum class settings_verdict : unsigned char {
    ok,
    not_regular,  // a FIFO, a device or a directory: never read
    changed,      // cut short or written since it was opened
    failed,       // `error` says why
};
struct settings_status {
    settings_verdict verdict = settings_verdict::ok;
    int error = 0;

    bool ok() const { return verdict == settings_verdict::ok; }
};

// Why a settings file could not be opened or read, in words: "not a regular
// file", "it changed while it was read", or the system's reason.
std::string settings_status_text(const settings_status& status);

// Opens the settings file at `path` without waiting on it. A file that is
// not regular is refused without being opened: a FIFO or a device could
// make a reader wait forever or read without end, and opening a device can
// act. `file.status` is what the path led to, whenever it could be seen.
settings_status settings_open(const char* path, settings_file& file);

struct settings_key {
    std::string_view name;
    bool whole_line = false;
};

// Where a value lies in the file.
struct settings_place {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
};

struct settings_value {
    bool found = false;
    std::uint64_t line = 0;  // the line it came from, counted from 1
    std::string text;        // an ordinary key's value
    settings_place place;    // a whole-line key's value
};

// What the pass saw on one line, for a caller that looks closer.
struct settings_line {
    std::uint64_t number = 0;    // counted from 1
    std::uint64_t offset = 0;    // of its first byte in the file
    std::uint64_t length = 0;    // without its line feed
    std::string_view head;       // its first bytes, at most settings_head_max
    std::uint64_t text_end = 0;  // where a CR or zero byte (`cut_by`) cuts it, or `length`
    char cut_by = '\n';
    std::optional<std::uint64_t> last_quote;  // the last '"' before text_end
    // The same two for its first piece, all that an ordinary value is read from.
    std::uint64_t piece_text_end = 0;
    std::optional<std::uint64_t> piece_last_quote;
    // The key its first piece matched, and whether it gave that key its value.
    std::optional<std::size_t> key;
    bool first = false;
};
using settings_line_observer = std::function<void(const settings_line&)>;

// Reads the open file once from its start and fills `values[i]` with the
// first match of `keys[i]`; keys not found keep found == false. `observe`,
// when set, is called for every line. 0, or the errno of a failed read.
int settings_scan(const settings_file& file, std::span<const settings_key> keys,
                  std::span<settings_value> values, const settings_line_observer& observe = {});

// Reads the value at `place` through a fixed buffer and hands it to `take`
// chunk by chunk, until all is read or `take` returns false. `changed` when
// the file's size or modification time differ since it was opened (a write
// within the time stamps' granularity that keeps the size can't be told).
settings_status settings_read_place(const settings_file& file, settings_place place,
                                    const std::function<bool(std::string_view)>& take);

// Whether a line's `name` is `key`: the same but for ASCII letter case.
bool settings_name_is(std::string_view name, std::string_view key);

// Leading white space, then an optional sign, then decimal digits; what
// follows the digits is ignored. No digits gives 0. A minus sign negates
// modulo 2^32 ("-1" gives 4294967295). A magnitude above 4294967295, of
// either sign, gives 4294967295.
std::uint32_t parse_setting_uint(std::string_view text);
