// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
// Decoder on arbitrary text: never writes past three quarters of the digits,
// agrees with the plain reference loop, and round-trips encoded bytes with
// junk inserted anywhere, whole or in chunks cut anywhere.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "base64.h"
#include "base64_test_codec.h"
#include "base64_whole.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const std::string decoded = base64_decode_whole(text);
    const auto digits = static_cast<std::size_t>(std::count_if(
        text.begin(), text.end(), [](char c) { return reference_digit_value(c) >= 0; }));
    FUZZ_CHECK(decoded.size() == digits * 3 / 4);
    FUZZ_CHECK(decoded == reference_decode(text));
    std::string in_place(text);
    in_place.resize(base64_decode_whole(in_place, in_place.data()));
    FUZZ_CHECK(in_place == decoded);
    // In chunks whose sizes the input's own bytes give.
    FUZZ_CHECK(base64_decode_in_chunks(text, [&](std::size_t at) {
                   return std::size_t{1} + data[at] % 16;
               }) == decoded);

    // The first half as bytes to encode; the second says where junk goes.
    const std::string_view payload = text.substr(0, size / 2);
    const std::string_view junk_plan = text.substr(size / 2);
    std::string encoded =
        base64_encode_for_tests(payload, !junk_plan.empty() && (junk_plan[0] & 1) != 0);
    std::size_t at = 0;
    for (const char c : junk_plan) {
        at = (at + static_cast<unsigned char>(c)) % (encoded.size() + 1);
        encoded.insert(at, 1, reference_digit_value(c) < 0 ? c : '\n');
    }
    FUZZ_CHECK(base64_decode_whole(encoded) == payload);
    return 0;
}
