// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
// Lenient base64 decoding.
//
// Digits are those of the standard alphabet ("A"-"Z", "a"-"z", "0"-"9",
// "+", "/"), with "-" read as "+" too. Every other byte ("=", "_", blanks,
// line ends, zero and bytes above 0x7F included) is skipped wherever it
// stands, so padding is neither needed nor checked, and several padded
// blocks in a row decode as one stream of digits. A final group of two or
// three digits gives one or two bytes; a lone final digit gives nothing.
// Decoding never fails.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The most bytes that text of `text_size` characters can decode to: three
// for every four digits, and one or two for a final group of two or three.
constexpr std::size_t base64_decoded_size_max(std::size_t text_size) {
    return text_size / 4 * 3 + (text_size % 4 == 3 ? 2 : text_size % 4 == 2 ? 1 : 0);
}

// Decodes `text` into `out`, which must have room for
// base64_decoded_size_max(text.size()) bytes, and returns the number of bytes
// written. `out` may be `text.data()` itself: the output never overtakes
// the input.
std::size_t base64_decode(std::string_view text, char* out);

// The decoded bytes of `text`; they may hold zero bytes.
std::string base64_decode_string(std::string_view text);

// Replaces `text` by its decoded bytes, in its own buffer: a large text
// needs no second one.
void base64_decode_in_place(std::string& text);
