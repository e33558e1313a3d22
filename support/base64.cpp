#include "base64.h"

#include <array>
#include <cstdint>

namespace {

constexpr std::uint8_t not_a_digit = 64;

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
    std::size_t written = 0;
    unsigned digits = 0;
    unsigned previous = 0;
    for (const char c : text) {
        const unsigned value = digit_values[static_cast<unsigned char>(c)];
        if (value == not_a_digit) {
            continue;
        }
        switch (digits % 4) {
            case 1: out[written++] = static_cast<char>((previous << 2) | (value >> 4)); break;
            case 2: out[written++] = static_cast<char>((previous << 4) | (value >> 2)); break;
            case 3: out[written++] = static_cast<char>((previous << 6) | value); break;
            default: break;
        }
        previous = value;
        ++digits;
    }
    return written;
}

std::string base64_decode_string(std::string_view text) {
    std::string decoded(text.size(), '\0');
    decoded.resize(base64_decode(text, decoded.data()));
    return decoded;
}
