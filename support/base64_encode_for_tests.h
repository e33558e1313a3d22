// A plain base64 encoder, for tests only: the product never encodes.
#pragma once

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
