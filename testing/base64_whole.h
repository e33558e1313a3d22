// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
// The shipped chunk decoder over one whole text, for the tests, the fuzz
// target and the benchmark (the launcher itself only ever decodes chunks),
// and over a text cut into chunks anywhere.
#pragma once

#include <algorithm>
#include <cstddef>
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

// Decodes `text` in chunks, each as long as `next_size(at)` says (at least
// 1, cut at the text's end), through one stream, then ends the stream: the
// digits of a group carry from one chunk to the next.
template <typename NextSize>
std::string base64_decode_in_chunks(std::string_view text, NextSize next_size) {
    base64_stream stream;
    std::string decoded;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t size = std::min<std::size_t>(next_size(at), text.size() - at);
        std::string chunk(base64_decoded_size_max(size + 3), '\0');
        chunk.resize(base64_decode_chunk(stream, text.substr(at, size), chunk.data()));
        decoded += chunk;
        at += size;
    }
    std::string last(2, '\0');
    last.resize(base64_decode_end(stream, last.data()));
    return decoded + last;
}
