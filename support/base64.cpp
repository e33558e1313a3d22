#include "base64.h"

#include <array>
#include <cstdint>

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

}  // namespace

std::size_t base64_decode(std::string_view text, char* out) {
    const auto* in = reinterpret_cast<const unsigned char*>(text.data());
    const auto* const end = in + text.size();
    char* const start = out;
    unsigned digits = 0;  // digits taken so far, modulo 4
    unsigned previous = 0;
    while (in != end) {
        // Fast path: at a group boundary, four digits in a row make three
        // bytes at once. Most text is like that, one line or many.
        while (digits == 0 && end - in >= 4) {
            const unsigned a = digit_values[in[0]];
            const unsigned b = digit_values[in[1]];
            const unsigned c = digit_values[in[2]];
            const unsigned d = digit_values[in[3]];
            if (((a | b | c | d) & not_a_digit) != 0) {
                break;
            }
            const std::uint32_t group = (a << 18) | (b << 12) | (c << 6) | d;
            out[0] = static_cast<char>(group >> 16);
            out[1] = static_cast<char>(group >> 8);
            out[2] = static_cast<char>(group);
            out += 3;
            in += 4;
        }
        if (in == end) {
            break;
        }
        // One byte at a time until the next group boundary: stray characters
        // and unfinished groups.
        const unsigned value = digit_values[*in++];
        if (value == not_a_digit) {
            continue;
        }
        switch (digits) {
            case 1: *out++ = static_cast<char>((previous << 2) | (value >> 4)); break;
            case 2: *out++ = static_cast<char>((previous << 4) | (value >> 2)); break;
            case 3: *out++ = static_cast<char>((previous << 6) | value); break;
            default: break;
        }
        previous = value;
        digits = (digits + 1) % 4;
    }
    return static_cast<std::size_t>(out - start);
}

std::string base64_decode_string(std::string_view text) {
    std::string decoded(base64_decoded_size_max(text.size()), '\0');
    decoded.resize(base64_decode(text, decoded.data()));
    return decoded;
}
