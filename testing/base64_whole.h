// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
// The shipped chunk decoder over one whole text, for the tests, the fuzz
// target and the benchmark: the launcher itself only ever decodes chunks.
#pragma once

#include <string>
#include <string_view>

#include "base64.h"

// Decodes `text` into `out`, which must have room for
// base64_decoded_size_max(text.size()) bytes (it may be `text.data()`), and
// returns the number of bytes written.
inline std::size_t base64_decode_whole(std::string_view text, char* out) {
    base64_stream stream;
    const std::size_t written = base64_decode_chunk(stream, text, out);
    return written + base64_decode_end(stream, out + written);
}

inline std::string base64_decode_whole(std::string_view text) {
    std::string decoded(base64_decoded_size_max(text.size()), '\0');
    decoded.resize(base64_decode_whole(text, decoded.data()));
    return decoded;
}
