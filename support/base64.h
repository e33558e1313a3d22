// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
// Lenient base64 decoding, which never fails. Digits are those of the
// standard alphabet ("A"-"Z", "a"-"z", "0"-"9", "+", "/"), with "-" read as
// "+" too. Every other byte ("=", "_", blanks, line ends, zero, bytes above
// 0x7F) is skipped wherever it stands: padding is neither needed nor
// checked, and padded blocks in a row decode as one stream of digits. A
// final group of two or three digits gives one or two bytes, a lone one
// nothing.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

// The most bytes that text of `text_size` characters can decode to: three
// for every four digits, and one or two for a final group of two or three.
constexpr std::size_t base64_decoded_size_max(std::size_t text_size) {
    return text_size / 4 * 3 + (text_size % 4 == 3 ? 2 : text_size % 4 == 2 ? 1 : 0);
}

// Decoding of one text that arrives in chunks: the digits of an unfinished
// group wait here for the next chunk, so the chunks may be cut anywhere.
struct base64_stream {
    std::array<std::uint8_t, 3> digits{};
    std::size_t held = 0;
};

// Decodes the next chunk into `out` (room for base64_decoded_size_max(
// text.size() + 3) bytes; `text.data()` itself when no digits are held: the
// output never overtakes the input) and returns the bytes of whole groups.
std::size_t base64_decode_chunk(base64_stream& stream, std::string_view text, char* out);

// Ends the text: writes the one or two bytes of an unfinished group of two or
// three digits (a lone digit gives nothing) and returns their number.
std::size_t base64_decode_end(base64_stream& stream, char* out);

// Whether `c` is a base64 digit ("-" included); every other byte is skipped.
bool base64_is_digit(char c);
