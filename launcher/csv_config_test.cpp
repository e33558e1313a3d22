// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors

#include "csv_config.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base64_test_codec.h"
#include "test_dir.h"

namespace {

using namespace std::string_literals;

// Settings holding `base64` as a whole-line value, and the CSV written from
// them.
class CsvConfig : public testing::Test {
protected:
    // As a start does, where the walk has removed an earlier file, unless
    // `earlier_stays`.
    csv_outcome write_from(const std::string& base64, bool earlier_stays = false) {
        const std::string settings = dir_.write("settings", "A=1\nCSV=" + base64 + "\nB=2\n");
        EXPECT_TRUE(settings_open(settings.c_str(), file_).ok());
        if (!earlier_stays) {
            ::unlink(path_.c_str());
        }
        return write_csv_config(file_, {8, base64.size()}, path_.c_str(), "settings");
    }
    bool exists() const { return ::access(path_.c_str(), F_OK) == 0; }

    test_dir dir_;
    std::string path_ = dir_.path("config.csv");
    settings_file file_;
};

TEST_F(CsvConfig, WritesTheDecodedTextExactlyUpToAZeroByte) {
    std::string long_csv;
    while (long_csv.size() < 3 * settings_buffer_size) {
        long_csv += "sensor," + std::to_string(long_csv.size()) + ",int16\r\n";
    }
    const std::pair<std::string, std::string> cases[] = {
        {"a,b\r\nc,d", "a,b\r\nc,d"},
        {"a,b\nc\0d,e\n"s, "a,b\nc"},
        {long_csv, long_csv},
        {long_csv + "\0tail"s, long_csv},
    };
    for (const auto& [csv, written] : cases) {
        write_from(base64_encode_for_tests(csv));
        EXPECT_EQ(test_dir::read(path_), written);
    }
}

TEST_F(CsvConfig, NothingDecodedWritesNoFile) {
    for (const std::string& base64 : {""s, "!!=="s, "Q"s, base64_encode_for_tests("\0abc"s)}) {
        write_from(base64);
        EXPECT_FALSE(exists()) << base64;
    }
}

TEST_F(CsvConfig, NeverWritesThroughWhatStandsInItsPlace) {
    dir_.write("config.csv", "a much longer earlier configuration\n");
    EXPECT_EQ(write_from("bmV3", true), csv_outcome::still_there);
    EXPECT_EQ(test_dir::read(path_), "a much longer earlier configuration\n");

    ::unlink(path_.c_str());
    const std::string target = dir_.write("target", "untouched");
    ASSERT_EQ(::symlink(target.c_str(), path_.c_str()), 0);
    EXPECT_EQ(write_from("ZXZpbA==", true), csv_outcome::still_there);
    EXPECT_EQ(test_dir::read(target), "untouched");
}

TEST_F(CsvConfig, NobodyElseMayWriteItWhateverTheUmask) {
    const mode_t old = ::umask(0);
    write_from("YSxi");
    ::umask(old);
    struct stat status {};
    ASSERT_EQ(::stat(path_.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0644U);
}

}  // namespace
