// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors

#include "settings_reader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <utility>

#include "test_dir.h"

namespace {

using namespace std::string_literals;

// A settings file of the test's own in a private temporary directory.
class SettingsFile : public testing::Test {
protected:
    settings_handle& open_with(const std::string& contents) {
        dir_.write("settings", contents);
        handle_ = settings_open(path_.c_str());
        EXPECT_TRUE(handle_);
        return handle_;
    }
    std::string text(const std::string& key) { return settings_get_string(handle_, key); }
    std::string long_text(const std::string& key) { return settings_get_long_string(handle_, key); }

    test_dir dir_;
    std::string path_ = dir_.path("settings");
    settings_handle handle_;
};

TEST_F(SettingsFile, NamesMatchIgnoringCaseButNotBlanks) {
    open_with("lwm2m_name=lower\n LWM2M_ADDR=lead\nLWM2M_PORT =trail\nLwM2m_Port=5683\n");
    EXPECT_EQ(text("LWM2M_NAME"), "lower");
    EXPECT_EQ(text("LWM2M_ADDR"), "");
    EXPECT_EQ(settings_get_uint(handle_, "LWM2M_PORT"), 5683U);
}

TEST_F(SettingsFile, FirstOccurrenceWinsInEveryGetter) {
    open_with("K=first\nN=1\nK=second\nN=2\n");
    EXPECT_EQ(text("K"), "first");
    EXPECT_EQ(long_text("K"), "first");
    EXPECT_EQ(settings_get_uint(handle_, "N"), 1U);
}

TEST_F(SettingsFile, EveryGetterRescansFromTheTop) {
    open_with("A=1\nB=2\nC=3\n");
    EXPECT_EQ(text("C"), "3");
    EXPECT_EQ(text("A"), "1");
    EXPECT_EQ(settings_get_uint(handle_, "B"), 2U);
    EXPECT_EQ(long_text("A"), "1");
}

TEST_F(SettingsFile, OnlyTheFirstEqualsSignSeparates) {
    open_with("K=a=b==\n=nameless\n");
    EXPECT_EQ(text("K"), "a=b==");
    EXPECT_EQ(text(""), "nameless");
}

TEST_F(SettingsFile, QuotesAreCutAtTheLastOne) {
    open_with(
        "PLAIN=a b\n"
        "QUOTED=\"a b\"\n"
        "EMPTY=\"\"\n"
        "UNCLOSED=\"open\n"
        "INNER=\"say \"hi\" now\" tail\n"
        "TWO_OPENING=\"\"x\"\n"
        "QUOTE_IN_NAME\"=x\n"
        "AFTER=x\"y\n");
    EXPECT_EQ(text("PLAIN"), "a b");
    EXPECT_EQ(text("QUOTED"), "a b");
    EXPECT_EQ(text("EMPTY"), "");
    EXPECT_EQ(text("UNCLOSED"), "");
    EXPECT_EQ(text("INNER"), "say \"hi\" now");
    EXPECT_EQ(text("TWO_OPENING"), "\"x");
    EXPECT_EQ(text("QUOTE_IN_NAME"), "");  // the cut removes the "=": no entry
    EXPECT_EQ(text("AFTER"), "x");
}

TEST_F(SettingsFile, LineEndsAreCutAtTheFirstCarriageReturn) {
    open_with("CRLF=value\r\nCR=ab\rcd\nNAME\r=x\nLAST=no newline");
    EXPECT_EQ(text("CRLF"), "value");
    EXPECT_EQ(text("CR"), "ab");
    EXPECT_EQ(text("NAME"), "");
    EXPECT_EQ(text("LAST"), "no newline");
    EXPECT_EQ(long_text("CRLF"), "value");
}

TEST_F(SettingsFile, MissingKeyOrFileGivesDefaults) {
    open_with("OTHER=1\n");
    EXPECT_EQ(text("K"), "");
    EXPECT_EQ(long_text("K"), "");
    EXPECT_EQ(settings_get_uint(handle_, "K"), 0U);

    settings_handle none = settings_open(dir_.path("missing").c_str());
    EXPECT_FALSE(none);
    EXPECT_EQ(settings_get_string(none, "OTHER"), "");
    EXPECT_EQ(settings_get_uint(none, "OTHER"), 0U);
    EXPECT_EQ(settings_get_long_string(none, "OTHER"), "");
    EXPECT_EQ(settings_find(none, "OTHER"), std::nullopt);
    settings_close(none);
}

TEST_F(SettingsFile, FindReadsOnWithoutRewinding) {
    open_with("K=1\nK=2\n");
    EXPECT_EQ(settings_find(handle_, "K"), "1");
    EXPECT_EQ(settings_find(handle_, "K"), "2");
    EXPECT_EQ(settings_find(handle_, "K"), std::nullopt);
}

// Lines longer than the lookup buffer are read in pieces; each piece is a
// line of its own.
TEST_F(SettingsFile, LongLinesAreLookedUpInPieces) {
    const std::string value(20000, 'x');
    const std::string filler(lookup_line_max, '.');
    open_with("PLAIN=" + value + "\nQUOTED=\"" + value + "\"\n" + filler + "NEXT=tail\n");
    EXPECT_EQ(text("PLAIN"), value.substr(0, lookup_line_max - "PLAIN="s.size()));
    EXPECT_EQ(text("QUOTED"), "");
    EXPECT_EQ(text("NEXT"), "tail");
}

TEST_F(SettingsFile, LongGetterReturnsLongValuesWhole) {
    const std::string value(100000, 'v');
    open_with("A=1\nPLAIN=" + value + "\nQUOTED=\"" + value + "\"\n");
    EXPECT_EQ(long_text("PLAIN"), value);
    EXPECT_EQ(long_text("QUOTED"), value);
    EXPECT_EQ(long_text("A"), "1");
}

TEST_F(SettingsFile, LongGetterReadsAOneLineFileWithoutLineEnd) {
    const std::string value(30000, 'q');
    open_with("K=" + value);
    EXPECT_EQ(long_text("K"), value);
    open_with("K=\"" + value + "\"");
    EXPECT_EQ(long_text("K"), value);
}

TEST_F(SettingsFile, LongGetterGrowsItsBufferForALargerFile) {
    open_with("K=" + std::string(40000, 'a'));
    EXPECT_EQ(long_text("K").size(), 40000U);
    open_with("K=" + std::string(90000, 'b'));
    EXPECT_EQ(long_text("K"), std::string(90000, 'b'));
    open_with("K=short");
    EXPECT_EQ(long_text("K"), "short");
}

TEST_F(SettingsFile, TakingAValueHandsOverTheTextAndClosesTheHandle) {
    const std::string value(50000, 'v');
    open_with("A=1\nCSV=\"" + value + "\"\nB=2\n");
    const std::string_view view = settings_get_long_view(handle_, "CSV");
    EXPECT_EQ(settings_get_uint(handle_, "B"), 2U);  // the view outlives other lookups
    const char* const buffer = handle_.text.data();
    const std::string taken = settings_take(std::move(handle_), view);
    EXPECT_EQ(taken, value);
    EXPECT_EQ(taken.data(), buffer);
    EXPECT_FALSE(handle_);
    EXPECT_EQ(settings_take(std::move(handle_), "elsewhere"), "elsewhere");
}

TEST_F(SettingsFile, LongGetterSizesItsBufferFromTheOpenFile) {
    // Saved anew while the launcher reads it: the open file still holds
    // the whole value, whatever is at the path now.
    const std::string value(168000, 'v');
    open_with("K=" + value + "\n");
    const std::string replacement = dir_.write("settings.new", "K=short\n");
    ASSERT_EQ(std::rename(replacement.c_str(), path_.c_str()), 0);
    EXPECT_EQ(long_text("K"), value);
}

TEST_F(SettingsFile, OnlyARegularFileIsRead) {
    ASSERT_EQ(::mkfifo(dir_.path("fifo").c_str(), 0600), 0);  // no writer: open would wait
    for (const std::string& path : {dir_.path("fifo"), std::string("/dev/zero"), dir_.path()}) {
        errno = 0;
        EXPECT_FALSE(settings_open(path.c_str())) << path;
        EXPECT_EQ(errno, EINVAL) << path;
    }
}

TEST_F(SettingsFile, TinyFilesGiveTheEmptyValue) {
    for (const auto& contents : {""s, "K"s, "="s, "\n"s}) {
        open_with(contents);
        EXPECT_EQ(long_text("K"), "") << '"' << contents << '"';
        EXPECT_EQ(text("K"), "");
    }
}

TEST_F(SettingsFile, NumbersAreReadFromTheFile) {
    open_with("A=42\nB=  7 seconds\nC=abc\nD=-1\nE=\"300\"\n");
    EXPECT_EQ(settings_get_uint(handle_, "A"), 42U);
    EXPECT_EQ(settings_get_uint(handle_, "B"), 7U);
    EXPECT_EQ(settings_get_uint(handle_, "C"), 0U);
    EXPECT_EQ(settings_get_uint(handle_, "D"), 4294967295U);
    EXPECT_EQ(settings_get_uint(handle_, "E"), 300U);
}

TEST(SettingUint, ParsesLikeStrtoulWithin32Bits) {
    const std::pair<const char*, std::uint32_t> cases[] = {
        {"0", 0},
        {"42", 42},
        {"007", 7},
        {"12abc", 12},
        {" \t\v\f12", 12},
        {"+5", 5},
        {"-0", 0},
        {"-1", 4294967295U},
        {"-5", 4294967291U},
        {"-4294967295", 1},
        {"4294967295", 4294967295U},
        {"", 0},
        {"abc", 0},
        {"+", 0},
        {"- 5", 0},
        {"0x10", 0},
        {"1 2", 1},
    };
    for (const auto& [text, number] : cases) {
        EXPECT_EQ(parse_setting_uint(text), number) << '"' << text << '"';
    }
}

TEST(SettingUint, TooLargeForThirtyTwoBitsOfEitherSignGivesTheMaximum) {
    for (const char* text : {"4294967296", "18446744073709551616", "99999999999999999999999999",
                             "-4294967296", "-99999999999999999999999999"}) {
        EXPECT_EQ(parse_setting_uint(text), 4294967295U) << text;
    }
}

}  // namespace
