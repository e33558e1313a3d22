#include "work_dir.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

namespace {

class UntrustedDir : public testing::Test {
protected:
    void SetUp() override {
        std::string pattern = testing::TempDir() + "workdir-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        ::unlink((dir_ + "/link").c_str());
        ::unlink((dir_ + "/file").c_str());
        ::rmdir(dir_.c_str());
    }
    static std::optional<std::string> reason(const std::string& path, uid_t owner = ::geteuid()) {
        return untrusted_dir_reason(path.c_str(), owner);
    }
    std::string dir_;
};

TEST_F(UntrustedDir, OwnDirectoryIsTrusted) {
    EXPECT_EQ(reason(dir_), std::nullopt);
}

TEST_F(UntrustedDir, EverythingElseIsRefusedWithItsReason) {
    ASSERT_EQ(::symlink(dir_.c_str(), (dir_ + "/link").c_str()), 0);
    std::ofstream(dir_ + "/file") << "x";
    EXPECT_EQ(reason(dir_ + "/link"), dir_ + "/link is a symbolic link");
    EXPECT_EQ(reason(dir_ + "/file"), dir_ + "/file is not a directory");
    EXPECT_EQ(reason(dir_ + "/missing"), dir_ + "/missing: No such file or directory");
    const uid_t someone_else = ::geteuid() + 1;
    EXPECT_EQ(reason(dir_, someone_else), dir_ + " is owned by uid " + std::to_string(::geteuid()) +
                                              ", not by uid " + std::to_string(someone_else));
}

}  // namespace
