// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors

#include "settings_reader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string_view>

#include "test_dir.h"

namespace {

using namespace std::string_literals;

// A settings file of the test's own in a private temporary directory,
// looked up one key at a time.
class SettingsFile : public testing::Test {
protected:
    void open_with(const std::string& contents) {
        dir_.write("settings", contents);
        file_ = settings_file();
        ASSERT_TRUE(settings_open(path_.c_str(), file_).ok());
    }
    std::string text(const std::string& key) { return lookup(key, false); }
    std::string long_text(const std::string& key) { return lookup(key, true); }
    std::uint32_t number(const std::string& key) { return parse_setting_uint(text(key)); }

    std::string lookup(const std::string& key, bool whole_line) {
        const settings_key keys[] = {{key, whole_line}};
        settings_value values[1];
        EXPECT_EQ(settings_scan(file_, keys, values), 0);
        return whole_line ? read_place(values[0].place) : values[0].text;
    }
    std::string read_place(settings_place place, settings_verdict expected = settings_verdict::ok) {
        std::string value;
        EXPECT_EQ(settings_read_place(file_, place,
                                      [&value](std::string_view chunk) {
                                          value += chunk;
                                          return true;
                                      })
                      .verdict,
                  expected);
        return value;
    }

    test_dir dir_;
    std::string path_ = dir_.path("settings");
    settings_file file_;
};

TEST_F(SettingsFile, NamesMatchIgnoringCaseButNotBlanks) {
    open_with("lwm2m_name=lower\n LWM2M_ADDR=lead\nLWM2M_PORT =trail\nLwM2m_Port=5683\n");
    EXPECT_EQ(text("LWM2M_NAME"), "lower");
    EXPECT_EQ(text("LWM2M_ADDR"), "");
    EXPECT_EQ(number("LWM2M_PORT"), 5683U);
}

TEST_F(SettingsFile, FirstOccurrenceWinsInEveryGetter) {
    open_with("K=first\nN=1\nK=second\nN=2\n");
    EXPECT_EQ(text("K"), "first");
    EXPECT_EQ(long_text("K"), "first");
    EXPECT_EQ(number("N"), 1U);
}

TEST_F(SettingsFile, OnePassFindsEveryKeyWhateverTheirOrder) {
    open_with("A=1\nB=\"2\"\nC=3\nL=long\nA=again\n");
    const settings_key keys[] = {{"C"}, {"L", true}, {"A"}, {"missing"}, {"b"}};
    settings_value values[5];
    ASSERT_EQ(settings_scan(file_, keys, values), 0);
    EXPECT_EQ(values[0].text, "3");
    EXPECT_EQ(read_place(values[1].place), "long");
    EXPECT_EQ(values[2].text, "1");
    EXPECT_FALSE(values[3].found);
    EXPECT_EQ(values[4].text, "2");
    EXPECT_EQ(values[0].line, 3U);
    EXPECT_EQ(values[1].line, 4U);
    EXPECT_EQ(values[2].line, 1U);
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

TEST_F(SettingsFile, MissingKeyOrFileGivesNothing) {
    open_with("OTHER=1\n");
    EXPECT_EQ(text("K"), "");
    EXPECT_EQ(long_text("K"), "");
    EXPECT_EQ(number("K"), 0U);
    settings_file none;
    EXPECT_EQ(settings_open(dir_.path("missing").c_str(), none).error, ENOENT);
}

// Lines longer than a piece are read in pieces; each piece is a
// line of its own.
TEST_F(SettingsFile, LongLinesAreLookedUpInPieces) {
    const std::string value(20000, 'x');
    const std::string filler(settings_piece_max, '.');
    open_with("PLAIN=" + value + "\nQUOTED=\"" + value + "\"\n" + filler + "NEXT=tail\n");
    EXPECT_EQ(text("PLAIN"), value.substr(0, settings_piece_max - "PLAIN="s.size()));
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

// Values anywhere in the file, whatever lies on the buffer's boundaries: a
// whole-line value longer than the buffer, and ordinary ones around it.
TEST_F(SettingsFile, ValuesAcrossBufferBoundaries) {
    const std::string big = std::string(settings_buffer_size * 3 + 5, 'v') + "\"inner";
    for (const std::size_t before :
         {std::size_t{0}, settings_buffer_size - 9, settings_buffer_size - 1,
          settings_buffer_size + 3, 2 * settings_buffer_size - settings_piece_max}) {
        SCOPED_TRACE(before);
        std::string filler;
        while (filler.size() + 1000 < before) {
            filler += "FILL=" + std::string(900, 'f') + "\n";
        }
        filler.resize(before, '.');
        filler += "\nA=alpha\nCSV=\"" + big;
        open_with(filler + "\" tail\r\nB=\"beta\"\n");
        EXPECT_EQ(text("A"), "alpha");
        EXPECT_EQ(long_text("CSV"), big);
        EXPECT_EQ(text("B"), "beta");
    }
}

TEST_F(SettingsFile, RenamedOverWhileReadChangesNothing) {
    const std::string value(168000, 'v');
    open_with("K=" + value + "\n");
    const std::string replacement = dir_.write("settings.new", "K=short\n");
    ASSERT_EQ(std::rename(replacement.c_str(), path_.c_str()), 0);
    EXPECT_EQ(long_text("K"), value);
}

TEST_F(SettingsFile, CutShortAfterThePassIsNoticed) {
    open_with("A=1\nK=" + std::string(200000, 'k') + "\n");
    const settings_key keys[] = {{"K", true}};
    settings_value values[1];
    ASSERT_EQ(settings_scan(file_, keys, values), 0);
    ASSERT_EQ(::truncate(path_.c_str(), 100000), 0);
    EXPECT_EQ(read_place(values[0].place, settings_verdict::changed).size(), 100000U - 6);
}

TEST_F(SettingsFile, OnlyARegularFileIsRead) {
    ASSERT_EQ(::mkfifo(dir_.path("fifo").c_str(), 0600), 0);  // no writer: open would wait
    for (const std::string& path : {dir_.path("fifo"), std::string("/dev/zero"), dir_.path()}) {
        settings_file file;
        EXPECT_EQ(settings_open(path.c_str(), file).verdict, settings_verdict::not_regular) << path;
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
    EXPECT_EQ(number("A"), 42U);
    EXPECT_EQ(number("B"), 7U);
    EXPECT_EQ(number("C"), 0U);
    EXPECT_EQ(number("D"), 4294967295U);
    EXPECT_EQ(number("E"), 300U);
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
