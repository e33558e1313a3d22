// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors

#include "csv_config.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "test_dir.h"

namespace {

using namespace std::string_literals;

class CsvConfig : public testing::Test {
protected:
    bool exists() const { return ::access(path_.c_str(), F_OK) == 0; }

    test_dir dir_;
    std::string path_ = dir_.path("config.csv");
};

TEST_F(CsvConfig, WritesTheTextExactly) {
    write_csv_config("a,b\r\nc,d", path_.c_str());
    EXPECT_EQ(test_dir::read(path_), "a,b\r\nc,d");
}

TEST_F(CsvConfig, StopsAtTheFirstZeroByte) {
    write_csv_config("a,b\nc\0d,e\n"s, path_.c_str());
    EXPECT_EQ(test_dir::read(path_), "a,b\nc");
}

TEST_F(CsvConfig, EmptyTextWritesNoFile) {
    write_csv_config("", path_.c_str());
    write_csv_config("\0abc"s, path_.c_str());
    EXPECT_FALSE(exists());
}

TEST_F(CsvConfig, ReplacesAnEarlierFile) {
    dir_.write("config.csv", "a much longer earlier configuration\n");
    write_csv_config("new", path_.c_str());
    EXPECT_EQ(test_dir::read(path_), "new");
}

TEST_F(CsvConfig, DoesNotFollowASymbolicLink) {
    const std::string target = dir_.write("target", "untouched");
    ASSERT_EQ(::symlink(target.c_str(), path_.c_str()), 0);
    write_csv_config("evil", path_.c_str());
    EXPECT_EQ(test_dir::read(target), "untouched");
}

}  // namespace
