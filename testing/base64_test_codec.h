// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
// Test-only base64 code: an encoder, which the product never needs, and the
// plain one-byte-at-a-time decoder that the shipped decoder, with its fast
// path, must match byte for byte. Written apart from the product's code.
#pragma once

#include <array>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

inline std::string base64_encode_for_tests(std::string_view bytes, bool pad = true) {
    static constexpr std::string_view alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    unsigned bits = 0;
    int bit_count = 0;
    for (const char c : bytes) {
        bits = (bits << 8) | static_cast<unsigned char>(c);
        bit_count += 8;
        while (bit_count >= 6) {
            bit_count -= 6;
            text += alphabet[(bits >> bit_count) & 63U];
        }
    }
    if (bit_count > 0) {
        text += alphabet[(bits << (6 - bit_count)) & 63U];
    }
    while (pad && text.size() % 4 != 0) {
        text += '=';
    }
    return text;
}

// The value of a base64 digit ("-" counts as "+"), or -1 for any other byte.
inline int reference_digit_value(char c) {
    static constexpr char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    if (c == '-') {
        return 62;
    }
    const char* found = c == '\0' ? nullptr : std::strchr(alphabet, c);
    return found == nullptr ? -1 : static_cast<int>(found - alphabet);
}

// The plain loop: one table look-up per byte, and a switch on the place of
// the digit in its group of four.
inline std::size_t reference_decode(std::string_view text, char* out) {
    static const auto table = [] {
        std::array<int, 256> values{};
        for (int byte = 0; byte < 256; ++byte) {
            values[static_cast<std::size_t>(byte)] = reference_digit_value(static_cast<char>(byte));
        }
        return values;
    }();
    std::size_t written = 0;
    unsigned count = 0;
    unsigned previous = 0;
    for (const char c : text) {
        const int value = table[static_cast<unsigned char>(c)];
        if (value < 0) {
            continue;
        }
        const auto digit = static_cast<unsigned>(value);
        switch (count % 4) {
            case 1:
                out[written++] = static_cast<char>((previous << 2) | (digit >> 4));
                break;
            case 2:
                out[written++] = static_cast<char>((previous << 4) | (digit >> 2));
                break;
            case 3:
                out[written++] = static_cast<char>((previous << 6) | digit);
                break;
            default:
                break;
        }
        previous = digit;
        ++count;
    }
    return written;
}

inline std::string reference_decode(std::string_view text) {
    std::string bytes(text.size(), '\0');
    bytes.resize(reference_decode(text, bytes.data()));
    return bytes;
}
