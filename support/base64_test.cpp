// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors

#include "base64.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "base64_test_codec.h"
#include "base64_whole.h"

namespace {

using namespace std::string_literals;

struct vector_case {
    const char* decoded;
    const char* encoded;
};

// The test vectors of RFC 4648, section 10.
constexpr vector_case rfc4648[] = {
    {"", ""},
    {"f", "Zg=="},
    {"fo", "Zm8="},
    {"foo", "Zm9v"},
    {"foob", "Zm9vYg=="},
    {"fooba", "Zm9vYmE="},
    {"foobar", "Zm9vYmFy"},
};

std::string without(std::string text, char c) {
    std::erase(text, c);
    return text;
}

TEST(Base64Decode, StandardVectorsWithAndWithoutPadding) {
    for (const auto& v : rfc4648) {
        EXPECT_EQ(base64_decode_whole(v.encoded), v.decoded) << v.encoded;
        EXPECT_EQ(base64_decode_whole(without(v.encoded, '=')), v.decoded) << v.encoded;
    }
}

TEST(Base64Decode, StrayCharactersAnywhereAreSkipped) {
    const std::string clean = "Zm9vYmFy";
    for (const std::string& junk : {" "s, "\n"s, "\r\n"s, "="s, "_"s, "*"s, "\x80\xff"s, "\0"s}) {
        for (std::size_t at = 0; at <= clean.size(); ++at) {
            std::string text = clean;
            text.insert(at, junk);
            EXPECT_EQ(base64_decode_whole(text), "foobar") << "junk at " << at;
        }
    }
}

TEST(Base64Decode, TextWithoutDigitsGivesNothing) {
    EXPECT_EQ(base64_decode_whole(""), "");
    EXPECT_EQ(base64_decode_whole("==== _\t\r\n!@#$%^&*()"), "");
}

TEST(Base64Decode, DashIsPlusAndUnderscoreIsJunk) {
    EXPECT_EQ(base64_decode_whole("-_-_-"), base64_decode_whole("+++"));
    EXPECT_EQ(base64_decode_whole("+/+/"), "\xfb\xff\xbf");
    EXPECT_EQ(base64_decode_whole("-/-/"), "\xfb\xff\xbf");
}

TEST(Base64Decode, LoneFinalDigitIsDropped) {
    EXPECT_EQ(base64_decode_whole("Zm9vY"), "foo");
    EXPECT_EQ(base64_decode_whole("Z"), "");
}

TEST(Base64Decode, PaddedBlocksInARowAreOneStream) {
    // "Zg==" twice is the digits Z g Z g, not "f" twice.
    EXPECT_EQ(base64_decode_whole("Zg==Zg=="), "f\x06\x60");
}

TEST(Base64Decode, ZeroBytesAreKeptInTheResult) {
    EXPECT_EQ(base64_decode_whole("AAAA"), "\0\0\0"s);
    EXPECT_EQ(base64_decode_whole("YQBi"), "a\0b"s);
}

TEST(Base64Decode, RoundTripsEveryByteValue) {
    std::string all;
    for (int i = 0; i < 256; ++i) {
        all += static_cast<char>(i);
    }
    for (std::size_t length = 0; length <= all.size(); length += 37) {
        const auto bytes = all.substr(all.size() - length);
        EXPECT_EQ(base64_decode_whole(base64_encode_for_tests(bytes)), bytes);
        EXPECT_EQ(base64_decode_whole(base64_encode_for_tests(bytes, false)), bytes);
    }
}

// The fast path takes four digits at a time only at a group boundary: every
// mix of digits and stray bytes must still give what the plain loop gives.
TEST(Base64Decode, MatchesThePlainLoopOnAnyMixOfDigitsAndJunk) {
    std::mt19937 random(20261209);  // NOLINT(cert-msc32-c,cert-msc51-cpp): repeatable on purpose
    const std::string pool = "AZaz09+/-Qw8=_ \n\r\t*\0\x80\xff"s;
    for (int round = 0; round < 3000; ++round) {
        const auto length = random() % 64;
        const auto junk_every = 1 + random() % 12;
        std::string text;
        for (std::size_t i = 0; i < length; ++i) {
            text += random() % junk_every == 0 ? pool[10 + random() % (pool.size() - 10)]
                                               : pool[random() % 10];
        }
        const std::string expected = reference_decode(text);
        std::string out(base64_decoded_size_max(text.size()) + 8, '#');
        const auto written = base64_decode_whole(text, out.data());
        ASSERT_EQ(out.substr(0, written), expected) << testing::PrintToString(text);
        ASSERT_EQ(out.substr(written), std::string(out.size() - written, '#'));
        // In its own buffer, the output never overtakes what is still to read.
        std::string in_place = text;
        in_place.resize(base64_decode_whole(in_place, in_place.data()));
        ASSERT_EQ(in_place, expected) << testing::PrintToString(text);
        // In chunks cut anywhere, digits carry from one chunk to the next.
        const auto random_size = [&](std::size_t) { return std::size_t{1} + random() % 9; };
        ASSERT_EQ(base64_decode_in_chunks(text, random_size), expected)
            << testing::PrintToString(text);
    }
}

TEST(Base64Decode, ReturnsTheCountWrittenAndWritesNoMore) {
    EXPECT_EQ(base64_decoded_size_max(8), 6U);
    EXPECT_EQ(base64_decoded_size_max(7), 5U);
    EXPECT_EQ(base64_decoded_size_max(6), 4U);
    EXPECT_EQ(base64_decoded_size_max(5), 3U);
    std::string out(12, '#');
    EXPECT_EQ(base64_decode_whole("Zm9vYg==", out.data()), 4U);
    EXPECT_EQ(out, "foob########");
}

}  // namespace
