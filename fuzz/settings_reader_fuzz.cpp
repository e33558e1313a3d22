// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
// Settings reader on arbitrary file bytes, against a model of its rules
// written plainly over the whole text: for several keys, one of them taken
// from the file itself, each read both as an ordinary key (in pieces) and as
// a whole-line key, the one pass gives the model's value and line. The
// lines it reports tile the file. (The check report has a target of its
// own, settings_check_fuzz.cpp: this one stays fast.)
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "settings_reader.h"

namespace {

using namespace std::string_literals;

struct model_value {
    std::string text;  // cppcheck-suppress unusedStructMember
    std::uint64_t line = 0;
};

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
}

bool same_ignoring_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

std::optional<std::string> value_on(std::string_view line, std::string_view key) {
    std::string text(line.substr(0, line.find('\0')));
    text.resize(std::min(text.find('\r'), text.size()));
    text.resize(std::min(text.find('\n'), text.size()));
    if (const auto quote = text.rfind('"'); quote != std::string::npos) {
        text.resize(quote);
    }
    const auto equals = text.find('=');
    if (equals == std::string::npos || !same_ignoring_case(text.substr(0, equals), key)) {
        return std::nullopt;
    }
    std::string value = text.substr(equals + 1);
    if (!value.empty() && value[0] == '"') {
        value.erase(0, 1);
    }
    return value;
}

// A piece of at most some number of characters: a line, or a part of a
// longer one.
struct piece {
    std::string_view text;
    std::uint64_t line = 1;
};

// The file cut into pieces of at most `piece_max` characters, once for all
// keys.
std::vector<piece> pieces_of(std::string_view file, std::size_t piece_max) {
    std::vector<piece> pieces;
    std::uint64_t line = 1;
    for (std::size_t at = 0; at < file.size();) {
        const std::size_t room = std::min(piece_max, file.size() - at);
        const std::size_t line_feed = file.substr(at, room).find('\n');
        const std::size_t size = line_feed == std::string_view::npos ? room : line_feed + 1;
        pieces.push_back({file.substr(at, size), line});
        line += line_feed == std::string_view::npos ? 0 : 1;
        at += size;
    }
    return pieces;
}

// The first match of `key` among `pieces`.
std::optional<model_value> model(const std::vector<piece>& pieces, std::string_view key) {
    for (const piece& p : pieces) {
        // A key holds nothing that cuts a line, so a piece is its own exactly
        // when it begins with the key and "=": only those are looked at
        // closer, which keeps this model fast.
        const bool candidate = p.text.size() > key.size() && p.text[key.size()] == '=' &&
                               same_ignoring_case(p.text.substr(0, key.size()), key);
        if (auto value = candidate ? value_on(p.text, key) : std::nullopt) {
            return model_value{*value, p.line};
        }
    }
    return std::nullopt;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const int fd = ::memfd_create("settings", MFD_CLOEXEC);
    FUZZ_CHECK(fd >= 0);
    FUZZ_CHECK(::write(fd, data, size) == static_cast<ssize_t>(size));
    const std::string path = "/proc/self/fd/" + std::to_string(fd);

    settings_file file;
    FUZZ_CHECK(settings_open(path.c_str(), file).ok());
    // A key is a name without the characters that cut a line.
    const std::string own_key(
        text.substr(0, std::min(text.find_first_of("=\"\r\n\0"s), std::size_t{64})));
    std::vector<settings_key> keys;
    for (const std::string_view name : {std::string_view(own_key), std::string_view("LWM2M_CSV"),
                                        std::string_view("k"), std::string_view("")}) {
        for (const bool whole_line : {false, true}) {
            if (std::none_of(keys.begin(), keys.end(), [&](const settings_key& key) {
                    return key.whole_line == whole_line && same_ignoring_case(key.name, name);
                })) {
                keys.push_back({name, whole_line});
            }
        }
    }
    std::vector<settings_value> values(keys.size());
    std::uint64_t next_offset = 0;
    std::uint64_t next_number = 1;
    FUZZ_CHECK(settings_scan(file, keys, values, [&](const settings_line& line) {
                   FUZZ_CHECK(line.number == next_number++);
                   FUZZ_CHECK(line.offset == next_offset);
                   FUZZ_CHECK(line.text_end <= line.length);
                   FUZZ_CHECK(line.piece_text_end <=
                              std::min<std::uint64_t>(line.text_end, settings_piece_max));
                   FUZZ_CHECK(
                       text.substr(static_cast<std::size_t>(line.offset)).starts_with(line.head));
                   next_offset += line.length + 1;
               }) == 0);
    FUZZ_CHECK(next_offset == size || next_offset == size + 1);

    const std::vector<piece> pieces = pieces_of(text, settings_piece_max);
    const std::vector<piece> whole_lines = pieces_of(text, std::max<std::size_t>(size, 1));
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const auto expected = model(keys[i].whole_line ? whole_lines : pieces, keys[i].name);
        FUZZ_CHECK(values[i].found == expected.has_value());
        if (!expected) {
            continue;
        }
        FUZZ_CHECK(values[i].line == expected->line);
        std::string value = values[i].text;
        if (keys[i].whole_line) {
            FUZZ_CHECK(settings_read_place(file, values[i].place, [&value](std::string_view chunk) {
                           value += chunk;
                           return true;
                       }).ok());
        }
        FUZZ_CHECK(value == expected->text);
    }

    ::close(fd);
    return 0;
}
