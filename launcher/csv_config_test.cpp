#include "csv_config.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

namespace {

using namespace std::string_literals;

class CsvConfig : public testing::Test {
protected:
    void SetUp() override {
        std::string pattern = testing::TempDir() + "csv-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        path_ = dir_ + "/config.csv";
    }
    void TearDown() override {
        for (const auto& name : {path_, dir_ + "/target"}) {
            ::unlink(name.c_str());
        }
        ::rmdir(dir_.c_str());
    }
    static std::string contents(const std::string& path) {
        std::ifstream file(path, std::ios::binary);
        std::ostringstream text;
        text << file.rdbuf();
        return text.str();
    }
    bool exists() const { return ::access(path_.c_str(), F_OK) == 0; }

    std::string dir_;
    std::string path_;
};

TEST_F(CsvConfig, WritesTheTextExactly) {
    write_csv_config("a,b\r\nc,d", path_.c_str());
    EXPECT_EQ(contents(path_), "a,b\r\nc,d");
}

TEST_F(CsvConfig, StopsAtTheFirstZeroByte) {
    write_csv_config("a,b\nc\0d,e\n"s, path_.c_str());
    EXPECT_EQ(contents(path_), "a,b\nc");
}

TEST_F(CsvConfig, EmptyTextWritesNoFile) {
    write_csv_config("", path_.c_str());
    write_csv_config("\0abc"s, path_.c_str());
    EXPECT_FALSE(exists());
}

TEST_F(CsvConfig, ReplacesAnEarlierFile) {
    std::ofstream(path_) << "a much longer earlier configuration\n";
    write_csv_config("new", path_.c_str());
    EXPECT_EQ(contents(path_), "new");
}

TEST_F(CsvConfig, DoesNotFollowASymbolicLink) {
    const std::string target = dir_ + "/target";
    std::ofstream(target) << "untouched";
    ASSERT_EQ(::symlink(target.c_str(), path_.c_str()), 0);
    write_csv_config("evil", path_.c_str());
    EXPECT_EQ(contents(target), "untouched");
}

}  // namespace
