// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
// The lenient base64 decoder. The CSV configuration can be megabytes of
// base64 and is decoded at every boot, so the decoder is built for speed:
// whole groups of four digits go through pre-shifted tables with one check,
// and only the neighbourhood of a stray byte takes the slower path. The
// plain one-byte-at-a-time loop it must equal lives in the tests.
#include "base64.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

namespace {

constexpr std::uint8_t not_a_digit = 64;  // the only table value with bit 6 set

constexpr std::array<std::uint8_t, 256> make_digit_values() {
    std::array<std::uint8_t, 256> values{};
    values.fill(not_a_digit);
    constexpr std::string_view alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (std::size_t i = 0; i < alphabet.size(); ++i) {
        values[static_cast<unsigned char>(alphabet[i])] = static_cast<std::uint8_t>(i);
    }
    values['-'] = 62;
    return values;
}

constexpr auto digit_values = make_digit_values();

// The same values moved to their place in a 24-bit group, one table per
// place; a byte that is not a digit sets the top bit. Four look-ups ORed
// together give the group and, in one bit, whether it holds a stray byte.
using placed_table = std::array<std::uint32_t, 256>;
constexpr std::uint32_t stray_bit = 0x80000000U;

placed_table make_placed_values(unsigned shift) {
    placed_table placed{};
    for (std::size_t byte = 0; byte < 256; ++byte) {
        const unsigned value = digit_values[byte];
        placed[byte] = value == not_a_digit ? stray_bit : value << shift;
    }
    return placed;
}

// The four tables take 4 KiB. Built at the first decode, they lie in
// memory that the program file doesn't hold, which keeps the shipped
// program within its size goal.
struct placed_tables {
    placed_table at_0 = make_placed_values(18);
    placed_table at_1 = make_placed_values(12);
    placed_table at_2 = make_placed_values(6);
    placed_table at_3 = make_placed_values(0);
};

// Writes the three bytes of a 24-bit group. The pointer goes in and out by
// value: bytes written through a char pointer could otherwise alias it, and
// the compiler would reload it after every byte.
[[gnu::always_inline]] inline char* put_group(char* out, std::uint32_t group) {
    out[0] = static_cast<char>(group >> 16);
    out[1] = static_cast<char>(group >> 8);
    out[2] = static_cast<char>(group);
    return out + 3;
}

// The 24-bit group of four digit values.
constexpr std::uint32_t join(unsigned a, unsigned b, unsigned c, unsigned d) {
    return (a << 18) | (b << 12) | (c << 6) | d;
}

}  // namespace

std::size_t base64_decode_chunk(base64_stream& stream, std::string_view text, char* out) {
    const auto* in = reinterpret_cast<const unsigned char*>(text.data());
    const auto* const end = in + text.size();
    char* const start = out;
    static const placed_tables placed;

    // Digits of the group being gathered, then room for a block of them.
    constexpr std::ptrdiff_t largest_block = 64;
    constexpr std::size_t digits_room = 3 + 64;
    static_assert(digits_room == 3 + largest_block);
    std::array<std::uint8_t, digits_room> digits{};
    std::copy_n(stream.digits.begin(), stream.held, digits.begin());
    std::size_t held = stream.held;
    std::ptrdiff_t block = 4;

    // Finishes the open group, so the fast path starts on a boundary.
    const auto finish_group = [&] {
        while (held != 0 && in != end) {
            const std::uint8_t value = digit_values[*in++];
            if (value != not_a_digit) {
                digits[held++] = value;
                if (held == 4) {
                    out = put_group(out, join(digits[0], digits[1], digits[2], digits[3]));
                    held = 0;
                }
            }
        }
    };

    finish_group();
    while (in != end) {
        // Fast path: four digits in a row make three bytes with one check.
        // Most text is like that, in one line or in many.
        const auto* const fast_start = in;
        while (end - in >= 4) {
            const std::uint32_t group =
                placed.at_0[in[0]] | placed.at_1[in[1]] | placed.at_2[in[2]] | placed.at_3[in[3]];
            if ((group & stray_bit) != 0) {
                break;
            }
            out = put_group(out, group);
            in += 4;
        }
        if (in == end) {
            break;
        }
        // Stray characters at a group boundary, such as a line end between
        // lines of whole groups, are passed over and the fast path goes on.
        if (digit_values[*in] == not_a_digit) {
            do {
                ++in;
            } while (in != end && digit_values[*in] == not_a_digit);
            continue;
        }

        // A stray character is near, or the chunk ends within four bytes.
        // Gather the digits of the next block without a branch per byte (a
        // stray character's value is written and then overwritten), and
        // decode the whole groups among them. A line end after a long run
        // of digits needs a block of just a few bytes; stray characters
        // that keep coming make it grow.
        block = in - fast_start >= 64 ? 4 : std::min(2 * block, largest_block);
        const auto* const block_end = in + std::min(block, end - in);
        for (; in != block_end; ++in) {
            const std::uint8_t value = digit_values[*in];
            digits[held] = value;
            held += (value >> 6) ^ 1U;
        }
        std::size_t i = 0;
        for (; i + 4 <= held; i += 4) {
            out = put_group(out, join(digits[i], digits[i + 1], digits[i + 2], digits[i + 3]));
        }
        // The digits of an unfinished group move to the front; the ranges
        // may overlap.
        if (i != 0) {
            std::memmove(digits.data(), digits.data() + i, held - i);
            held -= i;
        }
        finish_group();
    }

    std::copy_n(digits.begin(), held, stream.digits.begin());
    stream.held = held;
    return static_cast<std::size_t>(out - start);
}

std::size_t base64_decode_end(base64_stream& stream, char* out) {
    // The leftover bits of an unfinished group are dropped.
    const auto& digits = stream.digits;
    std::size_t written = 0;
    if (stream.held >= 2) {
        out[written++] = static_cast<char>((digits[0] << 2) | (digits[1] >> 4));
    }
    if (stream.held == 3) {
        out[written++] = static_cast<char>((digits[1] << 4) | (digits[2] >> 2));
    }
    stream = base64_stream();
    return written;
}

bool base64_is_digit(char c) {
    return digit_values[static_cast<unsigned char>(c)] != not_a_digit;
}
